#include "app/installer.h"
#include "install/install_locations.h"
#include "install/install_worker.h"
#include "install/uninstall_registration.h"
#include "package/setup_package.h"
#include "package/text.h"
#include "ui/accessibility.h"
#include "ui/licence_view.h"
#include "ui/message_handler.h"
#include "ui/setup_window.h"
#include "unit/package_builder.h"
#include "unit/scratch_folder.h"

#include <gtest/gtest.h>
#include <oleacc.h>
#include <wrl/client.h>

#include <cmath>
#include <utility>
#include <vector>

using namespace elvara;

namespace {

class SetupWindow : public testing::Test {
protected:
    void SetUp() override
    {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        ASSERT_NE(createSetupWindow(record), nullptr);
    }
    void TearDown() override
    {
        if (IsWindow(record.window)) DestroyWindow(record.window);
        MSG message{};
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        }
        CoUninitialize();
    }

    void click(int x, int y) { SendMessageW(record.window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y)); }
    void key(WPARAM virtualKey) { SendMessageW(record.window, WM_KEYDOWN, virtualKey, 1); }
    void moveTo(int x, int y) { SendMessageW(record.window, WM_MOUSEMOVE, 0, MAKELPARAM(x, y)); }
    void timerStep(std::uint64_t millisecondsSinceLast)
    {
        record.lastTick = GetTickCount64() - millisecondsSinceLast;
        SendMessageW(record.window, WM_TIMER, 1, 0);
    }
    bool windowAlive() const { return IsWindow(record.window) != FALSE; }
    bool licenceVisible() const { return record.licenceEdit && IsWindowVisible(record.licenceEdit); }

    Installer record;
};

} // namespace

TEST_F(SetupWindow, ClientAreaIsTheDesignSpace)
{
    RECT client{};
    GetClientRect(record.window, &client);
    EXPECT_EQ(client.right, 780);
    EXPECT_EQ(client.bottom, 560);
    wchar_t title[64] = {};
    GetWindowTextW(record.window, title, 64);
    EXPECT_STREQ(title, L"ElvaraSound \u00B7 Setup");
    EXPECT_EQ(GetWindowLongW(record.window, GWL_STYLE) & 0x00CF0000, 0x00CA0000);
}

TEST_F(SetupWindow, WizardStateMachineWithTheMouse)
{
    click(500, 520); // Back does not act on Welcome
    EXPECT_EQ(record.page, Welcome);
    click(650, 520);
    EXPECT_EQ(record.page, Licence);
    EXPECT_TRUE(licenceVisible());
    const HWND control = record.licenceEdit;

    click(600, 503); // Continue while unticked: nothing
    EXPECT_EQ(record.page, Licence);
    struct Band {
        int y;
        bool toggles;
    };
    for (const Band band : {Band{425, false}, Band{426, true}, Band{468, true}, Band{469, false}}) {
        const bool before = record.licenceAccepted;
        click(5, band.y);
        EXPECT_EQ(record.licenceAccepted != before, band.toggles) << "y " << band.y;
    }
    EXPECT_FALSE(record.licenceAccepted);
    click(770, 440); // far right of the label still toggles
    EXPECT_TRUE(record.licenceAccepted);

    click(478, 540); // Back, inclusive corner
    EXPECT_EQ(record.page, Welcome);
    EXPECT_FALSE(licenceVisible());
    click(744, 540); // Continue, inclusive corner
    EXPECT_EQ(record.page, Licence);
    EXPECT_EQ(record.licenceEdit, control); // created once
    EXPECT_TRUE(record.licenceAccepted);      // never reset
    click(744, 541);
    click(745, 520);
    click(599, 520);
    click(650, 502);
    EXPECT_EQ(record.page, Licence);
    click(600, 540);
    EXPECT_EQ(record.page, Ready);
    EXPECT_FALSE(licenceVisible());
    click(588, 503);
    EXPECT_EQ(record.page, Licence);
}

