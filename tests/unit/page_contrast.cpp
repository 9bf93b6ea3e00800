#include "unit/page_contrast.h"

#include "ui/page_description.h"

#include <algorithm>
#include <cmath>
#include <map>

namespace elvara::test {

namespace {

int distanceSquared(Rgb a, Rgb b)
{
    return (a.r - b.r) * (a.r - b.r) + (a.g - b.g) * (a.g - b.g) + (a.b - b.b) * (a.b - b.b);
}

layout::Colour floatsOf(Rgb colour)
{
    return {static_cast<float>(colour.r) / 255.0f, static_cast<float>(colour.g) / 255.0f,
            static_cast<float>(colour.b) / 255.0f};
}

} // namespace

Rgb rgbOf(const layout::Colour& colour) { return fromFloats(colour.r, colour.g, colour.b); }

std::vector<PlacedText> textsOf(Installer& record, const Palette& palette)
{
    const layout::Colour page = palette.pageTop;
    // The header and the footer, where the page drawing puts them.
    std::vector<PlacedText> texts{
        {"wordmark", {83, 31, 260, 30}, palette.wordmark, page},
        {"edition", {85, 64, 400, 20}, palette.edition, page},
        {"version line", {34, 513, 430, 18}, palette.footer, page},
        {"publisher", {34, 534, 420, 18}, palette.footer, page},
    };
    for (const PageItem& item : describePage(readPageFacts(record, FolderPaths::Resolve))) {
        std::string what;
        for (const wchar_t c : item.name.substr(0, 40)) what += c < 0x80 ? static_cast<char>(c) : '?';
        switch (item.kind) {
        case ItemKind::Headline:
        case ItemKind::Text:
        case ItemKind::Result:
            texts.push_back({"text \"" + what + "\"", item.box, palette.text(item.style), page});
            break;
        case ItemKind::Card:
            texts.push_back({"card \"" + what + "\"", layout::welcomeCardTitle, palette.text(item.style), palette.cardTop});
            break;
        case ItemKind::Checkbox:
            texts.push_back({"checkbox \"" + what + "\"", layout::checkboxLabel, palette.text(item.style), page});
            break;
        case ItemKind::BackButton:
        case ItemKind::PrimaryButton: {
            const bool primary = item.kind == ItemKind::PrimaryButton;
            const ButtonColours& colours = palette.button(
                primary, item.enabled, primary ? record.primaryHighlight : record.backHighlight);
            texts.push_back({"button \"" + what + "\"",
                             {item.box.x + 8, item.box.y + 9, item.box.width - 16, 24},
                             colours.label,
                             colours.top});
            break;
        }
        default:
            break;
        }
    }
    return texts;
}

MeasuredContrast measureContrast(const DecodedImage& image, const PlacedText& text)
{
    const Rgb ink = rgbOf(text.colour);
    const int left = std::max(0, static_cast<int>(text.box.x));
    const int right = std::min(static_cast<int>(image.width), static_cast<int>(std::ceil(text.box.right())));
    const int top = std::max(0, static_cast<int>(text.box.y));
    const int bottom = std::min(static_cast<int>(image.height), static_cast<int>(std::ceil(text.box.bottom())));
    MeasuredContrast measured;
    for (int y = top; y < bottom; ++y) {
        // The row's background: its most frequent colour, since a text covers the lesser part
        // of each row of its box.
        std::map<int, int> counts;
        for (int x = left; x < right; ++x) {
            const Rgb pixel = image.at(x, y);
            ++counts[(pixel.r << 16) | (pixel.g << 8) | pixel.b];
        }
        if (counts.empty()) continue;
        const int packed = std::max_element(counts.begin(), counts.end(), [](const auto& a, const auto& b) {
                               return a.second < b.second;
                           })->first;
        const Rgb background{(packed >> 16) & 0xFF, (packed >> 8) & 0xFF, packed & 0xFF};
        const int apart = distanceSquared(background, ink);
        int nearest = 1 << 30;
        for (int x = left; x < right; ++x) nearest = std::min(nearest, distanceSquared(image.at(x, y), ink));
        if (apart == 0 || nearest * 4 >= apart) continue; // no pixel of the text in this row
        const float ratio = contrastRatio(text.colour, floatsOf(background));
        measured.textFound = true;
        if (ratio < measured.ratio) {
            measured.ratio = ratio;
            measured.background = background;
        }
    }
    return measured;
}

bool isBlendOfTwo(Rgb pixel, const std::vector<Rgb>& colours, int tolerance)
{
    const auto within = [tolerance](Rgb a, Rgb b) {
        return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance && std::abs(a.b - b.b) <= tolerance;
    };
    for (const Rgb& colour : colours)
        if (within(pixel, colour)) return true;
    for (std::size_t i = 0; i < colours.size(); ++i)
        for (std::size_t j = i + 1; j < colours.size(); ++j) {
            const Rgb a = colours[i];
            const Rgb b = colours[j];
            const int span = distanceSquared(a, b);
            if (span == 0) continue;
            const float t = std::clamp(static_cast<float>((pixel.r - a.r) * (b.r - a.r) + (pixel.g - a.g) * (b.g - a.g) +
                                                          (pixel.b - a.b) * (b.b - a.b)) /
                                           static_cast<float>(span),
                                       0.0f, 1.0f);
            const Rgb onLine{static_cast<int>(std::lround(a.r + t * (b.r - a.r))),
                             static_cast<int>(std::lround(a.g + t * (b.g - a.g))),
                             static_cast<int>(std::lround(a.b + t * (b.b - a.b)))};
            if (within(pixel, onLine)) return true;
        }
    return false;
}

} // namespace elvara::test
