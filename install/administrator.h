#pragma once

namespace elvara {

// True when the calling thread's token holds the Administrators group enabled
// (an elevated administrator). Never throws.
bool isElevatedAdministrator() noexcept;

// True when the process token names the Administrators group at all, enabled or only
// for deny (an administrator's unelevated token): such a user can elevate with their
// own consent. False for a standard user, who needs someone else's password.
bool mayElevateThemselves() noexcept;

} // namespace elvara