TEST_F(SetupWindow, WizardStateMachineWithTheKeyboard)
{
    key(VK_SPACE); // nothing on Welcome
    EXPECT_FALSE(record.licenceAccepted);
    key(VK_RETURN);
    EXPECT_EQ(record.page, Licence);
    key(VK_RETURN); // unticked: nothing
    EXPECT_EQ(record.page, Licence);
    key(VK_SPACE);
    EXPECT_TRUE(record.licenceAccepted);
    key(VK_RETURN);
    EXPECT_EQ(record.page, Ready);
    key(VK_ESCAPE);
    EXPECT_FALSE(windowAlive());
}

TEST_F(SetupWindow, LicenceControlKeepsTextAndScrollPosition)
{
    key(VK_RETURN);
    ASSERT_NE(record.licenceEdit, nullptr);
    const int length = GetWindowTextLengthW(record.licenceEdit);
    EXPECT_EQ(length, 2981);
    std::wstring shown(static_cast<std::size_t>(length) + 1, L'\0');
    GetWindowTextW(record.licenceEdit, shown.data(), length + 1);
    shown.resize(static_cast<std::size_t>(length));
    EXPECT_EQ(shown, licenceText());
    EXPECT_EQ(GetWindowLongW(record.licenceEdit, GWL_STYLE) & 0x50200844, 0x50200844);

    SendMessageW(record.licenceEdit, EM_LINESCROLL, 0, 12);
    const LRESULT firstLine = SendMessageW(record.licenceEdit, EM_GETFIRSTVISIBLELINE, 0, 0);
    EXPECT_GT(firstLine, 0);
    key(VK_SPACE);
    key(VK_RETURN);
    EXPECT_EQ(record.page, Ready);
    click(500, 520); // Back
    EXPECT_TRUE(licenceVisible());
    EXPECT_EQ(SendMessageW(record.licenceEdit, EM_GETFIRSTVISIBLELINE, 0, 0), firstLine);
}

TEST(LicenceText, IsTheInstalledEula)
{
    for (const PackageEntry& entry : parseSetupPackage(loadPackageResource())) {
        if (entry.name != "Product/EULA.txt") continue;
        const std::wstring installed = utf8ToWide(test::decodedEntry(entry));
        EXPECT_EQ(licenceText(), installed);
        EXPECT_EQ(installed.size(), 2981u);
        std::size_t lines = 0;
        for (std::size_t at = installed.find(L"\r\n"); at != std::wstring::npos; at = installed.find(L"\r\n", at + 2))
            ++lines;
        EXPECT_EQ(lines, 49u);
        return;
    }
    FAIL() << "no EULA in the package";
}

TEST_F(SetupWindow, CloseIsRefusedWhileBusy)
{
    record.page = Installing;
    record.busy = true;
    SendMessageW(record.window, WM_CLOSE, 0, 0);
    key(VK_ESCAPE);
    key(VK_RETURN);
    click(650, 520);
    EXPECT_TRUE(windowAlive());
    EXPECT_EQ(record.page, Installing);
    SendMessageW(record.window, WM_INSTALL_FINISHED, 0, 0);
    EXPECT_EQ(record.page, Finished);
    EXPECT_FALSE(record.busy);
    SendMessageW(record.window, WM_CLOSE, 0, 0);
    EXPECT_FALSE(windowAlive());
}

TEST_F(SetupWindow, FinishedCloses)
{
    for (int way = 0; way < 3; ++way) {
        if (!windowAlive()) {
            ASSERT_NE(createSetupWindow(record), nullptr);
        }
        record.page = Finished;
        if (way == 0) click(650, 520);
        if (way == 1) key(VK_RETURN);
        if (way == 2) key(VK_ESCAPE);
        EXPECT_FALSE(windowAlive()) << way;
    }
}

