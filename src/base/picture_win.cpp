// Decoding through the imaging component: stream on the caller's memory,
// decoder, frame 0, conversion to premultiplied BGRA, scaling, and one copy
// into the DIB section. The owners release everything in reverse order.
#include "base/picture_win.h"

#include <wincodec.h>

#include "base/handles_win.h"
#include "base/picture.h"

namespace {

// mingw's headers stop at Fant.
constexpr auto kHighQualityCubic = static_cast<WICBitmapInterpolationMode>(4);

HBITMAP CreateTopDownSection(int width, int height, void*& bits) {
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // negative: the first row in memory is the top
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    bits = nullptr;
    return CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
}

}  // namespace

HBITMAP DecodePicture(const uint8_t* bytes, size_t length, int width, int height) {
    uint32_t byteCount = 0;
    if (!bytes || length == 0 || length > MAXDWORD || !PictureByteCount(width, height, byteCount)) {
        return nullptr;
    }
    ComPtr<IWICImagingFactory> factory;
    ComPtr<IWICStream> stream;
    ComPtr<IWICBitmapDecoder> decoder;
    ComPtr<IWICBitmapFrameDecode> frame;
    ComPtr<IWICFormatConverter> converter;
    ComPtr<IWICBitmapScaler> scaler;
    if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                IID_IWICImagingFactory, factory.receiveVoid())) ||
        FAILED(factory->CreateStream(stream.receive())) ||
        // The stream only reads the caller's block; it is not copied.
        FAILED(stream->InitializeFromMemory(const_cast<BYTE*>(bytes), static_cast<DWORD>(length))) ||
        FAILED(factory->CreateDecoderFromStream(stream.get(), nullptr, WICDecodeMetadataCacheOnLoad,
                                                decoder.receive())) ||
        FAILED(decoder->GetFrame(0, frame.receive())) ||
        FAILED(factory->CreateFormatConverter(converter.receive())) ||
        FAILED(converter->Initialize(frame.get(), GUID_WICPixelFormat32bppPBGRA, WICBitmapDitherTypeNone,
                                     nullptr, 0.0, WICBitmapPaletteTypeCustom)) ||
        FAILED(factory->CreateBitmapScaler(scaler.receive())) ||
        FAILED(scaler->Initialize(converter.get(), static_cast<UINT>(width), static_cast<UINT>(height),
                                  kHighQualityCubic))) {
        return nullptr;
    }
    void* bits = nullptr;
    UniqueGdiObject bitmap(CreateTopDownSection(width, height, bits));
    // Damaged data often shows only here, when the pixels are finally decoded.
    if (!bitmap || !bits ||
        FAILED(scaler->CopyPixels(nullptr, static_cast<UINT>(width) * 4u, byteCount, static_cast<BYTE*>(bits)))) {
        return nullptr;
    }
    return static_cast<HBITMAP>(bitmap.release());
}
