#pragma once
// Lexical path handling, free of any platform call: "\" and "/" both separate.
#include <string>
#include <string_view>
#include <vector>

namespace elvara {

struct LexedPath {
    bool absolute = false;
    std::wstring root; // the root name and every separator that directly follows it
    std::vector<std::wstring> components;
};

bool isPathSeparator(wchar_t c) noexcept;
LexedPath lexPath(std::wstring_view path);

// A backslash goes between the parts unless the first already ends in a separator.
std::wstring appendPath(std::wstring_view folder, std::wstring_view relative);

// Everything before the last run of separators; empty when there is none.
std::wstring parentPath(std::wstring_view path);

// The extended-length form of an absolute path ("\\?\C:\...", "\\?\UNC\server\share\..."),
// which the system takes as it stands: beyond 260 characters, and with names that the
// ordinary form cannot reach (a trailing dot or space, a device name such as CON.txt).
// Separators become backslashes and "." and ".." are resolved here, since the system
// no longer does. A path already in that form, a device path and a relative path come
// back unchanged.
std::wstring extendedLengthPath(std::wstring_view path);

} // namespace elvara
