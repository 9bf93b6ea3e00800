#pragma once
#include "install/install_locations.h"

namespace elvara {

inline constexpr wchar_t uninstallKeyPath[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\ElvaraSound-Livewire";

// Writes the nine values of the uninstall entry in the 64-bit registry view.
// Throws the registration text when the key cannot be created or opened.
void registerUninstallEntry(const InstallLocations& locations);

} // namespace elvara
