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

inline constexpr wchar_t reportPipeSwitch[] = L"--report-pipe";

// Starts the elevated copy without any window of its own, with "--report-pipe NAME"
// added, and waits for it without a time limit; what the copy reports over that pipe
// meanwhile goes to this process's own standard streams and log.
ElevatedRun runElevatedCopy(const std::wstring& parameters);
// The same for a copy that shows its own message boxes (a process started hidden may
// not show its first one).
ElevatedRun runElevatedCopyWithWindows(const std::wstring& parameters);

} // namespace elvara
