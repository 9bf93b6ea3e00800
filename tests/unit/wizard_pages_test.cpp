#include "app/installer.h"
#include "install/install_worker.h"
#include "ui/wizard_pages.h"
#include "unit/png_probe.h"
#include "unit/scratch_folder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

using namespace elvara;
using namespace elvara::test;

namespace {

// Colours of the wizard, in 8-bit channels.
const Rgb backgroundTop = fromFloats(0.1f, 0.095f, 0.12f);
const Rgb backgroundBottom = fromFloats(0.05f, 0.05f, 0.065f);
const Rgb tick = fromFloats(0.74f, 0.59f, 0.93f);
const Rgb track = fromFloats(0.19f, 0.16f, 0.24f);
const Rgb fillEnd = fromFloats(0.85f, 0.77f, 1.0f);
// Vertical gradients are sampled at the button's middle row, half-way between the stops.
const Rgb primaryBodyMiddle = fromFloats((0.79f + 0.6f) / 2, (0.69f + 0.48f) / 2, (0.97f + 0.81f) / 2);
const Rgb darkBodyMiddle = fromFloats((0.19f + 0.11f) / 2, (0.18f + 0.105f) / 2, (0.23f + 0.14f) / 2);
const Rgb cardTop = fromFloats(0.17f, 0.15f, 0.21f);

class WizardPages : public testing::Test {
protected:
    void SetUp() override { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
    void TearDown() override { CoUninitialize(); }

    DecodedImage render(Installer& record)
    {
        Canvas canvas;
        const std::wstring file = scratch / L"page.png";
        canvas.renderToPng(file, 780, 560, [&](Canvas& c) { drawWizard(record, c); });
        return decodePng(file);
    }

    static void setResult(Installer& record, bool succeeded, const std::wstring& text)
    {
        record.page = Finished;
        record.succeeded = succeeded;
        record.resultText = text;
    }

    ScratchFolder scratch;
};

#define EXPECT_COLOUR(image, x, y, colour, tolerance)                                                             \
    EXPECT_TRUE(closeTo((image).at(x, y), colour, tolerance))                                                        \
        << "at (" << (x) << ", " << (y) << ") " << describe((image).at(x, y)) << " expected " << describe(colour)

// What every page shares: background, header and footer rules, headline text.
void expectFrame(const DecodedImage& image)
{
    ASSERT_EQ(image.width, 780u);
    ASSERT_EQ(image.height, 560u);
    EXPECT_COLOUR(image, 770, 0, backgroundTop, 3);
    EXPECT_COLOUR(image, 770, 559, backgroundBottom, 3);
    // A one-unit rule centred on y straddles rows y - 1 and y; the renderer may put it in either.
    const auto ruleAt = [&](int y) { return std::max(image.at(400, y - 1).r, image.at(400, y).r); };
    EXPECT_GT(ruleAt(103), image.at(400, 110).r + 15) << "header rule";
    EXPECT_GT(ruleAt(483), image.at(400, 476).r + 15) << "footer rule";
    EXPECT_GT(image.countBrighterThan(32, 132, 748, 190, 180), 300) << "headline text";
    EXPECT_GT(image.countBrighterThan(30, 30, 70, 70, 150), 40) << "logo mark";
}

} // namespace

TEST_F(WizardPages, Welcome)
{
    Installer record;
    const DecodedImage image = render(record);
    expectFrame(image);
    EXPECT_COLOUR(image, 740, 312, cardTop, 6);
    EXPECT_COLOUR(image, 612, 521, primaryBodyMiddle, 10);
    EXPECT_COLOUR(image, 490, 521, fromFloats(0.08f, 0.078f, 0.1f), 10); // no Back button
    // "Continue" is dark on the light body: fewer bright pixels where the label stands than beside it.
    EXPECT_LT(image.countBrighterThan(640, 512, 700, 532, 140), image.countBrighterThan(612, 512, 640, 532, 140) * 2);
}

TEST_F(WizardPages, LicenceWithAndWithoutTheTick)
{
    Installer record;
    record.page = Licence;
    const DecodedImage unticked = render(record);
    expectFrame(unticked);
    EXPECT_LT(unticked.at(44, 447).r, 60) << describe(unticked.at(44, 447));
    EXPECT_COLOUR(unticked, 612, 521, darkBodyMiddle, 8); // Continue disabled
    EXPECT_COLOUR(unticked, 490, 521, darkBodyMiddle, 8); // Back

    record.licenceAccepted = true;
    record.primaryHighlight = 1.0f;
    const DecodedImage ticked = render(record);
    EXPECT_COLOUR(ticked, 44, 447, tick, 4);
    // Enabled and hovered: the light body under a 10 % white overlay.
    const Rgb hovered{primaryBodyMiddle.r + (255 - primaryBodyMiddle.r) / 10,
                      primaryBodyMiddle.g + (255 - primaryBodyMiddle.g) / 10,
                      primaryBodyMiddle.b + (255 - primaryBodyMiddle.b) / 10};
    EXPECT_COLOUR(ticked, 612, 521, hovered, 10);

    record.licenceAccepted = false; // a disabled button shows no hover
    const DecodedImage disabledHovered = render(record);
    EXPECT_COLOUR(disabledHovered, 612, 521, darkBodyMiddle, 8);
}

TEST_F(WizardPages, ReadyShowsBothFolders)
{
    Installer record;
    record.page = Ready;
    const DecodedImage image = render(record);
    expectFrame(image);
    EXPECT_GT(image.countBrighterThan(34, 237, 736, 260, 120), 50) << "bundle folder";
    EXPECT_GT(image.countBrighterThan(34, 324, 736, 347, 120), 50) << "product folder";
    EXPECT_COLOUR(image, 612, 521, primaryBodyMiddle, 10);
    EXPECT_COLOUR(image, 490, 521, darkBodyMiddle, 8);
}

TEST_F(WizardPages, InstallingProgressBar)
{
    struct Case {
        std::uint32_t percent;
        bool animations;
    };
    for (const Case c : {Case{0, false}, Case{4, true}, Case{50, false}, Case{100, false}, Case{50, true},
                         Case{100, true}}) {
        Installer record;
        record.page = Installing;
        record.progress = c.percent;
        record.animationsEnabled = c.animations;
        const DecodedImage image = render(record);
        expectFrame(image);
        const std::string where = std::to_string(c.percent) + "% animations " + (c.animations ? "on" : "off");
        const int fillEnd_x = 34 + static_cast<int>(c.percent * 7.1f);
        if (c.percent == 0) {
            EXPECT_COLOUR(image, 40, 236, track, 4) << where;
        } else if (!c.animations) {
            EXPECT_COLOUR(image, fillEnd_x - 4, 236, fillEnd, 12) << where;
        }
        if (c.percent < 100) {
            EXPECT_COLOUR(image, 742 - 4, 236, track, 4) << where;
        }
        if (c.percent == 4) { // a fill of 28.4 is too short for the shimmer
            EXPECT_LT(image.at(40, 235).r, 200) << where;
        }
        // No buttons while installing.
        EXPECT_COLOUR(image, 612, 521, fromFloats(0.065f, 0.063f, 0.083f), 10) << where;
    }
}

TEST_F(WizardPages, FinishedSuccessAndFailure)
{
    Installer record;
    setResult(record, true, installSuccessText);
    const DecodedImage success = render(record);
    expectFrame(success);
    EXPECT_GT(success.countBrighterThan(34, 205, 746, 260, 140), 100) << "result text";
    EXPECT_GT(success.countBrighterThan(34, 392, 740, 420, 180), 50) << "the DAW hint";
    EXPECT_COLOUR(success, 612, 521, primaryBodyMiddle, 10);

    setResult(record, false, L"Administrator confirmation was cancelled. Nothing was installed.");
    const DecodedImage failure = render(record);
    expectFrame(failure);
    EXPECT_GT(failure.countBrighterThan(34, 205, 746, 240, 140), 50) << "result text";
    EXPECT_EQ(failure.countBrighterThan(34, 392, 740, 440, 100), 0) << "no DAW hint";
}
