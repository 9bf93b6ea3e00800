#include "install/install_locations.h"

#include "base/failure.h"
#include "base/path_text.h"
#include "base/unique_handle.h"

#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>

namespace elvara {

namespace {

constexpr char unavailableText[] = "Windows install folder unavailable";

// Folders that every Windows has.
std::wstring knownFolder(REFKNOWNFOLDERID id)
{
    UniqueCoTaskString folder;
    failIfFailed(SHGetKnownFolderPath(id, 0, nullptr, folder.put()), unavailableText);
    return std::wstring(folder.get());
}

// The per-user folders may not exist yet, and some systems do not know them at all
// (Wine 8 answers E_INVALIDARG): then their documented place below Local AppData.
std::wstring userFolder(REFKNOWNFOLDERID id, const wchar_t* belowLocalAppData)
{
    UniqueCoTaskString folder;
    if (SUCCEEDED(SHGetKnownFolderPath(id, KF_FLAG_DONT_VERIFY, nullptr, folder.put())) && folder)
        return std::wstring(folder.get());
    return appendPath(knownFolder(FOLDERID_LocalAppData), belowLocalAppData);
}

} // namespace

InstallLocations resolveInstallLocations(InstallScope scope)
{
    InstallLocations locations;
    locations.scope = scope;
    const bool user = scope == InstallScope::User;
    const std::wstring common =
        user ? userFolder(FOLDERID_UserProgramFilesCommon, L"Programs\\Common") : knownFolder(FOLDERID_ProgramFilesCommon);
    const std::wstring programs =
        user ? userFolder(FOLDERID_UserProgramFiles, L"Programs") : knownFolder(FOLDERID_ProgramFiles);
    locations.bundleFolder = appendPath(appendPath(common, L"VST3"), L"ElvaraSound.vst3");
    locations.productFolder = appendPath(programs, L"ElvaraSound");
    return locations;
}

} // namespace elvara
