// Test helper: holds the machine-wide install lock (with "--user", the running user's
// own), as a running installation does, until it is ended. Prints "held" once it has
// the lock. "--squat" instead creates the lock's global name with default security
// and holds it, as a standard user who wants to stop installations would, until the
// file STOP exists.
//   install_lock_holder [--user | --squat STOP]
#include "install/install_lock.h"

#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <exception>

int wmain(int argc, wchar_t** argv)
{
    try {
        if (argc == 3 && std::wcscmp(argv[1], L"--squat") == 0) {
            HANDLE lock = CreateMutexW(nullptr, TRUE, L"Global\\ElvaraSound-Livewire-Install");
            if (lock == nullptr || GetLastError() == ERROR_ALREADY_EXISTS) return 2;
            std::puts("held");
            std::fflush(stdout);
            while (GetFileAttributesW(argv[2]) == INVALID_FILE_ATTRIBUTES) Sleep(100);
            return 0;
        }
        const bool user = argc == 2 && std::wcscmp(argv[1], L"--user") == 0;
        const elvara::InstallLock lock(user ? elvara::InstallScope::User : elvara::InstallScope::Machine);
        std::puts("held");
        std::fflush(stdout);
        Sleep(INFINITE);
    } catch (const std::exception& failure) {
        std::printf("%s\n", failure.what());
        return 3;
    }
    return 0;
}
