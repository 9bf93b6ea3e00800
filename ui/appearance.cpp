#include "ui/appearance.h"

#include "ui/wizard_state.h"

#include <windows.h>
#include <dwmapi.h>

namespace elvara {

namespace {

constexpr DWORD darkCaptionAttribute = 20; // DWMWA_USE_IMMERSIVE_DARK_MODE

layout::Rgb8 systemColour(int index) noexcept
{
    const COLORREF colour = GetSysColor(index);
    return {GetRValue(colour), GetGValue(colour), GetBValue(colour)};
}

} // namespace

Appearance readAppearance() noexcept
{
    Appearance appearance;
    HIGHCONTRASTW contrast{sizeof(contrast)};
    appearance.highContrast = SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof(contrast), &contrast, 0) &&
                              (contrast.dwFlags & HCF_HIGHCONTRASTON) != 0;
    BOOL animations = TRUE;
    if (SystemParametersInfoW(SPI_GETCLIENTAREAANIMATION, 0, &animations, 0)) appearance.animations = animations != FALSE;
    SystemColours& colours = appearance.colours;
    colours.window = systemColour(COLOR_WINDOW);
    colours.windowText = systemColour(COLOR_WINDOWTEXT);
    colours.buttonFace = systemColour(COLOR_3DFACE);
    colours.buttonText = systemColour(COLOR_BTNTEXT);
    colours.highlight = systemColour(COLOR_HIGHLIGHT);
    colours.highlightText = systemColour(COLOR_HIGHLIGHTTEXT);
    colours.grayText = systemColour(COLOR_GRAYTEXT);
    return appearance;
}

Palette paletteOf(const WizardState& record) noexcept
{
    return paletteFor(Appearance{record.highContrast, record.animationsEnabled, record.systemColours});
}

void applyAppearance(WizardState& record, const Appearance& appearance) noexcept
{
    record.highContrast = appearance.highContrast;
    record.animationsEnabled = appearance.animations;
    record.systemColours = appearance.colours;
    if (record.window == nullptr) return;
    // The dark caption belongs to the dark design; a high-contrast theme draws its own.
    const BOOL dark = appearance.highContrast ? FALSE : TRUE;
    DwmSetWindowAttribute(record.window, darkCaptionAttribute, &dark, sizeof(dark));
    RedrawWindow(record.window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
}

} // namespace elvara
