#include "install/uninstall_registration.h"

#include "base/failure.h"
#include "base/product.h"
#include "base/unique_handle.h"
#include "install/path_text.h"

#include <windows.h>

#include <string>

namespace elvara {

namespace {

void setText(HKEY key, const wchar_t* name, const std::wstring& value) noexcept
{
    RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

void setNumber(HKEY key, const wchar_t* name, DWORD value) noexcept
{
    RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value));
}

} // namespace

void registerUninstallEntry(const InstallLocations& locations)
{
    UniqueRegistryKey key;
    const LSTATUS status = RegCreateKeyExW(HKEY_LOCAL_MACHINE, uninstallKeyPath, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                           KEY_SET_VALUE | KEY_WOW64_64KEY, nullptr, key.put(), nullptr);
    failIf(status != ERROR_SUCCESS,
           "Plugin installed, but Windows registration failed. Run the installed Uninstall.exe to remove it.");
    // Once the key is open the entry is as complete as Windows lets it be; single
    // value failures are not examined.
    setText(key.get(), L"DisplayName", std::wstring(product::wideName));
    setText(key.get(), L"DisplayVersion", std::wstring(product::wideVersion));
    setText(key.get(), L"Publisher", std::wstring(product::widePublisher));
    setText(key.get(), L"URLInfoAbout", L"https://www.elvarasound.com/dawplugin");
    setText(key.get(), L"HelpLink", L"https://www.elvarasound.com/help");
    setText(key.get(), L"InstallLocation", locations.productFolder);
    setText(key.get(), L"UninstallString", L"\"" + appendPath(locations.productFolder, L"Uninstall.exe") + L"\"");
    setNumber(key.get(), L"NoModify", 1);
    setNumber(key.get(), L"NoRepair", 1);
}

} // namespace elvara
