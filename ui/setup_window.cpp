#include "ui/setup_window.h"

#include "ui/wizard_state.h"
#include "ui/appearance.h"
#include "ui/layout.h"
#include "ui/message_handler.h"
#include "ui/setup_texts.h"
#include "ui/wizard_pages.h"

namespace elvara {

namespace {

constexpr wchar_t windowClassName[] = L"ElvaraSoundSetup";
constexpr wchar_t windowTitle[] = L"ElvaraSound \u00B7 Setup";
constexpr DWORD windowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
// The canvas paints the whole client area; without clipping it would paint over the
// licence control, which does not repaint itself after each frame of its parent.
constexpr DWORD childClipping = WS_CLIPCHILDREN;

} // namespace

LRESULT CALLBACK staticWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* record = reinterpret_cast<WizardState*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (message == WM_NCCREATE) {
        record = static_cast<WizardState*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        record->window = window;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(record));
    }
    if (record == nullptr) return DefWindowProcW(window, message, wParam, lParam);
    return handleWindowMessage(*record, message, wParam, lParam);
}

HWND createSetupWindow(WizardState& record)
{
    record.canvas.reset();
    record.canvas = std::make_unique<Canvas>();
    HINSTANCE module = GetModuleHandleW(nullptr);

    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = staticWindowProc;
    windowClass.hInstance = module;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.lpszClassName = windowClassName;
    RegisterClassExW(&windowClass);

    // A first guess at the system's scale; fitWindowToDpi settles it for the window's own.
    const UINT systemDpi = GetDpiForSystem();
    RECT outer{0, 0, MulDiv(static_cast<int>(layout::designWidth), static_cast<int>(systemDpi), 96),
               MulDiv(static_cast<int>(layout::designHeight), static_cast<int>(systemDpi), 96)};
    AdjustWindowRectExForDpi(&outer, windowStyle, FALSE, 0, systemDpi);
    record.window = CreateWindowExW(0, windowClassName, shown(windowTitle).c_str(), windowStyle | childClipping, CW_USEDEFAULT, CW_USEDEFAULT,
                                    outer.right - outer.left, outer.bottom - outer.top, nullptr, nullptr, module,
                                    &record);
    if (record.window == nullptr) return nullptr;

    fitWindowToDpi(record);
    record.canvas->setWindow(record.window);
    useDisplayLanguage(*record.canvas);
    applyAppearance(record, readAppearance());
    record.lastTick = GetTickCount64();
    ShowWindow(record.window, SW_SHOW);
    // Stops itself at its first tick when nothing moves.
    record.animationTimerRunning =
        SetTimer(record.window, layout::animationTimerId, layout::animationIntervalMs, nullptr) != 0;
    return record.window;
}

int runSetupWindow(WizardState& record, bool perform)
{
    if (createSetupWindow(record) == nullptr) return 1;
    if (perform) startInstallSafely(record);

    MSG message{};
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    // A failure shown by the window itself may leave the worker running: its result
    // decides, so the exit code waits for it.
    if (record.worker.joinable()) record.worker.join();
    return record.page == Finished && !record.succeeded.load() ? 1 : 0;
}

} // namespace elvara
