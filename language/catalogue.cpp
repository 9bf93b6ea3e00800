#include "language/catalogue.h"

#include <map>
#include <optional>
#include <vector>

namespace elvara {

namespace {

struct Match {
    std::size_t end = 0;
    std::map<int, std::wstring> values;
};

bool isDigit(wchar_t c) noexcept { return c >= L'0' && c <= L'9'; }

// The placeholder {N} at position at, if one stands there: its number and its length.
std::optional<std::pair<int, std::size_t>> placeholderAt(std::wstring_view text, std::size_t at) noexcept
{
    if (at >= text.size() || text[at] != L'{') return std::nullopt;
    std::size_t end = at + 1;
    int number = 0;
    while (end < text.size() && isDigit(text[end])) number = number * 10 + (text[end++] - L'0');
    if (end == at + 1 || end >= text.size() || text[end] != L'}') return std::nullopt;
    return std::pair{number, end + 1 - at};
}

// The pattern's literal pieces and placeholders, alternating; pieces[0] before the first.
struct Pattern {
    std::vector<std::wstring_view> pieces;
    std::vector<int> numbers;
};

Pattern parse(std::wstring_view pattern)
{
    Pattern parsed;
    std::size_t start = 0;
    for (std::size_t at = 0; at < pattern.size();) {
        if (const auto placeholder = placeholderAt(pattern, at)) {
            parsed.pieces.push_back(pattern.substr(start, at - start));
            parsed.numbers.push_back(placeholder->first);
            at += placeholder->second;
            start = at;
        } else {
            ++at;
        }
    }
    parsed.pieces.push_back(pattern.substr(start));
    return parsed;
}

// A value never spans lines: lists put one item on each.
std::optional<Match> matchAt(const Pattern& pattern, std::wstring_view text, std::size_t at)
{
    if (text.substr(at, pattern.pieces[0].size()) != pattern.pieces[0]) return std::nullopt;
    Match match;
    std::size_t position = at + pattern.pieces[0].size();
    for (std::size_t i = 0; i < pattern.numbers.size(); ++i) {
        const std::wstring_view next = pattern.pieces[i + 1];
        const std::size_t lineEnd = std::min(text.find(L'\n', position), text.size());
        std::size_t found = next.empty() ? lineEnd : text.find(next, position + 1);
        if (found == std::wstring_view::npos || found > lineEnd || found <= position) return std::nullopt;
        match.values[pattern.numbers[i]] = std::wstring(text.substr(position, found - position));
        position = found + next.size();
    }
    if (pattern.pieces.size() == 1 && pattern.pieces[0].empty()) return std::nullopt;
    // A match ends where a text, a line or a sentence ends, never inside a longer sentence.
    const bool ends = position == text.size() || text[position] == L'\n' ||
                      (text[position] == L' ' && position > at &&
                       std::wstring_view(L".:!?)").find(text[position - 1]) != std::wstring_view::npos);
    if (!ends) return std::nullopt;
    match.end = position;
    return match;
}

std::wstring substitute(std::wstring_view pattern, const std::map<int, std::wstring>& values)
{
    std::wstring out;
    for (std::size_t at = 0; at < pattern.size();) {
        if (const auto placeholder = placeholderAt(pattern, at)) {
            if (const auto value = values.find(placeholder->first); value != values.end()) out += value->second;
            at += placeholder->second;
        } else {
            out += pattern[at++];
        }
    }
    return out;
}

unsigned long countOf(const std::map<int, std::wstring>& values) noexcept
{
    const auto count = values.find(1);
    if (count == values.end() || count->second.empty()) return 0;
    unsigned long n = 0;
    for (const wchar_t c : count->second) {
        if (!isDigit(c)) return 0;
        n = n * 10 + static_cast<unsigned long>(c - L'0');
    }
    return n;
}

const CatalogueLanguage* tableFor(const Catalogue& catalogue, const Language& language) noexcept
{
    for (std::size_t i = 0; i < catalogue.languageCount; ++i)
        if (language.tag == catalogue.languages[i].tag) return &catalogue.languages[i];
    return nullptr;
}

struct Best {
    std::size_t text = 0;
    Match match;
};

// The entry that covers the most of the text from here on, if any.
std::optional<Best> bestEntryAt(const Catalogue& catalogue, std::wstring_view text, std::size_t at)
{
    std::optional<Best> best;
    for (std::size_t i = 0; i < catalogue.textCount; ++i) {
        for (const wchar_t* english : {catalogue.texts[i].english, catalogue.texts[i].englishPlural}) {
            if (english == nullptr) continue;
            auto match = matchAt(parse(english), text, at);
            if (match && (!best || match->end > best->match.end)) best = Best{i, std::move(*match)};
        }
    }
    return best;
}

std::wstring translated(const Catalogue& catalogue, const Language& language, const CatalogueLanguage* table,
                        const Best& best)
{
    const CatalogueText& entry = catalogue.texts[best.text];
    std::map<int, std::wstring> values;
    for (const auto& [number, value] : best.match.values) values[number] = localize(catalogue, language, value);
    if (language.pseudo) {
        const std::size_t count = countOf(values);
        return substitute(pseudoTranslation(entry.englishPlural != nullptr && count != 1 ? entry.englishPlural : entry.english),
                          values);
    }
    std::size_t form = 0;
    if (entry.englishPlural != nullptr) form = table->pluralForm(countOf(values));
    const wchar_t* const* forms = table->forms[best.text];
    if (form >= maximumPluralForms || forms[form] == nullptr) form = 0;
    return substitute(forms[form], values);
}

// Where an uncovered stretch ends: after its sentence or at its line's end.
std::size_t endOfStretch(std::wstring_view text, std::size_t at) noexcept
{
    for (std::size_t i = at; i < text.size(); ++i) {
        if (text[i] == L'\n') return i;
        if ((text[i] == L'.' || text[i] == L':') && i + 1 < text.size() && text[i + 1] == L' ') return i + 1;
    }
    return text.size();
}

} // namespace

bool translates(const Catalogue& catalogue, const Language& language) noexcept
{
    return language.pseudo || tableFor(catalogue, language) != nullptr;
}

std::wstring localize(const Catalogue& catalogue, const Language& language, std::wstring_view english)
{
    const CatalogueLanguage* table = tableFor(catalogue, language);
    if (table == nullptr && !language.pseudo) return std::wstring(english);
    std::wstring out;
    for (std::size_t at = 0; at < english.size();) {
        if (english[at] == L' ' || english[at] == L'\n') {
            out += english[at++];
            continue;
        }
        if (const auto best = bestEntryAt(catalogue, english, at)) {
            out += translated(catalogue, language, table, *best);
            at = best->match.end;
            continue;
        }
        const std::size_t end = endOfStretch(english, at);
        out += english.substr(at, end - at);
        at = end;
    }
    return out;
}

std::wstring withValues(std::wstring_view pattern, std::initializer_list<std::wstring_view> values)
{
    std::map<int, std::wstring> numbered;
    int number = 1;
    for (const std::wstring_view value : values) numbered[number++] = std::wstring(value);
    return substitute(pattern, numbered);
}

std::wstring pseudoTranslation(std::wstring_view english)
{
    static constexpr std::wstring_view plain = L"aeiouycnAEIOUYCN";
    static constexpr std::wstring_view accented = L"\u00E1\u00E9\u00ED\u00F6\u00FC\u00FD\u00E7\u00F1"
                                                  L"\u00C5\u00C9\u00CD\u00D6\u00DC\u00DD\u00C7\u00D1";
    std::wstring out = L"[";
    for (std::size_t at = 0; at < english.size();) {
        if (const auto placeholder = placeholderAt(english, at)) {
            out += english.substr(at, placeholder->second);
            at += placeholder->second;
            continue;
        }
        const wchar_t c = english[at++];
        const std::size_t index = plain.find(c);
        out += index == std::wstring_view::npos ? c : accented[index];
    }
    // Longer by about 40 %, in words of at most ten, so that the text can still wrap.
    std::size_t padding = (english.size() * 2 + 4) / 5;
    while (padding > 0) {
        const std::size_t word = std::min<std::size_t>(padding, 10);
        out += L' ';
        out.append(word > 1 ? word - 1 : 1, L'!');
        padding -= word;
    }
    return out + L"]";
}

} // namespace elvara
