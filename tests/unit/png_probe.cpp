#include "unit/png_probe.h"

#include <windows.h>
#include <wincodec.h>
#include <wrl/client.h>

#include <algorithm>
#include <cmath>
#include <stdexcept>

using Microsoft::WRL::ComPtr;

namespace elvara::test {

Rgb DecodedImage::at(int x, int y) const
{
    const std::size_t offset = (static_cast<std::size_t>(y) * width + static_cast<std::size_t>(x)) * 4;
    return {bgra[offset + 2], bgra[offset + 1], bgra[offset]};
}

int DecodedImage::countBrighterThan(int left, int top, int right, int bottom, int threshold) const
{
    int count = 0;
    for (int y = top; y < bottom; ++y)
        for (int x = left; x < right; ++x) {
            const Rgb c = at(x, y);
            if (std::max({c.r, c.g, c.b}) >= threshold) ++count;
        }
    return count;
}

DecodedImage decodePng(const std::wstring& path)
{
    ComPtr<IWICImagingFactory> imaging;
    ComPtr<IWICBitmapDecoder> decoder;
    ComPtr<IWICBitmapFrameDecode> frame;
    ComPtr<IWICFormatConverter> converter;
    if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&imaging))) ||
        FAILED(imaging->CreateDecoderFromFilename(path.c_str(), nullptr, GENERIC_READ, WICDecodeMetadataCacheOnLoad,
                                                  &decoder)) ||
        FAILED(decoder->GetFrame(0, &frame)) || FAILED(imaging->CreateFormatConverter(&converter)) ||
        FAILED(converter->Initialize(frame.Get(), GUID_WICPixelFormat32bppBGRA, WICBitmapDitherTypeNone, nullptr, 0,
                                     WICBitmapPaletteTypeCustom)))
        throw std::runtime_error("PNG cannot be decoded");
    DecodedImage image;
    converter->GetSize(&image.width, &image.height);
    image.bgra.resize(static_cast<std::size_t>(image.width) * image.height * 4);
    converter->CopyPixels(nullptr, image.width * 4, static_cast<UINT>(image.bgra.size()), image.bgra.data());
    return image;
}

bool closeTo(Rgb actual, Rgb expected, int tolerance)
{
    return std::abs(actual.r - expected.r) <= tolerance && std::abs(actual.g - expected.g) <= tolerance &&
           std::abs(actual.b - expected.b) <= tolerance;
}

Rgb fromFloats(float r, float g, float b)
{
    return {static_cast<int>(std::lround(r * 255)), static_cast<int>(std::lround(g * 255)),
            static_cast<int>(std::lround(b * 255))};
}

std::string describe(Rgb c)
{
    return "(" + std::to_string(c.r) + ", " + std::to_string(c.g) + ", " + std::to_string(c.b) + ")";
}

} // namespace elvara::test
