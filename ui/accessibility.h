#pragma once
// The wizard for assistive technology (MSAA): the client area is one object named
// after the page, whose children are the page's items. Another process (a screen
// reader) reads it through WM_GETOBJECT; its default actions are posted to the window
// and run through the same handling as the mouse and the keyboard.
#include <windows.h>

#include "install/install_scope.h"
#include "ui/page_description.h"

#include <cstdint>

namespace elvara {

struct WizardState;

// Posted by a default action: wParam the ItemAction, lParam the page it was meant for.
inline constexpr UINT WM_ACCESSIBLE_ACTION = WM_APP + 2;

// The answer to WM_GETOBJECT for the client area; 0 (default handling) for any other object.
LRESULT answerGetObject(WizardState& record, WPARAM wParam, LPARAM lParam);
// At window destruction: every later call on the object returns RPC_E_DISCONNECTED.
void disconnectAccessible(WizardState& record) noexcept;

// What the events report on, taken before a message is handled and compared after it.
struct AccessibleSnapshot {
    std::int32_t page;
    bool succeeded;
    bool licenceAccepted;
    ItemKind focus;
    std::uint32_t progress;
    InstallScope scope;
};
AccessibleSnapshot takeAccessibleSnapshot(const WizardState& record) noexcept;
// Raises the WinEvents for what changed: the page (name, reorder, focus; an alert for
// a failure), the checkbox, the progress in whole percents, the keyboard focus.
void announceChanges(WizardState& record, const AccessibleSnapshot& before) noexcept;

} // namespace elvara
