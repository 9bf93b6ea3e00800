// Test helper: holds the machine-wide install lock, as a running installation does,
// until it is ended. Prints "held" once it has the lock.
//   install_lock_holder
#include <windows.h>

#include <cstdio>

int wmain()
{
    HANDLE lock = CreateMutexW(nullptr, FALSE, L"Global\\ElvaraSound-Livewire-Install");
    if (lock == nullptr) return 2;
    const DWORD state = WaitForSingleObject(lock, 10000);
    if (state != WAIT_OBJECT_0 && state != WAIT_ABANDONED) return 3;
    std::puts("held");
    std::fflush(stdout);
    Sleep(INFINITE);
    return 0;
}
