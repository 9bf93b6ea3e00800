#pragma once
// Reads a rendered wizard page the way a person with low vision meets it: where each text
// stands, in which colour, against which pixels; and whether a picture holds nothing but
// the colours of a palette.
#include "app/installer.h"
#include "unit/png_probe.h"

#include <string>
#include <vector>

namespace elvara::test {

struct PlacedText {
    std::string what;
    layout::Box box;
    layout::Colour colour;
    // The colour that the palette means the text to stand on.
    layout::Colour meantBackground;
};

// Every text of the record's current page: header, the page's items, footer and buttons.
std::vector<PlacedText> textsOf(Installer& record, const Palette& palette);

struct MeasuredContrast {
    bool textFound = false;
    float ratio = 21.0f; // the lowest of the rows that carry the text
    Rgb background{};    // behind the text in that row
};

// The text's colour against the pixels behind it, row by row: each row's most frequent colour
// is its background (gradients run top to bottom), and a row carries the text where a pixel
// is nearer the text's colour than half-way.
MeasuredContrast measureContrast(const DecodedImage& image, const PlacedText& text);

Rgb rgbOf(const layout::Colour& colour);
// A pixel that is one of the colours, or an antialiased blend of two of them.
bool isBlendOfTwo(Rgb pixel, const std::vector<Rgb>& colours, int tolerance);

} // namespace elvara::test
