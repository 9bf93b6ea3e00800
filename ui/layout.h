#pragma once
// The wizard's one layout: design size, colours, the animation timer and every box
// that painting, hit-testing and the tests use. Design units equal pixels at 96 DPI.
// Free of any platform header, so the build machine can read it too.
#include <cstdint>

namespace elvara::layout {

struct Box {
    float x, y, width, height;
    constexpr float right() const noexcept { return x + width; }
    constexpr float bottom() const noexcept { return y + height; }
};

struct Colour {
    float r, g, b, a = 1.0f;
};

struct Rgb8 {
    std::uint8_t r, g, b;
};

struct TextStyle {
    float size;
    bool bold;
    Colour colour;
};

inline constexpr float designWidth = 780.0f;
inline constexpr float designHeight = 560.0f;

inline constexpr std::uintptr_t animationTimerId = 1;
inline constexpr unsigned animationIntervalMs = 16;

// The window background and the licence control (GDI colours).
inline constexpr Rgb8 windowBackground{31, 28, 38};
inline constexpr Rgb8 licenceTextColour{220, 215, 231};

// The page background gradient, top to bottom.
inline constexpr Colour backgroundTop{0.1f, 0.095f, 0.12f};
inline constexpr Colour backgroundBottom{0.05f, 0.05f, 0.065f};

// The buttons' row. Hit-testing includes one row below the drawn edge.
inline constexpr float buttonTop = 503.0f;
inline constexpr float buttonHeight = 36.0f;
inline constexpr float buttonHitBottom = buttonTop + buttonHeight + 1.0f;
inline constexpr float buttonShadowOffset = 3.0f;
inline constexpr Box primaryButton{600.0f, buttonTop, 144.0f, buttonHeight};
inline constexpr Box backButton{478.0f, buttonTop, 110.0f, buttonHeight};
// A label longer than its button's box widens the button to the left, the primary one
// keeping its right edge and the Back button its gap to it.
inline constexpr float buttonLabelSize = 13.0f;
inline constexpr float buttonLabelInset = 8.0f;   // drawn inside the box on each side
inline constexpr float buttonLabelMargin = 20.0f; // the least room on each side of a label
inline constexpr float buttonGap = primaryButton.x - backButton.right();

// The licence checkbox: the box drawn, and the band of the page that toggles it
// (both band edges exclusive).
inline constexpr Box checkbox{34.0f, 437.0f, 20.0f, 20.0f};
inline constexpr Box checkboxTick{38.0f, 441.0f, 12.0f, 12.0f};
inline constexpr Box checkboxLabel{66.0f, 438.0f, 667.0f, 28.0f};
inline constexpr float checkboxBandTop = 425.0f;
inline constexpr float checkboxBandBottom = 469.0f;

// The checkbox as one item: the box and its label.
inline constexpr Box checkboxItem{checkbox.x, checkbox.y, checkboxLabel.right() - checkbox.x,
                                  checkboxLabel.bottom() - checkbox.y};

// The keyboard focus ring: outside the focused item's box, clear of it by the gap.
inline constexpr float focusRingGap = 3.0f;
inline constexpr float focusRingWidth = 2.0f;
inline constexpr Colour focusRingColour{0.93f, 0.89f, 1.0f};

// Texts: their boxes and styles.
inline constexpr Colour headlineColour{0.94f, 0.92f, 0.97f};
inline constexpr Colour bodyColour{0.67f, 0.64f, 0.72f};
inline constexpr Colour accentColour{0.72f, 0.57f, 0.9f};
inline constexpr Box headline{32.0f, 132.0f, 716.0f, 58.0f};
inline constexpr TextStyle headlineStyle{35.0f, true, headlineColour};
inline constexpr float headlineSmallestSize = 22.0f; // a longer translation's headline, on one line
inline constexpr Box welcomeIntro{34.0f, 202.0f, 674.0f, 86.0f};
inline constexpr TextStyle welcomeIntroStyle{16.0f, false, bodyColour};
inline constexpr Box welcomeCardTitle{54.0f, 326.0f, 648.0f, 24.0f};
inline constexpr TextStyle welcomeCardTitleStyle{12.0f, true, {0.8f, 0.71f, 0.97f}};
inline constexpr Box welcomeCardText{54.0f, 355.0f, 654.0f, 60.0f};
inline constexpr TextStyle welcomeCardTextStyle{14.0f, false, {0.74f, 0.71f, 0.79f}};
inline constexpr float welcomeCardRoomBelow = 56.0f; // free on the Welcome page, above the footer's line
inline constexpr Box licenceIntro{34.0f, 190.0f, 700.0f, 24.0f};
inline constexpr TextStyle licenceIntroStyle{14.0f, false, bodyColour};
inline constexpr TextStyle checkboxLabelStyle{13.0f, false, {0.81f, 0.78f, 0.86f}};
inline constexpr Box bundleFolderLabel{34.0f, 203.0f, 190.0f, 24.0f};
inline constexpr Box productFolderLabel{34.0f, 291.0f, 500.0f, 24.0f};
inline constexpr TextStyle folderLabelStyle{12.0f, true, bodyColour};
inline constexpr TextStyle folderPathStyle{14.0f, false, bodyColour};
inline constexpr Box checksumNote{34.0f, 385.0f, 700.0f, 40.0f}; // two lines for a longer translation
inline constexpr TextStyle checksumNoteStyle{14.0f, false, accentColour};
inline constexpr Box installingNote{34.0f, 260.0f, 710.0f, 44.0f};
inline constexpr TextStyle installingNoteStyle{15.0f, false, {0.76f, 0.73f, 0.81f}};
inline constexpr TextStyle resultTextStyle{16.0f, false, bodyColour};
inline constexpr TextStyle dawHintStyle{15.0f, true, accentColour};

// The licence control, in design units; its font and margins in points of the same scale.
inline constexpr Box licenceText{34.0f, 222.0f, 710.0f, 199.0f};
inline constexpr int licenceFontHeight = 15;
inline constexpr int licenceMargin = 12;
inline constexpr Box welcomeCard{34.0f, 309.0f, 712.0f, 104.0f};
inline constexpr Box progressTrack{34.0f, 232.0f, 710.0f, 8.0f};
inline constexpr Box resultText{34.0f, 205.0f, 712.0f, 167.0f};
inline constexpr Box dawHint{34.0f, 392.0f, 706.0f, 48.0f};
inline constexpr Box bundleFolderText{34.0f, 237.0f, 702.0f, 44.0f};
inline constexpr Box productFolderText{34.0f, 324.0f, 702.0f, 35.0f};

} // namespace elvara::layout
