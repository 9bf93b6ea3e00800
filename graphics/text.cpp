#include "graphics/canvas.h"

#include "base/failure.h"

#include <cmath>

namespace elvara {

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
    failIfFailed(writeFactory_->CreateTextFormat(L"Segoe UI", nullptr,
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
    currentTarget_->DrawText(text.c_str(), static_cast<UINT32>(text.size()), format,
                             D2D1::RectF(x, y, x + width, y + height), solidBrush_.Get(),
                             D2D1_DRAW_TEXT_OPTIONS_CLIP, DWRITE_MEASURING_MODE_NATURAL);
}

} // namespace elvara
