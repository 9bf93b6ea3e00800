#include "install/folder_tree.h"

#include "base/path_text.h"
#include "base/unique_handle.h"
#include "install/verified_removal.h"

namespace elvara {

std::vector<WIN32_FIND_DATAW> folderEntries(const std::wstring& folder)
{
    std::vector<WIN32_FIND_DATAW> entries;
    WIN32_FIND_DATAW found{};
    UniqueFindHandle search(FindFirstFileExW(extendedLengthPath(appendPath(folder, L"*")).c_str(), FindExInfoBasic, &found,
                                             FindExSearchNameMatch, nullptr, 0));
    if (!search) {
        const DWORD error = GetLastError();
        // Not there, or not a folder: nothing is below it. A folder always lists "." at
        // least, so a folder that gives nothing, whatever the code, could not be listed.
        const DWORD attributes = GetFileAttributesW(extendedLengthPath(folder).c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return entries;
        throw FilesystemFailure("list", error == ERROR_FILE_NOT_FOUND ? ERROR_ACCESS_DENIED : error, folder);
    }
    do {
        const std::wstring_view name = found.cFileName;
        if (name != L"." && name != L"..") entries.push_back(found);
    } while (FindNextFileW(search.get(), &found));
    const DWORD error = GetLastError();
    if (error != ERROR_NO_MORE_FILES) throw FilesystemFailure("list", error, folder);
    return entries;
}

std::vector<std::wstring> folderEntryNames(const std::wstring& folder)
{
    std::vector<std::wstring> names;
    for (const WIN32_FIND_DATAW& entry : folderEntries(folder)) names.emplace_back(entry.cFileName);
    return names;
}

void removeEmptiedFolders(const std::wstring& root, FileOperations& operations) noexcept
{
    try {
        for (const std::wstring& name : folderEntryNames(root)) {
            const std::wstring path = appendPath(root, name);
            if (inspectEntry(path) != EntryKind::Folder) continue;
            removeEmptiedFolders(path, operations);
            operations.removeEmptyFolder(path);
        }
    } catch (...) {
    }
}

std::optional<FolderLeft> removeEmptyTree(const std::wstring& root, FileOperations& operations) noexcept
{
    try {
        for (const std::wstring& name : folderEntryNames(root)) {
            const std::wstring path = appendPath(root, name);
            if (inspectEntry(path) != EntryKind::Folder) return FolderLeft{root, ERROR_DIR_NOT_EMPTY};
            if (auto left = removeEmptyTree(path, operations)) return left;
        }
        const RemovalResult result = operations.removeEmptyFolder(root);
        if (result.outcome == RemovalOutcome::Removed || result.outcome == RemovalOutcome::Absent) return std::nullopt;
        return FolderLeft{root, result.outcome == RemovalOutcome::NotOurs ? ERROR_REPARSE_TAG_MISMATCH : result.error};
    } catch (const FilesystemFailure& failure) {
        return FolderLeft{failure.path1().wstring(), failure.errorCode()};
    } catch (...) {
        return FolderLeft{root, ERROR_OUTOFMEMORY};
    }
}

bool meansHeldByAnotherProgram(DWORD error) noexcept
{
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION || error == ERROR_ACCESS_DENIED;
}

} // namespace elvara
