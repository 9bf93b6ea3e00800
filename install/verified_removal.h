#pragma once
// Deletion that cannot be redirected. Each entry is opened without following links,
// checked through that handle (a regular file or a real folder, the very entry that
// its path names, however it is spelt: see isEntryNamedBy) and deleted through the
// same handle, so nothing can be swapped in between the check and the deletion. A file
// link that reports no reparse attribute is still caught: it leads elsewhere.
#include "base/file_identity.h"

#include <windows.h>

#include <string>

namespace elvara {

enum class RemovalOutcome {
    Removed,
    Absent,   // nothing at the path
    NotOurs,  // a link, a different kind of entry, or a path that leads elsewhere: left alone
    Refused,  // in use, not empty, or access denied: left in place
};

struct RemovalResult {
    RemovalOutcome outcome;
    DWORD error = ERROR_SUCCESS; // the Win32 error behind Refused
};

// Deletes the regular file at path (a read-only attribute is cleared first).
RemovalResult removeFileVerified(const std::wstring& path) noexcept;
// Deletes the regular file at path only while it holds exactly `expected`'s bytes, read
// through the handle that deletes it, opened so that nobody can write to it meanwhile:
// a file whose bytes changed is NotOurs and stays.
struct RecordedFile;
RemovalResult removeFileIfUnchanged(const std::wstring& path, const RecordedFile& expected) noexcept;
// Deletes the folder at path when it is empty.
RemovalResult removeEmptyFolderVerified(const std::wstring& path) noexcept;

enum class EntryKind { Absent, File, Folder, Link, Unreadable };
// What is at path, judged through a handle opened without following links: a file
// link, which leads to another entry than the path names, counts as a link.
EntryKind inspectEntry(const std::wstring& path) noexcept;


enum class ModuleUse { Absent, Free, InUse, ReadOnly };
// Whether another process holds the module open or has it mapped (loaded as a DLL):
// a mapped image refuses every open for writing data, on Windows and under Wine
// alike, as does an open handle without write sharing. A read-only attribute is lifted
// for the probe and put back; ReadOnly only when it cannot be lifted.
ModuleUse moduleUse(const std::wstring& path) noexcept;

} // namespace elvara
