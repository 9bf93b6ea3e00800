// Test helper: a program without any DLL search protection that imports dwmapi the
// ordinary way. Planted beside it, a fake dwmapi.dll is loaded: the control that
// shows the planting test can see a planted DLL being loaded at all.
#include <windows.h>
#include <dwmapi.h>

int wmain()
{
    const BOOL dark = TRUE;
    DwmSetWindowAttribute(nullptr, 20, &dark, sizeof(dark));
    return 0;
}
