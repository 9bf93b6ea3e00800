// Test helper: a plug-in host in miniature. Loads the module named on the command
// line with LoadLibraryW, as a DAW does, prints "loaded" and keeps it loaded until
// its standard input ends (or 120 s pass), so a test can probe a really mapped module.
#include <windows.h>

#include <cstdio>

int wmain(int argc, wchar_t** argv)
{
    if (argc != 2) {
        std::fputs("usage: module_host MODULE\n", stderr);
        return 2;
    }
    HMODULE module = LoadLibraryW(argv[1]);
    if (module == nullptr) {
        std::fprintf(stderr, "LoadLibraryW failed: %lu\n", GetLastError());
        return 1;
    }
    std::fputs("loaded\n", stdout);
    std::fflush(stdout);
    char buffer[64];
    DWORD read = 0;
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    const ULONGLONG deadline = GetTickCount64() + 120000;
    while (GetTickCount64() < deadline && ReadFile(input, buffer, sizeof(buffer), &read, nullptr) && read > 0) {
    }
    FreeLibrary(module);
    return 0;
}
