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

struct ElevatedRun {
    bool started = false;
    DWORD startError = ERROR_SUCCESS; // why it did not start (ERROR_CANCELLED: the user declined)
    DWORD exitCode = 1;
};

// Starts the elevated copy without any window of its own and waits for it without
// a time limit.
ElevatedRun runElevatedCopy(const std::wstring& parameters);

} // namespace elvara
