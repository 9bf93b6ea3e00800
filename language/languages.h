#pragma once
// The languages that both programs speak, and how a tag names one. Platform-free.
// A translator adds a language with one PO file (po/<tag>.po) and one line in
// the list in languages.cpp.
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace elvara {

enum class Script { Latin, Cyrillic, Japanese, SimplifiedChinese, Korean };

struct Language {
    std::wstring_view tag;        // as --lang takes it and po/<tag>.po is named
    std::wstring_view localeName; // the text's locale for DirectWrite and the recorded language
    std::wstring_view nativeName;
    Script script;
    bool pseudo = false; // the test language: never chosen from the user's preferences
};

// Every language in the list's order; English, the source, first.
std::span<const Language> languages() noexcept;
const Language& englishLanguage() noexcept;
const Language& pseudoLanguage() noexcept;

// The font families for a script, the preferred first; each list ends in families that
// a machine without Windows' own fonts can have.
std::span<const std::wstring_view> fontFamiliesFor(Script script) noexcept;

// The language that a tag names, without regard to letter case: the exact tag or locale,
// then the same language (a region or script of it; Traditional Chinese never is
// Simplified). None for a tag that names none of the list.
const Language* languageForTag(std::wstring_view tag) noexcept;

// The first match wins: the tag asked for, the installed language, the user's preferred
// UI languages in their order, English.
const Language& chooseLanguage(const Language* requested, std::optional<std::wstring_view> installedTag,
                               const std::vector<std::wstring>& preferredTags) noexcept;

// "en, de, fr, ...": for the refusal of an unknown tag and the help text.
std::wstring languageTagList();

} // namespace elvara
