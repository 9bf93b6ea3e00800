#pragma once
// Whose is this? The one set of rules that Setup, the recovery of interrupted runs and
// the uninstaller all follow:
// - a folder is the installer's when its marker holds exactly the marker line (read
//   without following a link);
// - a file in it is ours when the folder's installation record lists it and its bytes
//   still match; without a valid record (none yet, left behind, damaged or re-saved by
//   an editor) only when its name AND its bytes match the running package's entry;
//   everything else is the user's;
// - a folder holds nothing when it and everything below it are real folders, and it
//   could all be listed;
// - the record, the marker and the run note are a folder's proof of what is ours: in an
//   install folder or one set aside, a file at one of their names is ours only when its
//   content proves it (a record or run note that parses, the exact marker line), in a
//   staging folder by its name (written first, a kill may cut it short); any other file
//   there is the user's;
// - the proof goes last, and only when nothing else is left in the folder; a folder
//   that keeps anything keeps it;
// - working folders are named "<install folder>.install-<token>" (new files) and
//   "<install folder>.rollback-<token>" (the previous installation); the bundle's stand
//   outside the VST3 folder.
#include "install/filesystem_ops.h"
#include "install/folder_tree.h"
#include "install/install_record_format.h"
#include "install/package_tree.h"
#include "package/package_format.h"

