#include "language/languages.h"

#include <array>

namespace elvara {

namespace {

// One line per language. English is the source and must stay first.
constexpr std::array languageList{
    Language{L"en", L"en-US", L"English", Script::Latin},
    Language{L"de", L"de-DE", L"Deutsch", Script::Latin},
    Language{L"fr", L"fr-FR", L"Fran\u00E7ais", Script::Latin},
    Language{L"es", L"es-ES", L"Espa\u00F1ol", Script::Latin},
    Language{L"it", L"it-IT", L"Italiano", Script::Latin},
    Language{L"pt-BR", L"pt-BR", L"Portugu\u00EAs (Brasil)", Script::Latin},
    Language{L"nl", L"nl-NL", L"Nederlands", Script::Latin},
    Language{L"pl", L"pl-PL", L"Polski", Script::Latin},
    Language{L"ru", L"ru-RU", L"\u0420\u0443\u0441\u0441\u043A\u0438\u0439", Script::Cyrillic},
    Language{L"ja", L"ja-JP", L"\u65E5\u672C\u8A9E", Script::Japanese},
    Language{L"zh-CN", L"zh-CN", L"\u7B80\u4F53\u4E2D\u6587", Script::SimplifiedChinese},
    Language{L"ko", L"ko-KR", L"\uD55C\uAD6D\uC5B4", Script::Korean},
    Language{L"qps-ploc", L"en-US", L"Pseudo", Script::Latin, true},
};

constexpr std::wstring_view latinFonts[] = {L"Segoe UI", L"Noto Sans", L"Tahoma"};
constexpr std::wstring_view japaneseFonts[] = {L"Yu Gothic UI", L"Meiryo UI", L"Noto Sans CJK JP"};
constexpr std::wstring_view simplifiedChineseFonts[] = {L"Microsoft YaHei UI", L"Noto Sans CJK SC"};
constexpr std::wstring_view koreanFonts[] = {L"Malgun Gothic", L"Noto Sans CJK KR"};

wchar_t folded(wchar_t c) noexcept { return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c; }

bool sameText(std::wstring_view a, std::wstring_view b) noexcept
{
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (folded(a[i]) != folded(b[i]) && !(a[i] == L'_' && b[i] == L'-')) return false;
    return true;
}

std::wstring_view primaryOf(std::wstring_view tag) noexcept { return tag.substr(0, tag.find_first_of(L"-_")); }

// zh-TW, zh-HK, zh-MO and every zh-Hant are Traditional Chinese.
bool isTraditionalChinese(std::wstring_view tag) noexcept
{
    if (!sameText(primaryOf(tag), L"zh")) return false;
    std::wstring lowered;
    for (const wchar_t c : tag) lowered += c == L'_' ? L'-' : folded(c);
    lowered += L'-';
    for (const std::wstring_view mark : {L"-hant-", L"-tw-", L"-hk-", L"-mo-"})
        if (lowered.find(mark) != std::wstring::npos) return true;
    return false;
}

} // namespace

std::span<const Language> languages() noexcept { return languageList; }

const Language& englishLanguage() noexcept { return languageList.front(); }

const Language& pseudoLanguage() noexcept { return languageList.back(); }

std::span<const std::wstring_view> fontFamiliesFor(Script script) noexcept
{
    switch (script) {
    case Script::Japanese:
        return japaneseFonts;
    case Script::SimplifiedChinese:
        return simplifiedChineseFonts;
    case Script::Korean:
        return koreanFonts;
    default:
        return latinFonts;
    }
}

const Language* languageForTag(std::wstring_view tag) noexcept
{
    if (tag.empty()) return nullptr;
    for (const Language& language : languageList)
        if (sameText(tag, language.tag) || sameText(tag, language.localeName)) return &language;
    if (isTraditionalChinese(tag)) return nullptr;
    for (const Language& language : languageList)
        if (!language.pseudo && sameText(primaryOf(tag), primaryOf(language.tag))) return &language;
    return nullptr;
}

const Language& chooseLanguage(const Language* requested, std::optional<std::wstring_view> installedTag,
                               const std::vector<std::wstring>& preferredTags) noexcept
{
    if (requested != nullptr) return *requested;
    if (installedTag)
        if (const Language* installed = languageForTag(*installedTag)) return *installed;
    // Exact tags across the whole list first would let a second preference beat the first
    // one's own language; the first preference that names a language of ours wins.
    for (const std::wstring& preferred : preferredTags)
        if (const Language* language = languageForTag(preferred); language != nullptr && !language->pseudo) return *language;
    return englishLanguage();
}

std::wstring languageTagList()
{
    std::wstring list;
    for (const Language& language : languageList) {
        if (language.pseudo) continue;
        if (!list.empty()) list += L", ";
        list += language.tag;
    }
    return list;
}

} // namespace elvara
