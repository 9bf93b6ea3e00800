#pragma once
// The translated texts of one program, generated from the PO files, and the one way a
// text reaches the screen: built in English (the log and quiet output keep it so), then
// shown through the catalogue in the chosen language. Platform-free.
#include "language/languages.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace elvara {

inline constexpr std::size_t maximumPluralForms = 4;

struct CatalogueText {
    const wchar_t* english;       // the msgid, with numbered placeholders {1}, {2}, ...
    const wchar_t* englishPlural; // msgid_plural, or null; {1} is then the count
};

struct CatalogueLanguage {
    const wchar_t* tag;
    unsigned long (*pluralForm)(unsigned long count);
    const wchar_t* const (*forms)[maximumPluralForms]; // one row per text
};

struct Catalogue {
    const CatalogueText* texts;
    std::size_t textCount;
    const CatalogueLanguage* languages;
    std::size_t languageCount;
};

// A text built in English, in the language: every part of it that is an entry of the
// catalogue (a sentence, a message with its values, a line) is translated, its values
// carried over; what no entry covers (a path of a list, a system's own text) stays as
// it is. English and unknown languages get the text unchanged.
std::wstring localize(const Catalogue& catalogue, const Language& language, std::wstring_view english);

// Whether the language has a table in the catalogue (the pseudo-language needs none).
bool translates(const Catalogue& catalogue, const Language& language) noexcept;

// An English pattern's placeholders {1}, {2}, ... replaced by the values, in any order.
std::wstring withValues(std::wstring_view pattern, std::initializer_list<std::wstring_view> values);

// The pseudo-language's form of a text: bracketed, accented, about 40 % longer, with
// its placeholders intact, so that untranslated and clipped texts stand out.
std::wstring pseudoTranslation(std::wstring_view english);

} // namespace elvara