#include <windows.h>

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace elvara {

using package_format::ownershipMarkerLine;

// ---- where the proof lives: paths relative to an install folder, with "\" separators
// A package file's path below the install folder of its tree.
std::wstring packageFilePath(const std::wstring& root, std::string_view packageName);
std::wstring markerRelativePath(PackageTree tree);
std::wstring markerPath(const std::wstring& root, PackageTree tree);
std::wstring installRecordRelativePath(PackageTree tree);
std::wstring installRecordPath(const std::wstring& root, PackageTree tree);
// The tree's record, marker or run note, by name: what goes last, and only from a
// folder that keeps nothing else (whose it is, its content tells: see TreeOwnership).
bool isProofOfOwnership(PackageTree tree, const std::wstring& relative);

// ---- the marker
enum class MarkerCheck {
    Absent,     // nothing at the marker's path
    Exact,      // exactly the marker line
    CutShort,   // a beginning of the marker line, as a write that a kill stopped leaves it
    Foreign,    // a link, a folder, or any other content
    InUse,      // held without sharing by another program
    Unreadable, // cannot be opened or read for another reason
};
struct MarkerState {
    MarkerCheck check = MarkerCheck::Absent;
    DWORD error = ERROR_SUCCESS; // behind InUse and Unreadable
};
// Opened without following a link: a marker that is a link is foreign.
MarkerState readMarker(const std::wstring& markerPath) noexcept;
// True when the folder's marker holds exactly the marker line. Only the path check raises.
bool isOwnedFolder(const std::wstring& folder, PackageTree tree);

// ---- the record
InstallRecord installRecordOf(const std::vector<PackageEntry>& entries, PackageTree tree);
// Every file of the running package, both trees: what a folder without a valid record
// is judged by.
InstallRecord runningPackageRecord(const std::vector<PackageEntry>& entries);
// Read without following a link. Nothing when it is missing, damaged, or lists a
// file of the other tree: a record in doubt is no record.
std::optional<InstallRecord> readInstallRecord(const std::wstring& root, PackageTree tree) noexcept;

// ---- does this folder hold nothing?
// True when folder is a real folder and everything below it is a real folder too: no
// file, no link, nothing that cannot be examined or listed.
bool holdsNoFiles(const std::wstring& folder) noexcept;

// ---- whose is each file of one tree
class TreeOwnership {
public:
    // An install folder, or a folder that held one: by its record, or without a valid
    // record by the running package's names and bytes together.
    static TreeOwnership installedIn(std::wstring root, PackageTree tree, const InstallRecord& runningPackage);
    // A staging folder holds only what the installer wrote and the user's items that it
    // carried in under names no package file has: its listed names are ours whatever
    // their bytes (a kill may have cut a file short).
    static TreeOwnership stagedIn(std::wstring root, PackageTree tree, const InstallRecord& runningPackage);

    bool hasRecord() const noexcept { return hasRecord_; }
    // relative: a path inside the tree, with "\" or "/" separators.
    bool isOurs(const std::wstring& relative) const;
    bool listsAnythingBelow(const std::wstring& relativeFolder) const;
    // Whether relative is one of the files that this ownership could claim.
    bool lists(const std::wstring& relative) const;
    std::optional<PackageTree> tree() const noexcept { return tree_; }
    // Every file that this ownership could claim (listed, whatever is there now).
    std::vector<std::wstring> listedFiles() const;
    // The listed files that are there and ours, as relative paths; the proof among them.
    std::vector<std::wstring> ownedFiles() const;
    // The bytes that a file judged ours by its bytes was judged by; nothing for a file
    // that is ours by its name or by what its content proves.
    const RecordedFile* expectedBytes(const std::wstring& relative) const;
    // The proof files (run note, record, marker) that are there and ours, full paths.
    std::vector<std::wstring> ownedProof() const;
    const std::wstring& root() const noexcept { return root_; }
    // The same rules, judged afresh: after removals that found bytes changed meanwhile.
    TreeOwnership rejudged() const;

private:
    enum class Proof { Bytes, Name };
    // What makes a listed file ours under Proof::Bytes.
    enum class Check { Bytes, Record, RunNote, Marker, Exists };
    TreeOwnership(std::wstring root, std::optional<PackageTree> tree, Proof proof)
        : root_(std::move(root)), tree_(tree), proof_(proof)
    {
    }
    static TreeOwnership judged(std::wstring root, PackageTree tree, const InstallRecord& runningPackage, Proof proof);
    void list(std::string_view packageName, Check check, std::optional<RecordedFile> expected);

    struct Listed {
        std::wstring relative;
        Check check = Check::Exists;
        std::optional<RecordedFile> expected; // compared byte for byte under Check::Bytes
        mutable std::optional<bool> verdict;
    };
    std::wstring root_;
    std::optional<PackageTree> tree_;
    Proof proof_;
    bool hasRecord_ = false;
    std::map<std::wstring, Listed> listed_; // by a key that folds letter case and separators
};

// The key under which relative paths are compared.
std::wstring relativePathKey(const std::wstring& relative);

// True when the folder holds its own proof (as `ours` judges it) and empty folders at most.
bool holdsOnlyItsProof(const TreeOwnership& ours) noexcept;

// Removes the folder's run note, record and marker (those that `ours` judges ours),
// once the folder holds nothing else but empty folders; then those folders and the
// folder itself. Nothing when anything else stays. Returns the first path that stayed
// although it should have gone, if any.
struct ProofLeft {
    std::wstring path;
    RemovalResult result;
};
std::optional<ProofLeft> removeProofWhenAlone(const TreeOwnership& ours, FileOperations& operations);

// ---- working folders
// A run stages each tree in "<install folder's name>.install-<token>" and sets the
// previous installation aside as "….rollback-<token>", both trees under the run's one
// token. The product's stand beside the product folder; the bundle's beside the VST3
// folder, in its parent, out of the sight of plug-in hosts, which scan the VST3 folder
// through and through. Earlier versions put the bundle's beside the bundle itself.
enum class WorkingKind { Staging, Rollback };
struct WorkingName {
    WorkingKind kind;
    std::wstring token;
};
std::wstring workingFolderPath(const std::wstring& installFolder, PackageTree tree, WorkingKind kind,
                               std::wstring_view token);
// Where working folders of the tree may stand: where they are made now, then where
// earlier versions made them.
std::vector<std::wstring> workingFolderParents(const std::wstring& installFolder, PackageTree tree);
// The kind and token of a folder named exactly after installFolder's leaf, an infix
// and a token; nothing for any other name.
std::optional<WorkingName> parseWorkingFolderName(const std::wstring& installFolder, std::wstring_view name) noexcept;

// ---- the run note
// Written first into each staging folder: the run's token, then, before each move, the
// user's item that the run carries in (its place in the staged folder and its own
// place). It travels with the staged folder into place and goes once the run is done,
// so that a run that did not finish can be told in both trees, and undone to the name.
std::wstring runNoteRelativePath(PackageTree tree);
std::wstring runNotePath(const std::wstring& root, PackageTree tree);
struct CarriedName {
    std::wstring inStaging; // relative to the staging folder
    std::wstring own;       // relative to the install folder it came from
};
struct RunNote {
    std::wstring token;
    std::vector<CarriedName> carried;
};
// Starts a folder's note: raises "write" with the Win32 error when it cannot.
void startRunNote(const std::wstring& root, PackageTree tree, std::wstring_view token);
// Appends one carried item and flushes it; false when it cannot (the move must then not happen).
bool noteCarried(const std::wstring& root, PackageTree tree, const CarriedName& item) noexcept;
// Read without following a link; nothing when absent or unreadable.
std::optional<RunNote> readRunNote(const std::wstring& root, PackageTree tree) noexcept;

} // namespace elvara
