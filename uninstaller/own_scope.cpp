#include "own_scope.h"

#include "base/executable_path.h"
#include "base/file_identity.h"
#include "base/path_text.h"
#include "install/install_locations.h"
#include "install/path_safety.h"
#include "install/swap_uninstaller.h"

#include <string>

namespace elvara {

InstallScope ownInstallScope()
{
    const std::wstring folder = parentPath(executablePath());
    const std::wstring userProducts = resolveInstallLocations(InstallScope::User).productFolder;
    // The user's folder as the file system holds it: a link anywhere on its path (which
    // the user may make) never makes the machine's uninstaller the user's.
    try {
        ensureSafeInstallPath(userProducts);
    } catch (const std::exception&) {
        return InstallScope::Machine;
    }
    // By identity: the program's own path may be spelt otherwise (a short name). The
    // copy that the entry names while an installation swaps the folders stands beside
    // the product folder.
    return isSameEntry(extendedLengthPath(folder), extendedLengthPath(userProducts)) ||
                   isSwapUninstaller(userProducts, executablePath())
               ? InstallScope::User
               : InstallScope::Machine;
}

} // namespace elvara
