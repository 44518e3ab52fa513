// The troubleshooting guide's pictures as the built tw_setup.exe carries them:
// every picture a page asks for is a resource of the program, the program's own
// decoder turns it into a bitmap, it has the 2:1 shape of the area it is drawn
// in, and no two pages show the same picture.
#include <gtest/gtest.h>

#include <windows.h>
#include <wincodec.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <vector>

#include "base/handles_win.h"
#include "base/picture_win.h"
#include "base/text.h"
#include "security/guide.h"

namespace {

using Pixels = std::vector<uint32_t>;

// The size of frame 0 as the imaging component reads it.
bool StoredSize(const uint8_t* bytes, DWORD length, UINT& width, UINT& height) {
    ComPtr<IWICImagingFactory> factory;
    ComPtr<IWICStream> stream;
    ComPtr<IWICBitmapDecoder> decoder;
    ComPtr<IWICBitmapFrameDecode> frame;
    return SUCCEEDED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                      factory.receiveVoid())) &&
           SUCCEEDED(factory->CreateStream(stream.receive())) &&
           SUCCEEDED(stream->InitializeFromMemory(const_cast<BYTE*>(bytes), length)) &&
           SUCCEEDED(factory->CreateDecoderFromStream(stream.get(), nullptr, WICDecodeMetadataCacheOnLoad,
                                                      decoder.receive())) &&
           SUCCEEDED(decoder->GetFrame(0, frame.receive())) && SUCCEEDED(frame->GetSize(&width, &height));
}

Pixels PixelsOf(HBITMAP bitmap, int width, int height) {
    DIBSECTION section = {};
    if (GetObjectW(bitmap, sizeof(section), &section) != sizeof(section) || !section.dsBm.bmBits) return {};
    const auto* bits = static_cast<const uint32_t*>(section.dsBm.bmBits);
    return Pixels(bits, bits + size_t(width) * height);
}

int ChannelDistance(uint32_t a, uint32_t b) {
    int largest = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        largest = std::max(largest, std::abs(int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF)));
    }
    return largest;
}

// Pixels that differ clearly, per thousand.
size_t DifferentPerMille(const Pixels& a, const Pixels& b) {
    size_t different = 0;
    for (size_t i = 0; i < a.size(); ++i) different += ChannelDistance(a[i], b[i]) > 32;
    return different * 1000 / a.size();
}

TEST(GuidePictures, TheBuiltProgramCarriesOneDistinctPictureForEachPageThatShowsOne) {
    ComApartment com(COINIT_APARTMENTTHREADED);
    std::set<int> ids;
    for (uint32_t step = 0; step < kGuideStepCount; ++step) {
        GuideModel model;
        model.step = step;
        if (int id = GuidePageFor(model).pictureResource) ids.insert(id);
    }
    ASSERT_EQ(ids.size(), 10u);

    const WideBuffer path = u"Z:" + Utf8ToWide(TW_SETUP_EXE);
    HMODULE exe = LoadLibraryExW(reinterpret_cast<const wchar_t*>(path.c_str()), nullptr,
                                 LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(exe, nullptr) << "error " << GetLastError();
    constexpr int kWidth = 280, kHeight = 140;  // a 2:1 area, as the page gives
    std::vector<Pixels> pictures;
    for (int id : ids) {
        HRSRC found = FindResourceW(exe, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(10) /* RT_RCDATA */);
        ASSERT_NE(found, nullptr) << "resource " << id;
        HGLOBAL loaded = LoadResource(exe, found);
        const auto* bytes = static_cast<const uint8_t*>(loaded ? LockResource(loaded) : nullptr);
        const DWORD length = SizeofResource(exe, found);
        ASSERT_TRUE(bytes && length > 0) << "resource " << id;

        UINT width = 0, height = 0;
        ASSERT_TRUE(StoredSize(bytes, length, width, height)) << "resource " << id;
        EXPECT_GE(width, 400u) << "resource " << id;
        EXPECT_LE(width, 4096u) << "resource " << id;
        EXPECT_LE(std::abs(int(width) - 2 * int(height)), 2) << "resource " << id << ": " << width << "x" << height;

        UniqueGdiObject bitmap(DecodePicture(bytes, length, kWidth, kHeight));
        ASSERT_TRUE(bitmap) << "resource " << id;
        Pixels pixels = PixelsOf(static_cast<HBITMAP>(bitmap.get()), kWidth, kHeight);
        ASSERT_EQ(pixels.size(), size_t(kWidth) * kHeight) << "resource " << id;
        size_t opaque = 0;
        for (uint32_t p : pixels) opaque += (p >> 24) == 0xFF;
        EXPECT_EQ(opaque, pixels.size()) << "resource " << id << ": a photograph has no transparent pixels";
        EXPECT_GT(DifferentPerMille(pixels, Pixels(pixels.size(), pixels[0])), 10u)
            << "resource " << id << " is nearly one colour";
        pictures.push_back(std::move(pixels));
    }
    FreeLibrary(exe);

    std::vector<int> order(ids.begin(), ids.end());
    for (size_t i = 0; i < pictures.size(); ++i) {
        for (size_t j = i + 1; j < pictures.size(); ++j) {
            EXPECT_GT(DifferentPerMille(pictures[i], pictures[j]), 10u)
                << "resources " << order[i] << " and " << order[j] << " show the same picture";
        }
    }
}

}  // namespace
