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

} // namespace elvara
