#pragma once
#include "base/unique_handle.h"

#include <cstdint>
#include <string>

namespace elvara {

// Opens FILE (a full path) for appending, created when missing, only where no link
// can carry the writes elsewhere: no folder of the path is a link or a junction, the
// file is none (told by what each handle leads to, not by how the path is spelt: see
// isEntryNamedBy) and has no second name (a hard link). Elevated programs write their log this way. An empty handle
// when refused or when the file cannot be opened; the Win32 error is then in error.
UniqueFile openUnlinkedForAppend(const std::wstring& path, std::uint32_t& error);

} // namespace elvara
