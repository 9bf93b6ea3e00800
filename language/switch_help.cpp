#include "language/switch_help.h"

#include "language/catalogue.h"
#include "language/languages.h"
#include "base/switch_words.h"

#include <algorithm>

namespace elvara {

namespace {

bool containsSwitch(const std::vector<std::wstring>& arguments, std::initializer_list<const wchar_t*> words)
{
    return std::any_of(arguments.begin(), arguments.end(), [&](const std::wstring& argument) {
        return std::any_of(words.begin(), words.end(), [&](const wchar_t* word) { return switchIs(argument, word); });
    });
}

} // namespace

bool asksForHelp(const std::vector<std::wstring>& arguments) { return containsSwitch(arguments, {L"/?", L"--help", L"-h"}); }

bool asksForVersion(const std::vector<std::wstring>& arguments) { return containsSwitch(arguments, {L"--version"}); }

std::wstring switchHelpText(std::wstring_view program, std::span<const SwitchHelp> switches, const Translate& translate,
                            bool forWindow)
{
    std::wstring text = translate(withValues(L"Usage: {1} [switches]", {program})) + L"\n\n";
    std::size_t column = 0;
    for (const SwitchHelp& each : switches) column = std::max(column, each.words.size());
    for (const SwitchHelp& each : switches) {
        std::wstring meaning = std::wstring(each.meaning) == languageMeaning
                                   ? withValues(each.meaning, {languageTagList()})
                                   : std::wstring(each.meaning);
        text += each.words;
        if (forWindow)
            text += L"  \u2013  ";
        else
            text.append(column - each.words.size() + 3, L' ');
        text += translate(meaning) + L"\n";
    }
    return text;
}

} // namespace elvara
