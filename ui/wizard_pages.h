#pragma once
#include "ui/layout.h"
#include "ui/wizard_state.h"
#include "graphics/canvas.h"

#include <string>

namespace elvara {

// Draws one complete wizard frame from the record into an open frame of the canvas.
void drawWizard(WizardState& record, Canvas& canvas);
void drawButton(const WizardState& record, Canvas& canvas, const layout::Box& box, const std::wstring& label,
                bool primary);

} // namespace elvara
