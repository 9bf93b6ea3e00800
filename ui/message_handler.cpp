#include "ui/message_handler.h"

#include "ui/wizard_state.h"
#include "base/event_log.h"
#include "install/administrator.h"
#include "install/elevated_relaunch.h"
#include "language/display_language.h"
#include "language/language_switch.h"
#include "package/text.h"
#include "ui/accessibility.h"
#include "ui/appearance.h"
#include "ui/hit_areas.h"
#include "ui/layout.h"
#include "ui/licence_view.h"
#include "ui/wizard_pages.h"

#include <windowsx.h>

#include <algorithm>

namespace elvara {

namespace {

void invalidate(const WizardState& record) { InvalidateRect(record.window, nullptr, FALSE); }

// Only this part of the page is drawn again, with a margin for its shadow and focus ring.
void invalidate(const WizardState& record, const layout::Box& box)
{
    constexpr float margin = 8.0f;
    const auto pixels = [&record](float units) {
        return static_cast<LONG>(units * static_cast<float>(record.dpi) / 96.0f);
    };
    const RECT area{pixels(box.x - margin), pixels(box.y - margin), pixels(box.right() + margin) + 1,
                    pixels(box.bottom() + margin) + 1};
    InvalidateRect(record.window, &area, FALSE);
}

void showFailure(WizardState& record, const char* text) noexcept
{
    try {
        std::wstring wide = utf8ToWide(text);
        std::lock_guard lock(record.resultMutex);
        record.resultText = std::move(wide);
    } catch (...) {
    }
    record.busy = false;
    record.page = Finished;
    record.succeeded.store(false);
    if (record.licenceEdit != nullptr) ShowWindow(record.licenceEdit, SW_HIDE);
}

// The install request may fail before any worker exists ("Executable path
// unavailable", a thread that cannot start); the user sees it on the Finished page.
template <typename Action>
void runReportingFailure(WizardState& record, Action action) noexcept
{
    try {
        action();
    } catch (const std::exception& failure) {
        showFailure(record, failure.what());
    } catch (...) {
        showFailure(record, "The installation could not be started.");
    }
}

// The Ready page's install action: installs in place for the user alone or when
// elevated, otherwise hands the installation to an elevated copy and closes this
// window without waiting.
void beginInstall(WizardState& record)
{
    if (record.scope == InstallScope::User || isElevatedAdministrator()) {
        record.execute();
        return;
    }
    // No "--log": an elevated process never opens a file that a standard user named, and
    // this window does not stay to write the copy's lines.
    // The copy speaks the language of this window, whatever its own user's preferences.
    const std::wstring parameters = std::wstring(L"--perform ") + languageSwitch + L" " + std::wstring(displayLanguage().tag);
    if (startElevatedCopy(record.window, parameters.c_str())) {
        event_log::write("Not elevated: the elevated copy was started");
        DestroyWindow(record.window);
        return;
    }
    event_log::write("Not elevated: the elevated copy did not start");
    std::lock_guard lock(record.resultMutex);
    record.resultText = confirmationCancelledText;
    record.page = Finished;
    record.succeeded.store(false);
}

void requestInstall(WizardState& record) noexcept
{
    runReportingFailure(record, [&record] { beginInstall(record); });
}

void advancePage(WizardState& record)
{
    record.page += 1;
    updateLicenceView(record);
}

// The one place where an item's action runs: for the mouse, the keyboard and
// assistive technology alike.
void performAction(WizardState& record, ItemAction action)
{
    const std::int32_t page = record.page;
    switch (action) {
    case ItemAction::ToggleLicence:
        if (page == Licence) record.licenceAccepted = !record.licenceAccepted;
        break;
    case ItemAction::ToggleOnlyForMe:
        if (page == Ready)
            record.scope = record.scope == InstallScope::User ? InstallScope::Machine : InstallScope::User;
        break;
    case ItemAction::GoBack:
        if (page == Licence || page == Ready) {
            record.page -= 1;
            updateLicenceView(record);
        }
        break;
    case ItemAction::Primary:
        if (page == Finished) {
            DestroyWindow(record.window);
            return;
        }
        if (page == Ready)
            requestInstall(record);
        else if (page == Welcome || (page == Licence && record.licenceAccepted))
            advancePage(record);
        break;
    case ItemAction::None:
        break;
    }
    if (IsWindow(record.window)) invalidate(record);
}

// The action of the enabled item of the current page that has this action, if any.
void performIfOffered(WizardState& record, ItemAction action)
{
    for (const PageItem& item : describeCurrentPage(record, FolderPaths::Skip)) {
        if (item.action == action && item.enabled) {
            performAction(record, action);
            return;
        }
    }
}

struct DesignPoint {
    float x, y;
};

// Pointer pixels to design units.
DesignPoint designPoint(const WizardState& record, LPARAM lParam)
{
    const float unitsPerPixel = 96.0f / static_cast<float>(record.dpi);
    return {static_cast<float>(GET_X_LPARAM(lParam)) * unitsPerPixel,
            static_cast<float>(GET_Y_LPARAM(lParam)) * unitsPerPixel};
}

// The licence control in the palette's window colours, on a brush of its background that
// is made again whenever that colour changes.
LRESULT colourLicence(WizardState& record, HDC dc)
{
    const Palette palette = paletteOf(record);
    const COLORREF background =
        RGB(palette.licenceBackground.r, palette.licenceBackground.g, palette.licenceBackground.b);
    LOGBRUSH current{};
    if (!record.backgroundBrush || GetObjectW(record.backgroundBrush.get(), sizeof(current), &current) == 0 ||
        current.lbColor != background)
        record.backgroundBrush.reset(CreateSolidBrush(background));
    SetTextColor(dc, RGB(palette.licenceText.r, palette.licenceText.g, palette.licenceText.b));
    SetBkColor(dc, background);
    return reinterpret_cast<LRESULT>(record.backgroundBrush.get());
}

bool somethingMoves(const WizardState& record) noexcept
{
    return record.page == Installing || record.primaryHighlight != (record.hoverPrimary ? 1.0f : 0.0f) ||
           record.backHighlight != (record.hoverBack ? 1.0f : 0.0f);
}

// The animation timer runs only while something moves: a window at rest is not woken
// sixty times a second.
void startAnimationIfNeeded(WizardState& record) noexcept
{
    if (record.animationTimerRunning || !somethingMoves(record) || !IsWindow(record.window)) return;
    record.lastTick = GetTickCount64();
    record.animationTimerRunning =
        SetTimer(record.window, layout::animationTimerId, layout::animationIntervalMs, nullptr) != 0;
}

void onTimer(WizardState& record)
{
    const std::uint64_t now = GetTickCount64();
    const float seconds = static_cast<float>(now - record.lastTick) * 0.001f;
    const float k = easingFactor(record.animationsEnabled, seconds);
    record.lastTick = now;
    const float oldPrimary = record.primaryHighlight;
    const float oldBack = record.backHighlight;
    record.primaryHighlight = easeToward(record.primaryHighlight, record.hoverPrimary, k);
    record.backHighlight = easeToward(record.backHighlight, record.hoverBack, k);
    const bool changed = record.primaryHighlight != oldPrimary || record.backHighlight != oldBack;
    const std::uint32_t progress = record.progress.load();
    const std::uint32_t oldDrawn = record.drawnProgress;
    record.drawnProgress = progress;
    if (!somethingMoves(record) && record.animationTimerRunning) {
        KillTimer(record.window, layout::animationTimerId);
        record.animationTimerRunning = false;
    }
    if (!IsWindowVisible(record.window) || IsIconic(record.window)) return;
    if (changed) // the buttons' row: a longer label widens a button to the left
        invalidate(record, layout::Box{0.0f, layout::buttonTop, layout::designWidth, layout::buttonHeight});
    // Only while the bar is on the page: at the first tick after the Installing page the
    // progress has moved on since the last one, and on the Finished page the bar's box cuts
    // through the result text, which a frame of that box alone draws differently. In high
    // contrast nothing shimmers.
    if (record.page == Installing && (progress != oldDrawn || (record.animationsEnabled && !record.highContrast)))
        invalidate(record, layout::progressTrack);
}

void onMouseMove(WizardState& record, LPARAM lParam)
{
    const DesignPoint point = designPoint(record, lParam);
    const std::vector<PageItem> items = describeCurrentPage(record, FolderPaths::Skip);
    const int hit = itemAt(items, point.x, point.y);
    const ItemKind kind = hit < 0 ? ItemKind::None : items[static_cast<std::size_t>(hit)].kind;
    record.hoverPrimary = kind == ItemKind::PrimaryButton;
    record.hoverBack = kind == ItemKind::BackButton;
    if (!record.mouseTracked) {
        TRACKMOUSEEVENT request{sizeof(request), TME_LEAVE, record.window, 0};
        TrackMouseEvent(&request);
        record.mouseTracked = true;
    }
}

void onClick(WizardState& record, LPARAM lParam)
{
    // As in Windows: the focus ring is for keyboard use and goes with the mouse.
    record.focus = ItemKind::None;
    record.focusVisible = false;
    if (GetFocus() != record.window) SetFocus(record.window);
    const DesignPoint point = designPoint(record, lParam);
    const std::vector<PageItem> items = describeCurrentPage(record, FolderPaths::Skip);
    const int hit = itemAt(items, point.x, point.y);
    if (hit >= 0 && items[static_cast<std::size_t>(hit)].enabled) {
        performAction(record, items[static_cast<std::size_t>(hit)].action);
        return;
    }
    invalidate(record);
}

// The wheel scrolls what is under the pointer, whichever window has the keyboard. Only a
// plain turn, and never one that the control itself passed up: it would come back.
bool forwardWheelToLicence(WizardState& record, WPARAM wParam, LPARAM lParam)
{
    static bool forwarding = false;
    if (forwarding || record.licenceEdit == nullptr || !IsWindowVisible(record.licenceEdit) ||
        (GET_KEYSTATE_WPARAM(wParam) & (MK_CONTROL | MK_SHIFT)) != 0)
        return false;
    RECT control{};
    GetWindowRect(record.licenceEdit, &control);
    if (!PtInRect(&control, POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)})) return false;
    forwarding = true;
    SendMessageW(record.licenceEdit, WM_MOUSEWHEEL, wParam, lParam);
    forwarding = false;
    return true;
}

