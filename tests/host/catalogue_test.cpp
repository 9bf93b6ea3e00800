// The catalogue as the programs read it: every page in every language, the values and
// plural forms of messages, and the order in which a language is chosen.
#include "language/catalogue.h"
#include "language/display_language.h"
#include "language/language_switch.h"
#include "language/languages.h"
#include "language/switch_help.h"
#include "ui/page_description.h"
#include "ui/setup_texts.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace elvara;

namespace {

const Language& language(const wchar_t* tag)
{
    const Language* found = languageForTag(tag);
    if (found == nullptr) throw std::runtime_error("no such language in the list");
    return *found;
}

class InLanguage {
public:
    explicit InLanguage(const Language& language) { setDisplayLanguage(language); }
    ~InLanguage() { setDisplayLanguage(englishLanguage()); }
};

// Texts that Setup shows on its Finished page, as the install layer builds them.
const std::vector<std::wstring> resultTexts = {
    L"Installed safely in the system VST3 folder. Open FL Studio, scan for installed plugins and load ElvaraSound "
    L"on a Mixer insert. Connect your verified account inside the plugin. Your own file C:\\x\\a.txt is now "
    L"C:\\x\\a (yours).txt: this version installs a file of that name. 3 more of your files were kept beside new ones, "
    L"each with \"(yours)\" in its name.",
    L"Administrator confirmation was cancelled. Nothing was installed.",
    L"An interrupted installation could not be undone. The folder C:\\Program Files\\ElvaraSound is in use by another "
    L"program (a window or command prompt open in it counts). Nothing was changed. Close that program or window, then "
    L"run Setup again.",
};

// Every state of every page, with the folders and results that they show.
std::vector<PageFacts> everyPage()
{
    std::vector<PageFacts> pages;
    for (const std::int32_t page : {Welcome, Licence, Ready, Installing}) {
        for (const bool flag : {false, true}) {
            PageFacts facts;
            facts.page = page;
            facts.licenceAccepted = flag;
            facts.onlyForMe = flag;
            facts.progress = 64;
            facts.bundleFolder = L"C:\\Program Files\\Common Files\\VST3\\ElvaraSound.vst3";
            facts.productFolder = L"C:\\Program Files\\ElvaraSound";
            pages.push_back(facts);
        }
    }
    for (const std::wstring& result : resultTexts) {
        for (const bool succeeded : {false, true}) {
            PageFacts facts;
            facts.page = Finished;
            facts.succeeded = succeeded;
            facts.resultText = result;
            pages.push_back(facts);
        }
    }
    return pages;
}

// What is left of a pseudo-translated text once every bracketed part is taken out.
std::wstring outsideBrackets(const std::wstring& text)
{
    std::wstring rest;
    int depth = 0;
    for (const wchar_t c : text) {
        if (c == L'[') ++depth;
        if (depth == 0 && c != L' ' && c != L'\n') rest += c;
        if (c == L']' && depth > 0) --depth;
    }
    return rest;
}

} // namespace

TEST(Catalogue, EveryLanguageOfTheListHasSetupsTexts)
{
    for (const Language& each : languages())
        if (each.tag != englishLanguage().tag) {
            EXPECT_TRUE(translates(setupCatalogue, each)) << std::string(each.tag.begin(), each.tag.end());
        }
}

// The pseudo-language brackets every text that goes through the catalogue; a text shown
// past it, or one that the catalogue does not hold, stays bare and fails here.
TEST(Catalogue, EveryTextOfEveryPageGoesThroughTheCatalogue)
{
    const InLanguage pseudo(pseudoLanguage());
    for (const PageFacts& facts : everyPage()) {
        for (const PageItem& item : describePage(facts)) {
            if (item.name == facts.bundleFolder || item.name == facts.productFolder) continue; // paths stay as they are
            const std::string name(item.name.begin(), item.name.end());
            EXPECT_FALSE(item.name.empty()) << "page " << facts.page;
            // Paths inside a message are its values; they may stand outside the brackets only there.
            std::wstring rest = outsideBrackets(item.name);
            EXPECT_TRUE(rest.empty()) << "page " << facts.page << ": not through the catalogue: " << name;
        }
        EXPECT_EQ(outsideBrackets(pageTitle(facts)), L"") << "page " << facts.page;
    }
}

