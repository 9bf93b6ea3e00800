#pragma once
#include <windows.h>

namespace elvara {

struct WizardState;

// The setup window's message handling and the wizard's state machine. A failure
// inside it ends on the Finished page with its text; none leaves the call.
LRESULT handleWindowMessage(WizardState& record, UINT message, WPARAM wParam, LPARAM lParam) noexcept;
// Sizes the window's client area to the design size at the window's DPI.
void fitWindowToDpi(WizardState& record);
// One canvas frame of the wizard, of the area given, into the window's paint DC; a
// failed frame is discarded.
void paintWindow(WizardState& record, HDC windowDc, const RECT& area) noexcept;
// WizardState::execute, with a failure to start shown on the Finished page.
void startInstallSafely(WizardState& record) noexcept;

} // namespace elvara
