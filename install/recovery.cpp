#include "install/recovery.h"

#include "base/event_log.h"
#include "base/failure.h"
#include "base/unique_handle.h"
#include "install/ownership.h"
#include "install/path_safety.h"
#include "install/path_text.h"
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

std::string previousInstallationStuckText(const std::wstring& folder, DWORD error)
{
    return "The previous installation in " + printablePath(folder) + " could not be put back in place (" +
           systemErrorDescription(error) + "). Nothing was removed. " +
           (meansHeldByAnotherProgram(error) ? "Close any program or window that uses this folder, then run Setup again."
                                             : "Run Setup again once the folder can be renamed.");
}

struct WorkingFolder {
    std::wstring path;
    WorkingKind kind;
    FILETIME created;
};

// The working folders beside installFolder that are provably ours: a real folder (no
// link), named exactly after the install folder and a token, whose marker, where it
// holds one, is the marker line.
std::vector<WorkingFolder> workingFoldersBeside(const std::wstring& installFolder, PackageTree tree)
{
    std::vector<WorkingFolder> found;
    for (const WIN32_FIND_DATAW& child : folderEntries(parentPath(installFolder))) {
        const std::optional<WorkingKind> kind = workingKindOf(installFolder, child.cFileName);
        if (!kind) continue;
        const std::wstring path = appendPath(parentPath(installFolder), child.cFileName);
        if (inspectEntry(path) != EntryKind::Folder) {
            event_log::write("recovery: not ours, left alone: " + printablePath(path));
            continue;
        }
        // A staging folder's marker may have been cut short by a kill while it was written.
        const MarkerCheck marker = readMarker(markerPath(path, tree)).check;
        const bool provedOurs = marker == MarkerCheck::Absent || marker == MarkerCheck::Exact ||
                                (*kind == WorkingKind::Staging && marker == MarkerCheck::CutShort);
        if (!provedOurs) {
            event_log::write("recovery: not ours, left alone: " + printablePath(path));
            continue;
        }
        found.push_back({path, *kind, child.ftCreationTime});
    }
    return found;
}

TreeOwnership ownershipOf(const WorkingFolder& folder, PackageTree tree, const InstallRecord& runningPackage)
{
    return folder.kind == WorkingKind::Staging ? TreeOwnership::stagedIn(folder.path, tree, runningPackage)
                                               : TreeOwnership::installedIn(folder.path, tree, runningPackage);
}

