// Placeholder for the uninstaller; replaced through the ELVARA_UNINSTALLER cache variable.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
    return 0;
}
