// Switches Windows' "Show animations" (the client-area animation setting) as the Settings
// app does, from a process of its own, and tells every window:
//   set_animations on|off     prints the setting as read back
#include <windows.h>

#include <cstdio>

int wmain(int argc, wchar_t** argv)
{
    const bool on = argc == 2 && lstrcmpW(argv[1], L"on") == 0;
    if (argc != 2 || (!on && lstrcmpW(argv[1], L"off") != 0)) {
        std::fputs("usage: set_animations on|off\n", stderr);
        return 2;
    }
    if (!SystemParametersInfoW(SPI_SETCLIENTAREAANIMATION, 0, reinterpret_cast<void*>(static_cast<INT_PTR>(on)),
                               SPIF_UPDATEINIFILE | SPIF_SENDCHANGE)) {
        std::fprintf(stderr, "SPI_SETCLIENTAREAANIMATION failed: %lu\n", GetLastError());
        return 1;
    }
    BOOL now = !on;
    SystemParametersInfoW(SPI_GETCLIENTAREAANIMATION, 0, &now, 0);
    std::printf("animations %s\n", now ? "on" : "off");
    return 0;
}
