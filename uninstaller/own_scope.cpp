#include "own_scope.h"

#include "base/executable_path.h"
#include "base/unique_handle.h"
#include "install/install_locations.h"
#include "install/path_safety.h"
#include "install/path_text.h"
#include "install/verified_removal.h"

#include <windows.h>

#include <string>
#include <vector>

namespace elvara {

namespace {

// The path with every link and short name resolved; the path itself when it cannot be
// opened (a folder not made yet).
std::wstring finalPathOf(const std::wstring& path)
{
    const UniqueFile handle(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                        shareAll, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!handle) return path;
    std::vector<wchar_t> buffer(MAX_PATH + 1);
    for (int attempt = 0; attempt < 2; ++attempt) {
        const DWORD length = GetFinalPathNameByHandleW(handle.get(), buffer.data(), static_cast<DWORD>(buffer.size()),
                                                       FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (length == 0) return path;
        if (length < buffer.size()) return std::wstring(buffer.data(), length);
        buffer.resize(length + 1);
    }
    return path;
}

} // namespace

InstallScope ownInstallScope()
{
    const std::wstring folder = parentPath(finalPathOf(executablePath()));
    const std::wstring userProducts = resolveInstallLocations(InstallScope::User).productFolder;
    // The user's folder as the file system holds it: a link anywhere on its path (which
    // the user may make) never makes the machine's uninstaller the user's.
    try {
        ensureSafeInstallPath(userProducts);
    } catch (const std::exception&) {
        return InstallScope::Machine;
    }
    return sameLocation(folder, finalPathOf(userProducts)) ? InstallScope::User : InstallScope::Machine;
}

} // namespace elvara
