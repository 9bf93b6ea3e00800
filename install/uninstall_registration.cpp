#include "install/uninstall_registration.h"

#include "base/failure.h"
#include "base/path_text.h"
#include "base/product.h"
#include "base/unique_handle.h"

#include <windows.h>

#include <atomic>
#include <string>

namespace elvara {

namespace {

constexpr wchar_t uninstallParentPath[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
constexpr wchar_t uninstallKeyName[] = L"ElvaraSound-Livewire";

std::atomic<std::uint32_t> languageToRecord{0};

void setText(HKEY key, const wchar_t* name, const std::wstring& value)
{
    failIfStatus(RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))),
                 registrationIncompleteText);
}

void setNumber(HKEY key, const wchar_t* name, DWORD value)
{
    failIfStatus(RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value)),
                 registrationIncompleteText);
}

void setCommands(HKEY key, const std::wstring& uninstaller)
{
    setText(key, L"UninstallString", L"\"" + uninstaller + L"\"");
    setText(key, L"QuietUninstallString", L"\"" + uninstaller + L"\" /S");
    setText(key, L"DisplayIcon", uninstaller);
}

// Values and subkeys that an older installer left (a SystemComponent that hides the
// entry, another uninstall command) must not survive: the entry starts empty.
void removeEarlierEntry(HKEY root)
{
    UniqueRegistryKey parent;
    if (RegOpenKeyExW(root, uninstallParentPath, 0, KEY_ALL_ACCESS | KEY_WOW64_64KEY, parent.put()) !=
        ERROR_SUCCESS)
        return; // the create below reports what is wrong
    const LSTATUS status = RegDeleteTreeW(parent.get(), uninstallKeyName);
    if (status != ERROR_FILE_NOT_FOUND) failIfStatus(status, registrationIncompleteText);
}

} // namespace

void recordInstallationLanguage(std::uint32_t lcid) noexcept { languageToRecord.store(lcid); }

std::optional<std::uint32_t> installedLanguage(InstallScope scope) noexcept
{
    DWORD lcid = 0;
    DWORD size = sizeof(lcid);
    if (RegGetValueW(uninstallRegistryRoot(scope), uninstallKeyPath, L"Language", RRF_RT_REG_DWORD | RRF_SUBKEY_WOW6464KEY,
                     nullptr, &lcid, &size) != ERROR_SUCCESS || lcid == 0)
        return std::nullopt;
    return lcid;
}

HKEY uninstallRegistryRoot(InstallScope scope) noexcept
{
    return scope == InstallScope::User ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
}

void registerUninstallEntry(const InstallLocations& locations, std::uint64_t installedBytes)
{
    registerUninstallEntry(locations, installedBytes, installedUninstallerPath(locations));
}

std::wstring installedUninstallerPath(const InstallLocations& locations)
{
    return appendPath(locations.productFolder, L"Uninstall.exe");
}

void registerUninstallEntry(const InstallLocations& locations, std::uint64_t installedBytes,
                            const std::wstring& uninstaller)
{
    const HKEY root = uninstallRegistryRoot(locations.scope);
    removeEarlierEntry(root);
    UniqueRegistryKey key;
    failIfStatus(RegCreateKeyExW(root, uninstallKeyPath, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                 KEY_SET_VALUE | KEY_WOW64_64KEY, nullptr, key.put(), nullptr),
                 registrationFailedText);
    setText(key.get(), L"DisplayName", std::wstring(product::wideName));
    setText(key.get(), L"DisplayVersion", std::wstring(product::wideVersion));
    setText(key.get(), L"Publisher", std::wstring(product::widePublisher));
    setText(key.get(), L"URLInfoAbout", L"https://www.elvarasound.com/dawplugin");
    setText(key.get(), L"HelpLink", L"https://www.elvarasound.com/help");
    setText(key.get(), L"InstallLocation", locations.productFolder);
    setNumber(key.get(), L"NoModify", 1);
    setNumber(key.get(), L"NoRepair", 1);
    const std::uint64_t kibibytes = (installedBytes + 1023) / 1024;
    setNumber(key.get(), L"EstimatedSize", static_cast<DWORD>(kibibytes > 0xFFFFFFFFull ? 0xFFFFFFFFull : kibibytes));
    setCommands(key.get(), uninstaller);
    if (const std::uint32_t language = languageToRecord.load(); language != 0) setNumber(key.get(), L"Language", language);
}

} // namespace elvara

namespace elvara {

bool uninstallEntryExists(InstallScope scope) noexcept
{
    UniqueRegistryKey key;
    return RegOpenKeyExW(uninstallRegistryRoot(scope), uninstallKeyPath, 0, KEY_READ | KEY_WOW64_64KEY, key.put()) ==
           ERROR_SUCCESS;
}

std::optional<std::wstring> uninstallEntryProgram(InstallScope scope) noexcept
{
    try {
        wchar_t value[2 * MAX_PATH] = {};
        DWORD size = sizeof(value) - sizeof(wchar_t);
        if (RegGetValueW(uninstallRegistryRoot(scope), uninstallKeyPath, L"UninstallString",
                         RRF_RT_REG_SZ | RRF_SUBKEY_WOW6464KEY, nullptr, value, &size) != ERROR_SUCCESS)
            return std::nullopt;
        std::wstring command(value);
        constexpr wchar_t quote = L'\x22';
        if (command.size() >= 2 && command.front() == quote && command.back() == quote)
            command = command.substr(1, command.size() - 2);
        return command;
    } catch (...) {
        return std::nullopt;
    }
}

bool pointUninstallEntryAt(InstallScope scope, const std::wstring& uninstaller) noexcept
{
    try {
        UniqueRegistryKey key;
        if (RegOpenKeyExW(uninstallRegistryRoot(scope), uninstallKeyPath, 0, KEY_SET_VALUE | KEY_WOW64_64KEY,
                          key.put()) != ERROR_SUCCESS)
            return false;
        setCommands(key.get(), uninstaller);
        return true;
    } catch (...) {
        return false;
    }
}

bool removeUninstallEntry(InstallScope scope) noexcept
{
    const LSTATUS status = RegDeleteKeyExW(uninstallRegistryRoot(scope), uninstallKeyPath, KEY_WOW64_64KEY, 0);
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}

bool alignUninstallEntryVersion(const InstallLocations& locations, std::string_view version) noexcept
{
    try {
        UniqueRegistryKey key;
        if (RegOpenKeyExW(uninstallRegistryRoot(locations.scope), uninstallKeyPath, 0, KEY_SET_VALUE | KEY_WOW64_64KEY,
                          key.put()) != ERROR_SUCCESS)
            return false; // no entry: nothing shows a version
        setText(key.get(), L"DisplayVersion", std::wstring(version.begin(), version.end())); // ASCII by the record's rules
        return true;
    } catch (...) {
        return false;
    }
}

} // namespace elvara
