#pragma once
// Whether an open file holds exactly the bytes that an installation record names.
#include "install/install_record_format.h"

#include <windows.h>

namespace elvara {

// Reads from the start of the file through `file` (opened for reading data); false on
// any difference in size or SHA-256, and on any failure to read.
bool holdsRecordedBytes(HANDLE file, const RecordedFile& expected) noexcept;

} // namespace elvara
