#include "install/install_transaction.h"

#include "base/failure.h"
#include "base/unique_handle.h"
#include "install/filesystem_ops.h"
#include "install/ownership.h"
#include "install/path_safety.h"
#include "install/path_text.h"
#include "package/crypto.h"
#include "package/package_format.h"
#include "package/text.h"

#include <windows.h>

#include <algorithm>
#include <set>

namespace elvara {

namespace {

PackageTree treeOf(const PackageEntry& entry) noexcept
{
    return isPluginEntry(entry) ? PackageTree::Bundle : PackageTree::Product;
}

void ensurePluginNotInUse(const std::wstring& bundleFolder)
{
    const std::wstring module =
        appendPath(bundleFolder, utf8ToWide(package_format::treeRelativeName(package_format::pluginModuleName)));
    ensureSafeInstallPath(module);
    // A host that has the plug-in loaded keeps the module open, so no exclusive open succeeds.
    UniqueFile exclusive(CreateFileW(module.c_str(), GENERIC_READ | DELETE, 0, nullptr, OPEN_EXISTING,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
    failIf(!exclusive, "Close FL Studio and other DAWs before updating the plugin.");
}

void writeStagedFile(const std::wstring& path, ByteView data)
{
    UniqueFile file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    failIf(!file, "Cannot create plugin file. Close your DAW and retry.");
    DWORD written = 0;
    const bool complete = WriteFile(file.get(), data.bytes, static_cast<DWORD>(data.length), &written, nullptr) &&
                          written == data.length && FlushFileBuffers(file.get());
    file.reset();
    failIf(!complete, "Unable to write the complete plugin file");
}

struct Transaction {
    const std::vector<PackageEntry>& entries;
    const InstallLocations& locations;
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
            removePackageFiles(root, entries, tree);
        } catch (...) {
        }
    }

    void rollback() const
    {
        if (productInPlace) removeQuietlyDuringRollback(locations.productFolder, PackageTree::Product);
        if (bundleInPlace) removeQuietlyDuringRollback(locations.bundleFolder, PackageTree::Bundle);
        if (productMovedAside) renamePath(productRollback, locations.productFolder);
        if (bundleMovedAside) renamePath(bundleRollback, locations.bundleFolder);
        if (pathExistsQuietly(bundleStaging)) removeQuietlyDuringRollback(bundleStaging, PackageTree::Bundle);
        if (pathExistsQuietly(productStaging)) removeQuietlyDuringRollback(productStaging, PackageTree::Product);
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

void removePackageFiles(const std::wstring& root, const std::vector<PackageEntry>& entries, PackageTree tree)
{
    ensureSafeInstallPath(root);
    std::set<std::wstring> folders;
    for (const PackageEntry& entry : entries) {
        if (treeOf(entry) != tree) continue;
        const std::wstring file = appendPath(root, entryRelativePath(entry, tree));
        ensureSafeInstallPath(file);
        removeQuietly(file);
        for (std::wstring folder = parentPath(file); folder.size() > root.size() && folder != root;
             folder = parentPath(folder))
            folders.insert(folder);
    }
    std::vector<std::wstring> deepestFirst(folders.begin(), folders.end());
    std::stable_sort(deepestFirst.begin(), deepestFirst.end(),
                     [](const std::wstring& a, const std::wstring& b) { return a.size() > b.size(); });
    for (const std::wstring& folder : deepestFirst) removeQuietly(folder);
    removeQuietly(root);
}

void installPackage(const std::vector<PackageEntry>& entries, const InstallLocations& locations,
                    const ProgressCallback& progress)
{
    ensureSafeInstallPath(locations.bundleFolder);
    ensureSafeInstallPath(locations.productFolder);
    const bool bundleExisted = pathExists(locations.bundleFolder);
    const bool productExisted = pathExists(locations.productFolder);
    if (bundleExisted && !isOwnedFolder(locations.bundleFolder, true))
        fail("The existing ElvaraSound VST3 folder was not created by this installer. It will not be overwritten.");
    if (productExisted && !isOwnedFolder(locations.productFolder, false))
        fail("The existing product folder is not an ElvaraSound installation. It will not be overwritten.");

    const std::wstring token = utf8ToWide(toLowerHex(randomBytes(8)));
    Transaction transaction{entries,
                            locations,
                            locations.bundleFolder + L".install-" + token,
                            locations.productFolder + L".install-" + token,
                            locations.bundleFolder + L".rollback-" + token,
                            locations.productFolder + L".rollback-" + token};

    try {
        if (bundleExisted) ensurePluginNotInUse(locations.bundleFolder);

        const auto total = static_cast<std::uint32_t>(entries.size());
        std::uint32_t written = 0;
        for (const PackageEntry& entry : entries) {
            const PackageTree tree = treeOf(entry);
            const std::wstring file = appendPath(transaction.stagingFor(tree), entryRelativePath(entry, tree));
            ensureSafeInstallPath(file);
            createDirectories(parentPath(file));
            writeStagedFile(file, entry.data);
            ++written;
            progress(10 + written * 70 / total);
        }

        if (bundleExisted) {
            renamePath(locations.bundleFolder, transaction.bundleRollback);
            transaction.bundleMovedAside = true;
        }
        if (productExisted) {
            renamePath(locations.productFolder, transaction.productRollback);
            transaction.productMovedAside = true;
        }
        renamePath(transaction.bundleStaging, locations.bundleFolder);
        transaction.bundleInPlace = true;
        renamePath(transaction.productStaging, locations.productFolder);
        transaction.productInPlace = true;
        progress(95);
    } catch (...) {
        transaction.rollback(); // a failed rename back replaces the first failure
        throw;
    }

    // Committed: from here the new installation stays whatever happens.
    if (transaction.productMovedAside)
        removePackageFiles(transaction.productRollback, entries, PackageTree::Product);
    if (transaction.bundleMovedAside)
        removePackageFiles(transaction.bundleRollback, entries, PackageTree::Bundle);
    progress(100);
}

} // namespace elvara
