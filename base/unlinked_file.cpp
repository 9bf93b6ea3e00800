#include "base/unlinked_file.h"

#include "base/file_identity.h"

#include <windows.h>

#include <vector>

namespace elvara {

namespace {

// Folders stay open without FILE_SHARE_DELETE until the file is open, so that none of
// them can be swapped for a link in between.
constexpr DWORD shareHeld = FILE_SHARE_READ | FILE_SHARE_WRITE;
constexpr DWORD refusedLink = ERROR_CANT_RESOLVE_FILENAME;

bool isReparsePoint(HANDLE handle) noexcept
{
    FILE_ATTRIBUTE_TAG_INFO tag{};
    return !GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &tag, sizeof(tag)) ||
           (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// The offsets of the separators that end each folder of the path below its root.
std::vector<std::size_t> folderEnds(const std::wstring& path)
{
    std::size_t rootEnd = 3; // "C:\"
    if (path.starts_with(L"\\\\")) { // "\\server\share\"
        rootEnd = path.find(L'\\', 2);
        rootEnd = rootEnd == std::wstring::npos ? path.size() : path.find(L'\\', rootEnd + 1);
        rootEnd = rootEnd == std::wstring::npos ? path.size() : rootEnd + 1;
    }
    std::vector<std::size_t> ends;
    for (std::size_t at = path.find(L'\\', rootEnd); at != std::wstring::npos; at = path.find(L'\\', at + 1))
        ends.push_back(at);
    return ends;
}

} // namespace

UniqueFile openUnlinkedForAppend(const std::wstring& path, std::uint32_t& error)
{
    const bool full = (path.size() > 3 && path[1] == L':' && path[2] == L'\\') || path.starts_with(L"\\\\");
    if (!full || path.starts_with(L"\\\\?\\") || path.starts_with(L"\\\\.\\") || path.back() == L'\\') {
        error = ERROR_INVALID_NAME;
        return {};
    }
    std::vector<UniqueFile> folders;
    for (const std::size_t end : folderEnds(path)) {
        const std::wstring folder = path.substr(0, end);
        UniqueFile handle(CreateFileW(folder.c_str(), FILE_READ_ATTRIBUTES, shareHeld, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        if (!handle) {
            error = GetLastError();
            return {};
        }
        if (isReparsePoint(handle.get()) || !isEntryNamedBy(handle.get(), folder)) {
            error = refusedLink;
            return {};
        }
        folders.push_back(std::move(handle));
    }
    // Opened if present, else created new: CREATE_NEW fails on a dangling link, which
    // the next open then finds absent again, so the loop ends refused.
    UniqueFile file;
    for (int attempt = 0; attempt < 4 && !file; ++attempt) {
        // Delete sharing lets a log kept inside an install folder move with that folder's
        // files (an update carries it like any file of the user's); the handle keeps
        // writing to the same file wherever it moves.
        file.reset(CreateFileW(path.c_str(), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               attempt % 2 == 0 ? OPEN_EXISTING : CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        error = file ? ERROR_SUCCESS : GetLastError();
        if (!file && error != ERROR_FILE_NOT_FOUND && error != ERROR_FILE_EXISTS) return {};
    }
    if (!file) {
        error = refusedLink;
        return {};
    }
    BY_HANDLE_FILE_INFORMATION information{};
    if (isReparsePoint(file.get()) || !GetFileInformationByHandle(file.get(), &information) ||
        (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 || !isEntryNamedBy(file.get(), path)) {
        error = refusedLink;
        return {};
    }
    if (information.nNumberOfLinks > 1) {
        error = ERROR_TOO_MANY_LINKS;
        return {};
    }
    return file;
}

} // namespace elvara
