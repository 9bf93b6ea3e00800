#pragma once
// What interrupted runs leave beside the two install folders, and how Setup and the
// uninstaller alike put it right; and the verified removal of the files that are ours.
#include "install/filesystem_ops.h"
#include "install/folder_tree.h"
#include "install/install_locations.h"
#include "install/ownership.h"
#include "install/package_tree.h"
#include "install/user_file_carry.h"

#include <string>
#include <string_view>
#include <vector>

namespace elvara {

// A package file or folder that a removal left in place, and why: not ours (a link,
// another kind of entry, a path through a link) or refused (in use, access denied).
struct LeftBehind {
    std::wstring path;
    RemovalOutcome outcome = RemovalOutcome::Refused;
    DWORD error = ERROR_SUCCESS;
};
std::string describeLeftBehind(const LeftBehind& entry);

// Best effort: removes the files below root that are ours (see TreeOwnership), then
// the folders that held them, then (when nothing else is left) the record, the marker
// and root, each verified through its own handle (never through a link). Other files,
// and their folders, stay and are not reported; everything else that stayed is
// returned. Only the check of root itself raises.
std::vector<LeftBehind> removePackageFiles(const std::wstring& root, const std::vector<PackageEntry>& entries,
                                           PackageTree tree);
std::vector<LeftBehind> removePackageFiles(const std::wstring& root, const std::vector<PackageEntry>& entries,
                                           PackageTree tree, FileOperations& operations);
// The same for the files that `ours` judges ours below its root; a file judged by its
// bytes is deleted only while they are unchanged, read again through the deleting handle.
std::vector<LeftBehind> removeTreeFiles(const TreeOwnership& ours, FileOperations& operations);

// Puts right what interrupted runs left: working folders named exactly
// "<folder>.install-<16 hex>" or "<folder>.rollback-<16 hex>" (where they are made and
// where earlier versions made them) whose markers, where they hold one, are ours, and
// run notes in the install folders. Each run is judged in both trees together: one
// whose swap did not finish (a staging folder of it waits) is undone in both, the
// user's items getting their own names back; one whose swap finished loses its notes
// and has its rollback folders cleared. A previous installation is renamed back where its
// install folder is missing (the newest, when there are several); when that rename
// fails, nothing is removed and the run stops with a text that names the folder.
// Clearing removes the files that are ours (see TreeOwnership; runningPackage lists the
// running program's files), moves the user's items into the install folder at the same
// relative path, and removes the emptied folders. Never follows a link; leaves alone
// what is not provably ours. Call it only under the InstallLock. `again` names the
// program that the failure texts ask the user to run again.
void recoverInterruptedRuns(const InstallRecord& runningPackage, const InstallLocations& locations,
                            FileOperations& operations = realFileOperations(), const char* again = "Setup");
void recoverInterruptedRuns(const std::vector<PackageEntry>& entries, const InstallLocations& locations,
                            FileOperations& operations = realFileOperations());

// The working folders of interrupted runs that are provably ours, as they are now,
// and whether files of ours besides their proof are still in them (otherwise only what
// is the user's, such as a link, which is never moved, kept with the folder's proof).
struct InterruptedRunFolder {
    std::wstring path;
    bool holdsOurs = false;
};
std::vector<InterruptedRunFolder> interruptedRunFolders(const InstallRecord& runningPackage,
                                                       const InstallLocations& locations);

// A working folder, set aside by the swap or left by an interrupted run: the files
// that are ours go; the user's own items move into the install folder (when that is
// ours); the record and marker go once nothing else is left, then the folder. Never
// raises: what stays waits for the next run, and the log names it.
void clearWorkingFolder(const std::wstring& rollback, const TreeOwnership& ours, PackageTree tree,
                         const std::wstring& installFolder, const char* phase, FileOperations& operations) noexcept;
// A finished run's note leaves its install folder; what stays is logged.
void removeRunNote(const std::wstring& installFolder, PackageTree tree, const char* phase,
                   FileOperations& operations) noexcept;
void logCarried(const char* phase, const std::wstring& from, const std::wstring& to, const CarryResult& result);
void logLeftBehind(const char* phase, const std::vector<LeftBehind>& left);
// What follows a failed rename or removal of a folder in the user's message: which
// folder, that nothing was changed, and what to do before running `again` again.
std::string heldFolderAdvice(const std::wstring& folder, DWORD error, const char* again);
// UTF-8 for the log; a placeholder for a path that cannot be converted.
std::string printablePath(const std::wstring& path);

} // namespace elvara
