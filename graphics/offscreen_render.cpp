#include "graphics/canvas.h"

#include "base/failure.h"

#include <wincodec.h>

using Microsoft::WRL::ComPtr;

namespace elvara {

void Canvas::renderToPng(const std::wstring& path, std::uint32_t width, std::uint32_t height,
                         const std::function<void(Canvas&)>& draw)
{
    constexpr const char* unavailable = "Graphics unavailable";
    gradientBrushes_.clear();
    ComPtr<IWICImagingFactory> imaging;
    failIfFailed(CoCreateInstance(CLSID_WICImagingFactory2, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&imaging)),
                 unavailable);
    ComPtr<IWICBitmap> bitmap;
    failIfFailed(imaging->CreateBitmap(width, height, GUID_WICPixelFormat32bppPBGRA, WICBitmapCacheOnLoad, &bitmap),
                 unavailable);
    currentTarget_.Reset();
    failIfFailed(d2dFactory_->CreateWicBitmapRenderTarget(bitmap.Get(), D2D1::RenderTargetProperties(),
                                                          currentTarget_.ReleaseAndGetAddressOf()),
                 unavailable);
    solidBrush_.Reset();
    failIfFailed(currentTarget_->CreateSolidColorBrush(D2D1::ColorF(0.0f, 0.0f, 0.0f, 1.0f), &solidBrush_),
                 unavailable);

    currentTarget_->BeginDraw();
    draw(*this);
    failIfFailed(currentTarget_->EndDraw(), unavailable);

    ComPtr<IWICStream> stream;
    failIfFailed(imaging->CreateStream(&stream), unavailable);
    failIfFailed(stream->InitializeFromFilename(path.c_str(), GENERIC_WRITE), unavailable);
    ComPtr<IWICBitmapEncoder> encoder;
    failIfFailed(imaging->CreateEncoder(GUID_ContainerFormatPng, nullptr, &encoder), unavailable);
    failIfFailed(encoder->Initialize(stream.Get(), WICBitmapEncoderNoCache), unavailable);
    ComPtr<IWICBitmapFrameEncode> frame;
    failIfFailed(encoder->CreateNewFrame(&frame, nullptr), unavailable);
    failIfFailed(frame->Initialize(nullptr), unavailable);
    failIfFailed(frame->SetSize(width, height), unavailable);
    WICPixelFormatGUID format = GUID_WICPixelFormat32bppPBGRA;
    failIfFailed(frame->SetPixelFormat(&format), unavailable);
    failIfFailed(frame->WriteSource(bitmap.Get(), nullptr), unavailable);
    failIfFailed(frame->Commit(), unavailable);
    failIfFailed(encoder->Commit(), unavailable);
}

} // namespace elvara
