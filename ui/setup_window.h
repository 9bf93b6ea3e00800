#pragma once
#include <windows.h>

namespace elvara {

struct Installer;

// Creates the wizard window for the record, runs the message loop until the window
// is destroyed and returns the windowed mode's exit code.
int runSetupWindow(Installer& record, bool perform);
LRESULT CALLBACK staticWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

} // namespace elvara
