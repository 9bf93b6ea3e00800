#include "install/install_transaction.h"

#include "base/event_log.h"
#include "base/failure.h"
#include "base/unique_handle.h"
#include "install/install_record.h"
#include "install/module_holders.h"
#include "install/ownership.h"
#include "install/path_safety.h"
#include "install/path_text.h"
#include "install/user_file_carry.h"
#include "install/verified_removal.h"
#include "package/crypto.h"
#include "package/package_format.h"
#include "package/text.h"

#include <windows.h>

#include <algorithm>
#include <optional>
#include <set>

namespace elvara {

namespace {

constexpr char pluginInUseText[] = "Close FL Studio and other DAWs before updating the plugin.";
constexpr std::wstring_view stagingInfix = L".install-";
constexpr std::wstring_view rollbackInfix = L".rollback-";
constexpr std::size_t tokenDigits = 16;

std::string utf8(const std::wstring& path)
{
    try {
        return wideToUtf8(path);
    } catch (...) {
        return "(unprintable path)";
    }
}

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
        event_log::write(std::string(phase) + ": left behind: " + utf8(folder));
        return;
    }
    for (const std::wstring& path : remaining) event_log::write(std::string(phase) + ": left behind: " + utf8(path));
}

void logLeftBehind(const char* phase, const std::vector<LeftBehind>& left)
{
    for (const LeftBehind& entry : left) event_log::write(std::string(phase) + ": " + describeLeftBehind(entry));
}

void logCarried(const char* phase, const std::wstring& from, const std::wstring& to, const CarryResult& result)
{
    for (const CarriedItem& item : result.carried)
        event_log::write(std::string(phase) + ": kept the user's " + utf8(appendPath(from, item.from)) + " as " +
                         utf8(appendPath(to, item.to)));
    for (const std::wstring& link : result.links)
        event_log::write(std::string(phase) + ": a link stays where it is: " + utf8(link));
    if (result.failure)
        event_log::write(std::string(phase) + ": could not move " + utf8(result.failure->path) + " (Win32 error " +
                         std::to_string(result.failure->error) + ")");
}

// A rollback folder after the swap, or one that an interrupted run left: the files
// that were ours go; the user's own items move into the install folder; the folder
// goes once empty. Never raises: what stays waits for the next run.
void clearRollbackFolder(const std::wstring& rollback, const TreeOwnership& ours, PackageTree tree,
                         const std::wstring& installFolder, const char* phase, FileOperations& operations) noexcept
{
    try {
        logLeftBehind(phase, removeTreeFiles(rollback, ours.ownedFiles(), operations));
        if (inspectEntry(rollback) == EntryKind::Folder && inspectEntry(installFolder) == EntryKind::Folder &&
            isOwnedFolder(installFolder, tree == PackageTree::Bundle)) {
            logCarried(phase, rollback, installFolder, carryUserItems(rollback, installFolder, ours, operations, false));
            removeEmptiedFolders(rollback, operations);
            operations.removeEmptyFolder(rollback);
        }
        logWhatStayed(phase, rollback);
    } catch (const std::exception& failure) {
        event_log::writeFailure(std::string(phase) + ": " + utf8(rollback), failure);
    } catch (...) {
    }
}

void ensurePluginNotInUse(const std::wstring& bundleFolder)
{
    const std::wstring module =
        appendPath(bundleFolder, utf8ToWide(package_format::treeRelativeName(package_format::pluginModuleName)));
    ensureSafeInstallPath(module);
    const ModuleUse use = moduleUse(module);
    if (use == ModuleUse::Absent) return; // nothing that a host could hold; installing repairs the bundle
    if (use == ModuleUse::ReadOnly) {
        // No write probe on a read-only file: at least nobody may hold it open.
        UniqueFile exclusive(CreateFileW(module.c_str(), GENERIC_READ | DELETE, 0, nullptr, OPEN_EXISTING,
                                         FILE_ATTRIBUTE_NORMAL, nullptr));
        failIf(!exclusive, pluginInUseText);
        return;
    }
    if (use == ModuleUse::Free) return;
    // The fixed sentence first; then, where the system can tell, who holds the module.
    const std::string holders = utf8(holdersSentence(applicationsHolding(module)));
    event_log::write("the plug-in module is in use: " + utf8(module) + holders);
    fail((std::string(pluginInUseText) + holders).c_str());
}

