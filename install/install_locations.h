#pragma once
#include "install/install_scope.h"

#include <string>

namespace elvara {

struct InstallLocations {
    std::wstring bundleFolder;  // Common Files\VST3\ElvaraSound.vst3, or the user's Programs\Common\VST3\…
    std::wstring productFolder; // Program Files\ElvaraSound, or the user's Programs\ElvaraSound
    InstallScope scope = InstallScope::Machine;
};

// The folders of a scope. Throws "Windows install folder unavailable". Touches nothing on disk.
InstallLocations resolveInstallLocations(InstallScope scope);

} // namespace elvara