void moveFocus(WizardState& record, ItemKind target)
{
    record.focus = target;
    record.focusVisible = true;
    if (target == ItemKind::LicenceText && record.licenceEdit != nullptr)
        SetFocus(record.licenceEdit);
    else if (GetFocus() != record.window)
        SetFocus(record.window);
    invalidate(record);
}

void onTab(WizardState& record, bool forward)
{
    const std::vector<PageItem> items = describeCurrentPage(record, FolderPaths::Skip);
    const bool inLicence = record.licenceEdit != nullptr && GetFocus() == record.licenceEdit;
    const ItemKind current = inLicence ? ItemKind::LicenceText : record.focus;
    const ItemKind next = nextFocus(items, current, forward);
    if (next != ItemKind::None) moveFocus(record, next);
}

LRESULT onKeyDown(WizardState& record, HWND window, WPARAM key, LPARAM lParam)
{
    switch (key) {
    case VK_ESCAPE:
        if (record.busy) break;
        DestroyWindow(window);
        return 0;
    case VK_TAB:
        onTab(record, GetKeyState(VK_SHIFT) >= 0);
        return 0;
    case VK_SPACE:
        if (record.focus != ItemKind::None) {
            for (const PageItem& item : describeCurrentPage(record, FolderPaths::Skip))
                if (item.kind == record.focus && item.enabled) performAction(record, item.action);
            return 0;
        }
        if (record.page != Licence) break;
        performAction(record, ItemAction::ToggleLicence);
        return 0;
    case VK_RETURN:
        if (record.busy) break;
        performIfOffered(record, ItemAction::Primary);
        return 0;
    default:
        break;
    }
    return DefWindowProcW(window, WM_KEYDOWN, key, lParam);
}

