#pragma once
// "--lang TAG" and "/LANG=TAG", as both programs read them. Platform-free.
#include <optional>
#include <string>
#include <vector>

namespace elvara {

inline constexpr wchar_t languageSwitch[] = L"--lang";

// Whether the word is "--lang" or one "/LANG=TAG" word (either letter case).
bool isLanguageSwitch(const std::wstring& word);

struct LanguageRequest {
    std::wstring tag;      // as written; empty when "--lang" stands last
    bool known = false;    // it names a language of the list
};

// The first "--lang TAG" or "/LANG=TAG"; none when absent.
std::optional<LanguageRequest> requestedLanguage(const std::vector<std::wstring>& arguments);

// The words without the language switches (and the tag after "--lang"): the rest of
// the command line reads as if they were not there.
std::vector<std::wstring> withoutLanguageSwitches(const std::vector<std::wstring>& arguments);

// The refusal of a tag that names no language of ours (standard error, exit code 1639).
std::string unknownLanguageText(const std::wstring& tag);

} // namespace elvara
