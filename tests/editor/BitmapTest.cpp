#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <gdk-pixbuf/gdk-pixbuf.h>

#include "editor/toolkit/CBitmap.h"
#include "editor/toolkit/CBitmapPixelAccess.h"
#include "editor/toolkit/COffscreenContext.h"
#include "tests/TempFolder.h"

using namespace VSTGUI;
namespace fs = std::filesystem;

namespace {

// A folder of skin images: a 4 x 6 strip of three 4 x 2 frames, red, green
// and blue, saved as PNG, BMP and JPEG, and broken copies of the PNG.
struct SkinFolder : ::testing::Test
{
    SkinFolder()
    {
        dir = folder.path();
        GdkPixbuf* strip = gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, 4, 6);
        const guint32 colours[3] = {0xff000000, 0x00ff0000, 0x0000ff00};
        for (int f = 0; f < 3; ++f)
        {
            GdkPixbuf* frame = gdk_pixbuf_new_subpixbuf(strip, 0, 2 * f, 4, 2);
            gdk_pixbuf_fill(frame, colours[f]);
            g_object_unref(frame);
        }
        for (const char* type : {"png", "bmp", "jpeg"})
            gdk_pixbuf_save(strip, (dir / (std::string("strip.") + type)).c_str(), type, nullptr, nullptr);
        g_object_unref(strip);

        std::ifstream in(dir / "strip.png", std::ios::binary);
        png.assign(std::istreambuf_iterator<char>(in), {});
        std::ofstream(dir / "truncated.png", std::ios::binary).write(png.data(), long(png.size() / 2));
        std::string corrupt = png;
        for (size_t i = 40; i < corrupt.size(); i += 7)
            corrupt[i] = char(corrupt[i] ^ 0x5a);
        std::ofstream(dir / "corrupt.png", std::ios::binary) << corrupt;
        std::ofstream(dir / "notes.txt") << "not an image";
        // A BMP header that claims 9000 x 9000 pixels, followed by a few.
        std::string huge = "BM";
        const auto le32 = [&huge](uint32_t v) {
            for (int i = 0; i < 4; ++i)
                huge += char((v >> (8 * i)) & 0xff);
        };
        le32(54 + 16), le32(0), le32(54), le32(40), le32(9000), le32(9000);
        huge += std::string("\x01\x00\x18\x00", 4);
        le32(0), le32(16), le32(2835), le32(2835), le32(0), le32(0);
        huge += std::string(16, '\x7f');
        std::ofstream(dir / "huge.bmp", std::ios::binary) << huge;
        CResourceDescription::setResourceFolder(dir.string());
    }
    ~SkinFolder() override
    {
        CResourceDescription::setResourceFolder("");
    }
    static CColor at(CBitmap& bitmap, uint32_t x, uint32_t y)
    {
        CBitmapPixelAccess* access = CBitmapPixelAccess::create(&bitmap, false);
        CColor c;
        access->setPosition(x, y);
        access->getColor(c);
        access->forget();
        return c;
    }
    kv_test::TempFolder folder{"toolkit-bitmaps"};
    fs::path dir;
    std::string png;
};

using BitmapFiles = SkinFolder;

TEST_F(BitmapFiles, PngBmpAndJpegSkinsLoadFromTheResourceFolderAndPaths)
{
    for (const char* name : {"strip.png", "strip.bmp", "strip.jpeg"})
    {
        SCOPED_TRACE(name);
        auto* bitmap = new CBitmap(CResourceDescription(name));
        ASSERT_TRUE(bitmap->isLoaded());
        EXPECT_EQ(bitmap->getSize(), CPoint(4, 6));
        const CColor green = at(*bitmap, 1, 3);
        EXPECT_NEAR(green.green, 255, 6);
        EXPECT_NEAR(green.red, 0, 6);
        EXPECT_EQ(green.alpha, 255);
        bitmap->forget();
    }
    IPlatformBitmap* fromPath = IPlatformBitmap::createFromPath((dir / "strip.png").c_str());
    ASSERT_NE(fromPath, nullptr);
    IPlatformBitmap* fromMemory = IPlatformBitmap::createFromMemory(png.data(), uint32_t(png.size()));
    ASSERT_NE(fromMemory, nullptr);
    EXPECT_EQ(fromMemory->getSize(), CPoint(4, 6));
    fromPath->forget();
    fromMemory->forget();
}