TEST_F(SetupWindow, HoverEasing)
{
    record.animationsEnabled = true;
    moveTo(650, 520);
    EXPECT_TRUE(record.hoverPrimary);
    EXPECT_FALSE(record.hoverBack);
    EXPECT_TRUE(record.mouseTracked);
    timerStep(16);
    const float firstStep = record.primaryHighlight;
    EXPECT_NEAR(firstStep, 1 - std::exp(-20 * 0.016f), 0.05f);
    timerStep(5000); // a late step is capped at 0.1 s
    EXPECT_NEAR(record.primaryHighlight, firstStep + (1 - firstStep) * (1 - std::exp(-2.0f)), 0.01f);
    for (int i = 0; i < 100; ++i) timerStep(16);
    EXPECT_EQ(record.primaryHighlight, 1.0f); // snaps to the target

    moveTo(500, 520); // Back does not exist on Welcome
    EXPECT_FALSE(record.hoverBack);
    SendMessageW(record.window, WM_MOUSELEAVE, 0, 0);
    EXPECT_FALSE(record.hoverPrimary);
    EXPECT_FALSE(record.mouseTracked);

    record.animationsEnabled = false;
    timerStep(16);
    EXPECT_EQ(record.primaryHighlight, 0.0f); // instant without animations
}

TEST_F(SetupWindow, TheWheelOverTheLicenceScrollsItAndNeverComesBack)
{
    key(VK_RETURN);
    ASSERT_TRUE(licenceVisible());
    RECT control{};
    GetWindowRect(record.licenceEdit, &control);
    const LPARAM overLicence = MAKELPARAM((control.left + control.right) / 2, (control.top + control.bottom) / 2);
    const LPARAM besideLicence = MAKELPARAM(control.left - 5, control.bottom + 40);
    const auto firstLine = [&] { return SendMessageW(record.licenceEdit, EM_GETFIRSTVISIBLELINE, 0, 0); };
    const auto wheel = [](HWND to, WPARAM keys, LPARAM at) {
        SendMessageW(to, WM_MOUSEWHEEL, MAKEWPARAM(keys, static_cast<WORD>(-WHEEL_DELTA)), at);
    };

    wheel(record.window, 0, besideLicence);
    EXPECT_EQ(firstLine(), 0) << "a turn beside the licence";
    wheel(record.window, 0, overLicence);
    EXPECT_GT(firstLine(), 0) << "a turn over the licence, the keyboard in the window";
    // With Ctrl or Shift the control passes the turn up to the window, which must not
    // hand it back.
    for (const WPARAM keys : {MK_CONTROL, MK_SHIFT}) {
        wheel(record.licenceEdit, keys, overLicence);
        wheel(record.window, keys, overLicence);
    }
    EXPECT_TRUE(windowAlive());
}

// Timer messages that reach the window within the time given, each dispatched.
int timerTicksWithin(HWND window, DWORD milliseconds)
{
    int ticks = 0;
    const ULONGLONG end = GetTickCount64() + milliseconds;
    MSG message{};
    while (GetTickCount64() < end) {
        while (PeekMessageW(&message, window, WM_TIMER, WM_TIMER, PM_REMOVE)) {
            ++ticks;
            DispatchMessageW(&message);
        }
        Sleep(5);
    }
    return ticks;
}

TEST_F(SetupWindow, TheAnimationTimerRunsOnlyWhileSomethingMoves)
{
    record.animationsEnabled = true;
    timerTicksWithin(record.window, 100); // the first tick finds nothing to animate
    EXPECT_EQ(timerTicksWithin(record.window, 200), 0) << "at rest";
    moveTo(650, 520);
    EXPECT_GT(timerTicksWithin(record.window, 700), 0) << "the highlight of Continue eases in";
    EXPECT_EQ(record.primaryHighlight, 1.0f);
    timerTicksWithin(record.window, 100);
    EXPECT_EQ(timerTicksWithin(record.window, 200), 0) << "at rest on Continue";
    SendMessageW(record.window, WM_MOUSELEAVE, 0, 0);
    EXPECT_GT(timerTicksWithin(record.window, 700), 0) << "the highlight eases out";
    EXPECT_EQ(record.primaryHighlight, 0.0f);
}