void writeStagedFile(const std::wstring& path, ByteView data, FileOperations& operations)
{
    UniqueFile file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    failIf(!file, "Cannot create plugin file. Close your DAW and retry.");
    DWORD written = 0;
    const bool complete =
        operations.write(file.get(), data, written) && written == data.length && operations.flush(file.get());
    file.reset();
    failIf(!complete, "Unable to write the complete plugin file");
}

// First in each staging folder, so that whatever a killed run staged is described.
void writeInstallRecord(const std::wstring& stagingRoot, PackageTree tree, const std::vector<PackageEntry>& entries,
                        FileOperations& operations)
{
    const std::wstring path = installRecordPath(stagingRoot, tree);
    ensureSafeInstallPath(path);
    createDirectories(parentPath(path));
    const std::string text = formatInstallRecord(installRecordOf(entries, tree));
    writeStagedFile(path, {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()}, operations);
}

std::string previousInstallationStuckText(const std::wstring& folder, DWORD error)
{
    const bool inUse = error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED || error == ERROR_LOCK_VIOLATION;
    return "The previous installation in " + utf8(folder) + " could not be put back in place (" +
           systemErrorDescription(error) + "). Nothing was removed. " +
           (inUse ? "Close any program or window that uses this folder, then run Setup again."
                  : "Run Setup again once the folder can be renamed.");
}

std::string carryFailureText(const CarryFailure& failure)
{
    const std::string path = utf8(failure.path);
    if (failure.error == ERROR_SHARING_VIOLATION || failure.error == ERROR_LOCK_VIOLATION)
        return "Your file " + path +
               " is in use by another program, so it cannot be kept in the updated installation." +
               utf8(holdersSentence(applicationsHolding(failure.path))) +
               " Close that program, then run Setup again. Nothing was changed.";
    return "Your file " + path + " cannot be kept in the updated installation (" +
           systemErrorDescription(failure.error) + "). Nothing was changed; run Setup again once it can be moved.";
}

enum class WorkingKind { Staging, Rollback };

struct WorkingFolder {
    std::wstring path;
    WorkingKind kind;
    FILETIME created;
};