TEST_F(BitmapFiles, MissingTruncatedCorruptHugeOrOutsideFilesGiveNoBitmap)
{
    for (const char* name : {"missing.png", "truncated.png", "corrupt.png", "notes.txt", "huge.bmp", "../strip.png", ""})
    {
        SCOPED_TRACE(name);
        auto* bitmap = new CBitmap(CResourceDescription(name));
        EXPECT_FALSE(bitmap->isLoaded());
        EXPECT_EQ(bitmap->getWidth(), 0);
        auto c = COffscreenContext::create(4, 4);
        bitmap->draw(c.get(), CRect(0, 0, 4, 4)); // draws nothing, does not fail
        EXPECT_EQ(c->getPixel(1, 1).alpha, 0);
        EXPECT_EQ(CBitmapPixelAccess::create(bitmap), nullptr);
        bitmap->forget();
    }
    EXPECT_EQ(IPlatformBitmap::createFromPath((dir / "truncated.png").c_str()), nullptr);
    EXPECT_EQ(IPlatformBitmap::createFromMemory(png.data(), 20), nullptr);
    EXPECT_EQ(IPlatformBitmap::createFromMemory(nullptr, 0), nullptr);
}

TEST_F(BitmapFiles, AFrameOfTheStripIsDrawnFromItsSourceOffset)
{
    auto* bitmap = new CBitmap(CResourceDescription("strip.png"));
    auto c = COffscreenContext::create(10, 10);
    c->clear(kWhiteCColor);
    bitmap->draw(c.get(), CRect(3, 3, 7, 5), CPoint(0, 4)); // the blue frame
    EXPECT_EQ(c->getPixel(3, 3), CColor(0, 0, 255));
    EXPECT_EQ(c->getPixel(6, 4), CColor(0, 0, 255));
    EXPECT_EQ(c->getPixel(3, 5), kWhiteCColor); // nothing below the destination
    EXPECT_EQ(c->getPixel(7, 3), kWhiteCColor);
    bitmap->draw(c.get(), CRect(0, 0, 2, 2), CPoint(0, 2), 0.5f);
    EXPECT_NEAR(c->getPixel(0, 0).red, 128, 2);
    EXPECT_NEAR(c->getPixel(0, 0).green, 255, 1);
    bitmap->forget();
}

TEST(BitmapPixels, AccessWithAndWithoutPremultipliedAlphaAgreesAndWritesBack)
{
    auto* bitmap = new CBitmap(3, 2);
    ASSERT_TRUE(bitmap->isLoaded());
    CBitmapPixelAccess* straight = CBitmapPixelAccess::create(bitmap, false);
    EXPECT_EQ(straight->getPlatformBitmapPixelAccess()->getPixelFormat(), IPlatformBitmapPixelAccess::kBGRA);
    // Walk every pixel in row order.
    int visited = 0;
    do
    {
        straight->setColor(CColor(200, 100, 50, 128));
        ++visited;
    } while (++*straight);
    EXPECT_EQ(visited, 6);
    EXPECT_EQ(straight->getX(), 2u);
    EXPECT_EQ(straight->getY(), 1u);
    EXPECT_FALSE(straight->setPosition(3, 0));
    straight->forget(); // premultiplies back

    CBitmapPixelAccess* premultiplied = CBitmapPixelAccess::create(bitmap, true);
    CColor c;
    premultiplied->setPosition(2, 1);
    premultiplied->getColor(c);
    EXPECT_NEAR(c.red, 100, 1);
    EXPECT_NEAR(c.green, 50, 1);
    EXPECT_NEAR(c.blue, 25, 1);
    EXPECT_EQ(c.alpha, 128);
    premultiplied->forget();

    auto canvas = COffscreenContext::create(3, 2);
    bitmap->draw(canvas.get(), CRect(0, 0, 3, 2));
    const CColor drawn = canvas->getPixel(1, 0);
    EXPECT_NEAR(drawn.red, 200, 2);
    EXPECT_NEAR(drawn.green, 100, 2);
    EXPECT_EQ(drawn.alpha, 128);
    bitmap->forget();
}

TEST(BitmapPixels, AnAbsurdSizeIsCapped)
{
    CPoint size(1e7, 3);
    IPlatformBitmap* bitmap = IPlatformBitmap::create(&size);
    ASSERT_NE(bitmap, nullptr);
    EXPECT_EQ(bitmap->getSize(), CPoint(IPlatformBitmap::kMaxSize, 3));
    bitmap->forget();
    auto* negative = new CBitmap(-5, 10);
    EXPECT_EQ(negative->getWidth(), 0);
    negative->forget();
}

} // namespace
