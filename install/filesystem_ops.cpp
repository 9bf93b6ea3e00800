#include "install/filesystem_ops.h"

#include "base/path_text.h"
#include "base/unique_handle.h"
#include "package/text.h"

#include <system_error>

namespace elvara {

namespace {

std::string failureText(const char* operation, DWORD errorCode, const std::wstring& path1,
                        const std::wstring& path2)
{
    std::string text = std::string(operation) + ": " + systemErrorDescription(errorCode) + ": \"" +
                       wideToUtf8(path1) + "\"";
    if (!path2.empty()) text += ", \"" + wideToUtf8(path2) + "\"";
    return text;
}

bool meansNotFound(DWORD errorCode) noexcept
{
    switch (errorCode) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
    case ERROR_NOT_READY:
        return true;
    default:
        return false;
    }
}

} // namespace

FilesystemFailure::FilesystemFailure(const char* operation, DWORD errorCode, const std::wstring& path1,
                                     const std::wstring& path2)
    : std::filesystem::filesystem_error(operation, std::filesystem::path(path1), std::filesystem::path(path2),
                                        std::error_code(static_cast<int>(errorCode), std::system_category())),
      operation_(operation), text_(failureText(operation, errorCode, path1, path2)), errorCode_(errorCode)
{
}

std::string systemErrorDescription(DWORD errorCode)
{
    LPWSTR buffer = nullptr;
    const DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                            FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, errorCode, 0, reinterpret_cast<LPWSTR>(&buffer), 0, nullptr);
    UniqueLocalMemory owner(buffer);
    std::wstring_view description(buffer, buffer ? length : 0);
    while (!description.empty() && (description.back() == L'\r' || description.back() == L'\n'))
        description.remove_suffix(1);
    std::string text = wideToUtf8(description);
    return text.empty() ? "unknown error" : text;
}

bool pathExists(const std::wstring& path)
{
    if (GetFileAttributesW(extendedLengthPath(path).c_str()) != INVALID_FILE_ATTRIBUTES) return true;
    const DWORD errorCode = GetLastError();
    if (meansNotFound(errorCode)) return false;
    throw FilesystemFailure("exists", errorCode, path);
}

bool pathExistsQuietly(const std::wstring& path) noexcept
{
    try {
        return GetFileAttributesW(extendedLengthPath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
    } catch (...) {
        return false;
    }
}

void createDirectories(const std::wstring& path)
{
    const LexedPath lexed = lexPath(path);
    std::wstring accumulated = lexed.root;
    for (const std::wstring& component : lexed.components) {
        accumulated = appendPath(accumulated, component);
        const DWORD attributes = GetFileAttributesW(extendedLengthPath(accumulated).c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES) {
            if (attributes & FILE_ATTRIBUTE_DIRECTORY) continue;
            throw FilesystemFailure("create_directories", ERROR_ALREADY_EXISTS, path);
        }
        if (!CreateDirectoryW(extendedLengthPath(accumulated).c_str(), nullptr)) {
            const DWORD errorCode = GetLastError();
            if (errorCode == ERROR_ALREADY_EXISTS) continue; // made by someone else meanwhile
            throw FilesystemFailure("create_directories", errorCode, path);
        }
    }
}

void renamePath(const std::wstring& from, const std::wstring& to)
{
    if (!MoveFileExW(extendedLengthPath(from).c_str(), extendedLengthPath(to).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED))
        throw FilesystemFailure("rename", GetLastError(), from, to);
}

void removeQuietly(const std::wstring& path) noexcept
{
    try {
        const std::wstring extended = extendedLengthPath(path);
        const DWORD attributes = GetFileAttributesW(extended.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) return;
        if (attributes & FILE_ATTRIBUTE_DIRECTORY)
            RemoveDirectoryW(extended.c_str());
        else
            DeleteFileW(extended.c_str());
    } catch (...) {
    }
}

bool FileOperations::write(HANDLE file, ByteView data, DWORD& written)
{
    return WriteFile(file, data.bytes, static_cast<DWORD>(data.length), &written, nullptr) != FALSE;
}

bool FileOperations::flush(HANDLE file) { return FlushFileBuffers(file) != FALSE; }

void FileOperations::rename(const std::wstring& from, const std::wstring& to) { renamePath(from, to); }

DWORD FileOperations::moveWithoutReplacing(const std::wstring& from, const std::wstring& to)
{
    return MoveFileExW(extendedLengthPath(from).c_str(), extendedLengthPath(to).c_str(), 0) ? ERROR_SUCCESS : GetLastError();
}

RemovalResult FileOperations::removeFile(const std::wstring& path) { return removeFileVerified(path); }

RemovalResult FileOperations::removeFileIfUnchanged(const std::wstring& path, const RecordedFile& expected)
{
    return elvara::removeFileIfUnchanged(path, expected);
}

RemovalResult FileOperations::removeEmptyFolder(const std::wstring& path) { return removeEmptyFolderVerified(path); }

FileOperations& realFileOperations() noexcept
{
    static FileOperations real;
    return real;
}

} // namespace elvara
