#include "install/install_locations.h"

#include "base/failure.h"
#include "base/unique_handle.h"
#include "install/path_text.h"

#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>

namespace elvara {

namespace {

std::wstring knownFolder(REFKNOWNFOLDERID id)
{
    UniqueCoTaskString folder;
    failIfFailed(SHGetKnownFolderPath(id, 0, nullptr, folder.put()), "Windows install folder unavailable");
    return std::wstring(folder.get());
}

} // namespace

InstallLocations resolveInstallLocations()
{
    InstallLocations locations;
    locations.bundleFolder =
        appendPath(appendPath(knownFolder(FOLDERID_ProgramFilesCommon), L"VST3"), L"ElvaraSound.vst3");
    locations.productFolder = appendPath(knownFolder(FOLDERID_ProgramFiles), L"ElvaraSound");
    return locations;
}

} // namespace elvara
