#pragma once
#include <windows.h>

namespace elvara {

struct WizardState;

// Creates the wizard window for the record, runs the message loop until the window
// is destroyed and returns the windowed mode's exit code.
int runSetupWindow(WizardState& record, bool perform);
// The window part of runSetupWindow without the loop: canvas, brush, class, the
// shown window and its timer. Returns null when the window cannot be created.
HWND createSetupWindow(WizardState& record);
LRESULT CALLBACK staticWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

} // namespace elvara
