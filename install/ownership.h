#pragma once
#include "package/package_format.h"

#include <string>

namespace elvara {

using package_format::ownershipMarkerLine;

enum class MarkerCheck {
    Exact,    // exactly the marker line
    CutShort, // a beginning of the marker line, as a write that a kill stopped leaves it
    Other,    // missing, unreadable, or anything else
};
MarkerCheck checkMarker(const std::wstring& markerPath) noexcept;

// True when the folder's marker file holds exactly the marker line. A missing or
// unreadable marker is a result (foreign), not an error; only the path check raises.
bool isOwnedFolder(const std::wstring& folder, bool isPluginFolder);

} // namespace elvara