bool isToken(std::wstring_view text) noexcept
{
    return text.size() == tokenDigits && std::all_of(text.begin(), text.end(), [](wchar_t c) {
               return (c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f');
           });
}

// The entries directly inside a folder, with their creation times.
std::vector<WIN32_FIND_DATAW> childrenOf(const std::wstring& folder)
{
    std::vector<WIN32_FIND_DATAW> children;
    WIN32_FIND_DATAW found{};
    UniqueFindHandle search(FindFirstFileExW(appendPath(folder, L"*").c_str(), FindExInfoBasic, &found,
                                             FindExSearchNameMatch, nullptr, 0));
    if (!search) return children;
    do {
        const std::wstring_view name = found.cFileName;
        if (name != L"." && name != L"..") children.push_back(found);
    } while (FindNextFileW(search.get(), &found));
    return children;
}

// The working folders beside installFolder that are provably ours: a real folder (no
// link), named exactly after the install folder and a token, whose marker, where it
// holds one, is the marker line.
std::vector<WorkingFolder> workingFoldersBeside(const std::wstring& installFolder, PackageTree tree)
{
    std::vector<WorkingFolder> found;
    const LexedPath lexed = lexPath(installFolder);
    if (lexed.components.empty()) return found;
    const std::wstring& leaf = lexed.components.back();
    const std::wstring parent = parentPath(installFolder);
    const std::wstring markerRelative = utf8ToWide(package_format::treeRelativeName(
        tree == PackageTree::Bundle ? package_format::bundleMarkerName : package_format::productMarkerName));
    for (const WIN32_FIND_DATAW& child : childrenOf(parent)) {
        const std::wstring_view name = child.cFileName;
        if (!name.starts_with(leaf)) continue;
        const std::wstring_view rest = name.substr(leaf.size());
        std::optional<WorkingKind> kind;
        if (rest.starts_with(stagingInfix) && isToken(rest.substr(stagingInfix.size()))) kind = WorkingKind::Staging;
        if (rest.starts_with(rollbackInfix) && isToken(rest.substr(rollbackInfix.size()))) kind = WorkingKind::Rollback;
        if (!kind) continue;
        const std::wstring path = installFolder + std::wstring(rest);
        if (inspectEntry(path) != EntryKind::Folder) {
            event_log::write("recovery: not ours, left alone: " + utf8(path));
            continue;
        }
        const std::wstring marker = appendPath(path, markerRelative);
        const EntryKind markerKind = inspectEntry(marker);
        const bool provedOurs = markerKind == EntryKind::Absent ||
                                (markerKind == EntryKind::File && isOwnedFolder(path, tree == PackageTree::Bundle));
        if (!provedOurs) {
            event_log::write("recovery: not ours, left alone: " + utf8(path));
            continue;
        }
        found.push_back({path, *kind, child.ftCreationTime});
    }
    return found;
}

void recoverTree(const std::vector<PackageEntry>& entries, const std::wstring& installFolder, PackageTree tree,
                 FileOperations& operations)
{
    std::vector<WorkingFolder> folders = workingFoldersBeside(installFolder, tree);
    if (folders.empty()) return;
    if (inspectEntry(installFolder) == EntryKind::Absent) {
        // The previous installation, moved aside by a run that did not finish its swap.
        std::optional<std::size_t> newest;
        for (std::size_t i = 0; i < folders.size(); ++i) {
            if (folders[i].kind != WorkingKind::Rollback ||
                !isOwnedFolder(folders[i].path, tree == PackageTree::Bundle))
                continue;
            if (!newest || CompareFileTime(&folders[i].created, &folders[*newest].created) > 0) newest = i;
        }
        if (newest) {
            const std::wstring previous = folders[*newest].path;
            try {
                operations.rename(previous, installFolder);
            } catch (const FilesystemFailure& failure) {
                // Clearing what could not be put back would lose the previous installation.
                event_log::writeFailure("recovery", failure);
                fail(previousInstallationStuckText(previous, failure.errorCode()).c_str());
            }
            event_log::write("recovery: renamed back " + utf8(previous));
            folders.erase(folders.begin() + static_cast<std::ptrdiff_t>(*newest));
        }
    }
    const std::vector<std::string> names = namesInTree(entries, tree);
    for (const WorkingFolder& folder : folders) {
        event_log::write("recovery: clearing " + utf8(folder.path));
        // A staging folder holds nothing but what the installer wrote (its record
        // lists it even where a kill cut a file short) and the user's items it carried.
        const TreeOwnership ours(folder.path, tree, names,
                                 folder.kind == WorkingKind::Staging ? TreeOwnership::Proof::NameOnly
                                                                     : TreeOwnership::Proof::Digest);
        clearRollbackFolder(folder.path, ours, tree, installFolder, "recovery", operations);
    }
}

// One tree's part of the transaction.
struct TreeSwap {
    PackageTree tree;
    std::wstring installFolder, staging, rollback;
    bool existed = false;
    bool movedAside = false;
    bool inPlace = false;
    CarryResult carried;                     // the user's items, from the old folder into the staged one
    std::vector<std::wstring> previousFiles; // the old folder's files that were ours

    const std::wstring& oldFolderNow() const { return movedAside ? rollback : installFolder; }
    const std::wstring& newFolderNow() const { return inPlace ? installFolder : staging; }
};

struct Transaction {
    const std::vector<PackageEntry>& entries;
    FileOperations& operations;
    TreeSwap bundle, product;

    TreeSwap& of(PackageTree tree) { return tree == PackageTree::Bundle ? bundle : product; }

    std::vector<std::wstring> newFiles(PackageTree tree) const
    {
        std::vector<std::wstring> files{installRecordRelativePath(tree)};
        for (const std::string& name : namesInTree(entries, tree)) files.push_back(treeRelativePath(name));
        return files;
    }

    // Removal is best effort during the rollback: a refused path check must not
    // stop the old installation from being renamed back.
    void removeQuietlyDuringRollback(const std::wstring& root, PackageTree tree) const noexcept
    {
        try {
            logLeftBehind("rollback", removeTreeFiles(root, newFiles(tree), operations));
        } catch (const std::exception& failure) {
            event_log::writeFailure("rollback", failure);
        } catch (...) {
        }
    }

    // A failed rename back raises at once: it replaces the first failure and the
    // remaining steps are not done, so nothing is removed that might still be needed.
    void rollback() const
    {
        event_log::Phase phase("rollback");
        for (const TreeSwap* swap : {&product, &bundle})
            carryBack(swap->oldFolderNow(), swap->newFolderNow(), swap->carried, operations);
        if (product.inPlace) removeQuietlyDuringRollback(product.installFolder, PackageTree::Product);
        if (bundle.inPlace) removeQuietlyDuringRollback(bundle.installFolder, PackageTree::Bundle);
        if (product.movedAside) operations.rename(product.rollback, product.installFolder);
        if (bundle.movedAside) operations.rename(bundle.rollback, bundle.installFolder);
        if (pathExistsQuietly(bundle.staging)) removeQuietlyDuringRollback(bundle.staging, PackageTree::Bundle);
        if (pathExistsQuietly(product.staging)) removeQuietlyDuringRollback(product.staging, PackageTree::Product);
        phase.succeeded();
    }
};

TreeSwap treeSwap(PackageTree tree, const std::wstring& installFolder, const std::wstring& token)
{
    TreeSwap swap{tree, installFolder, installFolder + std::wstring(stagingInfix) + token,
                  installFolder + std::wstring(rollbackInfix) + token};
    swap.existed = pathExists(installFolder);
    return swap;
}

} // namespace

