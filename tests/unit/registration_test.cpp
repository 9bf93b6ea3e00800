#include "base/unique_handle.h"
#include "install/uninstall_registration.h"

#include <gtest/gtest.h>

#include <windows.h>

using namespace elvara;

namespace {

std::wstring readText(const wchar_t* name)
{
    wchar_t buffer[1024] = {};
    DWORD size = sizeof(buffer);
    DWORD type = 0;
    if (RegGetValueW(HKEY_LOCAL_MACHINE, uninstallKeyPath, name, RRF_RT_ANY | RRF_SUBKEY_WOW6464KEY, &type, buffer,
                     &size) != ERROR_SUCCESS || type != REG_SZ)
        return L"<missing>";
    return buffer;
}

DWORD readNumber(const wchar_t* name)
{
    DWORD value = 0, size = sizeof(value), type = 0;
    if (RegGetValueW(HKEY_LOCAL_MACHINE, uninstallKeyPath, name, RRF_RT_ANY | RRF_SUBKEY_WOW6464KEY, &type, &value,
                     &size) != ERROR_SUCCESS || type != REG_DWORD)
        return 0xFFFFFFFF;
    return value;
}

void deleteKey() { RegDeleteKeyExW(HKEY_LOCAL_MACHINE, uninstallKeyPath, KEY_WOW64_64KEY, 0); }

} // namespace

TEST(Registration, EveryValueInThe64BitView)
{
    deleteKey();
    registerUninstallEntry({L"C:\\unused", L"C:\\Program Files\\Elvara Sound Test"}, 5);
    registerUninstallEntry({L"C:\\unused", L"C:\\Program Files\\ElvaraSound"}, 2049); // the second run wins
    EXPECT_EQ(readText(L"DisplayName"), L"ElvaraSound Livewire Edition");
    EXPECT_EQ(readText(L"DisplayVersion"), L"1.3.3");
    EXPECT_EQ(readText(L"Publisher"), L"Anselm Rook / ElvaraSound");
    EXPECT_TRUE(readText(L"URLInfoAbout").starts_with(L"https://"));
    EXPECT_TRUE(readText(L"URLInfoAbout").ends_with(L"/dawplugin"));
    EXPECT_TRUE(readText(L"HelpLink").starts_with(L"https://"));
    EXPECT_TRUE(readText(L"HelpLink").ends_with(L"/help"));
    EXPECT_EQ(readText(L"InstallLocation"), L"C:\\Program Files\\ElvaraSound");
    EXPECT_EQ(readText(L"UninstallString"), L"\"C:\\Program Files\\ElvaraSound\\Uninstall.exe\"");
    EXPECT_EQ(readNumber(L"NoModify"), 1u);
    EXPECT_EQ(readNumber(L"NoRepair"), 1u);
    EXPECT_EQ(readText(L"QuietUninstallString"), L"\"C:\\Program Files\\ElvaraSound\\Uninstall.exe\" /S");
    EXPECT_EQ(readNumber(L"EstimatedSize"), 3u); // kibibytes, rounded up
    EXPECT_EQ(readText(L"DisplayIcon"), L"C:\\Program Files\\ElvaraSound\\Uninstall.exe");

    registerUninstallEntry({L"C:\\unused", L"C:\\Program Files\\Elvara Sound Test"}, 1024);
    EXPECT_EQ(readNumber(L"EstimatedSize"), 1u);
    EXPECT_EQ(readText(L"InstallLocation"), L"C:\\Program Files\\Elvara Sound Test");
    EXPECT_EQ(readText(L"UninstallString"), L"\"C:\\Program Files\\Elvara Sound Test\\Uninstall.exe\"");

    UniqueRegistryKey key;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, uninstallKeyPath, 0, KEY_READ | KEY_WOW64_64KEY, key.put()),
              ERROR_SUCCESS);
    DWORD values = 0;
    RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr, nullptr,
                     nullptr, nullptr);
    EXPECT_EQ(values, 12u);
    deleteKey();
}

// What an older installer left in the key must not survive a new registration: a
// SystemComponent hides the entry from Installed apps, another quiet command would
// run something else.
TEST(Registration, StartsFromAnEmptyKey)
{
    deleteKey();
    {
        UniqueRegistryKey key;
        ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, uninstallKeyPath, 0, nullptr, 0, KEY_ALL_ACCESS | KEY_WOW64_64KEY,
                                  nullptr, key.put(), nullptr),
                  ERROR_SUCCESS);
        const DWORD one = 1;
        RegSetValueExW(key.get(), L"SystemComponent", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), sizeof(one));
        const wchar_t other[] = L"C:\\Other\\remove.exe /quiet";
        RegSetValueExW(key.get(), L"QuietUninstallString", 0, REG_SZ, reinterpret_cast<const BYTE*>(other),
                       sizeof(other));
        UniqueRegistryKey child;
        ASSERT_EQ(RegCreateKeyExW(key.get(), L"Leftover", 0, nullptr, 0, KEY_ALL_ACCESS | KEY_WOW64_64KEY, nullptr,
                                  child.put(), nullptr),
                  ERROR_SUCCESS);
    }
    registerUninstallEntry({L"C:\\unused", L"C:\\Program Files\\ElvaraSound"}, 0);
    EXPECT_EQ(readNumber(L"SystemComponent"), 0xFFFFFFFFu) << "foreign value survived";
    EXPECT_EQ(readText(L"QuietUninstallString"), L"\"C:\\Program Files\\ElvaraSound\\Uninstall.exe\" /S");
    EXPECT_EQ(readNumber(L"EstimatedSize"), 0u);
    UniqueRegistryKey key;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, uninstallKeyPath, 0, KEY_READ | KEY_WOW64_64KEY, key.put()),
              ERROR_SUCCESS);
    DWORD subkeys = 0, values = 0;
    RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr, nullptr,
                     nullptr, nullptr);
    EXPECT_EQ(subkeys, 0u);
    EXPECT_EQ(values, 12u);
    deleteKey();
}
