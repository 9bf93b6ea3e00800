// Every page in every state, judged by its pixels: under two real high-contrast themes
// nothing but the theme's colours (and antialiased blends of two of them) and texts at the
// contrast the theme allows; in the dark design every text at 4.5 : 1 or more against the
// pixels actually behind it.
#include "app/installer.h"
#include "unit/page_contrast.h"
#include "unit/page_states.h"
#include "unit/png_probe.h"
#include "unit/scratch_folder.h"

#include <gtest/gtest.h>

#include <string>

using namespace elvara;
using namespace elvara::test;

namespace {

struct Theme {
    const char* name;
    const wchar_t* file;
};

const Theme themes[] = {
    {"High Contrast Black", L"high-contrast-black.reg"},
    {"High Contrast White", L"high-contrast-white.reg"},
};

std::string narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

class PageColours : public testing::Test {
protected:
    void SetUp() override { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
    void TearDown() override { CoUninitialize(); }

    DecodedImage render(Installer& record)
    {
        const std::wstring file = scratch / L"page.png";
        renderWizard(canvas, record, file);
        return decodePng(file);
    }

    ScratchFolder scratch;
    Canvas canvas;
};

std::vector<Rgb> coloursOf(const SystemColours& colours)
{
    std::vector<Rgb> all;
    for (const layout::Rgb8 c : {colours.window, colours.windowText, colours.buttonFace, colours.buttonText,
                                 colours.highlight, colours.highlightText, colours.grayText})
        all.push_back({c.r, c.g, c.b});
    return all;
}

// Where each role of the theme shows: what is hovered, focused, ticked or in progress in the
// selection colour, the focus ring two pixels wide and clear of its item, what is disabled in
// grey, borders around every control; no shadow, gradient or shimmer anywhere.
enum Role { Window, Text, Face, ButtonText, Highlight, HighlightText, Gray };
struct Probe {
    const wchar_t* state;
    int x, y;
    Role role;
    const char* what;
};
const Probe probes[] = {
    {L"welcome", 770, 2, Window, "page, top"},
    {L"welcome", 770, 557, Window, "page, bottom: no gradient"},
    {L"welcome", 612, 521, Face, "Continue's face"},
    {L"welcome", 600, 521, ButtonText, "Continue's border"},
    {L"welcome", 601, 521, ButtonText, "Continue's border, second pixel"},
    {L"welcome", 650, 541, Window, "no shadow below Continue"},
    {L"welcome", 34, 360, Text, "the card's border"},
    {L"welcome", 40, 360, Window, "the card's face: no gradient"},
    {L"welcome-hover", 612, 521, Highlight, "hovered Continue"},
    {L"welcome-focus", 595, 521, Highlight, "focus ring"},
    {L"welcome-focus", 596, 521, Highlight, "focus ring, second pixel"},
    {L"welcome-focus", 598, 521, Window, "gap between ring and button"},
    {L"licence", 600, 521, Gray, "disabled Continue's border"},
    {L"licence", 612, 521, Face, "disabled Continue's face"},
    {L"licence-disabled-hover", 612, 521, Face, "a disabled button shows no hover"},
    {L"licence", 34, 447, Text, "checkbox border"},
    {L"licence", 44, 447, Window, "unticked box"},
    {L"licence", 33, 300, Text, "the licence control's frame"},
    {L"licence-focus-text", 29, 300, Highlight, "focus ring around the licence"},
    {L"licence-focus-text", 30, 300, Highlight, "focus ring around the licence, second pixel"},
    {L"licence-ticked", 44, 447, Highlight, "the tick"},
    {L"licence-ticked", 37, 447, Window, "between box and tick"},
    {L"licence-back-hover-focus", 500, 521, Highlight, "hovered Back"},
    {L"licence-back-hover-focus", 473, 521, Highlight, "focus ring around Back"},
    {L"installing-64", 34, 236, Text, "the track's border"},
    {L"installing-64", 40, 235, Highlight, "progress at its start"},
    {L"installing-64", 300, 235, Highlight, "progress: no shimmer or gradient"},
    {L"installing-64", 480, 236, Highlight, "progress near its end"},
    {L"installing-64", 600, 236, Window, "the track beyond the progress"},
    {L"installing-100", 738, 236, Highlight, "complete progress"},
};

} // namespace

// Under each theme, every page in every state: nothing but the theme's colours and blends of
// two of them, each text at the contrast that the theme allows (7 : 1 where it reaches it),
// each role where it belongs, the logo in the text colour.
TEST_F(PageColours, HighContrastThemesAlone)
{
    for (const Theme& theme : themes) {
        const SystemColours colours = readColourScheme(std::wstring(ELVARA_TEST_DATA L"/") + theme.file);
        const std::vector<Rgb> allowed = coloursOf(colours);
        const Palette palette = highContrastPalette(colours);
        const layout::Rgb8 byRole[] = {colours.window,    colours.windowText,    colours.buttonFace, colours.buttonText,
                                       colours.highlight, colours.highlightText, colours.grayText};
        const Rgb text{colours.windowText.r, colours.windowText.g, colours.windowText.b};
        for (const PageState& state : everyPageState()) {
            Installer record;
            record.highContrast = true;
            record.systemColours = colours;
            state.prepare(record);
            const DecodedImage image = render(record);
            const std::string where = std::string(theme.name) + ", " + narrow(state.name);

            int foreign = 0;
            Rgb first{};
            int firstX = 0, firstY = 0;
            for (int y = 0; y < static_cast<int>(image.height); ++y)
                for (int x = 0; x < static_cast<int>(image.width); ++x)
                    if (!isBlendOfTwo(image.at(x, y), allowed, 3) && foreign++ == 0) {
                        first = image.at(x, y);
                        firstX = x;
                        firstY = y;
                    }
            EXPECT_EQ(foreign, 0) << where << ": pixels of no theme colour, the first " << describe(first) << " at ("
                                  << firstX << ", " << firstY << ")";

            for (const PlacedText& placed : textsOf(record, palette)) {
                const MeasuredContrast measured = measureContrast(image, placed);
                const float allowedByTheme = std::min(7.0f, contrastRatio(placed.colour, placed.meantBackground));
                EXPECT_TRUE(measured.textFound) << where << ": " << placed.what << " not drawn";
                EXPECT_GE(measured.ratio, allowedByTheme - 0.05f)
                    << where << ": " << placed.what << " against " << describe(measured.background);
            }

            for (const Probe& probe : probes) {
                if (state.name != probe.state) continue;
                const layout::Rgb8 expected = byRole[probe.role];
                const Rgb seen = image.at(probe.x, probe.y);
                EXPECT_TRUE(closeTo(seen, {expected.r, expected.g, expected.b}, 3))
                    << where << ": " << probe.what << " at (" << probe.x << ", " << probe.y << ") is "
                    << describe(seen);
            }
            int logo = 0;
            for (int y = 30; y < 68; ++y)
                for (int x = 30; x < 68; ++x) logo += closeTo(image.at(x, y), text, 3) ? 1 : 0;
            EXPECT_GT(logo, 40) << where << ": the logo in the text colour";
        }
    }
}

TEST_F(PageColours, EveryTextOfTheDesignReadsAtFourAndAHalfToOne)
{
    const Palette palette = designPalette();
    for (const PageState& state : everyPageState()) {
        Installer record;
        state.prepare(record);
        const DecodedImage image = render(record);
        for (const PlacedText& text : textsOf(record, palette)) {
            const MeasuredContrast measured = measureContrast(image, text);
            EXPECT_TRUE(measured.textFound) << narrow(state.name) << ": " << text.what << " not drawn";
            EXPECT_GE(measured.ratio, 4.5f)
                << narrow(state.name) << ": " << text.what << " against " << describe(measured.background);
        }
    }
}
