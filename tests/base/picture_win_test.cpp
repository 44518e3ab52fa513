#include "base/picture_win.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <wincodec.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "base/handles_win.h"
#include "base/picture_encoder_win.h"
#include "base/test_folder_win.h"

namespace {

// The pixels as a top-down reader gets them, whatever the section's header
// claims: a bottom-up section filled top row first reads back upside down.
Pixels ReadTopDown(HBITMAP bitmap, int width, int height) {
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    Pixels pixels(size_t(width) * height);
    HDC dc = CreateCompatibleDC(nullptr);
    int rows = GetDIBits(dc, bitmap, 0, height, pixels.data(), &info, DIB_RGB_COLORS);
    DeleteDC(dc);
    return rows == height ? pixels : Pixels();
}

bool Near(uint32_t actual, uint32_t expected) {
    for (int shift = 0; shift < 32; shift += 8) {
        if (std::abs(int((actual >> shift) & 0xFF) - int((expected >> shift) & 0xFF)) > 1) return false;
    }
    return true;
}

// Committed private regions of the address space. GetGuiResources is a stub
// returning 0 under Wine, but there every DIB section's bits are a region of
// their own, so a leaked bitmap shows here on both systems.
size_t PrivateRegions() {
    size_t count = 0;
    MEMORY_BASIC_INFORMATION info;
    for (uintptr_t at = 0; VirtualQuery(reinterpret_cast<void*>(at), &info, sizeof(info)) == sizeof(info);) {
        if (info.State == MEM_COMMIT && info.Type == MEM_PRIVATE) ++count;
        uintptr_t next = reinterpret_cast<uintptr_t>(info.BaseAddress) + info.RegionSize;
        if (next <= at) break;
        at = next;
    }
    return count;
}

DWORD GdiObjects() { return GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS); }

class DecodePictureTest : public ::testing::Test {
    ComApartment com_{COINIT_APARTMENTTHREADED};
};

TEST_F(DecodePictureTest, HalfTransparentWhiteComesOutPremultiplied) {
    Bytes png = Png(3, 1, {0x80FFFFFF, 0x00FF0000, 0xFF204060});
    UniqueGdiObject bitmap(DecodePicture(png.data(), png.size(), 3, 1));
    ASSERT_TRUE(bitmap);
    Pixels pixels = ReadTopDown(static_cast<HBITMAP>(bitmap.get()), 3, 1);
    ASSERT_EQ(pixels.size(), 3u);
    EXPECT_TRUE(Near(pixels[0], 0x80808080)) << std::hex << pixels[0];
    EXPECT_EQ(pixels[1], 0u) << std::hex << pixels[1];  // no colour left under alpha 0
    EXPECT_EQ(pixels[2], 0xFF204060u) << std::hex << pixels[2];
}

TEST_F(DecodePictureTest, TopRowOfThePictureIsTheTopRowOfTheBitmap) {
    Bytes png = Png(2, 3, {0xFFFF0000, 0xFFFF0000, 0xFF00FF00, 0xFF00FF00, 0xFF0000FF, 0xFF0000FF});
    UniqueGdiObject bitmap(DecodePicture(png.data(), png.size(), 2, 3));
    ASSERT_TRUE(bitmap);
    EXPECT_EQ(ReadTopDown(static_cast<HBITMAP>(bitmap.get()), 2, 3),
              Pixels({0xFFFF0000, 0xFFFF0000, 0xFF00FF00, 0xFF00FF00, 0xFF0000FF, 0xFF0000FF}));
}

TEST_F(DecodePictureTest, StretchesToExactlyTheAskedSize) {
    struct Case { const GUID* container; int width, height, askedWidth, askedHeight; };
    const Case cases[] = {
        {&GUID_ContainerFormatPng, 256, 256, 44, 44},
        {&GUID_ContainerFormatJpeg, 1774, 887, 2, 1},
        {&GUID_ContainerFormatPng, 1, 1, 3, 5},
    };
    for (const Case& c : cases) {
        Pixels pixels(size_t(c.width) * c.height);
        for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = 0xFF000000u | uint32_t(i * 2654435761u >> 8);
        Bytes encoded = Encode(*c.container, c.width, c.height, pixels);
        ASSERT_FALSE(encoded.empty());
        UniqueGdiObject bitmap(DecodePicture(encoded.data(), encoded.size(), c.askedWidth, c.askedHeight));
        BITMAP info = {};
        ASSERT_EQ(GetObjectW(bitmap.get(), sizeof(info), &info), int(sizeof(info))) << c.width << "x" << c.height;
        EXPECT_EQ(info.bmWidth, c.askedWidth);
        EXPECT_EQ(info.bmHeight, c.askedHeight);
        EXPECT_EQ(info.bmBitsPixel, 32);
    }
}

TEST_F(DecodePictureTest, TheLeakProbeSeesLeakedSections) {
    // Guards the test below against passing vacuously.
    size_t before = PrivateRegions();
    std::vector<UniqueGdiObject> leaked;
    for (int i = 0; i < 50; ++i) {
        BITMAPINFO info = {};
        info.bmiHeader = {sizeof(BITMAPINFOHEADER), 2, -1, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
        void* bits = nullptr;
        leaked.emplace_back(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    }
    EXPECT_GE(PrivateRegions(), before + 50);
}

TEST_F(DecodePictureTest, FailuresGiveNullLogNothingAndLeakNothing) {
    TestFolder folder;
    ScopedEnvironment scope(L"LOCALAPPDATA", folder.path().c_str());
    const Bytes png = Png(4, 4, Pixels(16, 0xFF336699));
    const std::string text = "<html>404 not found</html>";
    struct Case { const char* name; const uint8_t* bytes; size_t length; int width, height; };
    const Case cases[] = {
        {"empty", png.data(), 0, 4, 4},
        {"null", nullptr, 0, 4, 4},
        {"text", reinterpret_cast<const uint8_t*>(text.data()), text.size(), 4, 4},
        {"half a PNG", png.data(), png.size() / 2, 4, 4},
        {"signature only", png.data(), 8, 4, 4},
        {"zero width", png.data(), png.size(), 0, 4},
        {"zero height", png.data(), png.size(), 4, 0},
        {"negative", png.data(), png.size(), -4, -4},
        {"wraps to 0 bytes", png.data(), png.size(), 32768, 32768},
        {"wraps to a small count", png.data(), png.size(), 65537, 65537},
        {"just over 2 GB", png.data(), png.size(), 1, 536870912},
    };
    auto decodeAll = [&](int rounds) {
        for (int round = 0; round < rounds; ++round) {
            for (const Case& c : cases) {
                HBITMAP bitmap = DecodePicture(c.bytes, c.length, c.width, c.height);
                if (round == 0) {
                    EXPECT_EQ(bitmap, nullptr) << c.name;
                }
                if (bitmap) DeleteObject(bitmap);
            }
            // The one success in the loop: the caller's delete must be all it takes.
            DeleteObject(DecodePicture(png.data(), png.size(), 8, 8));
        }
    };
    decodeAll(1);  // first-use allocations of the imaging component
    size_t regions = PrivateRegions();
    DWORD gdi = GdiObjects();
    decodeAll(200);
    EXPECT_LE(PrivateRegions(), regions + 10);
    EXPECT_LE(GdiObjects(), gdi);
    EXPECT_FALSE(DirectoryExists(folder / u"TwParcelwright"));
}

}  // namespace
