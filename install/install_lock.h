#pragma once
#include "base/failure.h"
#include "base/unique_handle.h"
#include "install/install_scope.h"

namespace elvara {

inline constexpr char installRunningText[] =
    "Another ElvaraSound installation is running. Wait until it has finished, then try again.";
inline constexpr char installLockUnavailableText[] =
    "The ElvaraSound installation lock could not be created. Nothing was changed.";

// Raised when another installation holds the lock; carries ERROR_INSTALL_ALREADY_RUNNING,
// the code that deployment tools know.
class InstallLockHeld : public Failure {
public:
    InstallLockHeld() : Failure(installRunningText, CodeKind::Win32, ERROR_INSTALL_ALREADY_RUNNING) {}
};

// The lock's object and, where it lives in one, its private namespace.
struct InstallLockObject {
    UniquePrivateNamespace privateNamespace;
    UniqueKernelHandle mutex;
};

// Creates or opens the scope's lock mutex where nobody else can have created it first.
// The machine's: inside a private namespace bounded by the Administrators group where
// the platform has one; elsewhere a global mutex owned by Administrators, and when a
// process without that right holds the name, the next of a few names. A user's: the
// same with the user's own SID in place of Administrators, in names of its own.
// Throws a Failure with installLockUnavailableText when none can be had.
InstallLockObject createInstallLockObject(InstallScope scope);

// Exclusion of installations over one scope's folders: two transactions over the same
// folders would each move the other's work aside. The machine's lock and a user's are
// independent. Held for the object's life; a holder that died leaves the lock to the
// next installation.
class InstallLock {
public:
    explicit InstallLock(InstallScope scope); // throws InstallLockHeld when another installation holds it
    ~InstallLock();
    InstallLock(const InstallLock&) = delete;
    InstallLock& operator=(const InstallLock&) = delete;

private:
    InstallLockObject lock_;
};

} // namespace elvara
