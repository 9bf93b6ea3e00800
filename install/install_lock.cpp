#include "install/install_lock.h"

#include "base/failure.h"

#include <windows.h>

namespace elvara {

InstallLock::InstallLock() : mutex_(CreateMutexW(nullptr, FALSE, L"Global\\ElvaraSound-Livewire-Install"))
{
    failIf(!mutex_, installRunningText);
    const DWORD state = WaitForSingleObject(mutex_.get(), 0);
    failIf(state != WAIT_OBJECT_0 && state != WAIT_ABANDONED, installRunningText);
}

InstallLock::~InstallLock() { ReleaseMutex(mutex_.get()); }

} // namespace elvara
