// Bitmaps of graphics-API modules: loaded from a bundle resource, a file or
// a stream, drawn by the module, and refused (with -1, reading nothing
// unsafe) when the stream or file cannot give an image.

#include "GmpiGuiTestSupport.h"
#include <cstring>

#include "core/ProtectedFile.h"
#include "editor/toolkit/IPlatformBitmap.h"

using namespace gmpi_gui_test;
using gmpi_test::TestBitmapModule;
using VSTGUI::CColor;

namespace
{
bool Near(const CColor& a, int red, int green, int blue)
{
    return std::abs(a.red - red) <= 2 && std::abs(a.green - green) <= 2 && std::abs(a.blue - blue) <= 2;
}

// A stream of bytes that can be told to fail.
class FakeStream final : public gmpi::IProtectedFile2
{
public:
    int32_t queryInterface(const gmpi::MpGuid& iid, void** returnInterface) override
    {
        *returnInterface = nullptr;
        if (!isFile || (iid != gmpi::MP_IID_PROTECTED_FILE2 && iid != gmpi::MP_IID_UNKNOWN))
            return gmpi::MP_NOSUPPORT;
        *returnInterface = this;
        ++references;
        return gmpi::MP_OK;
    }
    int32_t addRef() override { return ++references; }
    int32_t release() override { return --references; }
    int32_t read(void* buffer, int64_t count, int64_t* bytesRead) override
    {
        ++reads;
        if (failRead)
            return gmpi::MP_FAIL;
        const int64_t n = std::min<int64_t>(count, static_cast<int64_t>(bytes.size()) - shortBy);
        std::memcpy(buffer, bytes.data(), static_cast<std::size_t>(std::max<int64_t>(n, 0)));
        *bytesRead = n;
        return gmpi::MP_OK;
    }
    int32_t seek(int64_t, int32_t, int64_t*) override { return gmpi::MP_FAIL; }
    int32_t getSize(int64_t* size) override
    {
        if (failSize)
            return gmpi::MP_FAIL;
        *size = claimedSize >= 0 ? claimedSize : static_cast<int64_t>(bytes.size());
        return gmpi::MP_OK;
    }

    std::string bytes;
    bool isFile = true;
    bool failSize = false;
    bool failRead = false;
    int64_t claimedSize = -1;
    int64_t shortBy = 0;
    int references = 1;
    int reads = 0;
};

std::string Png()
{
    return ReadFile(fs::path(KV_TEST_DATA_DIR) / "gmpi_gui" / "bundles" / "KvGmpiTest" / "gmpi_test.png");
}
} // namespace

// The module loads the same image as a resource and from a stream and
// draws both: red left half, green right half, 8 x 6 each.
TEST(GmpiBitmap, ModuleLoadsAResourceAndAStreamAndDrawsBoth)
{
    EditorFixture f;
    TestBitmapModule* module = f.Module<TestBitmapModule>(kBitmap);
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(module->resourceResult, gmpi::MP_OK);
    EXPECT_EQ(module->streamResult, gmpi::MP_OK);
    ASSERT_TRUE(module->fromResource && module->fromStream);
    gmpi_gui::Size size;
    module->fromStream->GetSize(size);
    EXPECT_FLOAT_EQ(size.width, 8);
    EXPECT_FLOAT_EQ(size.height, 6);

    const auto image = f.Draw();
    for (const double left : {0.0, 12.0})
    {
        EXPECT_TRUE(Near(image->getPixel(int(kBitmapLeft + left + 1), int(kBitmapTop + 2)), 255, 0, 0));
        EXPECT_TRUE(Near(image->getPixel(int(kBitmapLeft + left + 6), int(kBitmapTop + 2)), 0, 255, 0));
    }

    // Locked pixels read the image: the first pixel is opaque red in the toolkit's 32-bit layout.
    void* locked = nullptr;
    ASSERT_EQ(module->fromResource->lockPixels(&locked, true), gmpi::MP_OK);
    auto* pixels = static_cast<gmpi_gui::IMpBitmapPixels*>(locked);
    const uint32_t first = *reinterpret_cast<const uint32_t*>(pixels->getAddress());
    EXPECT_EQ(pixels->getPixelFormat(), VSTGUI::IPlatformBitmapPixelAccess::kBGRA); // bytes of ARGB words
    EXPECT_EQ(first, 0xFFFF0000u);
    pixels->release();
}

