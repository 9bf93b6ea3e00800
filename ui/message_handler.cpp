#include "ui/message_handler.h"

#include "ui/wizard_state.h"
#include "base/event_log.h"
#include "install/administrator.h"
#include "install/elevated_relaunch.h"
#include "package/text.h"
#include "ui/hit_areas.h"
#include "ui/layout.h"
#include "ui/licence_view.h"
#include "ui/wizard_pages.h"

#include <windowsx.h>

namespace elvara {

namespace {

void invalidate(const WizardState& record) { InvalidateRect(record.window, nullptr, FALSE); }

void showStartFailure(WizardState& record, const char* text) noexcept
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
        showStartFailure(record, failure.what());
    } catch (...) {
        showStartFailure(record, "The installation could not be started.");
    }
}

// The Ready page's install action: installs in place when elevated, otherwise hands
// the installation to an elevated copy and closes this window without waiting.
void beginInstall(WizardState& record)
{
    if (isElevatedAdministrator()) {
        record.execute();
        return;
    }
    // The copy writes to the same log, so that one file tells the whole story.
    std::wstring parameters = L"--perform";
    if (const std::wstring log = event_log::path(); !log.empty()) parameters += L" --log \"" + log + L"\"";
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
    if (!IsWindowVisible(record.window) || IsIconic(record.window)) return;
    if (changed || progress != oldDrawn || (record.page == Installing && record.animationsEnabled)) invalidate(record);
}

void onMouseMove(WizardState& record, LPARAM lParam)
{
    const auto x = static_cast<float>(GET_X_LPARAM(lParam));
    const auto y = static_cast<float>(GET_Y_LPARAM(lParam));
    record.hoverPrimary = record.page != Installing && inPrimaryButton(x, y);
    record.hoverBack = (record.page == Licence || record.page == Ready) && inBackButton(x, y);
    if (!record.mouseTracked) {
        TRACKMOUSEEVENT request{sizeof(request), TME_LEAVE, record.window, 0};
        TrackMouseEvent(&request);
        record.mouseTracked = true;
    }
}

void onClick(WizardState& record, LPARAM lParam)
{
    const auto x = static_cast<float>(GET_X_LPARAM(lParam));
    const auto y = static_cast<float>(GET_Y_LPARAM(lParam));
    const std::int32_t page = record.page;
    if (page == Licence && inCheckboxRow(y)) record.licenceAccepted = !record.licenceAccepted;
    if (inButtonRow(y) && page != Installing) {
        if (inPrimaryButton(x, y)) {
            if (page == Finished) {
                DestroyWindow(record.window);
                return;
            }
            if (page == Ready)
                requestInstall(record);
            else if (page == Welcome || record.licenceAccepted)
                advancePage(record);
        } else if (inBackButton(x, y) && (page == Licence || page == Ready)) {
            record.page -= 1;
            updateLicenceView(record);
        }
    }
    if (IsWindow(record.window)) invalidate(record);
}

LRESULT onKeyDown(WizardState& record, HWND window, WPARAM key, LPARAM lParam)
{
    switch (key) {
    case VK_ESCAPE:
        if (record.busy) break;
        DestroyWindow(window);
        return 0;
    case VK_SPACE:
        if (record.page != Licence) break;
        record.licenceAccepted = !record.licenceAccepted;
        invalidate(record);
        return 0;
    case VK_RETURN:
        if (record.busy) break;
        if (record.page == Finished) {
            DestroyWindow(window);
        } else if (record.page == Ready) {
            requestInstall(record);
            if (IsWindow(window)) invalidate(record);
        } else if (record.page == Welcome || (record.page == Licence && record.licenceAccepted)) {
            advancePage(record);
            invalidate(record);
        }
        return 0;
    default:
        break;
    }
    return DefWindowProcW(window, WM_KEYDOWN, key, lParam);
}

} // namespace

void startInstallSafely(WizardState& record) noexcept
{
    runReportingFailure(record, [&record] { record.execute(); });
}

void readAnimationSetting(WizardState& record) noexcept
{
    BOOL enabled = TRUE;
    if (SystemParametersInfoW(SPI_GETCLIENTAREAANIMATION, 0, &enabled, 0)) record.animationsEnabled = enabled == TRUE;
}

void paintWindow(WizardState& record) noexcept
{
    if (!record.canvas) return;
    try {
        if (!record.canvas->beginFrame(layout::designWidth, layout::designHeight)) return;
        drawWizard(record, *record.canvas);
        record.canvas->endFrame();
    } catch (...) {
        // The frame is abandoned; the next paint tries again.
    }
}

LRESULT handleWindowMessage(WizardState& record, UINT message, WPARAM wParam, LPARAM lParam)
{
    HWND window = record.window;
    switch (message) {
    case WM_DESTROY:
        KillTimer(window, layout::animationTimerId);
        PostQuitMessage(0);
        return 0;
    case WM_PAINT: {
        PAINTSTRUCT paint{};
        BeginPaint(window, &paint);
        paintWindow(record);
        EndPaint(window, &paint);
        return 0;
    }
    case WM_CLOSE:
        if (!record.busy) DestroyWindow(window);
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_SETTINGCHANGE:
        readAnimationSetting(record);
        return 0;
    case WM_KEYDOWN:
        return onKeyDown(record, window, wParam, lParam);
    case WM_TIMER:
        onTimer(record);
        return 0;
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC:
        if (record.licenceEdit == nullptr || reinterpret_cast<HWND>(lParam) != record.licenceEdit) break;
        SetTextColor(reinterpret_cast<HDC>(wParam), RGB(layout::licenceTextColour.r, layout::licenceTextColour.g, layout::licenceTextColour.b));
        SetBkColor(reinterpret_cast<HDC>(wParam), RGB(layout::windowBackground.r, layout::windowBackground.g, layout::windowBackground.b));
        return reinterpret_cast<LRESULT>(record.backgroundBrush.get());
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
    default:
        break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

} // namespace elvara
