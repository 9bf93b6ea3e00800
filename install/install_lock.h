#pragma once
#include "base/unique_handle.h"

namespace elvara {

inline constexpr char installRunningText[] =
    "Another ElvaraSound installation is running. Wait until it has finished, then try again.";

// Machine-wide exclusion of installations: two transactions over the same folders
// would each move the other's work aside. Held for the object's life; a holder that
// died leaves the lock to the next installation.
class InstallLock {
public:
    InstallLock(); // throws installRunningText when another installation holds it
    ~InstallLock();
    InstallLock(const InstallLock&) = delete;
    InstallLock& operator=(const InstallLock&) = delete;

private:
    UniqueKernelHandle mutex_;
};

} // namespace elvara
