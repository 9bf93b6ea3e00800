#include "ui/licence_view.h"

#include "package/text.h"
#include "ui/layout.h"
#include "ui/wizard_state.h"

#include <windows.h>

namespace elvara {

namespace {

// Generated at build time from the payload's Product/EULA.txt.
#include "licence_text.inc"

} // namespace

std::wstring licenceText()
{
    return utf8ToWide(std::string_view(licenceTextUtf8, sizeof(licenceTextUtf8) - 1));
}

void updateLicenceView(WizardState& record)
{
    if (record.page != Licence) {
        if (record.licenceEdit != nullptr) ShowWindow(record.licenceEdit, SW_HIDE);
        return;
    }
    if (record.licenceEdit == nullptr) {
        constexpr DWORD style = WS_CHILD | WS_VISIBLE | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL | ES_READONLY;
        record.licenceEdit = CreateWindowExW(0, L"EDIT", licenceText().c_str(), style, static_cast<int>(layout::licenceText.x),
                                             static_cast<int>(layout::licenceText.y),
                                             static_cast<int>(layout::licenceText.width),
                                             static_cast<int>(layout::licenceText.height),
                                             record.window, nullptr, GetModuleHandleW(nullptr), nullptr);
        record.licenceFont.reset(CreateFontW(-15, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                             OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY,
                                             DEFAULT_PITCH | FF_DONTCARE, L"Segoe UI"));
        if (record.licenceEdit != nullptr) {
            SendMessageW(record.licenceEdit, WM_SETFONT, reinterpret_cast<WPARAM>(record.licenceFont.get()), TRUE);
            SendMessageW(record.licenceEdit, EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN, MAKELONG(12, 12));
        }
    }
    ShowWindow(record.licenceEdit, SW_SHOW);
}

} // namespace elvara