TEST(Catalogue, EveryPageSpeaksEachLanguage)
{
    for (const Language& each : languages()) {
        if (each.tag == englishLanguage().tag || each.pseudo) continue;
        const InLanguage chosen(each);
        for (const PageFacts& facts : everyPage()) {
            setDisplayLanguage(englishLanguage());
            const std::vector<PageItem> english = describePage(facts);
            setDisplayLanguage(each);
            const std::vector<PageItem> translated = describePage(facts);
            ASSERT_EQ(english.size(), translated.size());
            for (std::size_t i = 0; i < english.size(); ++i) {
                const PageItem& item = english[i];
                // Proper names and paths stay as they are: the DAW's own menu path, the folders.
                if (item.kind == ItemKind::Progress || item.name == facts.bundleFolder ||
                    item.name == facts.productFolder || item.name.rfind(L"FL STUDIO", 0) == 0)
                    continue;
                if (each.tag == L"fr" && item.name == L"Licence") continue; // the same word in French
                EXPECT_NE(translated[i].name, item.name)
                    << std::string(each.tag.begin(), each.tag.end()) << " page " << facts.page << " item " << i;
            }
        }
    }
}

TEST(Catalogue, GermanPages)
{
    const InLanguage german(language(L"de"));
    PageFacts facts;
    facts.page = Ready;
    const std::vector<PageItem> items = describePage(facts);
    EXPECT_EQ(items[indexOf(items, ItemKind::BackButton)].name, L"Zur\u00FCck");
    EXPECT_EQ(items[indexOf(items, ItemKind::PrimaryButton)].name, L"Installieren");
    EXPECT_EQ(pageTitle(facts), L"Bereit \u00B7 ElvaraSound Setup");
}

// A message's values keep their places whatever the translation's word order, and a
// sentence that the catalogue does not hold stays as it is beside translated ones.
TEST(Catalogue, ValuesAndUncoveredText)
{
    const std::wstring english = L"Your own file C:\\a\\b.txt is now C:\\a\\b (yours).txt: this version installs a file "
                                 L"of that name. Something new happened.";
    EXPECT_EQ(localize(setupCatalogue, language(L"de"), english),
              L"Ihre eigene Datei C:\\a\\b.txt hei\u00DFt jetzt C:\\a\\b (yours).txt: Diese Version installiert eine "
              L"Datei mit diesem Namen. Something new happened.");
    const std::wstring japanese = localize(setupCatalogue, language(L"ja"), english);
    EXPECT_LT(japanese.find(L"C:\\a\\b.txt"), japanese.find(L"C:\\a\\b (yours).txt"));
    EXPECT_NE(japanese.find(L"Something new happened."), std::wstring::npos);
    EXPECT_EQ(localize(setupCatalogue, englishLanguage(), english), english);
}

TEST(Catalogue, PluralFormsFollowTheLanguage)
{
    const auto more = [](unsigned count) {
        return std::to_wstring(count) + L" more of your files were kept beside new ones, each with \"(yours)\" in its name.";
    };
    // The form a count takes, its digits left out.
    const auto form = [&](const Language& language, unsigned count) {
        std::wstring text = localize(setupCatalogue, language, more(count));
        const std::wstring digits = std::to_wstring(count);
        const std::size_t at = text.find(digits);
        EXPECT_NE(at, std::wstring::npos) << count;
        return at == std::wstring::npos ? text : text.erase(at, digits.size());
    };
    const Language& russian = language(L"ru");
    EXPECT_EQ(form(russian, 21), form(russian, 1));
    EXPECT_EQ(form(russian, 3), form(russian, 24));
    EXPECT_EQ(form(russian, 5), form(russian, 11));
    EXPECT_NE(form(russian, 1), form(russian, 3));
    EXPECT_NE(form(russian, 3), form(russian, 5));
    const Language& polish = language(L"pl");
    EXPECT_NE(form(polish, 2), form(polish, 5));
    EXPECT_EQ(form(polish, 22), form(polish, 2));
    const Language& german = language(L"de");
    EXPECT_NE(form(german, 1), form(german, 2));
    const Language& japanese = language(L"ja");
    EXPECT_EQ(form(japanese, 1), form(japanese, 7));
}

TEST(Catalogue, PseudoTranslationIsLongerAndKeepsPlaceholders)
{
    const std::wstring pseudo = pseudoTranslation(L"Your own file {1} is now {2}.");
    EXPECT_EQ(pseudo.front(), L'[');
    EXPECT_EQ(pseudo.back(), L']');
    EXPECT_NE(pseudo.find(L"{1}"), std::wstring::npos);
    EXPECT_NE(pseudo.find(L"{2}"), std::wstring::npos);
    EXPECT_GE(pseudo.size(), std::wstring(L"Your own file {1} is now {2}.").size() * 14 / 10);
    EXPECT_EQ(withValues(L"{2} before {1}", {L"one", L"two"}), L"two before one");
}

