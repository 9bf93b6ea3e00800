#pragma once
#include "package/package_format.h"

#include <string>

namespace elvara {

using package_format::ownershipMarkerLine;

// True when the folder's marker file holds exactly the marker line. A missing or
// unreadable marker is a result (foreign), not an error; only the path check raises.
bool isOwnedFolder(const std::wstring& folder, bool isPluginFolder);

} // namespace elvara
