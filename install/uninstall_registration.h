#pragma once
#include "install/install_locations.h"

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace elvara {

inline constexpr wchar_t uninstallKeyPath[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\ElvaraSound-Livewire";

inline constexpr char registrationFailedText[] =
    "Plugin installed, but Windows registration failed. Run the installed Uninstall.exe to remove it.";
inline constexpr char registrationIncompleteText[] =
    "Plugin installed, but its entry in Installed apps could not be completed. Run Setup again to register it.";

// Where a scope's uninstall entry lives (uninstallKeyPath below it): the machine's
// entry under HKEY_LOCAL_MACHINE, the user's under HKEY_CURRENT_USER.
HKEY uninstallRegistryRoot(InstallScope scope) noexcept;

// Writes the scope's uninstall entry afresh in the 64-bit registry view: whatever an earlier
// installer left in the key is removed first, then every value of this version is
// written. installedBytes is the size of the installed package (EstimatedSize).
// Throws registrationFailedText when the key cannot be created or opened, and
// registrationIncompleteText when a value cannot be written.
void registerUninstallEntry(const InstallLocations& locations, std::uint64_t installedBytes);
// The same, with the entry's commands naming `uninstaller` instead of the product
// folder's Uninstall.exe.
void registerUninstallEntry(const InstallLocations& locations, std::uint64_t installedBytes,
                            const std::wstring& uninstaller);

// The product folder's Uninstall.exe, which the entry names.
std::wstring installedUninstallerPath(const InstallLocations& locations);
// Whether the scope's entry exists; the program its UninstallString names (unquoted).
bool uninstallEntryExists(InstallScope scope) noexcept;
std::optional<std::wstring> uninstallEntryProgram(InstallScope scope) noexcept;
// The entry's commands and icon name `uninstaller`; false when there is no entry or it
// cannot be written.
bool pointUninstallEntryAt(InstallScope scope, const std::wstring& uninstaller) noexcept;
// False when an entry stays.
bool removeUninstallEntry(InstallScope scope) noexcept;

// The language that this run shows, as an LCID: the entry records it ("Language", as
// Windows' list of apps reads it) and the next Setup and the uninstaller speak it. Set
// once at start-up; 0 records none.
void recordInstallationLanguage(std::uint32_t lcid) noexcept;
// The language that the scope's entry records; none without an entry or the value.
std::optional<std::uint32_t> installedLanguage(InstallScope scope) noexcept;

// Where the scope's entry exists, its DisplayVersion becomes version (the version that
// stands in both install folders once an interrupted run was undone). False when there
// is no entry or it cannot be written.
bool alignUninstallEntryVersion(const InstallLocations& locations, std::string_view version) noexcept;

} // namespace elvara