TEST(LanguageChoice, FirstMatchWins)
{
    const auto tagOf = [](const Language& chosen) { return std::wstring(chosen.tag); };
    EXPECT_EQ(tagOf(chooseLanguage(&language(L"ja"), L"de-DE", {L"fr-FR"})), L"ja");
    EXPECT_EQ(tagOf(chooseLanguage(nullptr, L"de-DE", {L"fr-FR"})), L"de");
    EXPECT_EQ(tagOf(chooseLanguage(nullptr, std::nullopt, {L"sv-SE", L"fr-CA", L"de-DE"})), L"fr");
    EXPECT_EQ(tagOf(chooseLanguage(nullptr, L"xx-YY", {L"pt-PT"})), L"pt-BR");
    EXPECT_EQ(tagOf(chooseLanguage(nullptr, std::nullopt, {L"zh-TW", L"ko-KR"})), L"ko");
    EXPECT_EQ(tagOf(chooseLanguage(nullptr, std::nullopt, {L"zh-Hant-HK"})), L"en");
    EXPECT_EQ(tagOf(chooseLanguage(nullptr, std::nullopt, {L"zh-Hans-SG"})), L"zh-CN");
    EXPECT_EQ(tagOf(chooseLanguage(nullptr, std::nullopt, {L"qps-ploc"})), L"en");
    EXPECT_EQ(tagOf(chooseLanguage(nullptr, std::nullopt, {})), L"en");
}

TEST(LanguageChoice, SwitchesAsWritten)
{
    const auto request = [](std::vector<std::wstring> words) { return requestedLanguage(words); };
    EXPECT_EQ(request({L"--quiet", L"--LANG", L"DE"})->tag, L"DE");
    EXPECT_TRUE(request({L"/lang=ja"})->known);
    EXPECT_FALSE(request({L"/LANG=xx"})->known);
    EXPECT_FALSE(request({L"--lang"})->known);
    EXPECT_FALSE(request({L"--lang", L"zh-TW"})->known);
    EXPECT_FALSE(request({L"--quiet"}).has_value());
    EXPECT_EQ(withoutLanguageSwitches({L"/S", L"--lang", L"de", L"/LANG=fr", L"--log", L"x"}),
              (std::vector<std::wstring>{L"/S", L"--log", L"x"}));
    EXPECT_EQ(unknownLanguageText(L"xx"),
              "Unknown language: xx. Use --lang with one of: en, de, fr, es, it, pt-BR, nl, pl, ru, ja, zh-CN, ko.");
}

TEST(SwitchHelp, EnglishForScriptsTranslatedForWindows)
{
    const SwitchHelp switches[] = {{L"--log FILE", L"appends a log of the run to FILE"},
                                   {L"--lang TAG, /LANG=TAG", languageMeaning}};
    const auto english = [](std::wstring_view text) { return std::wstring(text); };
    EXPECT_EQ(switchHelpText(L"Setup.exe", switches, english, false),
              L"Usage: Setup.exe [switches]\n\n"
              L"--log FILE              appends a log of the run to FILE\n"
              L"--lang TAG, /LANG=TAG   the language of the windows: en, de, fr, es, it, pt-BR, nl, pl, ru, ja, zh-CN, ko; "
              L"English otherwise\n");
    const InLanguage german(language(L"de"));
    const std::wstring window = switchHelpText(L"Setup.exe", switches, shown, true);
    EXPECT_NE(window.find(L"Aufruf: Setup.exe [Schalter]"), std::wstring::npos);
    EXPECT_NE(window.find(L"--log FILE  \u2013  h\u00E4ngt ein Protokoll des Laufs an DATEI an"), std::wstring::npos);
    EXPECT_NE(window.find(L"--lang TAG, /LANG=TAG  \u2013  die Sprache der Fenster: en, de,"), std::wstring::npos);
    EXPECT_TRUE(asksForHelp({L"--quiet", L"/?"}));
    EXPECT_TRUE(asksForHelp({L"--HELP"}));
    EXPECT_FALSE(asksForHelp({L"/S"}));
    EXPECT_TRUE(asksForVersion({L"--version"}));
}
