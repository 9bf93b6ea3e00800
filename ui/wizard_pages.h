#pragma once
#include "app/installer.h"
#include "graphics/canvas.h"

#include <string>

namespace elvara {

// Draws one complete wizard frame from the record into an open frame of the canvas.
void drawWizard(Installer& record, Canvas& canvas);
void drawButton(const Installer& record, Canvas& canvas, float x, float width, const std::wstring& label,
                bool primary);

} // namespace elvara
