#pragma once
#include "base/unique_handle.h"

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace elvara {

// Opens FILE (a full path) for appending, created when missing, only where no link
// can carry the writes elsewhere: no folder of the path is a link or a junction, the
// file is none (told by what each handle leads to, not by how the path is spelt: see
// isEntryNamedBy) and has no second name (a hard link). Elevated programs write their log this way. An empty handle
// when refused or when the file cannot be opened; the Win32 error is then in error.
UniqueFile openUnlinkedForAppend(const std::wstring& path, std::uint32_t& error);

// A folder (a full path) and every folder above it, each opened without following a
// link and held without delete sharing, so that none of them can be renamed or swapped
// for a link while held; refused (empty) when one of them is a link or a junction.
class HeldFolder {
public:
    static HeldFolder open(const std::wstring& path, std::uint32_t& error);
    explicit operator bool() const noexcept { return !chain_.empty(); }
    HANDLE get() const noexcept { return chain_.back().get(); }

private:
    std::vector<UniqueFile> chain_;
};

// A new folder, or a new file opened for writing, named `name` directly inside the held
// folder and made relative to that folder's handle, with the given security (none:
// inherited): nothing done to the path meanwhile can place it elsewhere. Refused when
// the name is taken; the Win32 error is then in error.
UniqueFile createFolderInside(HANDLE folder, const std::wstring& name, PSECURITY_DESCRIPTOR security,
                              std::uint32_t& error);
UniqueFile createFileInside(HANDLE folder, const std::wstring& name, PSECURITY_DESCRIPTOR security,
                            std::uint32_t& error);

} // namespace elvara
