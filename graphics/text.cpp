#include "graphics/canvas.h"

#include "base/failure.h"

#include <algorithm>
#include <cmath>
#include <iterator>

using Microsoft::WRL::ComPtr;

namespace elvara {

namespace {

// Where the text's family is missing or lacks a character, the font that stands in may
// lack it too and draw a box (Wine's Tahoma has no arrows, as in "Options \u2192 Manage
// plugins", and Wine's system fallback does not look elsewhere): such a character is drawn
// in the first of these that has it.
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

std::wstring installedFontFamily(const std::vector<std::wstring>& families)
{
    if (families.empty()) return L"Segoe UI";
    Microsoft::WRL::ComPtr<IDWriteFactory> factory;
    Microsoft::WRL::ComPtr<IDWriteFontCollection> collection;
    if (FAILED(DWriteCreateFactory(DWRITE_FACTORY_TYPE_SHARED, __uuidof(IDWriteFactory),
                                   reinterpret_cast<IUnknown**>(factory.GetAddressOf()))) ||
        FAILED(factory->GetSystemFontCollection(&collection, FALSE)))
        return families.front();
    for (const std::wstring& family : families) {
        UINT32 index = 0;
        BOOL exists = FALSE;
        if (SUCCEEDED(collection->FindFamilyName(family.c_str(), &index, &exists)) && exists) return family;
    }
    return families.front();
}

void Canvas::setTextLanguage(const std::vector<std::wstring>& fontFamilies, const std::wstring& locale)
{
    if (fontFamilies == fontFamilies_ && locale == locale_) return;
    fontFamilies_ = fontFamilies;
    fontFamily_ = installedFontFamily(fontFamilies);
    locale_ = locale;
    textFormats_.clear();
    glyphFallbacks_.clear();
}

const wchar_t* Canvas::glyphFallbackFamily(wchar_t character)
{
    if (const auto known = glyphFallbacks_.find(character); known != glyphFallbacks_.end()) return known->second;
    const wchar_t* family = nullptr;
    ComPtr<IDWriteFontCollection> fonts;
    if (SUCCEEDED(writeFactory_->GetSystemFontCollection(&fonts)) &&
        !familyHasCharacter(fonts.Get(), fontFamily_.c_str(), character)) {
        const auto has = [&](const wchar_t* candidate) { return familyHasCharacter(fonts.Get(), candidate, character); };
        const auto found = std::find_if(std::begin(glyphFallbackFamilies), std::end(glyphFallbackFamilies), has);
        if (found != std::end(glyphFallbackFamilies)) family = *found;
    }
    glyphFallbacks_.emplace(character, family);
    return family;
}

bool Canvas::applyGlyphFallback(IDWriteTextLayout* layout, const std::wstring& text)
{
    bool applied = false;
    for (UINT32 position = 0; position < text.size(); ++position) {
        const wchar_t* family = text[position] > 0xFF ? glyphFallbackFamily(text[position]) : nullptr;
        if (family == nullptr) continue;
        layout->SetFontFamilyName(family, DWRITE_TEXT_RANGE{position, 1});
        applied = true;
    }
    return applied;
}

Canvas::TextExtent Canvas::measureText(const std::wstring& text, float size, bool bold, float wrapWidth)
{
    IDWriteTextFormat* format = textFormatFor(size, bold, DWRITE_TEXT_ALIGNMENT_LEADING);
    const auto layoutAt = [&](float width) {
        Microsoft::WRL::ComPtr<IDWriteTextLayout> layout;
        failIfFailed(writeFactory_->CreateTextLayout(text.c_str(), static_cast<UINT32>(text.size()), format, width, 1.0e6f,
                                                     &layout),
                     "Graphics unavailable");
        applyGlyphFallback(layout.Get(), text);
        return layout;
    };
    const auto oneLine = layoutAt(1.0e6f);
    DWRITE_TEXT_METRICS line{};
    failIfFailed(oneLine->GetMetrics(&line), "Graphics unavailable");
    FLOAT widestWord = 0.0f;
    failIfFailed(oneLine->DetermineMinWidth(&widestWord), "Graphics unavailable");
    DWRITE_TEXT_METRICS wrapped = line;
    if (wrapWidth < 1.0e6f) failIfFailed(layoutAt(wrapWidth)->GetMetrics(&wrapped), "Graphics unavailable");
    return {line.widthIncludingTrailingWhitespace, widestWord, wrapped.height};
}

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
    failIfFailed(writeFactory_->CreateTextFormat(fontFamily_.c_str(), nullptr,
                                                 bold ? DWRITE_FONT_WEIGHT_SEMI_BOLD : DWRITE_FONT_WEIGHT_NORMAL,
                                                 DWRITE_FONT_STYLE_NORMAL, DWRITE_FONT_STRETCH_NORMAL, size, locale_.c_str(),
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
    if (std::any_of(text.begin(), text.end(), [this](wchar_t c) { return c > 0xFF && glyphFallbackFamily(c); })) {
        ComPtr<IDWriteTextLayout> layout;
        failIfFailed(writeFactory_->CreateTextLayout(text.c_str(), static_cast<UINT32>(text.size()), format, width,
                                                     height, &layout),
                     "Graphics unavailable");
        applyGlyphFallback(layout.Get(), text);
        currentTarget_->DrawTextLayout(D2D1::Point2F(x, y), layout.Get(), solidBrush_.Get(), D2D1_DRAW_TEXT_OPTIONS_CLIP);
        return;
    }
    currentTarget_->DrawText(text.c_str(), static_cast<UINT32>(text.size()), format,
                             D2D1::RectF(x, y, x + width, y + height), solidBrush_.Get(),
                             D2D1_DRAW_TEXT_OPTIONS_CLIP, DWRITE_MEASURING_MODE_NATURAL);
}

} // namespace elvara
