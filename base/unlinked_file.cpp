#include "base/unlinked_file.h"

#include "base/file_identity.h"

#include <windows.h>
#include <winternl.h>

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

// The file named `name` inside the held folder, opened (FILE_OPEN) or made new
// (FILE_CREATE) relative to that folder's handle, never followed through a link:
// nothing done to the path meanwhile (a folder of it turned into a junction, say) can
// place it elsewhere. Delete sharing lets a log kept inside an install folder move with
// that folder's files (an update carries it like any file of the user's); the handle
// keeps writing to the same file wherever it moves.
UniqueFile openInside(HANDLE folder, const std::wstring& name, ULONG disposition, DWORD& error)
{
    UNICODE_STRING objectName{};
    objectName.Buffer = const_cast<PWSTR>(name.c_str());
    objectName.Length = static_cast<USHORT>(name.size() * sizeof(wchar_t));
    objectName.MaximumLength = objectName.Length;
    OBJECT_ATTRIBUTES attributes{};
    InitializeObjectAttributes(&attributes, &objectName, OBJ_CASE_INSENSITIVE, folder, nullptr);
    IO_STATUS_BLOCK status{};
    HANDLE file = nullptr;
    constexpr ULONG openReparsePoint = 0x00200000; // FILE_OPEN_REPARSE_POINT
    const NTSTATUS result = NtCreateFile(
        &file, FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE, &attributes, &status, nullptr,
        FILE_ATTRIBUTE_NORMAL, shareAll, disposition,
        FILE_NON_DIRECTORY_FILE | FILE_SYNCHRONOUS_IO_NONALERT | openReparsePoint, nullptr, 0);
    if (result < 0) {
        error = RtlNtStatusToDosError(result);
        return {};
    }
    error = ERROR_SUCCESS;
    return UniqueFile(file);
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
    // The root is held too when the file stands right in it; it is never a link.
    const std::vector<std::size_t> ends = folderEnds(path);
    const std::size_t rootEnd = path.starts_with(L"\\\\") ? path.find(L'\\', path.find(L'\\', 2) + 1) : 2;
    std::vector<UniqueFile> folders;
    if (ends.empty()) {
        folders.emplace_back(CreateFileW(path.substr(0, rootEnd + 1).c_str(), FILE_READ_ATTRIBUTES | FILE_TRAVERSE,
                                         shareHeld, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        if (!folders.back()) {
            error = GetLastError();
            return {};
        }
    }
    for (const std::size_t end : ends) {
        const std::wstring folder = path.substr(0, end);
        UniqueFile handle(CreateFileW(folder.c_str(), FILE_READ_ATTRIBUTES | FILE_TRAVERSE, shareHeld, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
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
    const std::wstring name = path.substr(path.find_last_of(L'\\') + 1);
    // Opened if present, else made new: making new fails on a dangling link, which the
    // next open then finds absent again, so the loop ends refused.
    UniqueFile file;
    DWORD openError = ERROR_SUCCESS;
    for (int attempt = 0; attempt < 4 && !file; ++attempt) {
        file = openInside(folders.back().get(), name, attempt % 2 == 0 ? FILE_OPEN : FILE_CREATE, openError);
        error = openError;
        if (!file && error != ERROR_FILE_NOT_FOUND && error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS)
            return {};
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
