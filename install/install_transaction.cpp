#include "install/install_transaction.h"

#include "base/event_log.h"
#include "base/failure.h"
#include "base/path_text.h"
#include "base/unique_handle.h"
#include "install/module_holders.h"
#include "install/ownership.h"
#include "install/path_safety.h"
#include "install/recovery.h"
#include "install/swap_uninstaller.h"
#include "install/user_file_carry.h"
#include "install/verified_removal.h"
#include "package/crypto.h"
#include "package/frame_decoder.h"
#include "package/package_format.h"
#include "package/text.h"

#include <windows.h>

#include <algorithm>
#include <optional>
#include <set>

namespace elvara {

namespace {

constexpr char pluginInUseText[] = "Close FL Studio and other DAWs before updating the plugin.";

void ensurePluginNotInUse(const std::wstring& bundleFolder)
{
    const std::wstring module =
        appendPath(bundleFolder, utf8ToWide(package_format::treeRelativeName(package_format::pluginModuleName)));
    ensureSafeInstallPath(module);
    const ModuleUse use = moduleUse(module);
    if (use == ModuleUse::Absent) return; // nothing that a host could hold; installing repairs the bundle
    if (use == ModuleUse::ReadOnly) {
        // No write probe on a read-only file: at least nobody may hold it open.
        UniqueFile exclusive(CreateFileW(extendedLengthPath(module).c_str(), GENERIC_READ | DELETE, 0, nullptr, OPEN_EXISTING,
                                         FILE_ATTRIBUTE_NORMAL, nullptr));
        failIf(!exclusive, pluginInUseText);
        return;
    }
    if (use == ModuleUse::Free) return;
    // The fixed sentence first; then, where the system can tell, who holds the module.
    const std::string holders = printablePath(holdersSentence(applicationsHolding(module)));
    event_log::write("the plug-in module is in use: " + printablePath(module) + holders);
    fail((std::string(pluginInUseText) + holders).c_str());
}

bool meansDiskFull(DWORD error) noexcept { return error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL; }

// The advice follows the cause: a full disk is not a DAW holding a file.
[[noreturn]] void failStagedWrite(const char* fixedText, const std::wstring& path, DWORD error, bool creating)
{
    std::string text;
    if (meansDiskFull(error))
        text = "There is not enough space on the disk for " + printablePath(path) + " (" +
               systemErrorDescription(error) + "). Free some space, then run Setup again. Nothing was changed.";
    else if (error == ERROR_SUCCESS || (creating && meansHeldByAnotherProgram(error)))
        text = fixedText;
    else
        text = std::string(fixedText) + " " + printablePath(path) + " (" + systemErrorDescription(error) +
               "). Nothing was changed.";
    throw Failure(text.c_str(), Failure::CodeKind::Win32, error);
}

UniqueFile createStagedFile(const std::wstring& path)
{
    UniqueFile file(CreateFileW(extendedLengthPath(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) failStagedWrite("Cannot create plugin file. Close your DAW and retry.", path, GetLastError(), true);
    return file;
}

// A failure raises at once; the unwinding closes the file before the rollback removes it.
void writeStagedBytes(HANDLE file, const std::wstring& path, ByteView data, FileOperations& operations)
{
    DWORD written = 0;
    SetLastError(ERROR_SUCCESS);
    if (!operations.write(file, data, written) || written != data.length)
        failStagedWrite("Unable to write the complete plugin file", path, GetLastError(), false);
}

void flushStagedFile(HANDLE file, const std::wstring& path, FileOperations& operations)
{
    SetLastError(ERROR_SUCCESS);
    if (!operations.flush(file)) failStagedWrite("Unable to write the complete plugin file", path, GetLastError(), false);
}

void writeStagedFile(const std::wstring& path, ByteView data, FileOperations& operations)
{
    const UniqueFile file = createStagedFile(path);
    writeStagedBytes(file.get(), path, data, operations);
    flushStagedFile(file.get(), path, operations);
}

// Each frame is decoded into the decoder's one buffer and written at once; the decoded
// bytes are checked against the entry's digest before the file counts as staged, so a
// mismatch rolls the transaction back before any swap.
void writeStagedEntry(const std::wstring& path, const PackageEntry& entry, FrameDecoder& decoder,
                      FileOperations& operations)
{
    const UniqueFile file = createStagedFile(path);
    const auto digest = newSha256Stream();
    if (entry.frames.empty()) writeStagedBytes(file.get(), path, {}, operations); // one write per file, empty or not
    decodePackageEntry(entry, decoder, *digest,
                       [&](ByteView decoded) { writeStagedBytes(file.get(), path, decoded, operations); });
    flushStagedFile(file.get(), path, operations);
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

std::string carryFailureText(const CarryFailure& failure)
{
    const std::string path = printablePath(failure.path);
    if (failure.error == ERROR_SHARING_VIOLATION || failure.error == ERROR_LOCK_VIOLATION)
        return "Your file " + path +
               " is in use by another program, so it cannot be kept in the updated installation." +
               printablePath(holdersSentence(applicationsHolding(failure.path))) +
               " Close that program, then run Setup again. Nothing was changed.";
    return "Your file " + path + " cannot be kept in the updated installation (" +
           systemErrorDescription(failure.error) + "). Nothing was changed; run Setup again once it can be moved.";
}

std::string notPutBackText(const std::vector<NotPutBack>& items)
{
    std::string text;
    for (const NotPutBack& item : items)
        text += " Your file " + printablePath(item.belongs) + " could not be put back (" +
                systemErrorDescription(item.error) + "); it is now " + printablePath(item.stays) +
                ". Move it back yourself, or run Setup again: it puts it back.";
    return text;
}

// An install folder that holds no file at all is nobody's installation: it goes, so
// that the new one can take its place. True when it went.
bool takeOverEmptyFolder(const std::wstring& folder, FileOperations& operations)
{
    const std::optional<FolderLeft> left = removeEmptyTree(folder, operations);
    if (!left) {
        event_log::write("took over the empty folder " + printablePath(folder));
        return true;
    }
    event_log::write("cannot remove the empty folder " + printablePath(left->path) + " (Win32 error " +
                     std::to_string(left->error) + ")");
    fail(("The folder " + printablePath(folder) + " is empty but cannot be replaced." +
          heldFolderAdvice(left->path, left->error, "Setup"))
             .c_str());
}

bool isInside(const std::wstring& path, const std::wstring& folder)
{
    for (std::wstring above = parentPath(path); above.size() >= folder.size();) {
        if (sameLocation(above, folder)) return true;
        std::wstring next = parentPath(above);
        if (next.size() >= above.size()) break;
        above = std::move(next);
    }
    return false;
}

const PackageEntry* findEntry(const std::vector<PackageEntry>& entries, std::string_view name) noexcept
{
    const auto found =
        std::find_if(entries.begin(), entries.end(), [name](const PackageEntry& entry) { return entry.name == name; });
    return found == entries.end() ? nullptr : &*found;
}

// A user's item kept beside a file of the run (its note, at a name the user's file had
// too) gets its own name back once that name is free again.
bool ownNameGivenBack(const std::wstring& installFolder, const CarriedItem& item, FileOperations& operations)
{
    const std::wstring own = appendPath(installFolder, item.from);
    if (inspectEntry(own) != EntryKind::Absent) return false;
    if (operations.moveWithoutReplacing(appendPath(installFolder, item.to), own) != ERROR_SUCCESS) return false;
    event_log::write("clean-up: gave the user's " + printablePath(appendPath(installFolder, item.to)) +
                     " its own name back: " + printablePath(own));
    return true;
}

// One tree's part of the transaction.
struct TreeSwap {
    PackageTree tree;
    std::wstring installFolder, staging, rollback;
    bool existed = false;
    bool movedAside = false;
    bool inPlace = false;
    CarryResult carried; // the user's items, from the old folder into the staged one

    const std::wstring& oldFolderNow() const { return movedAside ? rollback : installFolder; }
    const std::wstring& newFolderNow() const { return inPlace ? installFolder : staging; }
};

struct Transaction {
    const std::vector<PackageEntry>& entries;
    FileOperations& operations;
    TreeSwap bundle, product;

    TreeSwap& of(PackageTree tree) { return tree == PackageTree::Bundle ? bundle : product; }

    // Removal is best effort during the rollback: a refused path check must not
    // stop the old installation from being renamed back.
    void removeQuietlyDuringRollback(const std::wstring& root, PackageTree tree) const noexcept
    {
        try {
            logLeftBehind("rollback",
                          removeTreeFiles(TreeOwnership::stagedIn(root, tree, runningPackageRecord(entries)), operations));
        } catch (const std::exception& failure) {
            event_log::writeFailure("rollback", failure);
        } catch (...) {
        }
    }

    // The new folders go aside before the old ones come back, so that a folder that
    // cannot be emptied never stands where the previous installation must return; the
    // user's items follow once everything is in place. A failed rename raises at once:
    // it replaces the first failure and the remaining steps are not done, so nothing
    // is removed that might still be needed.
    // The user's items that could not be given back stay where the rollback left them.
    std::vector<NotPutBack> rollback()
    {
        event_log::Phase phase("rollback");
        std::vector<NotPutBack> notPutBack;
        for (TreeSwap* swap : {&product, &bundle})
            if (swap->inPlace) {
                operations.rename(swap->installFolder, swap->staging);
                swap->inPlace = false;
            }
        for (TreeSwap* swap : {&product, &bundle})
            if (swap->movedAside) {
                operations.rename(swap->rollback, swap->installFolder);
                swap->movedAside = false;
            }
        for (const TreeSwap* swap : {&product, &bundle}) {
            for (NotPutBack& item : carryBack(swap->installFolder, swap->staging, swap->carried, operations)) {
                event_log::write("rollback: could not put back the user's " + printablePath(item.belongs) +
                                 " (Win32 error " + std::to_string(item.error) + "); it stays at " +
                                 printablePath(item.stays));
                notPutBack.push_back(std::move(item));
            }
            if (pathExistsQuietly(swap->staging)) removeQuietlyDuringRollback(swap->staging, swap->tree);
        }
        phase.succeeded();
        return notPutBack;
    }
};

TreeSwap treeSwap(PackageTree tree, const std::wstring& installFolder, const std::wstring& token)
{
    TreeSwap swap{tree, installFolder, workingFolderPath(installFolder, tree, WorkingKind::Staging, token),
                  workingFolderPath(installFolder, tree, WorkingKind::Rollback, token)};
    swap.existed = pathExists(installFolder);
    return swap;
}

} // namespace

std::uint64_t packageBytes(const std::vector<PackageEntry>& entries) noexcept
{
    std::uint64_t total = 0;
    for (const PackageEntry& entry : entries) total += entry.size;
    return total;
}

InstallOutcome installPackage(const std::vector<PackageEntry>& entries, const InstallLocations& locations,
                              const ProgressCallback& progress, EntryDuringSwap entry)
{
    return installPackage(entries, locations, progress, realFileOperations(), entry);
}

InstallOutcome installPackage(const std::vector<PackageEntry>& entries, const InstallLocations& locations,
                              const ProgressCallback& progress, FileOperations& operations, EntryDuringSwap entry)
{
    ensureSafeInstallPath(locations.bundleFolder);
    ensureSafeInstallPath(locations.productFolder);
    recoverInterruptedRuns(entries, locations, operations);
    const std::wstring token = utf8ToWide(toLowerHex(randomBytes(8)));
    Transaction transaction{entries, operations, treeSwap(PackageTree::Bundle, locations.bundleFolder, token),
                            treeSwap(PackageTree::Product, locations.productFolder, token)};
    std::optional<SwapUninstaller> swapUninstaller;
    if (const PackageEntry* uninstaller = findEntry(entries, package_format::uninstallerName);
        uninstaller && entry == EntryDuringSwap::NamesAnUninstallerThatExists)
        swapUninstaller.emplace(locations, token,
                                appendPath(transaction.product.staging, entryRelativePath(*uninstaller, PackageTree::Product)),
                                packageBytes(entries));
    // An empty folder is nobody's; it is taken over only once both folders are known to
    // be fit, so that a refusal changes nothing.
    std::vector<TreeSwap*> emptyFolders;
    for (TreeSwap* swap : {&transaction.bundle, &transaction.product})
        if (swap->existed && holdsNoFiles(swap->installFolder) &&
            !isOwnedFolder(swap->installFolder, swap->tree))
            emptyFolders.push_back(swap);
    const auto isEmpty = [&](const TreeSwap& swap) {
        return std::find(emptyFolders.begin(), emptyFolders.end(), &swap) != emptyFolders.end();
    };
    if (transaction.bundle.existed && !isEmpty(transaction.bundle) && !isOwnedFolder(locations.bundleFolder, PackageTree::Bundle))
        fail("The existing ElvaraSound VST3 folder was not created by this installer. It will not be overwritten.");
    if (transaction.product.existed && !isEmpty(transaction.product) && !isOwnedFolder(locations.productFolder, PackageTree::Product))
        fail("The existing product folder is not an ElvaraSound installation. It will not be overwritten.");
    for (TreeSwap* swap : emptyFolders) swap->existed = !takeOverEmptyFolder(swap->installFolder, operations);

    try {
        if (transaction.bundle.existed) ensurePluginNotInUse(locations.bundleFolder);

        event_log::Phase staging("staging");
        for (const TreeSwap* swap : {&transaction.bundle, &transaction.product}) {
            startRunNote(swap->staging, swap->tree, token);
            writeInstallRecord(swap->staging, swap->tree, entries, operations);
        }
        const auto total = static_cast<std::uint32_t>(entries.size());
        std::uint32_t written = 0;
        FrameDecoder decoder;
        for (const PackageEntry& entry : entries) {
            const PackageTree tree = treeOf(entry.name);
            const std::wstring file = appendPath(transaction.of(tree).staging, entryRelativePath(entry, tree));
            ensureSafeInstallPath(file);
            createDirectories(parentPath(file));
            writeStagedEntry(file, entry, decoder, operations);
            ++written;
            progress(10 + written * 70 / total);
        }
        staging.succeeded();

        event_log::Phase carry("carrying the user's files");
        for (TreeSwap* swap : {&transaction.bundle, &transaction.product}) {
            if (!swap->existed) continue;
            const TreeOwnership previous =
                TreeOwnership::installedIn(swap->installFolder, swap->tree, runningPackageRecord(entries));
            // Each item is noted before it moves, so that a run that is never finished
            // gives every item its own name back.
            const auto note = [swap](const CarriedItem& item) {
                return noteCarried(swap->staging, swap->tree, {item.to, item.from});
            };
            swap->carried = carryUserItems(swap->installFolder, swap->staging, previous, operations, true, note);
            logCarried("carry", swap->installFolder, swap->staging, swap->carried);
            if (swap->carried.failure) fail(carryFailureText(*swap->carried.failure).c_str());
        }
        carry.succeeded();

        event_log::Phase swap("swap");
        if (swapUninstaller) swapUninstaller->prepare();
        for (TreeSwap* tree : {&transaction.bundle, &transaction.product}) {
            if (!tree->existed) continue;
            operations.rename(tree->installFolder, tree->rollback);
            tree->movedAside = true;
        }
        for (TreeSwap* tree : {&transaction.bundle, &transaction.product}) {
            createDirectories(parentPath(tree->installFolder)); // the VST3 folder may not exist yet
            operations.rename(tree->staging, tree->installFolder);
            tree->inPlace = true;
        }
        if (swapUninstaller) swapUninstaller->settle();
        progress(95);
        swap.succeeded();
    } catch (...) {
        std::string heldFolderText;
        try {
            throw;
        } catch (const FilesystemFailure& failure) {
            event_log::writeFailure("installation", failure);
            // The held folder is the install folder: the one moved aside, or the place
            // where a staged folder was to go.
            if (failure.operation() == "rename" && meansHeldByAnotherProgram(failure.errorCode())) {
                const std::wstring to = failure.path2().wstring();
                const bool intoPlace = sameLocation(to, locations.bundleFolder) || sameLocation(to, locations.productFolder);
                heldFolderText = failure.what() +
                                 heldFolderAdvice(intoPlace ? to : failure.path1().wstring(), failure.errorCode(), "Setup");
            }
        } catch (const std::exception& failure) {
            event_log::writeFailure("installation", failure);
        } catch (...) {
        }
        const std::vector<NotPutBack> notPutBack = transaction.rollback(); // a failed rename back replaces the first failure
        if (swapUninstaller) swapUninstaller->undo();
        if (notPutBack.empty()) {
            if (!heldFolderText.empty()) fail(heldFolderText.c_str());
            throw;
        }
        std::string text;
        try {
            throw;
        } catch (const std::exception& failure) {
            text = heldFolderText.empty() ? failure.what() : heldFolderText;
        } catch (...) {
            text = "The installation failed.";
        }
        fail((text + notPutBackText(notPutBack)).c_str());
    }

    // Committed: the new installation stays whatever happens; what the clean-up
    // cannot remove waits for the next run's recovery.
    InstallOutcome outcome;
    {
        event_log::Phase cleanUp("clean-up");
        // The run is done: its notes go first, so that the new folders are the installation.
        for (const TreeSwap* swap : {&transaction.product, &transaction.bundle})
            removeRunNote(swap->installFolder, swap->tree, "clean-up", operations);
        for (const TreeSwap* swap : {&transaction.product, &transaction.bundle}) {
            for (const CarriedItem& item : swap->carried.carried)
                if (item.from != item.to && !ownNameGivenBack(swap->installFolder, item, operations))
                    outcome.keptBeside.push_back(
                        {appendPath(swap->installFolder, item.from), appendPath(swap->installFolder, item.to)});
            if (swap->movedAside)
                // Judged again by its bytes: a file held without sharing while the carry
                // judged it may have been changed since.
                clearWorkingFolder(swap->rollback,
                                   TreeOwnership::installedIn(swap->rollback, swap->tree, runningPackageRecord(entries)),
                                   swap->tree, swap->installFolder, "clean-up", operations);
        }
        cleanUp.succeeded();
    }
    for (const TreeSwap* swap : {&transaction.bundle, &transaction.product})
        for (const std::wstring& relative : swap->carried.setAside) {
            const std::wstring now = appendPath(swap->rollback, relative);
            event_log::write("the user's plug-in module " + printablePath(appendPath(swap->installFolder, relative)) +
                             " was set aside: " + printablePath(now));
            outcome.modulesSetAside.push_back({appendPath(swap->installFolder, relative), now});
        }
    // Success means clean: every working folder that still stands is named, with what
    // it holds.
    for (const InterruptedRunFolder& left : interruptedRunFolders(runningPackageRecord(entries), locations)) {
        event_log::write("left behind for the next run: " + printablePath(left.path));
        if (left.holdsOurs)
            outcome.workingFoldersLeft.push_back(left.path);
        else if (std::none_of(outcome.modulesSetAside.begin(), outcome.modulesSetAside.end(),
                              [&](const KeptBeside& module) { return isInside(module.keptAs, left.path); }))
            outcome.userItemsLeftIn.push_back(left.path);
    }
    progress(100);
    return outcome;
}

} // namespace elvara
