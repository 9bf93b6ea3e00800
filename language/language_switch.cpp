#include "language/language_switch.h"

#include "base/switch_words.h"
#include "language/languages.h"

namespace elvara {

namespace {

constexpr std::wstring_view innoForm = L"/LANG=";

bool hasInnoForm(const std::wstring& word)
{
    return word.size() >= innoForm.size() && switchIs(std::wstring_view(word).substr(0, innoForm.size()), innoForm);
}

std::string printable(const std::wstring& word)
{
    std::string text;
    for (const wchar_t c : word) text += c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '?';
    return text;
}

} // namespace

bool isLanguageSwitch(const std::wstring& word) { return switchIs(word, languageSwitch) || hasInnoForm(word); }

std::optional<LanguageRequest> requestedLanguage(const std::vector<std::wstring>& arguments)
{
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        LanguageRequest request;
        if (switchIs(arguments[i], languageSwitch))
            request.tag = i + 1 < arguments.size() ? arguments[i + 1] : std::wstring();
        else if (hasInnoForm(arguments[i]))
            request.tag = arguments[i].substr(innoForm.size());
        else
            continue;
        request.known = languageForTag(request.tag) != nullptr;
        return request;
    }
    return std::nullopt;
}

std::vector<std::wstring> withoutLanguageSwitches(const std::vector<std::wstring>& arguments)
{
    std::vector<std::wstring> rest;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        if (switchIs(arguments[i], languageSwitch))
            ++i;
        else if (!hasInnoForm(arguments[i]))
            rest.push_back(arguments[i]);
    }
    return rest;
}

std::string unknownLanguageText(const std::wstring& tag)
{
    std::string list;
    for (const wchar_t c : languageTagList()) list += static_cast<char>(c);
    return "Unknown language: " + printable(tag) + ". Use --lang with one of: " + list + ".";
}

} // namespace elvara
