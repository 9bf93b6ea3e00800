#include "graphics/canvas.h"

#include "base/failure.h"

#include <cmath>

namespace elvara {

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
}

Canvas::TextExtent Canvas::measureText(const std::wstring& text, float size, bool bold, float wrapWidth)
{
    IDWriteTextFormat* format = textFormatFor(size, bold, DWRITE_TEXT_ALIGNMENT_LEADING);
    const auto layoutAt = [&](float width) {
        Microsoft::WRL::ComPtr<IDWriteTextLayout> layout;
        failIfFailed(writeFactory_->CreateTextLayout(text.c_str(), static_cast<UINT32>(text.size()), format, width, 1.0e6f,
                                                     &layout),
                     "Graphics unavailable");
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
    currentTarget_->DrawText(text.c_str(), static_cast<UINT32>(text.size()), format,
                             D2D1::RectF(x, y, x + width, y + height), solidBrush_.Get(),
                             D2D1_DRAW_TEXT_OPTIONS_CLIP, DWRITE_MEASURING_MODE_NATURAL);
}

} // namespace elvara
