#include "install/install_lock.h"

#include <windows.h>

namespace elvara {

InstallLock::InstallLock() : mutex_(CreateMutexW(nullptr, FALSE, L"Global\\ElvaraSound-Livewire-Install"))
{
    if (!mutex_) throw InstallLockHeld();
    const DWORD state = WaitForSingleObject(mutex_.get(), 0);
    if (state != WAIT_OBJECT_0 && state != WAIT_ABANDONED) throw InstallLockHeld();
}

InstallLock::~InstallLock() { ReleaseMutex(mutex_.get()); }

} // namespace elvara