TEST_F(SetupWindow, InstallFromTheReadyPageEndsOnFinished)
{
    const InstallLocations locations = resolveInstallLocations(InstallScope::Machine);
    const auto cleanUp = [&] {
        test::removeTree(locations.bundleFolder);
        test::removeTree(locations.productFolder);
        RegDeleteKeyExW(HKEY_LOCAL_MACHINE, uninstallKeyPath, KEY_WOW64_64KEY, 0);
    };
    cleanUp();
    record.page = Ready;
    key(VK_RETURN); // the test process is an elevated administrator: installs in place
    EXPECT_EQ(record.page, Installing);
    EXPECT_TRUE(record.busy);
    SendMessageW(record.window, WM_CLOSE, 0, 0);
    EXPECT_TRUE(windowAlive());
    const ULONGLONG deadline = GetTickCount64() + 60000;
    MSG message{};
    while (record.page != Finished && GetTickCount64() < deadline) {
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
        Sleep(10);
    }
    EXPECT_EQ(record.page, Finished);
    EXPECT_TRUE(record.succeeded.load());
    EXPECT_EQ(record.progress.load(), 100u);
    key(VK_RETURN);
    EXPECT_FALSE(windowAlive());
    cleanUp();
}

TEST_F(SetupWindow, OnlyForMeTogglesTheScopeOnTheReadyPageAlone)
{
    record.page = Ready;
    click(44, 447);
    EXPECT_EQ(record.scope, InstallScope::User);
    click(300, 440); // the label's band
    EXPECT_EQ(record.scope, InstallScope::Machine);
    key(VK_TAB);
    EXPECT_EQ(record.focus, ItemKind::Checkbox);
    key(VK_SPACE);
    EXPECT_EQ(record.scope, InstallScope::User);
    record.page = Licence; // the Licence page has no such item
    SendMessageW(record.window, WM_ACCESSIBLE_ACTION, static_cast<WPARAM>(ItemAction::ToggleOnlyForMe), Licence);
    EXPECT_EQ(record.scope, InstallScope::User);
}

namespace {

void pumpMessages()
{
    MSG message{};
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
}

void setShift(bool down)
{
    BYTE keys[256] = {};
    GetKeyboardState(keys);
    keys[VK_SHIFT] = down ? 0x80 : 0;
    SetKeyboardState(keys);
}

} // namespace

