#include "graphics/canvas.h"

#include "base/failure.h"

#include <algorithm>
#include <cmath>

using Microsoft::WRL::ComPtr;

namespace elvara {

namespace {

constexpr std::size_t gradientCacheLimit = 64;

D2D1_ROUNDED_RECT rounded(const D2D1_RECT_F& rect, float radius) { return D2D1::RoundedRect(rect, radius, radius); }

} // namespace

std::uint64_t gradientBrushKey(const D2D1_COLOR_F& from, const D2D1_COLOR_F& to) noexcept
{
    const float components[] = {from.r, from.g, from.b, from.a, to.r, to.g, to.b, to.a};
    std::uint64_t hash = 0x14650FB0739D0383ull;
    for (float component : components) {
        const float clamped = std::clamp(component, 0.0f, 1.0f);
        hash ^= static_cast<std::uint64_t>(lroundf(clamped * 65535.0f));
        hash *= 0x100000001B3ull;
    }
    return hash;
}

Canvas::Canvas()
{
    failIfFailed(D2D1CreateFactory(D2D1_FACTORY_TYPE_SINGLE_THREADED, __uuidof(ID2D1Factory), nullptr,
                                   reinterpret_cast<void**>(d2dFactory_.GetAddressOf())),
                 "Graphics unavailable");
    failIfFailed(DWriteCreateFactory(DWRITE_FACTORY_TYPE_SHARED, __uuidof(IDWriteFactory),
                                     reinterpret_cast<IUnknown**>(writeFactory_.GetAddressOf())),
                 "Graphics unavailable");
}

Canvas::~Canvas()
{
    textFormats_.clear();
    gradientBrushes_.clear();
    solidBrush_.Reset();
    currentTarget_.Reset();
    windowTarget_.Reset();
    d2dFactory_.Reset();
    writeFactory_.Reset();
}

void Canvas::setWindow(HWND window) { window_ = window; }

void Canvas::setDpi(float dpi) noexcept { dpi_ = dpi > 0.0f ? dpi : 96.0f; }

void Canvas::dropDeviceResources() noexcept
{
    gradientBrushes_.clear();
    solidBrush_.Reset();
    currentTarget_.Reset();
    windowTarget_.Reset();
}

bool Canvas::beginFrame(HDC windowDc, const RECT& area, float designWidth, float designHeight)
{
    if (window_ == nullptr || windowDc == nullptr || !IsWindow(window_)) return false;
    RECT client{};
    GetClientRect(window_, &client);
    RECT drawn{};
    if (client.right < 1 || client.bottom < 1 || !IntersectRect(&drawn, &client, &area)) return false;
    // The target works in device-independent pixels at the window's DPI, so a
    // design unit stays one such pixel at any display scale.
    const float dpi = dpi_;

    // Drawn through the window's device context, not presented as a surface over the
    // window: the licence control stays visible, and scrolls.
    if (!windowTarget_) {
        const auto properties =
            D2D1::RenderTargetProperties(D2D1_RENDER_TARGET_TYPE_DEFAULT,
                                         D2D1::PixelFormat(DXGI_FORMAT_B8G8R8A8_UNORM, D2D1_ALPHA_MODE_IGNORE));
        failIfFailed(d2dFactory_->CreateDCRenderTarget(&properties, windowTarget_.ReleaseAndGetAddressOf()),
                     "Graphics unavailable");
    }
    if (currentTarget_ != windowTarget_) { // new, or an off-screen picture was drawn in between
        currentTarget_ = windowTarget_;
        gradientBrushes_.clear();
        solidBrush_.Reset();
    }
    // A frame costs what its area costs: the target is only as large as the part drawn.
    failIfFailed(windowTarget_->BindDC(windowDc, &drawn), "Graphics unavailable");
    float targetDpiX = 0.0f;
    float targetDpiY = 0.0f;
    windowTarget_->GetDpi(&targetDpiX, &targetDpiY);
    if (targetDpiX != dpi || targetDpiY != dpi) windowTarget_->SetDpi(dpi, dpi);
    if (!solidBrush_) {
        failIfFailed(currentTarget_->CreateSolidColorBrush(D2D1::ColorF(0.0f, 0.0f, 0.0f, 1.0f),
                                                           solidBrush_.ReleaseAndGetAddressOf()),
                     "Graphics unavailable");
    }
    currentTarget_->BeginDraw();
    const float pixelsPerUnit = dpi / 96.0f;
    currentTarget_->SetTransform(
        D2D1::Matrix3x2F::Scale(static_cast<float>(client.right) / pixelsPerUnit / designWidth,
                                static_cast<float>(client.bottom) / pixelsPerUnit / designHeight) *
        D2D1::Matrix3x2F::Translation(-static_cast<float>(drawn.left) / pixelsPerUnit,
                                      -static_cast<float>(drawn.top) / pixelsPerUnit));
    return true;
}

void Canvas::endFrame()
{
    if (!currentTarget_) return;
    if (currentTarget_->EndDraw() == static_cast<HRESULT>(D2DERR_RECREATE_TARGET)) dropDeviceResources();
}

void Canvas::setColor(float red, float green, float blue, float alpha)
{
    if (solidBrush_) solidBrush_->SetColor(D2D1::ColorF(red, green, blue, alpha));
}

void Canvas::fillShape(float x, float y, float width, float height, float radius, ID2D1Brush* brush)
{
    const auto rect = D2D1::RectF(x, y, x + width, y + height);
    if (radius == 0.0f)
        currentTarget_->FillRectangle(rect, brush);
    else
        currentTarget_->FillRoundedRectangle(rounded(rect, radius), brush);
}

void Canvas::fillRect(float x, float y, float width, float height, float radius)
{
    fillShape(x, y, width, height, radius, solidBrush_.Get());
}

void Canvas::strokeRect(float x, float y, float width, float height, float radius, float strokeWidth)
{
    const auto rect = D2D1::RectF(x, y, x + width, y + height);
    if (radius == 0.0f)
        currentTarget_->DrawRectangle(rect, solidBrush_.Get(), strokeWidth);
    else
        currentTarget_->DrawRoundedRectangle(rounded(rect, radius), solidBrush_.Get(), strokeWidth);
}

void Canvas::fillGradient(float x, float y, float width, float height, const D2D1_COLOR_F& from,
                          const D2D1_COLOR_F& to, float radius, bool vertical, float opacity)
{
    if (width <= 0.0f || height <= 0.0f || !currentTarget_) return;
    const D2D1_POINT_2F start = D2D1::Point2F(x, y);
    const D2D1_POINT_2F end = vertical ? D2D1::Point2F(x, y + height) : D2D1::Point2F(x + width, y);
    const std::uint64_t key = gradientBrushKey(from, to);
    auto found = gradientBrushes_.find(key);
    if (found == gradientBrushes_.end()) {
        if (gradientBrushes_.size() >= gradientCacheLimit) gradientBrushes_.clear();
        const D2D1_GRADIENT_STOP stops[] = {{0.0f, from}, {1.0f, to}};
        ComPtr<ID2D1GradientStopCollection> stopCollection;
        failIfFailed(currentTarget_->CreateGradientStopCollection(stops, 2, D2D1_GAMMA_2_2, D2D1_EXTEND_MODE_CLAMP,
                                                                  &stopCollection),
                     "Graphics unavailable");
        ComPtr<ID2D1LinearGradientBrush> brush;
        failIfFailed(currentTarget_->CreateLinearGradientBrush(D2D1::LinearGradientBrushProperties(start, end),
                                                               stopCollection.Get(), &brush),
                     "Graphics unavailable");
        found = gradientBrushes_.emplace(key, std::move(brush)).first;
    }
    ID2D1LinearGradientBrush* brush = found->second.Get();
    brush->SetStartPoint(start);
    brush->SetEndPoint(end);
    brush->SetOpacity(std::clamp(opacity, 0.0f, 1.0f));
    fillShape(x, y, width, height, radius, brush);
}

void Canvas::drawLine(float x1, float y1, float x2, float y2, float strokeWidth)
{
    currentTarget_->DrawLine(D2D1::Point2F(x1, y1), D2D1::Point2F(x2, y2), solidBrush_.Get(), strokeWidth);
}

void Canvas::drawLogoMark(float x, float y, float s)
{
    drawLogoMark(x, y, s, D2D1::ColorF(0.7f, 0.56f, 0.86f, 1.0f));
}

void Canvas::drawLogoMark(float x, float y, float s, const D2D1_COLOR_F& colour)
{
    setColor(colour.r, colour.g, colour.b, colour.a);
    ID2D1SolidColorBrush* brush = solidBrush_.Get();
    currentTarget_->DrawEllipse(D2D1::Ellipse(D2D1::Point2F(x + 0.5f * s, y + 0.5f * s), 0.4f * s, 0.4f * s), brush,
                                2.0f);
    currentTarget_->DrawLine(D2D1::Point2F(x + 0.5f * s, y + 0.17f * s), D2D1::Point2F(x + 0.5f * s, y + 0.66f * s),
                             brush, 2.0f);
    currentTarget_->FillEllipse(D2D1::Ellipse(D2D1::Point2F(x + 0.42f * s, y + 0.68f * s), 0.11f * s, 0.11f * s),
                                brush);
    for (int i = 0; i < 3; ++i) {
        const float across = x + (0.63f + 0.09f * static_cast<float>(i)) * s;
        currentTarget_->DrawLine(D2D1::Point2F(across, y + (0.42f + 0.09f * static_cast<float>(i)) * s),
                                 D2D1::Point2F(across, y + (0.71f - 0.04f * static_cast<float>(i)) * s), brush, 1.5f);
    }
}

} // namespace elvara
