// Test helper: holds a resource the way another program would, prints "holding" once
// it does, and stays alive until it is killed or, with --until-input-ends, until its
// standard input ends (or 120 s pass).
//   holder [--until-input-ends] load DLL             loads the module with LoadLibraryW, as a DAW does
//   holder [--until-input-ends] open FILE            opens the file for reading, sharing reading only
//   holder [--until-input-ends] open-exclusive FILE  opens the file for reading, sharing nothing
//   holder [--until-input-ends] current-folder DIR   makes the folder its current one, as a command window does
#include <windows.h>

#include <cstdio>

int wmain(int argc, wchar_t** argv)
{
    const bool untilInputEnds = argc > 1 && lstrcmpW(argv[1], L"--until-input-ends") == 0;
    if (untilInputEnds) {
        --argc;
        ++argv;
    }
    if (argc != 3) {
        std::fputs("usage: holder [--until-input-ends] load|open|open-exclusive|current-folder TARGET\n", stderr);
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
    } else if (lstrcmpW(mode, L"current-folder") == 0) {
        held = SetCurrentDirectoryW(argv[2]) != FALSE;
    }
    if (!held) {
        std::fprintf(stderr, "cannot hold %ls (error %lu)\n", argv[2], GetLastError());
        return 1;
    }
    std::puts("holding");
    std::fflush(stdout);
    if (!untilInputEnds) Sleep(INFINITE);
    char buffer[64];
    DWORD read = 0;
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    const ULONGLONG deadline = GetTickCount64() + 120000;
    while (GetTickCount64() < deadline && ReadFile(input, buffer, sizeof(buffer), &read, nullptr) && read > 0) {
    }
    return 0;
}
