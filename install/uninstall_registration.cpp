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
    const HKEY root = uninstallRegistryRoot(locations.scope);
    removeEarlierEntry(root);
    UniqueRegistryKey key;
    failIfStatus(RegCreateKeyExW(root, uninstallKeyPath, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                 KEY_SET_VALUE | KEY_WOW64_64KEY, nullptr, key.put(), nullptr),
                 registrationFailedText);
    const std::wstring uninstaller = appendPath(locations.productFolder, L"Uninstall.exe");
    setText(key.get(), L"DisplayName", std::wstring(product::wideName));
    setText(key.get(), L"DisplayVersion", std::wstring(product::wideVersion));
    setText(key.get(), L"Publisher", std::wstring(product::widePublisher));
    setText(key.get(), L"URLInfoAbout", L"https://www.elvarasound.com/dawplugin");
    setText(key.get(), L"HelpLink", L"https://www.elvarasound.com/help");
    setText(key.get(), L"InstallLocation", locations.productFolder);
    setText(key.get(), L"UninstallString", L"\"" + uninstaller + L"\"");
    setNumber(key.get(), L"NoModify", 1);
    setNumber(key.get(), L"NoRepair", 1);
    setText(key.get(), L"QuietUninstallString", L"\"" + uninstaller + L"\" /S");
    const std::uint64_t kibibytes = (installedBytes + 1023) / 1024;
    setNumber(key.get(), L"EstimatedSize", static_cast<DWORD>(kibibytes > 0xFFFFFFFFull ? 0xFFFFFFFFull : kibibytes));
    setText(key.get(), L"DisplayIcon", uninstaller);
    if (const std::uint32_t language = languageToRecord.load(); language != 0) setNumber(key.get(), L"Language", language);
}

} // namespace elvara

namespace elvara {

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