std::string describeLeftBehind(const LeftBehind& entry)
{
    if (entry.outcome == RemovalOutcome::NotOurs) return "left alone (a link or not ours): " + utf8(entry.path);
    return "could not be removed (Win32 error " + std::to_string(entry.error) + "): " + utf8(entry.path);
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
    return removeTreeFiles(root, TreeOwnership(root, tree, namesInTree(entries, tree)).ownedFiles(), operations);
}

std::vector<LeftBehind> removeTreeFiles(const std::wstring& root, const std::vector<std::wstring>& relativeFiles,
                                        FileOperations& operations)
{
    ensureSafeInstallPath(root);
    std::vector<LeftBehind> left;
    const auto note = [&left](const std::wstring& path, RemovalResult result, bool isFolder) {
        if (result.outcome == RemovalOutcome::Removed || result.outcome == RemovalOutcome::Absent) return;
        // A folder that still holds files that are not ours is meant to stay.
        if (isFolder && result.outcome == RemovalOutcome::Refused && result.error == ERROR_DIR_NOT_EMPTY) return;
        left.push_back({path, result.outcome, result.error});
    };
    // The marker goes last, and only when everything else went: a folder that keeps any
    // of our files keeps the proof that it is ours.
    const auto isMarker = [](const std::wstring& relative) {
        const std::wstring key = relativePathKey(relative);
        return key == relativePathKey(treeRelativePath(package_format::bundleMarkerName)) ||
               key == relativePathKey(treeRelativePath(package_format::productMarkerName));
    };
    std::vector<std::wstring> ordered = relativeFiles;
    std::stable_partition(ordered.begin(), ordered.end(), [&](const std::wstring& relative) { return !isMarker(relative); });
    std::set<std::wstring> folders;
    for (const std::wstring& relative : ordered) {
        if (isMarker(relative) && !left.empty()) continue;
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
    note(root, operations.removeEmptyFolder(root), true);
    return left;
}

void recoverInterruptedRuns(const std::vector<PackageEntry>& entries, const InstallLocations& locations,
                            FileOperations& operations)
{
    event_log::Phase phase("recovery");
    recoverTree(entries, locations.bundleFolder, PackageTree::Bundle, operations);
    recoverTree(entries, locations.productFolder, PackageTree::Product, operations);
    phase.succeeded();
}

InstallOutcome installPackage(const std::vector<PackageEntry>& entries, const InstallLocations& locations,
                              const ProgressCallback& progress)
{
    return installPackage(entries, locations, progress, realFileOperations());
}

InstallOutcome installPackage(const std::vector<PackageEntry>& entries, const InstallLocations& locations,
                              const ProgressCallback& progress, FileOperations& operations)
{
    ensureSafeInstallPath(locations.bundleFolder);
    ensureSafeInstallPath(locations.productFolder);
    recoverInterruptedRuns(entries, locations, operations);
    const std::wstring token = utf8ToWide(toLowerHex(randomBytes(8)));
    Transaction transaction{entries, operations, treeSwap(PackageTree::Bundle, locations.bundleFolder, token),
                            treeSwap(PackageTree::Product, locations.productFolder, token)};
    if (transaction.bundle.existed && !isOwnedFolder(locations.bundleFolder, true))
        fail("The existing ElvaraSound VST3 folder was not created by this installer. It will not be overwritten.");
    if (transaction.product.existed && !isOwnedFolder(locations.productFolder, false))
        fail("The existing product folder is not an ElvaraSound installation. It will not be overwritten.");

    try {
        if (transaction.bundle.existed) ensurePluginNotInUse(locations.bundleFolder);

        event_log::Phase staging("staging");
        for (const TreeSwap* swap : {&transaction.bundle, &transaction.product})
            writeInstallRecord(swap->staging, swap->tree, entries, operations);
        const auto total = static_cast<std::uint32_t>(entries.size());
        std::uint32_t written = 0;
        for (const PackageEntry& entry : entries) {
            const PackageTree tree = treeOf(entry.name);
            const std::wstring file = appendPath(transaction.of(tree).staging, entryRelativePath(entry, tree));
            ensureSafeInstallPath(file);
            createDirectories(parentPath(file));
            writeStagedFile(file, entry.data, operations);
            ++written;
            progress(10 + written * 70 / total);
        }
        staging.succeeded();

        event_log::Phase carry("carrying the user's files");
        for (TreeSwap* swap : {&transaction.bundle, &transaction.product}) {
            if (!swap->existed) continue;
            const TreeOwnership previous(swap->installFolder, swap->tree, namesInTree(entries, swap->tree));
            swap->carried = carryUserItems(swap->installFolder, swap->staging, previous, operations, true);
            logCarried("carry", swap->installFolder, swap->staging, swap->carried);
            if (swap->carried.failure) fail(carryFailureText(*swap->carried.failure).c_str());
            swap->previousFiles = previous.ownedFiles();
        }
        carry.succeeded();

        event_log::Phase swap("swap");
        for (TreeSwap* tree : {&transaction.bundle, &transaction.product}) {
            if (!tree->existed) continue;
            operations.rename(tree->installFolder, tree->rollback);
            tree->movedAside = true;
        }
        for (TreeSwap* tree : {&transaction.bundle, &transaction.product}) {
            operations.rename(tree->staging, tree->installFolder);
            tree->inPlace = true;
        }
        progress(95);
        swap.succeeded();
    } catch (...) {
        try {
            throw;
        } catch (const std::exception& failure) {
            event_log::writeFailure("installation", failure);
        } catch (...) {
        }
        transaction.rollback(); // a failed rename back replaces the first failure
        throw;
    }

    // Committed: the new installation stays whatever happens; what the clean-up
    // cannot remove waits for the next run's recovery.
    InstallOutcome outcome;
    {
        event_log::Phase cleanUp("clean-up");
        for (const TreeSwap* swap : {&transaction.product, &transaction.bundle}) {
            for (const CarriedItem& item : swap->carried.carried)
                if (item.from != item.to)
                    outcome.keptBeside.push_back(
                        {appendPath(swap->installFolder, item.from), appendPath(swap->installFolder, item.to)});
            if (swap->movedAside)
                clearRollbackFolder(swap->rollback, TreeOwnership::claiming(swap->rollback, swap->previousFiles),
                                    swap->tree, swap->installFolder, "clean-up", operations);
        }
        cleanUp.succeeded();
    }
    progress(100);
    return outcome;
}

} // namespace elvara
