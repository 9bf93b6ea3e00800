#include "graphics/canvas.h"
#include "unit/png_probe.h"
#include "unit/scratch_folder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>

using namespace elvara;
using namespace elvara::test;

namespace {

class CanvasTest : public testing::Test {
protected:
    void SetUp() override { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
    void TearDown() override { CoUninitialize(); }

    // Draws into a 100 x 100 off-screen target and returns the picture.
    DecodedImage render(Canvas& canvas, const std::function<void(Canvas&)>& draw)
    {
        const std::wstring file = scratch / L"canvas.png";
        canvas.renderToPng(file, 100, 100, draw);
        return decodePng(file);
    }

    ScratchFolder scratch;
};

D2D1_COLOR_F grey(int step) { return D2D1::ColorF(step / 255.0f, 0, 0, 1); }

} // namespace

TEST(CanvasKeys, GradientKeyFollowsTheHashDefinition)
{
    const auto black = D2D1::ColorF(0, 0, 0, 0);
    std::uint64_t expected = 0x14650FB0739D0383ull;
    for (int i = 0; i < 8; ++i) expected *= 0x100000001B3ull; // every component 0: XOR changes nothing
    EXPECT_EQ(gradientBrushKey(black, black), expected);
    // Clamping and rounding: outside [0, 1] and below the rounding step share the key.
    EXPECT_EQ(gradientBrushKey(D2D1::ColorF(1.5f, -2, 0, 1), D2D1::ColorF(0, 0, 0, 1)),
              gradientBrushKey(D2D1::ColorF(1, 0, 0, 1), D2D1::ColorF(0, 0, 0, 1)));
    EXPECT_EQ(gradientBrushKey(D2D1::ColorF(0.5f, 0, 0, 1), D2D1::ColorF(0, 0, 0, 1)),
              gradientBrushKey(D2D1::ColorF(0.5f + 1e-6f, 0, 0, 1), D2D1::ColorF(0, 0, 0, 1)));
    EXPECT_NE(gradientBrushKey(D2D1::ColorF(0.1f, 0, 0, 1), D2D1::ColorF(0, 0, 0, 1)),
              gradientBrushKey(D2D1::ColorF(0, 0, 0, 1), D2D1::ColorF(0.1f, 0, 0, 1)));
}

TEST(CanvasKeys, TextStyleKey)
{
    EXPECT_EQ(textStyleKey(13, false, DWRITE_TEXT_ALIGNMENT_LEADING), 32u * 1300);
    EXPECT_EQ(textStyleKey(13.004f, false, DWRITE_TEXT_ALIGNMENT_LEADING), 32u * 1300);
    EXPECT_EQ(textStyleKey(13, true, DWRITE_TEXT_ALIGNMENT_CENTER), 32u * 1300 + 1 + 4);
    EXPECT_NE(textStyleKey(14, true, DWRITE_TEXT_ALIGNMENT_LEADING),
              textStyleKey(14, false, DWRITE_TEXT_ALIGNMENT_LEADING));
}

TEST_F(CanvasTest, GradientCacheEmptiesWholeAtTheSixtyFifthPair)
{
    Canvas canvas;
    render(canvas, [](Canvas& c) {
        for (int i = 0; i < 64; ++i) c.fillGradient(0, 0, 10, 10, grey(i), grey(i + 100), 0, true, 1);
        EXPECT_EQ(c.gradientBrushCount(), 64u);
        c.fillGradient(50, 50, 10, 10, grey(0), grey(100), 0, true, 1); // a cached pair, elsewhere
        EXPECT_EQ(c.gradientBrushCount(), 64u);
        c.fillGradient(0, 0, 10, 10, grey(200), grey(201), 0, true, 1);
        EXPECT_EQ(c.gradientBrushCount(), 1u);
        c.fillGradient(0, 0, 0, 10, grey(1), grey(2), 0, true, 1);
        c.fillGradient(0, 0, 10, -1, grey(1), grey(2), 0, true, 1);
        EXPECT_EQ(c.gradientBrushCount(), 1u);
    });
}

TEST_F(CanvasTest, OpacityIsClampedAndRadiusZeroMeansSquare)
{
    Canvas canvas;
    const DecodedImage image = render(canvas, [](Canvas& c) {
        c.setColor(0, 0, 0, 1);
        c.fillRect(0, 0, 100, 100, 0);
        const auto white = D2D1::ColorF(1, 1, 1, 1);
        c.fillGradient(0, 0, 50, 50, white, white, 0, true, 1.5f);
        c.fillGradient(50, 0, 50, 50, white, D2D1::ColorF(1, 1, 1, 1), 0, true, -1);
        c.setColor(1, 1, 1, 1);
        c.fillRect(0, 60, 40, 40, 0);      // square corners
        c.fillRect(50, 60, 40, 40, 0.0001f); // rounded, however slightly
    });
    EXPECT_TRUE(closeTo(image.at(25, 25), {255, 255, 255}, 1)) << describe(image.at(25, 25));
    EXPECT_TRUE(closeTo(image.at(75, 25), {0, 0, 0}, 1)) << describe(image.at(75, 25));
    EXPECT_TRUE(closeTo(image.at(0, 60), {255, 255, 255}, 1));
    EXPECT_TRUE(closeTo(image.at(55, 65), {255, 255, 255}, 1));
}

TEST_F(CanvasTest, BrushStartsBlackAndKeepsTheLogoColour)
{
    Canvas canvas;
    canvas.setColor(1, 0, 0, 1); // no brush yet: nothing happens
    render(canvas, [](Canvas& c) {
        const D2D1_COLOR_F first = c.solidBrush()->GetColor();
        EXPECT_EQ(first.r, 0.0f);
        EXPECT_EQ(first.a, 1.0f);
        c.drawLogoMark(10, 10, 38);
        const D2D1_COLOR_F after = c.solidBrush()->GetColor();
        EXPECT_FLOAT_EQ(after.r, 0.7f);
        EXPECT_FLOAT_EQ(after.g, 0.56f);
        EXPECT_FLOAT_EQ(after.b, 0.86f);
    });
}

TEST_F(CanvasTest, TextFormatsAreCachedPerStyle)
{
    Canvas canvas;
    render(canvas, [](Canvas& c) {
        c.drawText(L"", 0, 0, 50, 20, 13, false, DWRITE_TEXT_ALIGNMENT_LEADING);
        EXPECT_EQ(c.textFormatCount(), 1u); // empty text still makes the format
        c.drawText(L"x", 0, 0, 50, 20, 13.004f, false, DWRITE_TEXT_ALIGNMENT_LEADING);
        EXPECT_EQ(c.textFormatCount(), 1u);
        c.drawText(L"x", 0, 0, 50, 20, 14, true, DWRITE_TEXT_ALIGNMENT_LEADING);
        c.drawText(L"x", 0, 0, 50, 20, 14, false, DWRITE_TEXT_ALIGNMENT_LEADING);
        EXPECT_EQ(c.textFormatCount(), 3u);
        for (float size : {0.0f, -3.0f, std::numeric_limits<float>::infinity(), std::nanf("")})
            c.drawText(L"x", 0, 0, 50, 20, size, false, DWRITE_TEXT_ALIGNMENT_LEADING);
        c.drawText(L"x", 0, 0, 0, 20, 15, false, DWRITE_TEXT_ALIGNMENT_LEADING);
        EXPECT_EQ(c.textFormatCount(), 3u);
    });
    // The formats outlive the off-screen target.
    EXPECT_EQ(canvas.textFormatCount(), 3u);
}

TEST_F(CanvasTest, FramesNeedALiveWindowAndItsDc)
{
    Canvas canvas;
    HWND window = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 200, 100, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    HDC dc = GetDC(window);
    const RECT whole{0, 0, 200, 100};
    EXPECT_FALSE(canvas.beginFrame(dc, whole, 780, 560)); // no window yet
    canvas.setWindow(window);
    EXPECT_FALSE(canvas.beginFrame(nullptr, whole, 780, 560));
    EXPECT_FALSE(canvas.beginFrame(dc, RECT{300, 0, 400, 100}, 780, 560)); // outside the client area
    ASSERT_TRUE(canvas.beginFrame(dc, whole, 780, 560));
    EXPECT_TRUE(canvas.hasWindowTarget());
    canvas.fillRect(0, 0, 780, 560, 0);
    canvas.endFrame();
    ReleaseDC(window, dc);
    DestroyWindow(window);
    EXPECT_FALSE(canvas.beginFrame(dc, whole, 780, 560)); // destroyed
}

TEST_F(CanvasTest, MissingFolderMakesRenderingFail)
{
    Canvas canvas;
    try {
        canvas.renderToPng(scratch / L"missing\\out.png", 10, 10, [](Canvas&) {});
        FAIL() << "no failure";
    } catch (const std::runtime_error& failure) {
        EXPECT_STREQ(failure.what(), "Graphics unavailable");
    }
}

// A character that the font standing in for the text's family lacks ("→" under Wine's
// Tahoma) is drawn from a font that has it: an arrow, whose middle row is inked across
// most of its width, never the box of a missing glyph (as for a character no font has).
TEST_F(CanvasTest, ArrowIsDrawnAsAnArrow)
{
    const auto longestMiddleRun = [&](const wchar_t* text) {
        Canvas canvas;
        const DecodedImage image = render(canvas, [text](Canvas& c) {
            c.setColor(0, 0, 0, 1);
            c.fillRect(0, 0, 100, 100, 0);
            c.setColor(1, 1, 1, 1);
            c.drawText(text, 10, 10, 85, 85, 48, false, DWRITE_TEXT_ALIGNMENT_LEADING);
        });
        int left = 100, right = -1, top = 100, bottom = -1;
        for (int y = 0; y < 100; ++y)
            for (int x = 0; x < 100; ++x)
                if (image.countBrighterThan(x, y, x + 1, y + 1, 128) == 1) {
                    left = std::min(left, x), right = std::max(right, x);
                    top = std::min(top, y), bottom = std::max(bottom, y);
                }
        if (right < left) return 0.0;
        int longest = 0;
        for (int y = (top + bottom) / 2 - 2; y <= (top + bottom) / 2 + 2; ++y) {
            int run = 0;
            for (int x = left; x <= right; ++x) {
                run = image.countBrighterThan(x, y, x + 1, y + 1, 128) == 1 ? run + 1 : 0;
                longest = std::max(longest, run);
            }
        }
        return static_cast<double>(longest) / (right - left + 1);
    };
    EXPECT_GT(longestMiddleRun(L"\u2192"), 0.6);
    EXPECT_LT(longestMiddleRun(L"\uE000"), 0.6); // the probe tells a box from an arrow
}
