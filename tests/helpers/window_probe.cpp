// Test helper: reports on the setup window from outside its process.
//   window_probe licence   prints "visible V length N" for the licence control
//                          (V is 0 or 1, N its text length; "absent" when not created)
#include <windows.h>

#include <cstdio>

int wmain(int argc, wchar_t** argv)
{
    if (argc != 2 || lstrcmpW(argv[1], L"licence") != 0) {
        std::fputs("usage: window_probe licence\n", stderr);
        return 2;
    }
    HWND setup = FindWindowW(L"ElvaraSoundSetup", nullptr);
    if (setup == nullptr) {
        std::puts("no window");
        return 1;
    }
    HWND licence = FindWindowExW(setup, nullptr, L"EDIT", nullptr);
    if (licence == nullptr) {
        std::puts("absent");
        return 0;
    }
    std::printf("visible %d length %ld\n", IsWindowVisible(licence) ? 1 : 0,
                static_cast<long>(SendMessageW(licence, WM_GETTEXTLENGTH, 0, 0)));
    return 0;
}
