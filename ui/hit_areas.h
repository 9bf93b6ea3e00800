#pragma once
// The wizard's hit areas, from the layout, and hover easing: plain functions of their
// inputs. Bounds are inclusive unless said otherwise.
#include "ui/layout.h"

#include <cmath>

namespace elvara {

inline bool inButtonRow(float y) noexcept { return y >= layout::buttonTop && y <= layout::buttonHitBottom; }
inline bool inButton(const layout::Box& button, float x, float y) noexcept
{
    return x >= button.x && x <= button.right() && inButtonRow(y);
}
inline bool inPrimaryButton(float x, float y) noexcept { return inButton(layout::primaryButton, x, y); }
inline bool inBackButton(float x, float y) noexcept { return inButton(layout::backButton, x, y); }
inline bool inCheckboxRow(float y) noexcept { return y > layout::checkboxBandTop && y < layout::checkboxBandBottom; }

// Share of the remaining distance covered in one step of dt seconds (capped at 0.1 s).
inline float easingFactor(bool animationsEnabled, float seconds) noexcept
{
    if (!animationsEnabled) return 1.0f;
    const float dt = seconds < 0.0f ? 0.0f : (seconds > 0.1f ? 0.1f : seconds);
    return 1.0f - std::exp(-20.0f * dt);
}

inline float easeToward(float current, bool target, float factor) noexcept
{
    const float goal = target ? 1.0f : 0.0f;
    const float next = current + (goal - current) * factor;
    return std::fabs(next - goal) < 0.001f ? goal : next;
}

} // namespace elvara
