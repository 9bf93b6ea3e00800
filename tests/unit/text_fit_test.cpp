// Every text of every page, in every language, measured with DirectWrite in the font
// that the page draws it with: it fits its box at 100 % and 200 % (no line beyond the
// box's height, no word wider than the box), and every character has a glyph in that
// font or in one that the system's fallback can reach.
#include "app/installer.h"
#include "base/product.h"
#include "graphics/canvas.h"
#include "install/elevated_relaunch.h"
#include "install/install_worker.h"
#include "language/display_language.h"
#include "language/languages.h"
#include "ui/layout.h"
#include "ui/page_description.h"
#include "ui/setup_texts.h"
#include "ui/wizard_pages.h"

#include <gtest/gtest.h>

#include <dwrite.h>
#include <wrl/client.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

using namespace elvara;
using Microsoft::WRL::ComPtr;

namespace {

struct ShownText {
    std::wstring text;
    layout::Box box;
    float size;
    bool bold;
    const char* what;
};

std::string narrow(const std::wstring& text)
{
    std::string out;
    for (const wchar_t c : text) out += c < 0x80 ? static_cast<char>(c) : '?';
    return out;
}

// The texts a page draws, each in the box and style it is drawn with.
std::vector<ShownText> drawnTexts(const std::vector<PageItem>& items)
{
    std::vector<ShownText> texts;
    for (const PageItem& item : items) {
        switch (item.kind) {
        case ItemKind::Headline:
        case ItemKind::Text:
        case ItemKind::Result:
            texts.push_back({item.name, item.box, item.style.size, item.style.bold, "text"});
            break;
        case ItemKind::Checkbox:
            texts.push_back({item.name, layout::checkboxLabel, item.style.size, item.style.bold, "checkbox"});
            break;
        case ItemKind::Card:
            texts.push_back({item.name, layout::welcomeCardTitle, item.style.size, item.style.bold, "card title"});
            break;
        case ItemKind::BackButton:
        case ItemKind::PrimaryButton: {
            const layout::Box& box = item.box;
            texts.push_back({item.name,
                             {box.x + layout::buttonLabelInset, box.y + 9, box.width - 2 * layout::buttonLabelInset, 24},
                             layout::buttonLabelSize, true, "button"});
            break;
        }
        default:
            break;
        }
    }
    texts.push_back({std::wstring(product::wideVersion) + L"  \u00B7  " + shown(L"Public preview") + L"  \u00B7  " +
                         shown(L"Unsigned publisher"),
                     {34, 513, 430, 18}, 10, false, "footer"});
    return texts;
}

// Every page in the states whose texts differ, with the longest results it can show.
std::vector<Installer*> everyPage(std::vector<std::unique_ptr<Installer>>& owned)
{
    const std::vector<std::wstring> results = {
        std::wstring(installSuccessText) +
            L" Your own file C:\\Program Files\\ElvaraSound\\README.txt is now C:\\Program Files\\ElvaraSound\\README "
            L"(yours).txt: this version installs a file of that name. 4 more of your files were kept beside new ones, each "
            L"with \"(yours)\" in its name.",
        userInstallSuccessText,
        confirmationCancelledText,
        L"An interrupted installation could not be undone. The folder C:\\Program Files\\ElvaraSound is in use by another "
        L"program (a window or command prompt open in it counts). Nothing was changed. Close that program or window, then "
        L"run Setup again.",
    };
    std::vector<Installer*> pages;
    const auto add = [&](const std::function<void(Installer&)>& prepare) {
        owned.push_back(std::make_unique<Installer>());
        prepare(*owned.back());
        pages.push_back(owned.back().get());
    };
    add([](Installer&) {});
    add([](Installer& r) { r.page = Licence; });
    add([](Installer& r) { r.page = Ready; });
    add([](Installer& r) {
        r.page = Ready;
        r.scope = InstallScope::User;
    });
    add([](Installer& r) { r.page = Installing; });
    for (std::size_t i = 0; i < results.size(); ++i) {
        add([&, i](Installer& r) {
            r.page = Finished;
            r.succeeded = i < 2;
            r.resultText = results[i];
        });
    }
    return pages;
}

class TextFit : public testing::Test {
protected:
    void SetUp() override
    {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        ASSERT_EQ(DWriteCreateFactory(DWRITE_FACTORY_TYPE_SHARED, __uuidof(IDWriteFactory),
                                      reinterpret_cast<IUnknown**>(factory.GetAddressOf())),
                  S_OK);
        ASSERT_EQ(factory->GetSystemFontCollection(&fonts, FALSE), S_OK);
    }
    void TearDown() override
    {
        setDisplayLanguage(englishLanguage());
        CoUninitialize();
    }

