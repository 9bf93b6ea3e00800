#pragma once
// The colours that the wizard paints with: its own dark design, or, under a high-contrast
// theme, the user's system colours alone. The palette is one input to painting; the pages'
// description, hit-testing and focus stay the same whichever it is.
// Free of any platform header, so the build machine can read it too.
#include "ui/layout.h"

namespace elvara {

// The system colours that a high-contrast theme sets, as GetSysColor gives them.
struct SystemColours {
    layout::Rgb8 window{255, 255, 255};       // COLOR_WINDOW
    layout::Rgb8 windowText{0, 0, 0};         // COLOR_WINDOWTEXT
    layout::Rgb8 buttonFace{240, 240, 240};   // COLOR_3DFACE
    layout::Rgb8 buttonText{0, 0, 0};         // COLOR_BTNTEXT
    layout::Rgb8 highlight{0, 120, 215};      // COLOR_HIGHLIGHT
    layout::Rgb8 highlightText{255, 255, 255}; // COLOR_HIGHLIGHTTEXT
    layout::Rgb8 grayText{109, 109, 109};     // COLOR_GRAYTEXT
};

// What Windows says about the wizard's appearance: read at start and again whenever the
// user changes it.
struct Appearance {
    bool highContrast = false;
    bool animations = true;
    SystemColours colours;
};

struct ButtonColours {
    layout::Colour top, bottom, border, label;
};

struct Palette {
    // Solid colours only: no gradient, shadow, transparency or shimmer, nothing behind text.
    bool systemColoursOnly = false;
    // A control's outline: a hairline in the design, wider under high contrast.
    float borderWidth = 1.0f;
    layout::Colour pageTop, pageBottom;
    layout::Colour rule, footerRule;
    layout::Colour logo;
    layout::Colour wordmark, edition, footer;
    // The texts of the page under high contrast (the design gives each style its own).
    layout::Colour pageText;
    layout::Colour cardTop, cardBottom, cardBorder;
    layout::Colour checkboxBorder, tick, checkboxFace;
    layout::Colour track, trackBorder, fillStart, fillEnd;
    layout::Colour focusRing;
    // The frame that shows the licence control's extent; transparent where none is drawn.
    layout::Colour licenceFrame;
    layout::Rgb8 licenceText, licenceBackground;
    ButtonColours primary, secondary, disabled, hovered;

    // A text's colour: the design's own for its style, the window text under high contrast.
    layout::Colour text(const layout::TextStyle& style) const noexcept;
    // The body, border and label of a button in its state; the design shows hover as an
    // overlay of its own (hoverOverlay), high contrast as the selection colours.
    const ButtonColours& button(bool primaryButton, bool enabled, float highlight) const noexcept;
};

Palette designPalette() noexcept;
Palette highContrastPalette(const SystemColours& colours) noexcept;
Palette paletteFor(const Appearance& appearance) noexcept;

layout::Colour colourOf(layout::Rgb8 colour) noexcept;
// WCAG 2 contrast ratio of two opaque colours, 1 to 21.
float contrastRatio(const layout::Colour& first, const layout::Colour& second) noexcept;

} // namespace elvara
