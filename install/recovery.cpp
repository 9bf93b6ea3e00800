#include "install/recovery.h"

#include "base/event_log.h"
#include "base/failure.h"
#include "base/file_identity.h"
#include "base/path_text.h"
#include "base/unique_handle.h"
#include "install/ownership.h"
#include "install/path_safety.h"
#include "install/swap_uninstaller.h"
#include "install/uninstall_registration.h"
#include "install/verified_removal.h"
#include "package/package_format.h"
#include "package/text.h"

#include <windows.h>

#include <algorithm>
#include <optional>
#include <set>

namespace elvara {

namespace {

// Everything that is still below folder, not followed through links, for the log.
void listRemaining(const std::wstring& folder, std::vector<std::wstring>& remaining)
{
    for (const std::wstring& name : folderEntryNames(folder)) {
        const std::wstring path = appendPath(folder, name);
        if (inspectEntry(path) == EntryKind::Folder)
            listRemaining(path, remaining);
        else
            remaining.push_back(path);
    }
}

void logWhatStayed(const char* phase, const std::wstring& folder)
{
    if (inspectEntry(folder) == EntryKind::Absent) return;
    std::vector<std::wstring> remaining;
    listRemaining(folder, remaining);
    if (remaining.empty()) {
        event_log::write(std::string(phase) + ": left behind: " + printablePath(folder));
        return;
    }
    for (const std::wstring& path : remaining) event_log::write(std::string(phase) + ": left behind: " + printablePath(path));
}

std::string previousInstallationStuckText(const std::wstring& folder, DWORD error, const char* again)
{
    return "The previous installation in " + printablePath(folder) + " could not be put back in place (" +
           systemErrorDescription(error) + "). Nothing was removed. " +
           (meansHeldByAnotherProgram(error)
                ? "Close any program or window that uses this folder, then run " + std::string(again) + " again."
                : "Run " + std::string(again) + " again once the folder can be renamed.");
}

struct WorkingFolder {
    std::wstring path;
    PackageTree tree;
    WorkingKind kind;
    std::wstring token;
    FILETIME created;
};

const std::wstring& installFolderOf(const InstallLocations& locations, PackageTree tree)
{
    return tree == PackageTree::Bundle ? locations.bundleFolder : locations.productFolder;
}

// The working folders of one tree that are provably ours, where they are made now and
// where earlier versions made them: a real folder (no link), named exactly after the
// install folder and a token, whose marker, where it holds one, is the marker line.
std::vector<WorkingFolder> workingFoldersOf(const std::wstring& installFolder, PackageTree tree)
{
    std::vector<WorkingFolder> found;
    for (const std::wstring& parent : workingFolderParents(installFolder, tree))
        for (const WIN32_FIND_DATAW& child : folderEntries(parent)) {
            const std::optional<WorkingName> name = parseWorkingFolderName(installFolder, child.cFileName);
            if (!name) continue;
            const std::wstring path = appendPath(parent, child.cFileName);
            if (inspectEntry(path) != EntryKind::Folder) {
                event_log::write("recovery: not ours, left alone: " + printablePath(path));
                continue;
            }
            // A staging folder's marker may have been cut short by a kill while it was written.
            const MarkerCheck marker = readMarker(markerPath(path, tree)).check;
            const bool provedOurs = marker == MarkerCheck::Absent || marker == MarkerCheck::Exact ||
                                    (name->kind == WorkingKind::Staging && marker == MarkerCheck::CutShort);
            if (!provedOurs) {
                event_log::write("recovery: not ours, left alone: " + printablePath(path));
                continue;
            }
            found.push_back({path, tree, name->kind, name->token, child.ftCreationTime});
        }
    return found;
}

std::vector<WorkingFolder> workingFoldersOf(const InstallLocations& locations)
{
    std::vector<WorkingFolder> folders = workingFoldersOf(locations.bundleFolder, PackageTree::Bundle);
    std::vector<WorkingFolder> product = workingFoldersOf(locations.productFolder, PackageTree::Product);
    folders.insert(folders.end(), product.begin(), product.end());
    return folders;
}

TreeOwnership ownershipOf(const WorkingFolder& folder, const InstallRecord& runningPackage)
{
    return folder.kind == WorkingKind::Staging ? TreeOwnership::stagedIn(folder.path, folder.tree, runningPackage)
                                               : TreeOwnership::installedIn(folder.path, folder.tree, runningPackage);
}

// Files of ours besides the proof: what makes a working folder more than a place where
// the user's items (a link, which is never moved) are kept with their folder's proof.
bool holdsOurs(const WorkingFolder& folder, const InstallRecord& runningPackage)
{
    const std::vector<std::wstring> owned = ownershipOf(folder, runningPackage).ownedFiles();
    return std::any_of(owned.begin(), owned.end(),
                       [&](const std::wstring& file) { return !isProofOfOwnership(folder.tree, file); });
}

// A rollback folder that holds an installation of ours: its marker, and files of ours.
bool isPreviousInstallation(const WorkingFolder& folder, const InstallRecord& runningPackage)
{
    return folder.kind == WorkingKind::Rollback && isOwnedFolder(folder.path, folder.tree) &&
           holdsOurs(folder, runningPackage);
}

std::wstring runTokenIn(const std::wstring& folder, PackageTree tree)
{
    const std::optional<RunNote> note = readRunNote(folder, tree);
    return note ? note->token : std::wstring();
}

// The previous installation back where the install folder is missing (or holds nothing
// at all); false when an installation stands there. A failed rename stops the run:
// clearing what could not be put back would lose the previous installation.
bool putBack(const WorkingFolder& aside, const std::wstring& installFolder, FileOperations& operations,
             const char* again)
{
    if (inspectEntry(installFolder) != EntryKind::Absent && !isOwnedFolder(installFolder, aside.tree) &&
        holdsNoFiles(installFolder)) {
        // An empty folder in its place is nobody's: it makes room for the previous installation.
        if (const std::optional<FolderLeft> left = removeEmptyTree(installFolder, operations)) {
            event_log::write("recovery: cannot remove the empty " + printablePath(left->path) + " (Win32 error " +
                             std::to_string(left->error) + ")");
            fail(previousInstallationStuckText(aside.path, left->error, again).c_str());
        }
    }
    if (inspectEntry(installFolder) != EntryKind::Absent) return false;
    try {
        operations.rename(aside.path, installFolder);
    } catch (const FilesystemFailure& failure) {
        event_log::writeFailure("recovery", failure);
        fail(previousInstallationStuckText(aside.path, failure.errorCode(), again).c_str());
    }
    event_log::write("recovery: renamed back " + printablePath(aside.path));
    return true;
}

// The user's items that the run carried into its staged folder go back to their own
// names in the install folder, as the run's note lists them, last carried first.
void giveBackOwnNames(const WorkingFolder& staging, const std::wstring& installFolder, FileOperations& operations)
{
    const std::optional<RunNote> note = readRunNote(staging.path, staging.tree);
    if (!note || inspectEntry(installFolder) != EntryKind::Folder || !isOwnedFolder(installFolder, staging.tree))
        return;
    for (auto item = note->carried.rbegin(); item != note->carried.rend(); ++item) {
        const std::wstring from = appendPath(staging.path, item->inStaging);
        const std::wstring to = appendPath(installFolder, item->own);
        if (inspectEntry(from) == EntryKind::Absent) continue; // noted, but never moved
        try {
            ensureSafeInstallPath(to);
            createDirectories(parentPath(to));
        } catch (const std::exception& failure) {
            event_log::writeFailure("recovery: " + printablePath(to), failure);
            continue;
        }
        const DWORD error = operations.moveWithoutReplacing(from, to);
        if (error == ERROR_SUCCESS)
            event_log::write("recovery: gave the user's " + printablePath(from) + " its own name back: " +
                             printablePath(to));
        else
            event_log::write("recovery: could not give the user's " + printablePath(from) + " its own name back (Win32 error " +
                             std::to_string(error) + ")");
    }
}

void clearOrKeep(const WorkingFolder& folder, const InstallLocations& locations, const InstallRecord& runningPackage,
                 FileOperations& operations)
{
    const std::wstring& installFolder = installFolderOf(locations, folder.tree);
    if (inspectEntry(folder.path) == EntryKind::Absent) return;
    const bool installationInPlace =
        inspectEntry(installFolder) == EntryKind::Folder && isOwnedFolder(installFolder, folder.tree);
    if (!installationInPlace && isPreviousInstallation(folder, runningPackage)) {
        // With no installation of ours in its place, this may be the only one left.
        event_log::write("recovery: kept, no installation in its place: " + printablePath(folder.path));
        return;
    }
    event_log::write("recovery: clearing " + printablePath(folder.path));
    clearWorkingFolder(folder.path, ownershipOf(folder, runningPackage), folder.tree, installFolder, "recovery",
                       operations);
}

// A run whose swap did not finish is undone in both trees together, so that both
// install folders hold the same installation: the run's new folders leave their
// places, the previous installations come back, the user's items get their own names
// back, and what the run staged is cleared.
void undoRun(const std::wstring& token, std::vector<WorkingFolder> run, const InstallLocations& locations,
             const InstallRecord& runningPackage, FileOperations& operations, const char* again)
{
    event_log::write("recovery: undoing the unfinished run " + printablePath(token));
    for (const PackageTree tree : {PackageTree::Product, PackageTree::Bundle}) {
        const std::wstring& installFolder = installFolderOf(locations, tree);
        if (runTokenIn(installFolder, tree) != token) continue;
        const std::wstring staging = workingFolderPath(installFolder, tree, WorkingKind::Staging, token);
        try {
            operations.rename(installFolder, staging);
        } catch (const FilesystemFailure& failure) {
            event_log::writeFailure("recovery", failure);
            fail(("An interrupted installation could not be undone." +
                  heldFolderAdvice(installFolder, failure.errorCode(), again))
                     .c_str());
        }
        event_log::write("recovery: moved the unfinished installation aside: " + printablePath(staging));
        run.push_back({staging, tree, WorkingKind::Staging, token, {}});
    }
    // The run's rollback folder is its install folder as it stood before the run, whatever
    // it holds: the only proof left there after an uninstall kept the user's files is
    // still the installation that the user's items belong to.
    std::vector<WorkingFolder> remaining;
    for (const WorkingFolder& folder : run)
        if (folder.kind != WorkingKind::Rollback || !isOwnedFolder(folder.path, folder.tree) ||
            !putBack(folder, installFolderOf(locations, folder.tree), operations, again))
            remaining.push_back(folder);
    for (const WorkingFolder& folder : remaining) {
        if (folder.kind == WorkingKind::Staging)
            giveBackOwnNames(folder, installFolderOf(locations, folder.tree), operations);
        clearOrKeep(folder, locations, runningPackage, operations);
    }
}

// A run that finished its swap: its notes go, its rollback folders are cleared (or a
// previous installation put back where nothing stands in its place).
void finishRun(const std::wstring& token, const std::vector<WorkingFolder>& run, const InstallLocations& locations,
               const InstallRecord& runningPackage, FileOperations& operations, const char* again)
{
    for (const PackageTree tree : {PackageTree::Product, PackageTree::Bundle}) {
        const std::wstring& installFolder = installFolderOf(locations, tree);
        if (runTokenIn(installFolder, tree) == token) removeRunNote(installFolder, tree, "recovery", operations);
    }
    for (const WorkingFolder& folder : run)
        if (!isPreviousInstallation(folder, runningPackage) ||
            !putBack(folder, installFolderOf(locations, folder.tree), operations, again))
            clearOrKeep(folder, locations, runningPackage, operations);
}

// After a run was undone the uninstall entry shows the version that stands again.
void alignEntryWithTheTrees(const InstallLocations& locations)
{
    const std::optional<InstallRecord> bundle = readInstallRecord(locations.bundleFolder, PackageTree::Bundle);
    const std::optional<InstallRecord> product = readInstallRecord(locations.productFolder, PackageTree::Product);
    if (bundle && product && bundle->version == product->version && alignUninstallEntryVersion(locations, product->version))
        event_log::write("recovery: the uninstall entry shows version " + product->version);
}

} // namespace

std::string heldFolderAdvice(const std::wstring& folder, DWORD error, const char* again)
{
    if (meansHeldByAnotherProgram(error))
        return " The folder " + printablePath(folder) +
               " is in use by another program (a window or command prompt open in it counts). Nothing was changed. "
               "Close that program or window, then run " + again + " again.";
    return " The folder " + printablePath(folder) + " could not be changed (" + systemErrorDescription(error) +
           "). Nothing was changed. Run " + again + " again once it can be.";
}

std::string printablePath(const std::wstring& path)
{
    try {
        return wideToUtf8(path);
    } catch (...) {
        return "(unprintable path)";
    }
}

void removeRunNote(const std::wstring& installFolder, PackageTree tree, const char* phase,
                   FileOperations& operations) noexcept
{
    try {
        const std::wstring note = runNotePath(installFolder, tree);
        const RemovalResult removed = operations.removeFile(note);
        if (removed.outcome != RemovalOutcome::Removed && removed.outcome != RemovalOutcome::Absent)
            logLeftBehind(phase, {{note, removed.outcome, removed.error}});
    } catch (...) {
    }
}

void logLeftBehind(const char* phase, const std::vector<LeftBehind>& left)
{
    for (const LeftBehind& entry : left) event_log::write(std::string(phase) + ": " + describeLeftBehind(entry));
}

void logCarried(const char* phase, const std::wstring& from, const std::wstring& to, const CarryResult& result)
{
    for (const CarriedItem& item : result.carried)
        event_log::write(std::string(phase) + ": kept the user's " + printablePath(appendPath(from, item.from)) + " as " +
                         printablePath(appendPath(to, item.to)));
    for (const std::wstring& link : result.links)
        event_log::write(std::string(phase) + ": a link stays where it is: " + printablePath(link));
    if (result.failure)
        event_log::write(std::string(phase) + ": could not move " + printablePath(result.failure->path) + " (Win32 error " +
                         std::to_string(result.failure->error) + ")");
}

void clearWorkingFolder(const std::wstring& folder, const TreeOwnership& ours, PackageTree tree,
                        const std::wstring& installFolder, const char* phase, FileOperations& operations) noexcept
{
    try {
        logLeftBehind(phase, removeTreeFiles(ours, operations));
        // A file whose bytes changed since it was judged stayed: it is the user's now.
        const TreeOwnership now = ours.rejudged();
        if (inspectEntry(folder) == EntryKind::Folder && inspectEntry(installFolder) == EntryKind::Folder &&
            isOwnedFolder(installFolder, tree)) {
            logCarried(phase, folder, installFolder, carryUserItems(folder, installFolder, now, operations, false));
            removeEmptiedFolders(folder, operations);
            if (const std::optional<ProofLeft> left = removeProofWhenAlone(now, operations))
                logLeftBehind(phase, {{left->path, left->result.outcome, left->result.error}});
        }
        logWhatStayed(phase, folder);
    } catch (const std::exception& failure) {
        event_log::writeFailure(std::string(phase) + ": " + printablePath(folder), failure);
    } catch (...) {
    }
}

std::string describeLeftBehind(const LeftBehind& entry)
{
    if (entry.outcome == RemovalOutcome::NotOurs) return "left alone (a link or not ours): " + printablePath(entry.path);
    return "could not be removed (Win32 error " + std::to_string(entry.error) + "): " + printablePath(entry.path);
}

std::vector<LeftBehind> removePackageFiles(const std::wstring& root, const std::vector<PackageEntry>& entries,
                                           PackageTree tree)
{
    return removePackageFiles(root, entries, tree, realFileOperations());
}

std::vector<LeftBehind> removePackageFiles(const std::wstring& root, const std::vector<PackageEntry>& entries,
                                           PackageTree tree, FileOperations& operations)
{
    ensureSafeInstallPath(root);
    return removeTreeFiles(TreeOwnership::installedIn(root, tree, runningPackageRecord(entries)), operations);
}

std::vector<LeftBehind> removeTreeFiles(const TreeOwnership& ours, FileOperations& operations)
{
    const std::wstring& root = ours.root();
    ensureSafeInstallPath(root);
    std::vector<LeftBehind> left;
    const auto note = [&left](const std::wstring& path, RemovalResult result, bool isFolder) {
        if (result.outcome == RemovalOutcome::Removed || result.outcome == RemovalOutcome::Absent) return;
        // A folder that still holds files that are not ours is meant to stay.
        if (isFolder && result.outcome == RemovalOutcome::Refused && result.error == ERROR_DIR_NOT_EMPTY) return;
        left.push_back({path, result.outcome, result.error});
    };
    std::set<std::wstring> folders;
    const std::vector<std::wstring> proof = ours.ownedProof();
    for (const std::wstring& relative : ours.ownedFiles()) {
        const std::wstring file = appendPath(root, relative);
        if (std::any_of(proof.begin(), proof.end(), [&](const std::wstring& p) { return sameLocation(p, file); }))
            continue; // last, below
        try {
            ensureSafeInstallPath(file);
        } catch (const std::exception&) {
            left.push_back({file, RemovalOutcome::NotOurs}); // leads through a link
            continue;
        }
        const RecordedFile* expected = ours.expectedBytes(relative);
        note(file, expected ? operations.removeFileIfUnchanged(file, *expected) : operations.removeFile(file), false);
        for (std::wstring folder = parentPath(file); folder.size() > root.size() && folder != root;
             folder = parentPath(folder))
            folders.insert(folder);
    }
    std::vector<std::wstring> deepestFirst(folders.begin(), folders.end());
    std::stable_sort(deepestFirst.begin(), deepestFirst.end(),
                     [](const std::wstring& a, const std::wstring& b) { return a.size() > b.size(); });
    for (const std::wstring& folder : deepestFirst) note(folder, operations.removeEmptyFolder(folder), true);
    // A folder that keeps anything of ours keeps the proof that it is ours and what is.
    if (left.empty())
        if (const std::optional<ProofLeft> stayed = removeProofWhenAlone(ours, operations))
            note(stayed->path, stayed->result, false);
    return left;
}

void recoverInterruptedRuns(const std::vector<PackageEntry>& entries, const InstallLocations& locations,
                            FileOperations& operations)
{
    recoverInterruptedRuns(runningPackageRecord(entries), locations, operations);
}

std::vector<InterruptedRunFolder> interruptedRunFolders(const InstallRecord& runningPackage,
                                                       const InstallLocations& locations)
{
    std::vector<InterruptedRunFolder> folders;
    for (const WorkingFolder& working : workingFoldersOf(locations))
        folders.push_back({working.path, holdsOurs(working, runningPackage)});
    return folders;
}

void recoverInterruptedRuns(const InstallRecord& runningPackage, const InstallLocations& locations,
                            FileOperations& operations, const char* again)
{
    event_log::Phase phase("recovery");
    // The runs, each with its folders of both trees, newest first (when several left a
    // previous installation aside, the newest is the one to put back); a run whose new
    // folders stand in place without any folder left beside them is one too.
    std::vector<std::pair<std::wstring, std::vector<WorkingFolder>>> runs;
    const auto runOf = [&runs](const std::wstring& token) -> std::vector<WorkingFolder>& {
        for (auto& [known, folders] : runs)
            if (known == token) return folders;
        return runs.emplace_back(token, std::vector<WorkingFolder>{}).second;
    };
    std::vector<WorkingFolder> folders = workingFoldersOf(locations);
    std::stable_sort(folders.begin(), folders.end(), [](const WorkingFolder& a, const WorkingFolder& b) {
        return CompareFileTime(&a.created, &b.created) > 0;
    });
    for (const WorkingFolder& folder : folders) runOf(folder.token).push_back(folder);
    for (const PackageTree tree : {PackageTree::Bundle, PackageTree::Product})
        if (const std::wstring token = runTokenIn(installFolderOf(locations, tree), tree); !token.empty()) runOf(token);
    bool undone = false;
    for (auto& [token, run] : runs) {
        // One rule: a run whose swap did not finish (a staged folder of it still waits)
        // is undone in both trees; one whose new folders both stand in place is finished.
        const bool unfinished = std::any_of(run.begin(), run.end(),
                                            [](const WorkingFolder& folder) { return folder.kind == WorkingKind::Staging; });
        if (unfinished) {
            undoRun(token, run, locations, runningPackage, operations, again);
            undone = true;
        } else {
            finishRun(token, run, locations, runningPackage, operations, again);
        }
    }
    if (undone) alignEntryWithTheTrees(locations);
    settleSwapUninstallers(locations);
    phase.succeeded();
}

} // namespace elvara
