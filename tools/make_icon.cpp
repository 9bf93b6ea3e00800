// Draws the program's logo mark (ring, stem, note head, three bars) on the
// window's background colour into a 32-bit .ico with 16, 32, 48 and 64 pixel images.
//   make_icon OUTPUT.ico
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <vector>

namespace {

struct Point {
    double x, y;
};

double segmentDistance(Point p, Point a, Point b)
{
    const double dx = b.x - a.x, dy = b.y - a.y;
    const double t = std::clamp(((p.x - a.x) * dx + (p.y - a.y) * dy) / (dx * dx + dy * dy), 0.0, 1.0);
    return std::hypot(p.x - (a.x + t * dx), p.y - (a.y + t * dy));
}

// The mark in a unit square, with stroke widths given for a 38-unit mark.
bool insideMark(Point p, double s)
{
    const double stroke = std::max(2.0 * s / 38.0, 1.0) / s;
    const double thin = std::max(1.5 * s / 38.0, 0.9) / s;
    if (std::fabs(std::hypot(p.x - 0.5, p.y - 0.5) - 0.4) <= stroke / 2) return true;
    if (segmentDistance(p, {0.5, 0.17}, {0.5, 0.66}) <= stroke / 2) return true;
    if (std::hypot(p.x - 0.42, p.y - 0.68) <= 0.11) return true;
    for (int i = 0; i < 3; ++i) {
        const double across = 0.63 + 0.09 * i;
        if (segmentDistance(p, {across, 0.42 + 0.09 * i}, {across, 0.71 - 0.04 * i}) <= thin / 2) return true;
    }
    return false;
}

bool insideBackground(Point p)
{
    const double radius = 0.22;
    const double cx = std::clamp(p.x, radius, 1 - radius), cy = std::clamp(p.y, radius, 1 - radius);
    return std::hypot(p.x - cx, p.y - cy) <= radius;
}

// Bottom-up BGRA rows with straight alpha, as 32-bit icon images expect.
std::vector<std::uint8_t> renderImage(int size)
{
    constexpr int samples = 8;
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(size) * size * 4);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            double background = 0, mark = 0;
            for (int sy = 0; sy < samples; ++sy)
                for (int sx = 0; sx < samples; ++sx) {
                    const Point p{(x + (sx + 0.5) / samples) / size, (y + (sy + 0.5) / samples) / size};
                    if (insideBackground(p)) background += 1;
                    if (insideMark(p, size)) mark += 1;
                }
            background /= samples * samples;
            mark /= samples * samples;
            // Violet mark (0.7, 0.56, 0.86) over the window colour RGB(31, 28, 38).
            const double r = 31 + (178.5 - 31) * mark, g = 28 + (142.8 - 28) * mark, b = 38 + (219.3 - 38) * mark;
            const double alpha = std::max(background, mark);
            std::uint8_t* out = &pixels[(static_cast<std::size_t>(size - 1 - y) * size + x) * 4];
            out[0] = static_cast<std::uint8_t>(std::lround(b));
            out[1] = static_cast<std::uint8_t>(std::lround(g));
            out[2] = static_cast<std::uint8_t>(std::lround(r));
            out[3] = static_cast<std::uint8_t>(std::lround(alpha * 255));
        }
    }
    return pixels;
}

void put(std::vector<std::uint8_t>& out, std::uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_icon OUTPUT.ico\n");
        return 1;
    }
    const int sizes[] = {16, 32, 48, 64};
    std::vector<std::vector<std::uint8_t>> images;
    for (int size : sizes) {
        std::vector<std::uint8_t> image;
        put(image, 40, 4);
        put(image, size, 4);
        put(image, size * 2, 4); // colour and mask rows
        put(image, 1, 2);
        put(image, 32, 2);
        for (int i = 0; i < 6; ++i) put(image, 0, 4);
        const auto pixels = renderImage(size);
        image.insert(image.end(), pixels.begin(), pixels.end());
        const int maskRow = ((size + 31) / 32) * 4;
        image.insert(image.end(), static_cast<std::size_t>(maskRow) * size, 0);
        images.push_back(std::move(image));
    }
    std::vector<std::uint8_t> icon;
    put(icon, 0, 2);
    put(icon, 1, 2);
    put(icon, 4, 2);
    std::uint32_t offset = 6 + 16 * 4;
    for (std::size_t i = 0; i < images.size(); ++i) {
        icon.push_back(static_cast<std::uint8_t>(sizes[i]));
        icon.push_back(static_cast<std::uint8_t>(sizes[i]));
        icon.push_back(0);
        icon.push_back(0);
        put(icon, 1, 2);
        put(icon, 32, 2);
        put(icon, static_cast<std::uint32_t>(images[i].size()), 4);
        put(icon, offset, 4);
        offset += static_cast<std::uint32_t>(images[i].size());
    }
    for (const auto& image : images) icon.insert(icon.end(), image.begin(), image.end());
    std::ofstream(argv[1], std::ios::binary).write(reinterpret_cast<const char*>(icon.data()),
                                                   static_cast<std::streamsize>(icon.size()));
    return 0;
}