    ComPtr<IDWriteTextFormat> format(const std::wstring& family, const Language& language, float size, bool bold)
    {
        ComPtr<IDWriteTextFormat> made;
        EXPECT_EQ(factory->CreateTextFormat(family.c_str(), nullptr,
                                            bold ? DWRITE_FONT_WEIGHT_SEMI_BOLD : DWRITE_FONT_WEIGHT_NORMAL,
                                            DWRITE_FONT_STYLE_NORMAL, DWRITE_FONT_STRETCH_NORMAL, size,
                                            std::wstring(language.localeName).c_str(), &made),
                  S_OK);
        made->SetWordWrapping(DWRITE_WORD_WRAPPING_WRAP);
        return made;
    }

    // Whether the font used, or a face of the canvas's fallback chain (the script's own
    // list, Wine's Latin face, the faces that arrows go to), has a glyph for the character.
    bool hasGlyph(const std::wstring& family, Script script, UINT32 codePoint)
    {
        const auto glyphIn = [&](const std::wstring& name) {
            UINT32 index = 0;
            BOOL exists = FALSE;
            ComPtr<IDWriteFontFamily> candidates;
            ComPtr<IDWriteFont> font;
            ComPtr<IDWriteFontFace> face;
            if (FAILED(fonts->FindFamilyName(name.c_str(), &index, &exists)) || !exists ||
                FAILED(fonts->GetFontFamily(index, &candidates)) ||
                FAILED(candidates->GetFirstMatchingFont(DWRITE_FONT_WEIGHT_NORMAL, DWRITE_FONT_STRETCH_NORMAL,
                                                        DWRITE_FONT_STYLE_NORMAL, &font)) ||
                FAILED(font->CreateFontFace(&face)))
                return false;
            UINT16 glyph = 0;
            return SUCCEEDED(face->GetGlyphIndices(&codePoint, 1, &glyph)) && glyph != 0;
        };
        std::vector<std::wstring> chain{family, L"Tahoma"};
        for (const std::wstring_view each : fontFamiliesFor(script)) chain.emplace_back(each);
        const bool arrow = codePoint >= 0x2190 && codePoint <= 0x21FF;
        if (arrow) chain.insert(chain.end(), {L"Segoe UI Symbol", L"DejaVu Sans"}); // the canvas's glyph fallback
        for (const std::wstring& name : chain)
            if (glyphIn(name)) return true;
        return false;
    }

    ComPtr<IDWriteFactory> factory;
    ComPtr<IDWriteFontCollection> fonts;
};

} // namespace

TEST_F(TextFit, EveryTextFitsItsBoxInEveryLanguageAtOneAndTwoTimesTheScale)
{
    for (const Language& language : languages()) {
        setDisplayLanguage(language);
        const std::string tag = narrow(std::wstring(language.tag));
        Canvas canvas;
        useDisplayLanguage(canvas);
        const std::wstring family = canvas.fontFamily();
        std::vector<std::unique_ptr<Installer>> owned;
        for (Installer* record : everyPage(owned)) {
            PageFacts facts = readPageFacts(*record, FolderPaths::Resolve);
            facts.labelWidth = labelWidthOn(canvas);
            for (const ShownText& shownText : drawnTexts(describePage(facts))) {
                const std::string where = tag + " page " + std::to_string(facts.page) + " " + shownText.what + ": " +
                                          narrow(shownText.text);
                const ComPtr<IDWriteTextFormat> textFormat = format(family, language, shownText.size, shownText.bold);
                for (const float scale : {1.0f, 2.0f}) {
                    ComPtr<IDWriteTextLayout> layout;
                    ASSERT_EQ(factory->CreateGdiCompatibleTextLayout(
                                  shownText.text.c_str(), static_cast<UINT32>(shownText.text.size()), textFormat.Get(),
                                  shownText.box.width, 1.0e6f, scale, nullptr, FALSE, &layout),
                              S_OK);
                    DWRITE_TEXT_METRICS metrics{};
                    ASSERT_EQ(layout->GetMetrics(&metrics), S_OK);
                    FLOAT widestWord = 0;
                    ASSERT_EQ(layout->DetermineMinWidth(&widestWord), S_OK);
                    EXPECT_LE(metrics.height, shownText.box.height + 0.5f) << "too tall at " << scale << "x: " << where;
                    EXPECT_LE(widestWord, shownText.box.width + 0.5f) << "a word too wide at " << scale << "x: " << where;
                }
                for (const wchar_t c : shownText.text) {
                    if (c <= L' ' || (c >= 0xD800 && c <= 0xDFFF)) continue;
                    EXPECT_TRUE(hasGlyph(family, language.script, c)) << "no glyph for U+" << std::hex << static_cast<unsigned>(c)
                                                     << std::dec << ": " << where;
                }
            }
        }
    }
}
