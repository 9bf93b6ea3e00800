#include "graphics/canvas.h"

#include "base/failure.h"

#include <algorithm>
#include <cmath>
#include <iterator>

using Microsoft::WRL::ComPtr;

namespace elvara {

namespace {

constexpr wchar_t textFamily[] = L"Segoe UI";
// Where the text's family is missing (Wine has none of Segoe UI) or lacks a character, the
// font that stands in may lack it too and draw a box (Wine's Tahoma has no arrows, as in
// "Options \u2192 Manage plugins"): such a character is drawn in the first of these that has it.
constexpr const wchar_t* glyphFallbackFamilies[] = {L"Tahoma", L"Segoe UI Symbol", L"DejaVu Sans"};

bool familyHasCharacter(IDWriteFontCollection* fonts, const wchar_t* family, wchar_t character)
{
    UINT32 index = 0;
    BOOL exists = FALSE;
    if (FAILED(fonts->FindFamilyName(family, &index, &exists)) || !exists) return false;
    ComPtr<IDWriteFontFamily> found;
    ComPtr<IDWriteFont> font;
    BOOL has = FALSE;
    return SUCCEEDED(fonts->GetFontFamily(index, &found)) &&
           SUCCEEDED(found->GetFirstMatchingFont(DWRITE_FONT_WEIGHT_NORMAL, DWRITE_FONT_STRETCH_NORMAL,
                                                 DWRITE_FONT_STYLE_NORMAL, &font)) &&
           SUCCEEDED(font->HasCharacter(character, &has)) && has;
}

} // namespace

std::uint32_t textStyleKey(float size, bool bold, DWRITE_TEXT_ALIGNMENT alignment) noexcept
{
    const auto hundredths = static_cast<std::uint32_t>(size * 100.0f);
    return (bold ? 1u : 0u) + 2u * static_cast<std::uint32_t>(alignment) + 32u * hundredths;
}

IDWriteTextFormat* Canvas::textFormatFor(float size, bool bold, DWRITE_TEXT_ALIGNMENT alignment)
{
    const std::uint32_t key = textStyleKey(size, bold, alignment);
    if (auto found = textFormats_.find(key); found != textFormats_.end()) return found->second.Get();
    Microsoft::WRL::ComPtr<IDWriteTextFormat> format;
    failIfFailed(writeFactory_->CreateTextFormat(textFamily, nullptr,
                                                 bold ? DWRITE_FONT_WEIGHT_SEMI_BOLD : DWRITE_FONT_WEIGHT_NORMAL,
                                                 DWRITE_FONT_STYLE_NORMAL, DWRITE_FONT_STRETCH_NORMAL, size, L"en-US",
                                                 &format),
                 "Graphics unavailable");
    format->SetWordWrapping(DWRITE_WORD_WRAPPING_WRAP);
    format->SetTextAlignment(alignment);
    return textFormats_.emplace(key, std::move(format)).first->second.Get();
}

void Canvas::drawText(const std::wstring& text, float x, float y, float width, float height, float size, bool bold,
                      DWRITE_TEXT_ALIGNMENT alignment)
{
    if (width <= 0.0f || height <= 0.0f || !std::isfinite(size) || size <= 0.0f) return;
    IDWriteTextFormat* format = textFormatFor(size, bold, alignment);
    ComPtr<IDWriteTextLayout> layout;
    for (UINT32 position = 0; position < text.size(); ++position) {
        const wchar_t* family = text[position] > 0xFF ? glyphFallbackFamily(text[position]) : nullptr;
        if (family == nullptr) continue;
        if (!layout)
            failIfFailed(writeFactory_->CreateTextLayout(text.c_str(), static_cast<UINT32>(text.size()), format, width,
                                                         height, &layout),
                         "Graphics unavailable");
        layout->SetFontFamilyName(family, DWRITE_TEXT_RANGE{position, 1});
    }
    if (layout) {
        currentTarget_->DrawTextLayout(D2D1::Point2F(x, y), layout.Get(), solidBrush_.Get(), D2D1_DRAW_TEXT_OPTIONS_CLIP);
        return;
    }
    currentTarget_->DrawText(text.c_str(), static_cast<UINT32>(text.size()), format,
                             D2D1::RectF(x, y, x + width, y + height), solidBrush_.Get(),
                             D2D1_DRAW_TEXT_OPTIONS_CLIP, DWRITE_MEASURING_MODE_NATURAL);
}

const wchar_t* Canvas::glyphFallbackFamily(wchar_t character)
{
    if (const auto known = glyphFallbacks_.find(character); known != glyphFallbacks_.end()) return known->second;
    const wchar_t* family = nullptr;
    ComPtr<IDWriteFontCollection> fonts;
    if (SUCCEEDED(writeFactory_->GetSystemFontCollection(&fonts)) &&
        !familyHasCharacter(fonts.Get(), textFamily, character)) {
        const auto has = [&](const wchar_t* candidate) { return familyHasCharacter(fonts.Get(), candidate, character); };
        const auto found = std::find_if(std::begin(glyphFallbackFamilies), std::end(glyphFallbackFamilies), has);
        if (found != std::end(glyphFallbackFamilies)) family = *found;
    }
    glyphFallbacks_.emplace(character, family);
    return family;
}

} // namespace elvara
