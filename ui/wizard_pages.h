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
// The display language's fonts and locale, so that each script gets its own glyph forms.
void useDisplayLanguage(Canvas& canvas);
// The canvas's measure of a label, for the page's description.
LabelWidth labelWidthOn(Canvas& canvas);
TextHeight textHeightOn(Canvas& canvas);

} // namespace elvara
