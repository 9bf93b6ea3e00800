#pragma once
// The wizard's appearance as Windows sets it: high contrast with its system colours, and
// "Show animations". Read when the window opens and again whenever the user changes it.
#include "ui/palette.h"

namespace elvara {

struct WizardState;

Appearance readAppearance() noexcept;
// Takes the appearance into the wizard: the palette's inputs, the licence control's
// colours, the caption, and a repaint of the whole window at once.
void applyAppearance(WizardState& record, const Appearance& appearance) noexcept;
// The palette of the appearance last taken into the wizard.
Palette paletteOf(const WizardState& record) noexcept;

} // namespace elvara
