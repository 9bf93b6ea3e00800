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

constexpr ULONG openReparsePoint = 0x00200000; // FILE_OPEN_REPARSE_POINT

// The entry named `name` inside the held folder, opened (FILE_OPEN) or made new
// (FILE_CREATE) relative to that folder's handle, never followed through a link:
// nothing done to the path meanwhile (a folder of it turned into a junction, say) can
// place it elsewhere.
UniqueFile openInside(HANDLE folder, const std::wstring& name, ACCESS_MASK access, ULONG share, ULONG disposition,
                      ULONG options, PSECURITY_DESCRIPTOR security, DWORD& error)
{
    UNICODE_STRING objectName{};
    objectName.Buffer = const_cast<PWSTR>(name.c_str());
    objectName.Length = static_cast<USHORT>(name.size() * sizeof(wchar_t));
    objectName.MaximumLength = objectName.Length;
    OBJECT_ATTRIBUTES attributes{};
    InitializeObjectAttributes(&attributes, &objectName, OBJ_CASE_INSENSITIVE, folder, security);
    IO_STATUS_BLOCK status{};
    HANDLE file = nullptr;
    const NTSTATUS result = NtCreateFile(&file, access | SYNCHRONIZE, &attributes, &status, nullptr,
                                         FILE_ATTRIBUTE_NORMAL, share, disposition,
                                         options | FILE_SYNCHRONOUS_IO_NONALERT | openReparsePoint, nullptr, 0);
    if (result < 0) {
        error = RtlNtStatusToDosError(result);
        return {};
    }
    error = ERROR_SUCCESS;
    return UniqueFile(file);
}

// Delete sharing lets a log kept inside an install folder move with that folder's files
// (an update carries it like any file of the user's); the handle keeps writing to the
// same file wherever it moves.
UniqueFile openLogInside(HANDLE folder, const std::wstring& name, ULONG disposition, DWORD& error)
{
    return openInside(folder, name, FILE_APPEND_DATA | FILE_READ_ATTRIBUTES, shareAll, disposition,
                      FILE_NON_DIRECTORY_FILE, nullptr, error);
}

bool isFullPath(const std::wstring& path) noexcept
{
    const bool full = (path.size() >= 3 && path[1] == L':' && path[2] == L'\\') || path.starts_with(L"\\\\");
    return full && !path.starts_with(L"\\\\?\\") && !path.starts_with(L"\\\\.\\");
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

HeldFolder HeldFolder::open(const std::wstring& path, std::uint32_t& error)
{
    HeldFolder held;
    if (!isFullPath(path)) {
        error = ERROR_INVALID_NAME;
        return held;
    }
    std::wstring folder = path;
    const std::size_t server = folder.starts_with(L"\\\\") ? folder.find(L'\\', 2) : 0;
    const std::size_t rootEnd =
        server == std::wstring::npos ? server : server == 0 ? 2 : folder.find(L'\\', server + 1);
    if (rootEnd == std::wstring::npos) {
        error = ERROR_INVALID_NAME;
        return held;
    }
    while (folder.size() > rootEnd + 1 && folder.back() == L'\\') folder.pop_back();
    // The root is held when the folder is the root itself; it is never a link.
    const std::vector<std::size_t> ends =
        folder.size() > rootEnd + 1 ? folderEnds(folder + L"\\") : std::vector<std::size_t>();
    std::vector<UniqueFile> chain;
    if (ends.empty()) {
        chain.emplace_back(CreateFileW(folder.substr(0, rootEnd + 1).c_str(), FILE_READ_ATTRIBUTES | FILE_TRAVERSE,
                                       shareHeld, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        if (!chain.back()) {
            error = GetLastError();
            return held;
        }
    }
    for (const std::size_t end : ends) {
        const std::wstring step = folder.substr(0, end);
        UniqueFile handle(CreateFileW(step.c_str(), FILE_READ_ATTRIBUTES | FILE_TRAVERSE, shareHeld, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        if (!handle) {
            error = GetLastError();
            return held;
        }
        FILE_ATTRIBUTE_TAG_INFO tag{};
        if (!GetFileInformationByHandleEx(handle.get(), FileAttributeTagInfo, &tag, sizeof(tag)) ||
            (tag.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
            error = ERROR_DIRECTORY;
            return held;
        }
        if (isReparsePoint(handle.get()) || !isEntryNamedBy(handle.get(), step)) {
            error = refusedLink;
            return held;
        }
        chain.push_back(std::move(handle));
    }
    error = ERROR_SUCCESS;
    held.chain_ = std::move(chain);
    return held;
}

UniqueFile createFolderInside(HANDLE folder, const std::wstring& name, PSECURITY_DESCRIPTOR security,
                              std::uint32_t& error)
{
    DWORD code = ERROR_SUCCESS;
    UniqueFile made = openInside(folder, name, FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE, FILE_CREATE, FILE_DIRECTORY_FILE, security, code);
    error = code;
    return made;
}

UniqueFile createFileInside(HANDLE folder, const std::wstring& name, PSECURITY_DESCRIPTOR security,
                            std::uint32_t& error)
{
    DWORD code = ERROR_SUCCESS;
    UniqueFile made = openInside(folder, name, GENERIC_WRITE, 0, FILE_CREATE, FILE_NON_DIRECTORY_FILE, security, code);
    error = code;
    return made;
}

UniqueFile openUnlinkedForAppend(const std::wstring& path, std::uint32_t& error)
{
    if (!isFullPath(path) || path.back() == L'\\') {
        error = ERROR_INVALID_NAME;
        return {};
    }
    const std::size_t nameStart = path.find_last_of(L'\\') + 1;
    const HeldFolder folder = HeldFolder::open(path.substr(0, nameStart), error);
    if (!folder) return {};
    const std::wstring name = path.substr(nameStart);
    // Opened if present, else made new: making new fails on a dangling link, which the
    // next open then finds absent again, so the loop ends refused.
    UniqueFile file;
    DWORD openError = ERROR_SUCCESS;
    for (int attempt = 0; attempt < 4 && !file; ++attempt) {
        file = openLogInside(folder.get(), name, attempt % 2 == 0 ? FILE_OPEN : FILE_CREATE, openError);
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
