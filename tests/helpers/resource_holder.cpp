// Test helper: holds a resource the way another program would, prints "holding"
// once it does, and stays alive until it is killed.
//   resource_holder load DLL             loads the module with LoadLibraryW, as a DAW does
//   resource_holder open FILE            opens the file for reading, sharing reading only
//   resource_holder open-exclusive FILE  opens the file for reading, sharing nothing
#include <windows.h>

#include <cstdio>

int wmain(int argc, wchar_t** argv)
{
    if (argc != 3) {
        std::fputs("usage: resource_holder load|open|open-exclusive TARGET\n", stderr);
        return 2;
    }
    const wchar_t* mode = argv[1];
    bool held = false;
    if (lstrcmpW(mode, L"load") == 0) {
        held = LoadLibraryW(argv[2]) != nullptr;
    } else if (lstrcmpW(mode, L"open") == 0 || lstrcmpW(mode, L"open-exclusive") == 0) {
        const DWORD share = lstrcmpW(mode, L"open") == 0 ? FILE_SHARE_READ : 0;
        held = CreateFileW(argv[2], GENERIC_READ, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr) !=
               INVALID_HANDLE_VALUE;
    }
    if (!held) {
        std::fprintf(stderr, "cannot hold %ls (error %lu)\n", argv[2], GetLastError());
        return 1;
    }
    std::puts("holding");
    std::fflush(stdout);
    Sleep(INFINITE);
    return 0;
}