TEST_F(SetupWindow, TabMovesTheFocusAndSpaceActsOnIt)
{
    key(VK_TAB); // Welcome: only Continue
    EXPECT_EQ(record.focus, ItemKind::PrimaryButton);
    EXPECT_TRUE(record.focusVisible);
    key(VK_SPACE);
    EXPECT_EQ(record.page, Licence);
    EXPECT_EQ(record.focus, ItemKind::None); // a new page starts unfocused
    key(VK_SPACE);                           // so Space keeps its meaning there
    EXPECT_TRUE(record.licenceAccepted);

    key(VK_TAB);
    EXPECT_EQ(record.focus, ItemKind::LicenceText);
    EXPECT_EQ(GetFocus(), record.licenceEdit);
    SendMessageW(record.licenceEdit, WM_KEYDOWN, VK_TAB, 1); // the control hands Tab back
    EXPECT_EQ(record.focus, ItemKind::Checkbox);
    EXPECT_EQ(GetFocus(), record.window);
    key(VK_SPACE);
    EXPECT_FALSE(record.licenceAccepted);
    key(VK_TAB);
    EXPECT_EQ(record.focus, ItemKind::BackButton);
    key(VK_TAB); // the disabled Continue is skipped
    EXPECT_EQ(record.focus, ItemKind::LicenceText);
    SendMessageW(record.licenceEdit, WM_KEYDOWN, VK_TAB, 1);
    key(VK_SPACE);
    EXPECT_TRUE(record.licenceAccepted);
    setShift(true);
    key(VK_TAB);
    setShift(false);
    EXPECT_EQ(record.focus, ItemKind::LicenceText);
    SendMessageW(record.licenceEdit, WM_KEYDOWN, VK_TAB, 1);
    key(VK_TAB);
    key(VK_TAB);
    EXPECT_EQ(record.focus, ItemKind::PrimaryButton);
    key(VK_SPACE);
    EXPECT_EQ(record.page, Ready);
    EXPECT_FALSE(licenceVisible());

    key(VK_TAB);
    EXPECT_EQ(record.focus, ItemKind::Checkbox); // only for me
    key(VK_TAB);
    EXPECT_EQ(record.focus, ItemKind::BackButton);
    key(VK_SPACE); // Space on a focused Back goes back
    EXPECT_EQ(record.page, Licence);

    key(VK_TAB);
    EXPECT_TRUE(record.focusVisible);
    click(5, 5); // the mouse hides the ring and leaves nothing focused
    EXPECT_FALSE(record.focusVisible);
    EXPECT_EQ(record.focus, ItemKind::None);
    key(VK_RETURN); // Return keeps its meaning: the primary action
    EXPECT_EQ(record.page, Ready);
}

