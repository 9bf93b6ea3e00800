#pragma once
#include <windows.h>
#include <d2d1.h>
#include <dwrite.h>
#include <wrl/client.h>

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace elvara {

// The first of the families that the system's font collection holds; the first of
// them all when it holds none (DirectWrite's fallback then picks one per character).
std::wstring installedFontFamily(const std::vector<std::wstring>& families);

// Cache keys, pure functions of their inputs.
std::uint64_t gradientBrushKey(const D2D1_COLOR_F& from, const D2D1_COLOR_F& to) noexcept;
std::uint32_t textStyleKey(float size, bool bold, DWRITE_TEXT_ALIGNMENT alignment) noexcept;

// The one drawing surface: the wizard's window, or an off-screen bitmap written as PNG.
// Used by one thread; not copied or moved.
class Canvas {
public:
    Canvas();
    ~Canvas();
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    void setWindow(HWND window);
    // The window's DPI (96 until told otherwise); the next frame is drawn at it.
    void setDpi(float dpi) noexcept;
    // Draws a frame into the window's device context (the one of BeginPaint, whose clipping
    // keeps child controls untouched), rendering only the part of the client area given.
    bool beginFrame(HDC windowDc, const RECT& area, float designWidth, float designHeight);
    void endFrame();

    void setColor(float red, float green, float blue, float alpha);
    void fillRect(float x, float y, float width, float height, float radius);
    void strokeRect(float x, float y, float width, float height, float radius, float strokeWidth);
    void fillGradient(float x, float y, float width, float height, const D2D1_COLOR_F& from, const D2D1_COLOR_F& to,
                      float radius, bool vertical, float opacity);
    void drawLine(float x1, float y1, float x2, float y2, float strokeWidth);
    void drawLogoMark(float x, float y, float size);
    void drawLogoMark(float x, float y, float size, const D2D1_COLOR_F& colour);
    void drawText(const std::wstring& text, float x, float y, float width, float height, float size, bool bold,
                  DWRITE_TEXT_ALIGNMENT alignment);

    // The texts' language: their font families, the preferred first, and their locale
    // (which picks a script's glyph forms). Formats made for another language are dropped.
    void setTextLanguage(const std::vector<std::wstring>& fontFamilies, const std::wstring& locale);
    const std::wstring& fontFamily() const noexcept { return fontFamily_; }
    // The width that a text needs on one line, the widest word it holds (what no box may
    // be narrower than), and its height once wrapped at the width given, in design units.
    struct TextExtent {
        float line;
        float widestWord;
        float height;
    };
    TextExtent measureText(const std::wstring& text, float size, bool bold, float wrapWidth = 1.0e6f);

    void renderToPng(const std::wstring& path, std::uint32_t width, std::uint32_t height,
                     const std::function<void(Canvas&)>& draw);

    // Observers for diagnostics and tests.
    std::size_t gradientBrushCount() const noexcept { return gradientBrushes_.size(); }
    std::size_t textFormatCount() const noexcept { return textFormats_.size(); }
    bool hasWindowTarget() const noexcept { return windowTarget_ != nullptr; }
    ID2D1SolidColorBrush* solidBrush() const noexcept { return solidBrush_.Get(); }
    ID2D1RenderTarget* currentTarget() const noexcept { return currentTarget_.Get(); }

private:
    void dropDeviceResources() noexcept;
    // Exactly 0 means a square-cornered rectangle; any other radius a rounded one.
    void fillShape(float x, float y, float width, float height, float radius, ID2D1Brush* brush);
    IDWriteTextFormat* textFormatFor(float size, bool bold, DWRITE_TEXT_ALIGNMENT alignment);
    // The family that draws a character that the text's own family cannot; null when it can.
    const wchar_t* glyphFallbackFamily(wchar_t character);
    // Gives each character of text that needs one its fallback family; false when none does.
    bool applyGlyphFallback(IDWriteTextLayout* layout, const std::wstring& text);

    Microsoft::WRL::ComPtr<ID2D1Factory> d2dFactory_;
    Microsoft::WRL::ComPtr<IDWriteFactory> writeFactory_;
    Microsoft::WRL::ComPtr<ID2D1DCRenderTarget> windowTarget_;
    Microsoft::WRL::ComPtr<ID2D1RenderTarget> currentTarget_;
    Microsoft::WRL::ComPtr<ID2D1SolidColorBrush> solidBrush_;
    HWND window_ = nullptr;
    float dpi_ = 96.0f;
    std::map<std::uint32_t, Microsoft::WRL::ComPtr<IDWriteTextFormat>> textFormats_;
    std::vector<std::wstring> fontFamilies_{L"Segoe UI"};
    std::wstring fontFamily_ = L"Segoe UI";
    std::wstring locale_ = L"en-US";
    std::map<std::uint64_t, Microsoft::WRL::ComPtr<ID2D1LinearGradientBrush>> gradientBrushes_;
    std::map<wchar_t, const wchar_t*> glyphFallbacks_;
};

} // namespace elvara
