// The window reads Windows' appearance again whenever it changes, driven with the real
// messages: high contrast and the system colours (WM_SYSCOLORCHANGE, WM_THEMECHANGED,
// WM_SETTINGCHANGE) and "Show animations" (WM_SETTINGCHANGE), each followed at once by a
// repaint of the whole window, the licence control included. Wine 8 never reports high
// contrast on, so the state read back here is always "off"; the pictures of the pages
// under high contrast are judged in high_contrast_test.cpp.
#include "app/installer.h"
#include "ui/appearance.h"
#include "ui/setup_window.h"

#include <gtest/gtest.h>

using namespace elvara;

namespace {

class AppearanceChanges : public testing::Test {
protected:
    void SetUp() override
    {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        ASSERT_NE(createSetupWindow(record), nullptr);
        SendMessageW(record.window, WM_KEYDOWN, VK_RETURN, 1); // the Licence page, with its control
        ASSERT_NE(record.licenceEdit, nullptr);
        pump();
    }
    void TearDown() override
    {
        if (IsWindow(record.window)) DestroyWindow(record.window);
        pump();
        CoUninitialize();
    }
    static void pump()
    {
        MSG message{};
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    }
    static bool waitingForPaint(HWND window)
    {
        RECT area{};
        return GetUpdateRect(window, &area, FALSE) != FALSE;
    }
    static bool animationsOn()
    {
        BOOL on = TRUE;
        SystemParametersInfoW(SPI_GETCLIENTAREAANIMATION, 0, &on, 0);
        return on != FALSE;
    }
    static void setAnimations(bool on)
    {
        SystemParametersInfoW(SPI_SETCLIENTAREAANIMATION, 0, reinterpret_cast<void*>(static_cast<INT_PTR>(on)), 0);
    }

    Installer record;
};

bool same(layout::Rgb8 a, COLORREF b) { return RGB(a.r, a.g, a.b) == b; }

} // namespace

TEST_F(AppearanceChanges, EachChangeMessageReadsTheStateAgainAndRepaintsAtOnce)
{
    const bool systemAnimations = animationsOn();
    for (const UINT message : {WM_SETTINGCHANGE, WM_SYSCOLORCHANGE, WM_THEMECHANGED}) {
        // A state from before the change: high contrast on, other colours, the opposite animation setting.
        record.highContrast = true;
        record.systemColours.window = {1, 2, 3};
        record.systemColours.highlight = {4, 5, 6};
        record.animationsEnabled = !systemAnimations;
        ValidateRect(record.window, nullptr);
        ValidateRect(record.licenceEdit, nullptr);
        SendMessageW(record.window, message, 0, 0);
        EXPECT_FALSE(record.highContrast) << message;
        EXPECT_EQ(record.animationsEnabled, systemAnimations) << message;
        EXPECT_TRUE(same(record.systemColours.window, GetSysColor(COLOR_WINDOW))) << message;
        EXPECT_TRUE(same(record.systemColours.highlight, GetSysColor(COLOR_HIGHLIGHT))) << message;
        EXPECT_TRUE(same(record.systemColours.grayText, GetSysColor(COLOR_GRAYTEXT))) << message;
        EXPECT_TRUE(waitingForPaint(record.window)) << message;
        EXPECT_TRUE(waitingForPaint(record.licenceEdit)) << message;
        pump();
    }
}

TEST_F(AppearanceChanges, ShowAnimationsSwitchedOffAndOnAgain)
{
    const bool before = animationsOn();
    for (const bool on : {false, true}) {
        setAnimations(on);
        ASSERT_EQ(animationsOn(), on) << "the setting itself";
        SendMessageW(record.window, WM_SETTINGCHANGE, SPI_SETCLIENTAREAANIMATION, 0);
        EXPECT_EQ(record.animationsEnabled, on);
    }
    setAnimations(before);
}

// A system colour changed in this process reaches the window with the message that Windows
// sends for it. (From another process Wine 8 sends the message, but the receiver keeps
// reading its old colours.)
TEST_F(AppearanceChanges, AChangedSystemColourArrivesWithWmSysColorChange)
{
    const int element = COLOR_HIGHLIGHT;
    const COLORREF original = GetSysColor(element);
    const COLORREF changed = RGB(201, 17, 99);
    ASSERT_TRUE(SetSysColors(1, &element, &changed));
    pump();
    SendMessageW(record.window, WM_SYSCOLORCHANGE, 0, 0);
    const bool arrived = same(record.systemColours.highlight, changed);
    SetSysColors(1, &element, &original);
    pump();
    SendMessageW(record.window, WM_SYSCOLORCHANGE, 0, 0);
    EXPECT_TRUE(arrived);
    EXPECT_TRUE(same(record.systemColours.highlight, original));
}

// The licence control is the one standard control: it takes the theme's window colours.
TEST_F(AppearanceChanges, TheLicenceControlInTheWindowColours)
{
    struct Case {
        bool highContrast;
        layout::Rgb8 text, background;
    };
    const Case cases[] = {
        {false, layout::licenceTextColour, layout::windowBackground},
        {true, {255, 255, 255}, {0, 0, 0}},
        {true, {0, 0, 0}, {255, 255, 255}},
    };
    HDC dc = CreateCompatibleDC(nullptr);
    for (const Case& c : cases) {
        record.highContrast = c.highContrast;
        record.systemColours.windowText = c.text;
        record.systemColours.window = c.background;
        const auto brush = reinterpret_cast<HBRUSH>(SendMessageW(
            record.window, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(record.licenceEdit)));
        LOGBRUSH painted{};
        ASSERT_NE(GetObjectW(brush, sizeof(painted), &painted), 0);
        EXPECT_TRUE(same(c.background, painted.lbColor)) << c.highContrast;
        EXPECT_TRUE(same(c.background, GetBkColor(dc))) << c.highContrast;
        EXPECT_TRUE(same(c.text, GetTextColor(dc))) << c.highContrast;
    }
    DeleteDC(dc);
}
