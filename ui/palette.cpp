#include "ui/palette.h"

#include <algorithm>
#include <cmath>

namespace elvara {

namespace {

using layout::Colour;

float linear(float channel) noexcept
{
    return channel <= 0.04045f ? channel / 12.92f : std::pow((channel + 0.055f) / 1.055f, 2.4f);
}

float luminance(const Colour& colour) noexcept
{
    return 0.2126f * linear(colour.r) + 0.7152f * linear(colour.g) + 0.0722f * linear(colour.b);
}

} // namespace

Colour colourOf(layout::Rgb8 colour) noexcept
{
    return {static_cast<float>(colour.r) / 255.0f, static_cast<float>(colour.g) / 255.0f,
            static_cast<float>(colour.b) / 255.0f, 1.0f};
}

float contrastRatio(const Colour& first, const Colour& second) noexcept
{
    const float a = luminance(first);
    const float b = luminance(second);
    return (std::max(a, b) + 0.05f) / (std::min(a, b) + 0.05f);
}

Colour Palette::text(const layout::TextStyle& style) const noexcept
{
    return systemColoursOnly ? pageText : style.colour;
}

const ButtonColours& Palette::button(bool primaryButton, bool enabled, float highlight) const noexcept
{
    if (!enabled) return disabled;
    if (systemColoursOnly && highlight > 0.0f) return hovered;
    return primaryButton ? primary : secondary;
}

Palette designPalette() noexcept
{
    Palette palette;
    palette.pageTop = layout::backgroundTop;
    palette.pageBottom = layout::backgroundBottom;
    palette.rule = {0.26f, 0.23f, 0.31f};
    palette.footerRule = {0.24f, 0.2f, 0.3f};
    palette.logo = {0.7f, 0.56f, 0.86f};
    palette.wordmark = layout::headlineColour;
    palette.edition = {0.67f, 0.65f, 0.72f};
    palette.footer = layout::bodyColour;
    palette.pageText = layout::bodyColour;
    palette.cardTop = {0.17f, 0.15f, 0.21f};
    palette.cardBottom = {0.105f, 0.1f, 0.14f};
    palette.cardBorder = {0.34f, 0.3f, 0.41f};
    palette.checkboxBorder = {0.29f, 0.24f, 0.36f};
    palette.tick = {0.74f, 0.59f, 0.93f};
    palette.checkboxFace = {0, 0, 0, 0};
    palette.track = {0.19f, 0.16f, 0.24f};
    palette.trackBorder = palette.track;
    palette.fillStart = {0.56f, 0.41f, 0.78f};
    palette.fillEnd = {0.85f, 0.77f, 1.0f};
    palette.focusRing = layout::focusRingColour;
    palette.licenceFrame = {0, 0, 0, 0};
    palette.licenceText = layout::licenceTextColour;
    palette.licenceBackground = layout::windowBackground;
    palette.primary = {{0.79f, 0.69f, 0.97f}, {0.6f, 0.48f, 0.81f}, {0.83f, 0.75f, 1.0f}, {0.1f, 0.07f, 0.15f}};
    const Colour darkTop{0.19f, 0.18f, 0.23f};
    const Colour darkBottom{0.11f, 0.105f, 0.14f};
    const Colour darkBorder{0.35f, 0.32f, 0.42f};
    palette.secondary = {darkTop, darkBottom, darkBorder, {0.94f, 0.92f, 0.98f}};
    palette.disabled = {darkTop, darkBottom, darkBorder, {0.61f, 0.59f, 0.65f}};
    palette.hovered = palette.primary; // the design shows hover as an overlay instead
    return palette;
}

// As Windows' guidance for custom-drawn programs asks: the page and its texts in the
// window colours, buttons in the button colours, the selection colours for what is
// focused, ticked, in progress or under the pointer, the grey text for what is disabled.
Palette highContrastPalette(const SystemColours& colours) noexcept
{
    const Colour window = colourOf(colours.window);
    const Colour text = colourOf(colours.windowText);
    const Colour face = colourOf(colours.buttonFace);
    const Colour buttonText = colourOf(colours.buttonText);
    const Colour highlight = colourOf(colours.highlight);
    const Colour highlightText = colourOf(colours.highlightText);
    const Colour gray = colourOf(colours.grayText);
    Palette palette;
    palette.systemColoursOnly = true;
    palette.borderWidth = 2.0f;
    palette.pageTop = palette.pageBottom = window;
    palette.rule = palette.footerRule = palette.logo = palette.wordmark = palette.edition = palette.footer = palette.pageText = text;
    palette.cardTop = palette.cardBottom = window;
    palette.cardBorder = text;
    palette.checkboxBorder = text;
    palette.checkboxFace = window;
    palette.tick = highlight;
    palette.track = window;
    palette.trackBorder = text;
    palette.fillStart = palette.fillEnd = highlight;
    palette.focusRing = highlight;
    palette.licenceFrame = text;
    palette.licenceText = colours.windowText;
    palette.licenceBackground = colours.window;
    palette.primary = palette.secondary = {face, face, buttonText, buttonText};
    palette.disabled = {face, face, gray, gray};
    palette.hovered = {highlight, highlight, highlight, highlightText};
    return palette;
}

Palette paletteFor(const Appearance& appearance) noexcept
{
    return appearance.highContrast ? highContrastPalette(appearance.colours) : designPalette();
}

} // namespace elvara
