#pragma once
#include <windows.h>

namespace elvara {

struct WizardState;

// The setup window's message handling and the wizard's state machine.
LRESULT handleWindowMessage(WizardState& record, UINT message, WPARAM wParam, LPARAM lParam);
// One canvas frame of the wizard; a failed frame is discarded.
void paintWindow(WizardState& record) noexcept;
// WizardState::execute, with a failure to start shown on the Finished page.
void startInstallSafely(WizardState& record) noexcept;
// Re-reads the system's client-area animation setting into the record.
void readAnimationSetting(WizardState& record) noexcept;

} // namespace elvara
