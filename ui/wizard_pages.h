#pragma once
#include "ui/layout.h"
#include "ui/page_description.h"
#include "ui/palette.h"
#include "ui/wizard_state.h"
#include "graphics/canvas.h"

namespace elvara {

// Draws one complete wizard frame from the record into an open frame of the canvas.
void drawWizard(WizardState& record, Canvas& canvas);
void drawButton(const WizardState& record, Canvas& canvas, const Palette& palette, const PageItem& button);

} // namespace elvara
