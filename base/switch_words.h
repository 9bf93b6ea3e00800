#pragma once
// Command-line switches as Windows users and deployment tools write them: whole words,
// without regard to letter case ("/S" and "/s", "--quiet" and "--Quiet"). Platform-free.
#include <string_view>

namespace elvara {

constexpr bool switchIs(std::wstring_view word, std::wstring_view known) noexcept
{
    if (word.size() != known.size()) return false;
    for (std::size_t i = 0; i < word.size(); ++i) {
        const auto fold = [](wchar_t c) { return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c; };
        if (fold(word[i]) != fold(known[i])) return false;
    }
    return true;
}

} // namespace elvara
