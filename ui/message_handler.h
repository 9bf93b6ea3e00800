#pragma once
#include <windows.h>

namespace elvara {

struct Installer;

// The setup window's message handling and the wizard's state machine.
LRESULT handleWindowMessage(Installer& record, UINT message, WPARAM wParam, LPARAM lParam);
// One canvas frame of the wizard; a failed frame is discarded.
void paintWindow(Installer& record) noexcept;
// Installer::execute, with a failure to start shown on the Finished page.
void startInstallSafely(Installer& record) noexcept;
// Re-reads the system's client-area animation setting into the record.
void readAnimationSetting(Installer& record) noexcept;

} // namespace elvara
