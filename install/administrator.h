#pragma once

namespace elvara {

// True when the calling thread's token holds the Administrators group enabled
// (an elevated administrator). Never throws.
bool isElevatedAdministrator() noexcept;

} // namespace elvara
