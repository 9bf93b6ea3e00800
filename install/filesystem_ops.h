#pragma once
// The three filesystem operations whose failures carry the Windows error code and
// the system's own description of it, done with Win32 directly.
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

private:
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

} // namespace elvara