// The window's client area is 780 x 560 design units at its DPI.
SIZE outerSizeFor(const WizardState& record)
{
    RECT outer{0, 0, MulDiv(static_cast<int>(layout::designWidth), static_cast<int>(record.dpi), 96),
               MulDiv(static_cast<int>(layout::designHeight), static_cast<int>(record.dpi), 96)};
    AdjustWindowRectExForDpi(&outer, static_cast<DWORD>(GetWindowLongW(record.window, GWL_STYLE)), FALSE,
                             static_cast<DWORD>(GetWindowLongW(record.window, GWL_EXSTYLE)), record.dpi);
    return {outer.right - outer.left, outer.bottom - outer.top};
}

void onDpiChanged(WizardState& record, WPARAM wParam, LPARAM lParam)
{
    record.dpi = LOWORD(wParam) == 0 ? 96u : LOWORD(wParam);
    if (record.canvas) record.canvas->setDpi(static_cast<float>(record.dpi));
    if (const auto* suggested = reinterpret_cast<const RECT*>(lParam)) {
        SetWindowPos(record.window, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                     suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
    }
    scaleLicenceView(record);
    invalidate(record);
}

// A window larger than the screen at a high scale stays as large as its layout.
void onGetMinMaxInfo(const WizardState& record, LPARAM lParam)
{
    auto* limits = reinterpret_cast<MINMAXINFO*>(lParam);
    const SIZE needed = outerSizeFor(record);
    limits->ptMaxTrackSize.x = std::max(limits->ptMaxTrackSize.x, needed.cx);
    limits->ptMaxTrackSize.y = std::max(limits->ptMaxTrackSize.y, needed.cy);
    limits->ptMaxSize.x = std::max(limits->ptMaxSize.x, needed.cx);
    limits->ptMaxSize.y = std::max(limits->ptMaxSize.y, needed.cy);
}

LRESULT dispatchMessage(WizardState& record, UINT message, WPARAM wParam, LPARAM lParam)
{
    HWND window = record.window;
    switch (message) {
    case WM_DESTROY:
        KillTimer(window, layout::animationTimerId);
        record.animationTimerRunning = false;
        disconnectAccessible(record);
        PostQuitMessage(0);
        return 0;
    case WM_PAINT: {
        PAINTSTRUCT paint{};
        HDC dc = BeginPaint(window, &paint);
        paintWindow(record, dc, paint.rcPaint);
        EndPaint(window, &paint);
        return 0;
    }
    case WM_CLOSE:
        if (!record.busy) DestroyWindow(window);
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_SETTINGCHANGE:
    case WM_SYSCOLORCHANGE:
    case WM_THEMECHANGED:
        applyAppearance(record, readAppearance());
        return 0;
    case WM_KEYDOWN:
        return onKeyDown(record, window, wParam, lParam);
    case WM_TIMER:
        onTimer(record);
        return 0;
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC:
        if (record.licenceEdit == nullptr || reinterpret_cast<HWND>(lParam) != record.licenceEdit) break;
        return colourLicence(record, reinterpret_cast<HDC>(wParam));
    case WM_MOUSEWHEEL:
        if (forwardWheelToLicence(record, wParam, lParam)) return 0;
        break;
    case WM_COMMAND:
        // The licence control took the keyboard by a click: the ring leaves the item it was
        // on, as with any click, and Tab goes on from the licence.
        if (HIWORD(wParam) == EN_SETFOCUS && record.licenceEdit != nullptr &&
            reinterpret_cast<HWND>(lParam) == record.licenceEdit && record.focus != ItemKind::LicenceText) {
            record.focus = ItemKind::LicenceText;
            record.focusVisible = false;
            invalidate(record);
            return 0;
        }
        break;
    case WM_MOUSEMOVE:
        onMouseMove(record, lParam);
        return 0;
    case WM_LBUTTONDOWN:
        onClick(record, lParam);
        return 0;
    case WM_MOUSELEAVE:
        record.hoverPrimary = false;
        record.hoverBack = false;
        record.mouseTracked = false;
        return 0;
    case WM_INSTALL_FINISHED:
        record.busy = false;
        record.page = Finished;
        invalidate(record);
        return 0;
    case WM_ACCESSIBLE_ACTION:
        // Meant for the page it was asked on; a page change in between cancels it.
        if (static_cast<std::int32_t>(lParam) == record.page && !record.busy)
            performIfOffered(record, static_cast<ItemAction>(wParam));
        return 0;
    case WM_GETOBJECT:
        if (const LRESULT answer = answerGetObject(record, wParam, lParam); answer != 0) return answer;
        break;
    case WM_DPICHANGED:
        onDpiChanged(record, wParam, lParam);
        return 0;
    case WM_GETMINMAXINFO:
        DefWindowProcW(window, message, wParam, lParam);
        onGetMinMaxInfo(record, lParam);
        return 0;
    default:
        break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

} // namespace

void startInstallSafely(WizardState& record) noexcept
{
    runReportingFailure(record, [&record] { record.execute(); });
    startAnimationIfNeeded(record);
}

void paintWindow(WizardState& record, HDC windowDc, const RECT& area) noexcept
{
    if (!record.canvas) return;
    try {
        if (!record.canvas->beginFrame(windowDc, area, layout::designWidth, layout::designHeight)) return;
        drawWizard(record, *record.canvas);
        record.canvas->endFrame();
    } catch (...) {
        // The frame is abandoned; the next paint tries again.
    }
}

void fitWindowToDpi(WizardState& record)
{
    const UINT dpi = GetDpiForWindow(record.window);
    record.dpi = dpi == 0 ? 96u : dpi;
    if (record.canvas) record.canvas->setDpi(static_cast<float>(record.dpi));
    const SIZE outer = outerSizeFor(record);
    SetWindowPos(record.window, nullptr, 0, 0, outer.cx, outer.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

LRESULT handleWindowMessage(WizardState& record, UINT message, WPARAM wParam, LPARAM lParam) noexcept
{
    const AccessibleSnapshot before = takeAccessibleSnapshot(record);
    LRESULT result = 0;
    try {
        result = dispatchMessage(record, message, wParam, lParam);
    } catch (const std::exception& failure) {
        // Nothing unwinds through Windows' frames: the user sees the failure instead.
        event_log::writeFailure("The wizard stopped", failure);
        showFailure(record, failure.what());
        if (IsWindow(record.window)) invalidate(record);
    } catch (...) {
        event_log::write("The wizard stopped: unexpected failure");
        showFailure(record, "Unexpected failure");
        if (IsWindow(record.window)) invalidate(record);
    }
    if (record.page != before.page) {
        // A new page starts with nothing focused (Space keeps its page meaning); the
        // keyboard leaves a licence control that is no longer shown.
        record.focus = ItemKind::None;
        if (record.licenceEdit != nullptr && GetFocus() == record.licenceEdit && record.page != Licence)
            SetFocus(record.window);
    }
    announceChanges(record, before);
    if (message != WM_DESTROY && message != WM_NCDESTROY) startAnimationIfNeeded(record);
    return result;
}

} // namespace elvara