void recoverTree(const InstallRecord& runningPackage, const std::wstring& installFolder, PackageTree tree,
                 FileOperations& operations)
{
    std::vector<WorkingFolder> folders = workingFoldersBeside(installFolder, tree);
    if (folders.empty()) return;
    const auto isPreviousInstallation = [tree](const WorkingFolder& folder) {
        return folder.kind == WorkingKind::Rollback && isOwnedFolder(folder.path, tree);
    };
    std::optional<std::size_t> newest;
    for (std::size_t i = 0; i < folders.size(); ++i)
        if (isPreviousInstallation(folders[i]) &&
            (!newest || CompareFileTime(&folders[i].created, &folders[*newest].created) > 0))
            newest = i;
    if (newest && inspectEntry(installFolder) != EntryKind::Absent && !isOwnedFolder(installFolder, tree) &&
        holdsNoFiles(installFolder)) {
        // An empty folder in its place is nobody's: it makes room for the previous installation.
        if (const std::optional<FolderLeft> left = removeEmptyTree(installFolder, operations)) {
            event_log::write("recovery: cannot remove the empty " + printablePath(left->path) + " (Win32 error " +
                             std::to_string(left->error) + ")");
            fail(previousInstallationStuckText(folders[*newest].path, left->error).c_str());
        }
    }
    if (newest && inspectEntry(installFolder) == EntryKind::Absent) {
        // The previous installation, moved aside by a run that did not finish its swap.
        const std::wstring previous = folders[*newest].path;
        try {
            operations.rename(previous, installFolder);
        } catch (const FilesystemFailure& failure) {
            // Clearing what could not be put back would lose the previous installation.
            event_log::writeFailure("recovery", failure);
            fail(previousInstallationStuckText(previous, failure.errorCode()).c_str());
        }
        event_log::write("recovery: renamed back " + printablePath(previous));
        folders.erase(folders.begin() + static_cast<std::ptrdiff_t>(*newest));
    }
    const bool installationInPlace =
        inspectEntry(installFolder) == EntryKind::Folder && isOwnedFolder(installFolder, tree);
    for (const WorkingFolder& folder : folders) {
        if (!installationInPlace && isPreviousInstallation(folder)) {
            // With no installation of ours in its place, this may be the only one left.
            event_log::write("recovery: kept, no installation in its place: " + printablePath(folder.path));
            continue;
        }
        event_log::write("recovery: clearing " + printablePath(folder.path));
        clearWorkingFolder(folder.path, ownershipOf(folder, tree, runningPackage), tree, installFolder, "recovery",
                           operations);
    }
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
        logLeftBehind(phase, removeTreeFiles(folder, tree, ours.ownedFiles(), operations));
        if (inspectEntry(folder) == EntryKind::Folder && inspectEntry(installFolder) == EntryKind::Folder &&
            isOwnedFolder(installFolder, tree)) {
            logCarried(phase, folder, installFolder, carryUserItems(folder, installFolder, ours, operations, false));
            removeEmptiedFolders(folder, operations);
            if (const std::optional<ProofLeft> left = removeProofWhenAlone(folder, tree, operations))
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
    const TreeOwnership ours = TreeOwnership::installedIn(root, tree, runningPackageRecord(entries));
    return removeTreeFiles(root, tree, ours.ownedFiles(), operations);
}

std::vector<LeftBehind> removeTreeFiles(const std::wstring& root, PackageTree tree,
                                        const std::vector<std::wstring>& relativeFiles, FileOperations& operations)
{
    ensureSafeInstallPath(root);
    std::vector<LeftBehind> left;
    const auto note = [&left](const std::wstring& path, RemovalResult result, bool isFolder) {
        if (result.outcome == RemovalOutcome::Removed || result.outcome == RemovalOutcome::Absent) return;
        // A folder that still holds files that are not ours is meant to stay.
        if (isFolder && result.outcome == RemovalOutcome::Refused && result.error == ERROR_DIR_NOT_EMPTY) return;
        left.push_back({path, result.outcome, result.error});
    };
    std::set<std::wstring> folders;
    for (const std::wstring& relative : relativeFiles) {
        if (isProofOfOwnership(relative)) continue; // last, below
        const std::wstring file = appendPath(root, relative);
        try {
            ensureSafeInstallPath(file);
        } catch (const std::exception&) {
            left.push_back({file, RemovalOutcome::NotOurs}); // leads through a link
            continue;
        }
        note(file, operations.removeFile(file), false);
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
        if (const std::optional<ProofLeft> stayed = removeProofWhenAlone(root, tree, operations))
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
    for (const auto& [folder, tree] : {std::pair{locations.bundleFolder, PackageTree::Bundle},
                                       std::pair{locations.productFolder, PackageTree::Product}})
        for (const WorkingFolder& working : workingFoldersBeside(folder, tree))
            folders.push_back({working.path, !ownershipOf(working, tree, runningPackage).ownedFiles().empty()});
    return folders;
}

void recoverInterruptedRuns(const InstallRecord& runningPackage, const InstallLocations& locations,
                            FileOperations& operations)
{
    event_log::Phase phase("recovery");
    recoverTree(runningPackage, locations.bundleFolder, PackageTree::Bundle, operations);
    recoverTree(runningPackage, locations.productFolder, PackageTree::Product, operations);
    phase.succeeded();
}

} // namespace elvara
