#pragma once
#include <string>

namespace elvara {

struct InstallLocations {
    std::wstring bundleFolder;  // Common Files\VST3\ElvaraSound.vst3
    std::wstring productFolder; // Program Files\ElvaraSound
};

// Throws "Windows install folder unavailable". Touches nothing on disk.
InstallLocations resolveInstallLocations();

} // namespace elvara
