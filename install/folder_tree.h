#pragma once
// Folders as trees: what a folder lists, and removing the folders that hold nothing.
#include "install/filesystem_ops.h"

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace elvara {

// The entries directly inside a folder, without "." and "..", with their creation
// times; and just their names. A folder that is not there (or a file) lists nothing; one that
// cannot be listed raises "list" with the Win32 error: it is never taken for an empty one.
std::vector<WIN32_FIND_DATAW> folderEntries(const std::wstring& folder);
std::vector<std::wstring> folderEntryNames(const std::wstring& folder);

// Removes the real folders below root that hold nothing (a carry leaves the user's
// folders empty behind it); root stays. Never follows a link.
void removeEmptiedFolders(const std::wstring& root, FileOperations& operations) noexcept;

// A folder that stayed, and the Win32 error that kept it.
struct FolderLeft {
    std::wstring path;
    DWORD error = ERROR_SUCCESS;
};

// Removes a tree that holds no files, deepest first, root last; stops at the first
// folder that cannot go (a window open in it, say) and names it.
std::optional<FolderLeft> removeEmptyTree(const std::wstring& root, FileOperations& operations) noexcept;

// Whether a failed rename or delete means that another program holds the entry (on
// Windows, a folder that is a process's current folder refuses with access denied).
bool meansHeldByAnotherProgram(DWORD error) noexcept;

} // namespace elvara
