#include "install/install_transaction.h"

#include "base/event_log.h"
#include "base/failure.h"
#include "base/unique_handle.h"
#include "install/module_holders.h"
#include "install/ownership.h"
#include "install/path_safety.h"
#include "install/path_text.h"
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

PackageTree treeOf(const PackageEntry& entry) noexcept
{
    return isPluginEntry(entry) ? PackageTree::Bundle : PackageTree::Product;
}

std::string utf8(const std::wstring& path)
{
    try {
        return wideToUtf8(path);
    } catch (...) {
        return "(unprintable path)";
    }
}

// The names directly inside a folder, without "." and "..".
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

// Everything that is still below folder, not followed through links, for the log.
void listRemaining(const std::wstring& folder, std::vector<std::wstring>& remaining)
{
    for (const WIN32_FIND_DATAW& child : childrenOf(folder)) {
        const std::wstring path = appendPath(folder, child.cFileName);
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

// Moves every file and folder below from to the same relative path below to, where to
// does not have that name yet; a folder that both have is merged. Links stay: renaming
// a file link moves its target under Wine. What cannot move stays.
void moveLeftovers(const std::wstring& from, const std::wstring& to, FileOperations& operations)
{
    for (const WIN32_FIND_DATAW& child : childrenOf(from)) {
        const std::wstring source = appendPath(from, child.cFileName);
        const std::wstring target = appendPath(to, child.cFileName);
        const EntryKind kind = inspectEntry(source);
        const EntryKind existing = inspectEntry(target);
        if (kind == EntryKind::Folder && existing == EntryKind::Folder) {
            moveLeftovers(source, target, operations);
            operations.removeEmptyFolder(source);
        } else if ((kind == EntryKind::File || kind == EntryKind::Folder) && existing == EntryKind::Absent) {
            const DWORD error = operations.moveWithoutReplacing(source, target);
            if (error == ERROR_SUCCESS)
                event_log::write("kept the user's " + utf8(source) + " as " + utf8(target));
            else
                event_log::write("could not move " + utf8(source) + " to " + utf8(target) + " (Win32 error " +
                                 std::to_string(error) + ")");
        }
    }
}

// A rollback folder after the swap, or one that an interrupted run left: the
// package's files go; in the product tree the user's own files move into the product
// folder; the folder goes once empty. Never raises: what stays waits for the next run.
void clearRollbackFolder(const std::wstring& rollback, const std::vector<PackageEntry>& entries, PackageTree tree,
                         const std::wstring& installFolder, const char* phase, FileOperations& operations) noexcept
{
    try {
        logLeftBehind(phase, removePackageFiles(rollback, entries, tree, operations));
        if (tree == PackageTree::Product && inspectEntry(rollback) == EntryKind::Folder &&
            inspectEntry(installFolder) == EntryKind::Folder && isOwnedFolder(installFolder, false)) {
            moveLeftovers(rollback, installFolder, operations);
            operations.removeEmptyFolder(rollback);
        }
        logWhatStayed(phase, rollback);
    } catch (const std::exception& failure) {
        event_log::writeFailure(std::string(phase) + ": " + utf8(rollback), failure);
    } catch (...) {
    }
}

void removeStagingFolder(const std::wstring& staging, const std::vector<PackageEntry>& entries, PackageTree tree,
                         const char* phase, FileOperations& operations) noexcept
{
    try {
        logLeftBehind(phase, removePackageFiles(staging, entries, tree, operations));
        logWhatStayed(phase, staging);
    } catch (const std::exception& failure) {
        event_log::writeFailure(std::string(phase) + ": " + utf8(staging), failure);
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
            try {
                operations.rename(folders[*newest].path, installFolder);
                event_log::write("recovery: renamed back " + utf8(folders[*newest].path));
                folders.erase(folders.begin() + static_cast<std::ptrdiff_t>(*newest));
            } catch (const std::exception& failure) {
                event_log::writeFailure("recovery", failure);
            }
        }
    }
    for (const WorkingFolder& folder : folders) {
        event_log::write("recovery: clearing " + utf8(folder.path));
        if (folder.kind == WorkingKind::Staging)
            removeStagingFolder(folder.path, entries, tree, "recovery", operations);
        else
            clearRollbackFolder(folder.path, entries, tree, installFolder, "recovery", operations);
    }
}

struct Transaction {
    const std::vector<PackageEntry>& entries;
    const InstallLocations& locations;
    FileOperations& operations;
    std::wstring bundleStaging, productStaging, bundleRollback, productRollback;
    bool bundleMovedAside = false;
    bool productMovedAside = false;
    bool bundleInPlace = false;
    bool productInPlace = false;

    const std::wstring& stagingFor(PackageTree tree) const
    {
        return tree == PackageTree::Bundle ? bundleStaging : productStaging;
    }

    // Removal is best effort during the rollback: a refused path check must not
    // stop the old installation from being renamed back.
    void removeQuietlyDuringRollback(const std::wstring& root, PackageTree tree) const noexcept
    {
        try {
            logLeftBehind("rollback", removePackageFiles(root, entries, tree, operations));
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
        if (productInPlace) removeQuietlyDuringRollback(locations.productFolder, PackageTree::Product);
        if (bundleInPlace) removeQuietlyDuringRollback(locations.bundleFolder, PackageTree::Bundle);
        if (productMovedAside) operations.rename(productRollback, locations.productFolder);
        if (bundleMovedAside) operations.rename(bundleRollback, locations.bundleFolder);
        if (pathExistsQuietly(bundleStaging)) removeQuietlyDuringRollback(bundleStaging, PackageTree::Bundle);
        if (pathExistsQuietly(productStaging)) removeQuietlyDuringRollback(productStaging, PackageTree::Product);
        phase.succeeded();
    }
};

} // namespace

bool isPluginEntry(const PackageEntry& entry) noexcept { return package_format::isBundleName(entry.name); }

std::wstring entryRelativePath(const PackageEntry& entry, PackageTree tree)
{
    const std::string_view prefix =
        tree == PackageTree::Bundle ? package_format::bundleTreePrefix : package_format::productTreePrefix;
    const std::string_view name = entry.name;
    return utf8ToWide(name.substr(std::min(prefix.size(), name.size())));
}

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
    std::vector<LeftBehind> left;
    const auto note = [&left](const std::wstring& path, RemovalResult result, bool isFolder) {
        if (result.outcome == RemovalOutcome::Removed || result.outcome == RemovalOutcome::Absent) return;
        // A folder that still holds files the package does not name is meant to stay.
        if (isFolder && result.outcome == RemovalOutcome::Refused && result.error == ERROR_DIR_NOT_EMPTY) return;
        left.push_back({path, result.outcome, result.error});
    };
    std::set<std::wstring> folders;
    for (const PackageEntry& entry : entries) {
        if (treeOf(entry) != tree) continue;
        const std::wstring file = appendPath(root, entryRelativePath(entry, tree));
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

void installPackage(const std::vector<PackageEntry>& entries, const InstallLocations& locations,
                    const ProgressCallback& progress)
{
    installPackage(entries, locations, progress, realFileOperations());
}

void installPackage(const std::vector<PackageEntry>& entries, const InstallLocations& locations,
                    const ProgressCallback& progress, FileOperations& operations)
{
    ensureSafeInstallPath(locations.bundleFolder);
    ensureSafeInstallPath(locations.productFolder);
    recoverInterruptedRuns(entries, locations, operations);
    const bool bundleExisted = pathExists(locations.bundleFolder);
    const bool productExisted = pathExists(locations.productFolder);
    if (bundleExisted && !isOwnedFolder(locations.bundleFolder, true))
        fail("The existing ElvaraSound VST3 folder was not created by this installer. It will not be overwritten.");
    if (productExisted && !isOwnedFolder(locations.productFolder, false))
        fail("The existing product folder is not an ElvaraSound installation. It will not be overwritten.");

    const std::wstring token = utf8ToWide(toLowerHex(randomBytes(8)));
    Transaction transaction{entries,
                            locations,
                            operations,
                            locations.bundleFolder + std::wstring(stagingInfix) + token,
                            locations.productFolder + std::wstring(stagingInfix) + token,
                            locations.bundleFolder + std::wstring(rollbackInfix) + token,
                            locations.productFolder + std::wstring(rollbackInfix) + token};

    try {
        if (bundleExisted) ensurePluginNotInUse(locations.bundleFolder);

        event_log::Phase staging("staging");
        const auto total = static_cast<std::uint32_t>(entries.size());
        std::uint32_t written = 0;
        for (const PackageEntry& entry : entries) {
            const PackageTree tree = treeOf(entry);
            const std::wstring file = appendPath(transaction.stagingFor(tree), entryRelativePath(entry, tree));
            ensureSafeInstallPath(file);
            createDirectories(parentPath(file));
            writeStagedFile(file, entry.data, operations);
            ++written;
            progress(10 + written * 70 / total);
        }
        staging.succeeded();

        event_log::Phase swap("swap");
        if (bundleExisted) {
            operations.rename(locations.bundleFolder, transaction.bundleRollback);
            transaction.bundleMovedAside = true;
        }
        if (productExisted) {
            operations.rename(locations.productFolder, transaction.productRollback);
            transaction.productMovedAside = true;
        }
        operations.rename(transaction.bundleStaging, locations.bundleFolder);
        transaction.bundleInPlace = true;
        operations.rename(transaction.productStaging, locations.productFolder);
        transaction.productInPlace = true;
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
    {
        event_log::Phase cleanUp("clean-up");
        if (transaction.productMovedAside)
            clearRollbackFolder(transaction.productRollback, entries, PackageTree::Product, locations.productFolder,
                                "clean-up", operations);
        if (transaction.bundleMovedAside)
            clearRollbackFolder(transaction.bundleRollback, entries, PackageTree::Bundle, locations.bundleFolder,
                                "clean-up", operations);
        cleanUp.succeeded();
    }
    progress(100);
}

} // namespace elvara
