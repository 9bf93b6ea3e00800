#pragma once
// How the test helpers pass their own arguments on to the program they start.
#include <string>

namespace test_helpers {

// One word of a command line, quoted when it holds a blank or a quote.
inline std::wstring quoted(const std::wstring& word)
{
    if (!word.empty() && word.find_first_of(L" \t\"") == std::wstring::npos) return word;
    std::wstring out = L"\"";
    for (wchar_t c : word) {
        if (c == L'"') out += L'\\';
        out += c;
    }
    return out + L"\"";
}

// The command line of argv[first] with the words that follow it.
inline std::wstring commandLineFrom(int argc, wchar_t** argv, int first)
{
    std::wstring commandLine = quoted(argv[first]);
    for (int i = first + 1; i < argc; ++i) commandLine += L" " + quoted(argv[i]);
    return commandLine;
}

} // namespace test_helpers
