#pragma once
// Renders wizard frames off-screen and reads PNG pixels back through WIC.
#include <cstdint>
#include <string>
#include <vector>

namespace elvara::test {

struct Rgb {
    int r, g, b;
};

struct DecodedImage {
    std::uint32_t width = 0, height = 0;
    std::vector<std::uint8_t> bgra;
    Rgb at(int x, int y) const;
    // Pixels in the box whose brightest channel reaches the threshold.
    int countBrighterThan(int left, int top, int right, int bottom, int threshold) const;
};

DecodedImage decodePng(const std::wstring& path);
bool closeTo(Rgb actual, Rgb expected, int tolerance);
Rgb fromFloats(float r, float g, float b);
std::string describe(Rgb colour);

} // namespace elvara::test