TEST_F(SetupWindow, DpiChangeScalesTheWindowTheControlAndTheInput)
{
    key(VK_RETURN);
    ASSERT_NE(record.licenceEdit, nullptr);
    // The system's suggestion: the same frame around a client area of twice the size.
    RECT frame{}, inner{};
    GetWindowRect(record.window, &frame);
    GetClientRect(record.window, &inner);
    const LONG frameWidth = frame.right - frame.left - inner.right;
    const LONG frameHeight = frame.bottom - frame.top - inner.bottom;
    RECT suggested{40, 30, 40 + 1560 + frameWidth, 30 + 1120 + frameHeight};
    SendMessageW(record.window, WM_DPICHANGED, MAKEWPARAM(192, 192), reinterpret_cast<LPARAM>(&suggested));

    RECT client{};
    GetClientRect(record.window, &client);
    EXPECT_EQ(client.right, 1560);
    EXPECT_EQ(client.bottom, 1120);
    RECT placed{};
    GetWindowRect(record.window, &placed);
    EXPECT_EQ(placed.left, 40);
    EXPECT_EQ(placed.top, 30);
    RECT control{};
    GetWindowRect(record.licenceEdit, &control);
    MapWindowPoints(nullptr, record.window, reinterpret_cast<POINT*>(&control), 2);
    EXPECT_EQ(control.left, 68);
    EXPECT_EQ(control.top, 444);
    EXPECT_EQ(control.right - control.left, 1420);
    EXPECT_EQ(control.bottom - control.top, 398);
    LOGFONTW font{};
    GetObjectW(record.licenceFont.get(), sizeof(font), &font);
    EXPECT_EQ(font.lfHeight, -30);

    // The next frame is drawn at the new scale.
    RedrawWindow(record.window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    ASSERT_NE(record.canvas->currentTarget(), nullptr);
    float dpiX = 0, dpiY = 0;
    record.canvas->currentTarget()->GetDpi(&dpiX, &dpiY);
    EXPECT_EQ(dpiX, 192.0f);
    EXPECT_EQ(dpiY, 192.0f);
    const D2D1_SIZE_F size = record.canvas->currentTarget()->GetSize(); // in design units
    EXPECT_FLOAT_EQ(size.width, 780.0f);
    EXPECT_FLOAT_EQ(size.height, 560.0f);

    click(2 * 44, 2 * 440); // the checkbox row at doubled coordinates
    EXPECT_TRUE(record.licenceAccepted);
    click(2 * 650, 2 * 520); // Continue
    EXPECT_EQ(record.page, Ready);
    click(650, 520); // at the old scale this is no button
    EXPECT_EQ(record.page, Ready);
}

TEST_F(SetupWindow, AccessibleObjectActsThroughTheWindowAndIsCutOffWithIt)
{
    Microsoft::WRL::ComPtr<IAccessible> client;
    ASSERT_HRESULT_SUCCEEDED(AccessibleObjectFromWindow(record.window, static_cast<DWORD>(OBJID_CLIENT),
                                                        IID_PPV_ARGS(&client)));
    VARIANT self{};
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    BSTR name = nullptr;
    ASSERT_HRESULT_SUCCEEDED(client->get_accName(self, &name));
    EXPECT_STREQ(name, L"Welcome \u00B7 ElvaraSound Setup");
    SysFreeString(name);

    long count = 0;
    client->get_accChildCount(&count);
    VARIANT primary{};
    primary.vt = VT_I4;
    primary.lVal = count; // the primary button comes last

    // With nothing focused by the keyboard, the default button is where Enter acts.
    SetFocus(record.window);
    VARIANT focus{};
    ASSERT_HRESULT_SUCCEEDED(client->get_accFocus(&focus));
    EXPECT_EQ(focus.vt, VT_I4);
    EXPECT_EQ(focus.lVal, count);
    key(VK_TAB);
    VARIANT state{};
    ASSERT_HRESULT_SUCCEEDED(client->get_accState(primary, &state));
    EXPECT_EQ(state.lVal & (STATE_SYSTEM_FOCUSED | STATE_SYSTEM_DEFAULT), STATE_SYSTEM_FOCUSED | STATE_SYSTEM_DEFAULT);
    EXPECT_HRESULT_SUCCEEDED(client->accDoDefaultAction(primary));
    EXPECT_EQ(record.page, Welcome); // posted, not run inside the call
    pumpMessages();
    EXPECT_EQ(record.page, Licence);

    primary.lVal = 99;
    EXPECT_EQ(client->accDoDefaultAction(primary), E_INVALIDARG);

    DestroyWindow(record.window);
    name = nullptr;
    EXPECT_EQ(client->get_accName(self, &name), RPC_E_DISCONNECTED);
    EXPECT_EQ(name, nullptr);
    EXPECT_EQ(client->accDoDefaultAction(self), RPC_E_DISCONNECTED);
}

namespace {

std::vector<std::pair<DWORD, LONG>> alerts;
void CALLBACK onAlert(HWINEVENTHOOK, DWORD event, HWND, LONG object, LONG child, DWORD, DWORD)
{
    if (object == OBJID_CLIENT) alerts.emplace_back(event, child);
}

} // namespace

TEST_F(SetupWindow, AFailureInsideTheHandlerEndsOnTheFinishedPage)
{
    HWINEVENTHOOK hook = SetWinEventHook(EVENT_SYSTEM_ALERT, EVENT_SYSTEM_ALERT, nullptr, onAlert,
                                         GetCurrentProcessId(), 0, WINEVENT_OUTOFCONTEXT);
    alerts.clear();
    // A licence that is not UTF-8 fails when the Licence page first shows it.
    record.licenceSource = "Licence \xE9t\xE9";
    click(650, 520);
    EXPECT_TRUE(windowAlive());
    EXPECT_EQ(record.page, Finished);
    EXPECT_FALSE(record.succeeded.load());
    EXPECT_EQ(record.resultText, L"Invalid UTF-8");
    // A screen reader hears the failure: an alert on the result text, the Finished page's second item.
    for (int i = 0; i < 50 && alerts.empty(); ++i) {
        pumpMessages();
        Sleep(10);
    }
    UnhookWinEvent(hook);
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0].second, 2);
    click(650, 520); // Close
    EXPECT_FALSE(windowAlive());
}
