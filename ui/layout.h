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

// The licence checkbox: the box drawn, and the band of the page that toggles it
// (both band edges exclusive).
inline constexpr Box checkbox{34.0f, 437.0f, 20.0f, 20.0f};
inline constexpr Box checkboxTick{38.0f, 441.0f, 12.0f, 12.0f};
inline constexpr Box checkboxLabel{66.0f, 438.0f, 667.0f, 28.0f};
inline constexpr float checkboxBandTop = 425.0f;
inline constexpr float checkboxBandBottom = 469.0f;

inline constexpr Box licenceText{34.0f, 222.0f, 710.0f, 199.0f}; // the licence control
inline constexpr Box welcomeCard{34.0f, 309.0f, 712.0f, 104.0f};
inline constexpr Box progressTrack{34.0f, 232.0f, 710.0f, 8.0f};
inline constexpr Box resultText{34.0f, 205.0f, 712.0f, 167.0f};
inline constexpr Box dawHint{34.0f, 392.0f, 706.0f, 48.0f};
inline constexpr Box bundleFolderText{34.0f, 237.0f, 702.0f, 44.0f};
inline constexpr Box productFolderText{34.0f, 324.0f, 702.0f, 35.0f};

} // namespace elvara::layout