TEST(GmpiBitmap, LoadImageTakesResourcesAndPathsAndReportsWhatItCannotFind)
{
    EditorFixture f;
    VG_module4* host = f.Host(kBitmap);
    ASSERT_NE(host, nullptr);
    const std::string png = (fs::path(KV_TEST_DATA_DIR) / "gmpi_gui" / "bundles" / "KvGmpiTest" / "gmpi_test.png").string();
    const std::string notAnImage = (fs::path(KV_TEST_DATA_DIR) / "gmpi_gui" / "bundles" / "KvGmpiTest" / "gui.kv.xml").string();
    const struct
    {
        std::string uri;
        int32_t result;
    } cases[] = {{"resource://gmpi_test.png", gmpi::MP_OK},
                 {png, gmpi::MP_OK},
                 {"resource://missing.png", gmpi::MP_FAIL},
                 {"resource://../KvGmpiTest/gmpi_test.png", gmpi::MP_FAIL},
                 {"resource://", gmpi::MP_FAIL},
                 {"/no/such/file.png", gmpi::MP_FAIL},
                 {notAnImage, gmpi::MP_FAIL},
                 {"gmpi_test.png", gmpi::MP_FAIL}};
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.uri);
        void* made = reinterpret_cast<void*>(&f); // untouched on failure
        EXPECT_EQ(host->LoadImage(c.uri.c_str(), &made), c.result);
        if (c.result == gmpi::MP_OK)
        {
            ASSERT_NE(made, nullptr);
            static_cast<gmpi_gui::IMpBitmap*>(made)->release();
        }
        else
        {
            EXPECT_EQ(made, reinterpret_cast<void*>(&f));
        }
    }
    void* made = nullptr;
    EXPECT_EQ(host->LoadImage(nullptr, &made), gmpi::MP_FAIL);
}

TEST(GmpiBitmap, StreamsThatCannotGiveAnImageGiveMinusOne)
{
    EditorFixture f;
    VG_module4* host = f.Host(kBitmap);
    ASSERT_NE(host, nullptr);
    const std::string png = Png();
    ASSERT_FALSE(png.empty());
    const struct
    {
        const char* name;
        std::function<void(FakeStream&)> setup;
        int32_t result;
        bool read;
    } cases[] = {
        {"a good stream", [](FakeStream&) {}, gmpi::MP_OK, true},
        {"not a file", [](FakeStream& s) { s.isFile = false; }, gmpi::MP_FAIL, false},
        {"size fails", [](FakeStream& s) { s.failSize = true; }, gmpi::MP_FAIL, false},
        {"empty", [](FakeStream& s) { s.bytes.clear(); }, gmpi::MP_FAIL, false},
        {"negative size", [](FakeStream& s) { s.claimedSize = -5; s.bytes.clear(); }, gmpi::MP_FAIL, false},
        {"past the cap", [](FakeStream& s) { s.claimedSize = VG_module4::kMaxStreamImageBytes + 1; }, gmpi::MP_FAIL, false},
        {"a terabyte", [](FakeStream& s) { s.claimedSize = int64_t(1) << 40; }, gmpi::MP_FAIL, false},
        {"read fails", [](FakeStream& s) { s.failRead = true; }, gmpi::MP_FAIL, true},
        {"short read", [](FakeStream& s) { s.shortBy = 10; }, gmpi::MP_FAIL, true},
        {"not an image", [](FakeStream& s) { s.bytes = "plain text, no picture"; }, gmpi::MP_FAIL, true},
        {"a truncated image", [](FakeStream& s) { s.bytes.resize(40); }, gmpi::MP_FAIL, true},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.name);
        FakeStream stream;
        stream.bytes = png;
        c.setup(stream);
        void* made = nullptr;
        EXPECT_EQ(host->LoadStreamImage(&stream, &made), c.result);
        EXPECT_EQ(made != nullptr, c.result == gmpi::MP_OK);
        EXPECT_EQ(stream.reads > 0, c.read);
        EXPECT_EQ(stream.references, 1); // what the host took it gave back
        if (made)
            static_cast<gmpi_gui::IMpBitmap*>(made)->release();
    }
    void* made = nullptr;
    EXPECT_EQ(host->LoadStreamImage(nullptr, &made), gmpi::MP_FAIL);
}
