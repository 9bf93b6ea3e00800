#include "install/ownership.h"

#include "base/unique_handle.h"
#include "install/path_safety.h"
#include "install/path_text.h"
#include "package/text.h"

#include <windows.h>

#include <cstring>

namespace elvara {

MarkerCheck checkMarker(const std::wstring& markerPath) noexcept
{
    UniqueFile marker(CreateFileW(markerPath.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!marker) return MarkerCheck::Other;
    // Only a file no longer than the marker line can match, so nothing longer is read.
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(marker.get(), &size) || size.QuadPart < 0 ||
        size.QuadPart > static_cast<LONGLONG>(ownershipMarkerLine.size()))
        return MarkerCheck::Other;
    char content[64] = {};
    DWORD read = 0;
    if (!ReadFile(marker.get(), content, static_cast<DWORD>(size.QuadPart), &read, nullptr) ||
        read != static_cast<DWORD>(size.QuadPart) || std::memcmp(content, ownershipMarkerLine.data(), read) != 0)
        return MarkerCheck::Other;
    return read == ownershipMarkerLine.size() ? MarkerCheck::Exact : MarkerCheck::CutShort;
}

bool isOwnedFolder(const std::wstring& folder, bool isPluginFolder)
{
    const std::string_view markerName =
        isPluginFolder ? package_format::bundleMarkerName : package_format::productMarkerName;
    const std::wstring markerPath = appendPath(folder, utf8ToWide(package_format::treeRelativeName(markerName)));
    ensureSafeInstallPath(markerPath);
    return checkMarker(markerPath) == MarkerCheck::Exact;
}

} // namespace elvara
