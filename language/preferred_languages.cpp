#include "language/preferred_languages.h"

#include <windows.h>

namespace elvara {

std::vector<std::wstring> preferredUiLanguages()
{
    ULONG count = 0;
    ULONG length = 0;
    if (!GetUserPreferredUILanguages(MUI_LANGUAGE_NAME, &count, nullptr, &length) || length == 0) return {};
    std::wstring buffer(length, L'\0');
    if (!GetUserPreferredUILanguages(MUI_LANGUAGE_NAME, &count, buffer.data(), &length)) return {};
    std::vector<std::wstring> tags;
    for (std::size_t at = 0; at < buffer.size() && buffer[at] != L'\0';) {
        const std::wstring tag(buffer.c_str() + at);
        tags.push_back(tag);
        at += tag.size() + 1;
    }
    return tags;
}

std::uint32_t lcidOfLocale(std::wstring_view localeName) noexcept
{
    const std::wstring name(localeName);
    return LocaleNameToLCID(name.c_str(), 0);
}

std::optional<std::wstring> localeOfLcid(std::uint32_t lcid)
{
    wchar_t name[LOCALE_NAME_MAX_LENGTH] = {};
    if (lcid == 0 || LCIDToLocaleName(lcid, name, LOCALE_NAME_MAX_LENGTH, 0) == 0) return std::nullopt;
    return std::wstring(name);
}

} // namespace elvara
