#pragma once
#include "base/failure.h"
#include "base/unique_handle.h"

namespace elvara {

inline constexpr char installRunningText[] =
    "Another ElvaraSound installation is running. Wait until it has finished, then try again.";

// Raised when another installation holds the lock; carries ERROR_INSTALL_ALREADY_RUNNING,
// the code that deployment tools know.
class InstallLockHeld : public Failure {
public:
    InstallLockHeld() : Failure(installRunningText, CodeKind::Win32, ERROR_INSTALL_ALREADY_RUNNING) {}
};

// Machine-wide exclusion of installations: two transactions over the same folders
// would each move the other's work aside. Held for the object's life; a holder that
// died leaves the lock to the next installation.
class InstallLock {
public:
    InstallLock(); // throws InstallLockHeld when another installation holds it
    ~InstallLock();
    InstallLock(const InstallLock&) = delete;
    InstallLock& operator=(const InstallLock&) = delete;

private:
    UniqueKernelHandle mutex_;
};

} // namespace elvara
