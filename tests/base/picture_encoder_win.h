// Test pictures made with the imaging component's own encoders, from
// straight-alpha pixels, so no binary file lives in the tree.
#pragma once

#include <windows.h>
#include <wincodec.h>

#include <cstdint>
#include <vector>

#include "base/handles_win.h"

using Bytes = std::vector<uint8_t>;
using Pixels = std::vector<uint32_t>;  // 0xAARRGGBB, rows top first

inline Bytes Encode(const GUID& container, int width, int height, const Pixels& pixels) {
    ComPtr<IWICImagingFactory> factory;
    ComPtr<IWICBitmap> source;
    ComPtr<IStream> memory;
    ComPtr<IWICBitmapEncoder> encoder;
    ComPtr<IWICBitmapFrameEncode> frame;
    ComPtr<IPropertyBag2> options;
    STATSTG stat = {};
    if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                factory.receiveVoid())) ||
        FAILED(factory->CreateBitmapFromMemory(width, height, GUID_WICPixelFormat32bppBGRA, width * 4,
                                               UINT(pixels.size() * 4),
                                               reinterpret_cast<BYTE*>(const_cast<uint32_t*>(pixels.data())),
                                               source.receive())) ||
        FAILED(CreateStreamOnHGlobal(nullptr, TRUE, memory.receive())) ||
        FAILED(factory->CreateEncoder(container, nullptr, encoder.receive())) ||
        FAILED(encoder->Initialize(memory.get(), WICBitmapEncoderNoCache)) ||
        FAILED(encoder->CreateNewFrame(frame.receive(), options.receive())) ||
        FAILED(frame->Initialize(options.get())) || FAILED(frame->SetSize(width, height)) ||
        FAILED(frame->WriteSource(source.get(), nullptr)) || FAILED(frame->Commit()) ||
        FAILED(encoder->Commit()) || FAILED(memory->Stat(&stat, STATFLAG_NONAME))) {
        return {};
    }
    Bytes bytes(static_cast<size_t>(stat.cbSize.QuadPart));
    LARGE_INTEGER start = {};
    ULONG read = 0;
    memory->Seek(start, STREAM_SEEK_SET, nullptr);
    if (FAILED(memory->Read(bytes.data(), ULONG(bytes.size()), &read)) || read != bytes.size()) return {};
    return bytes;
}

inline Bytes Png(int width, int height, const Pixels& pixels) {
    return Encode(GUID_ContainerFormatPng, width, height, pixels);
}

