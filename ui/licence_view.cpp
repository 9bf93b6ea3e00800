#include "ui/licence_view.h"

#include "language/display_language.h"
#include "package/text.h"
#include "ui/layout.h"
#include "ui/wizard_state.h"

#include <windows.h>

namespace elvara {

namespace {

// Generated at build time from the payload's Product/EULA.txt.
#include "licence_text.inc"

constexpr wchar_t originalProcedureProperty[] = L"ElvaraSound.EditProcedure";

int scaled(float designUnits, unsigned dpi) { return MulDiv(static_cast<int>(designUnits), static_cast<int>(dpi), 96); }

bool belongsToWizard(WPARAM key) noexcept { return key == VK_TAB || key == VK_RETURN || key == VK_ESCAPE; }

// A read-only text is read by moving through it: each arrow moves the view with the
// caret, Home and End go to the start and the end of the text. Chords stay the control's.
bool movedAsReader(HWND control, WNDPROC original, WPARAM key, LPARAM lParam)
{
    if (GetKeyState(VK_CONTROL) < 0 || GetKeyState(VK_SHIFT) < 0) return false;
    if (key == VK_HOME || key == VK_END) {
        const LPARAM at = key == VK_HOME ? 0 : GetWindowTextLengthW(control);
        SendMessageW(control, EM_SETSEL, static_cast<WPARAM>(at), at);
        SendMessageW(control, EM_SCROLLCARET, 0, 0);
        return true;
    }
    if (key == VK_UP || key == VK_DOWN) {
        const LRESULT firstLine = SendMessageW(control, EM_GETFIRSTVISIBLELINE, 0, 0);
        CallWindowProcW(original, control, WM_KEYDOWN, key, lParam);
        if (SendMessageW(control, EM_GETFIRSTVISIBLELINE, 0, 0) == firstLine)
            SendMessageW(control, EM_LINESCROLL, 0, key == VK_DOWN ? 1 : -1);
        return true;
    }
    return false;
}

// Tab, Enter and Escape belong to the wizard (the next item, the default button, closing);
// the read-only control has no use for them and would swallow them.
LRESULT CALLBACK licenceControlProc(HWND control, UINT message, WPARAM wParam, LPARAM lParam)
{
    const auto original = reinterpret_cast<WNDPROC>(GetPropW(control, originalProcedureProperty));
    if (message == WM_KEYDOWN && belongsToWizard(wParam)) {
        SendMessageW(GetParent(control), WM_KEYDOWN, wParam, lParam);
        return 0;
    }
    if (message == WM_KEYDOWN && movedAsReader(control, original, wParam, lParam)) return 0;
    if (message == WM_CHAR && (wParam == L'\t' || wParam == L'\r' || wParam == 0x1B)) return 0;
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original));
        RemovePropW(control, originalProcedureProperty);
    }
    return CallWindowProcW(original, control, message, wParam, lParam);
}

// The pages' font: the licence reads in the same face as the text around it.
std::wstring licenceFontFamily(const WizardState& record)
{
    if (record.canvas) return record.canvas->fontFamily();
    const auto families = fontFamiliesFor(displayLanguage().script);
    return installedFontFamily(std::vector<std::wstring>(families.begin(), families.end()));
}

} // namespace

std::wstring licenceText()
{
    return utf8ToWide(std::string_view(licenceTextUtf8, sizeof(licenceTextUtf8) - 1));
}

void scaleLicenceView(WizardState& record)
{
    if (record.licenceEdit == nullptr) return;
    const unsigned dpi = record.dpi;
    const layout::Box box = layout::licenceText;
    SetWindowPos(record.licenceEdit, nullptr, scaled(box.x, dpi), scaled(box.y, dpi), scaled(box.width, dpi),
                 scaled(box.height, dpi), SWP_NOZORDER | SWP_NOACTIVATE);
    UniqueFont font(CreateFontW(-scaled(layout::licenceFontHeight, dpi), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                                DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY,
                                DEFAULT_PITCH | FF_DONTCARE, licenceFontFamily(record).c_str()));
    SendMessageW(record.licenceEdit, WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), TRUE);
    record.licenceFont = std::move(font); // the old font only after the control has let go of it
    const int margin = scaled(layout::licenceMargin, dpi);
    SendMessageW(record.licenceEdit, EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN, MAKELONG(margin, margin));
}

void updateLicenceView(WizardState& record)
{
    if (record.page != Licence) {
        if (record.licenceEdit != nullptr) ShowWindow(record.licenceEdit, SW_HIDE);
        return;
    }
    if (record.licenceEdit == nullptr) {
        const std::wstring text = record.licenceSource.empty() ? licenceText() : utf8ToWide(record.licenceSource);
        constexpr DWORD style = WS_CHILD | WS_VISIBLE | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL | ES_READONLY;
        const layout::Box box = layout::licenceText;
        record.licenceEdit = CreateWindowExW(0, L"EDIT", text.c_str(), style, scaled(box.x, record.dpi),
                                             scaled(box.y, record.dpi), scaled(box.width, record.dpi),
                                             scaled(box.height, record.dpi), record.window, nullptr,
                                             GetModuleHandleW(nullptr), nullptr);
        if (record.licenceEdit != nullptr) {
            SetPropW(record.licenceEdit, originalProcedureProperty,
                     reinterpret_cast<HANDLE>(GetWindowLongPtrW(record.licenceEdit, GWLP_WNDPROC)));
            SetWindowLongPtrW(record.licenceEdit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&licenceControlProc));
            scaleLicenceView(record);
        }
    }
    ShowWindow(record.licenceEdit, SW_SHOW);
}

} // namespace elvara
