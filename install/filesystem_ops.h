#pragma once
// The three filesystem operations whose failures carry the Windows error code and
// the system's own description of it, done with Win32 directly.
#include "install/install_record_format.h"
#include "install/verified_removal.h"
#include "package/byte_view.h"

#include <windows.h>

#include <filesystem>
#include <string>

namespace elvara {

// what() is: operation ": " description ": " "path1" [", " "path2"].
class FilesystemFailure : public std::filesystem::filesystem_error {
public:
    FilesystemFailure(const char* operation, DWORD errorCode, const std::wstring& path1,
                      const std::wstring& path2 = {});
    const char* what() const noexcept override { return text_.c_str(); }
    DWORD errorCode() const noexcept { return errorCode_; }
    const std::string& operation() const noexcept { return operation_; }

private:
    std::string operation_;
    std::string text_;
    DWORD errorCode_;
};

// The system message table's text for a Windows error code, as UTF-8, without
// trailing line breaks; "unknown error" when the system has none.
std::string systemErrorDescription(DWORD errorCode);

bool pathExists(const std::wstring& path);              // raises "exists"
void createDirectories(const std::wstring& path);       // raises "create_directories"
void renamePath(const std::wstring& from, const std::wstring& to); // raises "rename"
bool pathExistsQuietly(const std::wstring& path) noexcept;
// Deletes a file or an empty folder; every error, a missing path included, is ignored.
void removeQuietly(const std::wstring& path) noexcept;

// The file operations of the install transaction, each one call. The base class does
// them for real; a test derives from it to make one of them fail on demand, so that
// every failure path of the transaction can be reached with real files.
class FileOperations {
public:
    virtual ~FileOperations() = default;
    // One WriteFile of the whole view; false when the call fails.
    virtual bool write(HANDLE file, ByteView data, DWORD& written);
    virtual bool flush(HANDLE file);
    // Replaces an existing target; raises "rename".
    virtual void rename(const std::wstring& from, const std::wstring& to);
    // Never replaces: ERROR_SUCCESS, or the Win32 error.
    virtual DWORD moveWithoutReplacing(const std::wstring& from, const std::wstring& to);
    virtual RemovalResult removeFile(const std::wstring& path);
    // Only while the file holds exactly these bytes (see removeFileIfUnchanged).
    virtual RemovalResult removeFileIfUnchanged(const std::wstring& path, const RecordedFile& expected);
    virtual RemovalResult removeEmptyFolder(const std::wstring& path);
};

FileOperations& realFileOperations() noexcept;

} // namespace elvara
