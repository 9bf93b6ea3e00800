#include "uninstall.h"

#include "base/product.h"
#include "base/unique_handle.h"
#include "install/filesystem_ops.h"
#include "install/install_locations.h"
#include "install/install_transaction.h"
#include "install/ownership.h"
#include "install/path_safety.h"
#include "install/path_text.h"
#include "install/uninstall_registration.h"
#include "package/package_format.h"

#include <windows.h>

#include <algorithm>
#include <iterator>
#include <set>
#include <cwctype>

namespace elvara {

namespace {

#include "package_names.inc"

// The package's names as entries without data, in byte order: removal needs only the names.
std::vector<PackageEntry> packageEntries()
{
    std::set<std::string> names(std::begin(payloadNames), std::end(payloadNames));
    names.insert(std::string(package_format::pluginModuleName));
    names.insert(std::string(package_format::uninstallerName));
    std::vector<PackageEntry> entries;
    for (const std::string& name : names) entries.push_back(PackageEntry{name, {}, {}});
    return entries;
}

bool samePath(std::wstring a, std::wstring b)
{
    const auto fold = [](std::wstring& s) {
        std::replace(s.begin(), s.end(), L'/', L'\\');
        std::transform(s.begin(), s.end(), s.begin(), [](wchar_t c) { return std::towlower(c); });
    };
    fold(a);
    fold(b);
    return a == b;
}

bool uninstallKeyExists()
{
    UniqueRegistryKey key;
    return RegOpenKeyExW(HKEY_LOCAL_MACHINE, uninstallKeyPath, 0, KEY_READ | KEY_WOW64_64KEY, key.put()) ==
           ERROR_SUCCESS;
}

// Removes one install folder's package files when the folder is ours.
void removeTree(UninstallReport& report, const std::wstring& folder, bool isPluginFolder, const wchar_t* what)
{
    ensureSafeInstallPath(folder);
    if (!pathExists(folder)) return;
    if (!isOwnedFolder(folder, isPluginFolder)) {
        report.failed = true;
        report.messages.push_back(L"The folder " + folder + L" was not created by the ElvaraSound setup program, so " +
                                  what + L" in it were left alone.");
        return;
    }
    removePackageFiles(folder, packageEntries(), isPluginFolder ? PackageTree::Bundle : PackageTree::Product);
    report.removedSomething = true;
    if (pathExistsQuietly(folder) && isOwnedFolder(folder, isPluginFolder)) {
        report.failed = true;
        report.messages.push_back(L"Some files in " + folder + L" could not be removed. Close your DAW and try again.");
    }
}

} // namespace

UninstallReport uninstallProduct(const std::wstring& runningExecutable)
{
    UninstallReport report;
    const InstallLocations locations = resolveInstallLocations();
    const bool keyExisted = uninstallKeyExists();
    removeTree(report, locations.bundleFolder, true, L"the plugin files");
    removeTree(report, locations.productFolder, false, L"the documents and the uninstaller");
    if (keyExisted) {
        const LSTATUS status = RegDeleteKeyExW(HKEY_LOCAL_MACHINE, uninstallKeyPath, KEY_WOW64_64KEY, 0);
        if (status == ERROR_SUCCESS) {
            report.removedSomething = true;
        } else {
            report.failed = true;
            report.messages.push_back(L"The entry in Installed apps could not be removed.");
        }
    }
    // The running uninstaller cannot delete its own file; a copy finishes that.
    const std::wstring installedCopy = appendPath(locations.productFolder, L"Uninstall.exe");
    report.needsSelfRemoval =
        report.removedSomething && samePath(runningExecutable, installedCopy) && pathExistsQuietly(installedCopy);
    if (!report.removedSomething && !report.failed)
        report.messages.push_back(std::wstring(product::wideName) + L" is not installed. Nothing was removed.");
    return report;
}

void finishSelfRemoval(unsigned long firstProcessId, const std::wstring& productFolder)
{
    UniqueKernelHandle first(OpenProcess(SYNCHRONIZE, FALSE, firstProcessId));
    if (first) WaitForSingleObject(first.get(), 60000);
    const std::wstring installedCopy = appendPath(productFolder, L"Uninstall.exe");
    try {
        ensureSafeInstallPath(installedCopy);
        for (int attempt = 0; attempt < 50 && pathExistsQuietly(installedCopy); ++attempt) {
            removeQuietly(installedCopy);
            if (pathExistsQuietly(installedCopy)) Sleep(100);
        }
        removeQuietly(productFolder); // only when nothing else is left in it
    } catch (...) {
    }
    wchar_t self[MAX_PATH + 1] = {};
    const DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return;
    MoveFileExW(self, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    MoveFileExW(parentPath(self).c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
}

} // namespace elvara
