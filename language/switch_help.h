#pragma once
// The "/?" and "--help" text of both programs: their switches and what each does, in
// English for a script reading standard output, in the display language for a window.
// Platform-free.
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace elvara {

struct SwitchHelp {
    std::wstring_view words;   // as typed, never translated: "--scope machine|user"
    std::wstring_view meaning; // English, an entry of the program's catalogue
};

using Translate = std::function<std::wstring(std::wstring_view english)>;

// "Usage: PROGRAM [switches]", then one switch a line. For a terminal the meanings stand
// in a column; for a window (proportional type) each follows its switch after a dash.
std::wstring switchHelpText(std::wstring_view program, std::span<const SwitchHelp> switches, const Translate& translate,
                            bool forWindow);

// "/?", "--help" or "-h", and "--version", anywhere among the words.
bool asksForHelp(const std::vector<std::wstring>& arguments);
bool asksForVersion(const std::vector<std::wstring>& arguments);

inline constexpr wchar_t languageMeaning[] = L"the language of the windows: {1}; English otherwise";

} // namespace elvara
