#pragma once
#include <windows.h>

#include <string>

namespace elvara {

inline constexpr wchar_t confirmationCancelledText[] =
    L"Administrator confirmation was cancelled. Nothing was installed.";

// Starts this executable again through "runas" with the given parameters, owned by
// the window for the consent prompt. Closes the process handle at once; never waits.
// False when the copy could not be started (the user declined, or the shell failed).
bool startElevatedCopy(HWND owner, const wchar_t* parameters);

} // namespace elvara
