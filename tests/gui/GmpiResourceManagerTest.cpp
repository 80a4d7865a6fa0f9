// Skin resources found by name and type under the editor's skin, then under
// the skin "default".

#include <gtest/gtest.h>

#include "GuiTestSupport.h"
#include "editor/GmpiResourceManager.h"

using namespace gui_test;

// Interfaces die through release(), never through a base pointer.
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"

namespace
{
class ReturnString : public gmpi::IMpReturnString
{
public:
    int32_t queryInterface(const gmpi::MpGuid& iid, void** out) override
    {
        *out = iid == gmpi::MP_IID_RETURNSTRING ? this : nullptr;
        return *out ? 0 : -2;
    }
    int32_t addRef() override { return 1; }
    int32_t release() override { return 1; }
    int32_t setData(const char* data, int32_t size) override
    {
        text.assign(data, static_cast<std::size_t>(size));
        return 0;
    }
    std::string text = "untouched";
};

class NoString : public gmpi::IMpUnknown
{
public:
    int32_t queryInterface(const gmpi::MpGuid&, void** out) override
    {
        *out = nullptr;
        return -2;
    }
    int32_t addRef() override { return 1; }
    int32_t release() override { return 1; }
};
} // namespace

TEST(GmpiResourceManager, FindsAResourceUnderTheSkinThenDefaultTryingTheTypesExtensions)
{
    Scratch folder;
    for (const char* name : {"default__knob.png", "default__knob.bmp", "dark__panel.jpg", "default__meta.txt",
                             "default__meta.png", "dark__plain.txt"})
        std::ofstream(folder.path() / name) << "x";
    const std::wstring resources = Utf8ToWstring(folder.path().string() + "/");
    const std::string root = folder.path().string() + "/";
    // A name with a colon is a full path: the skin takes no part.
    fs::create_directories(folder.path() / "a:b");
    std::ofstream(folder.path() / "a:b" / "plain.txt") << "x";
    const std::string fullPath = root + "a:b/plain.png";

    struct Case
    {
        const char* skin;
        const char* name;
        const char* type;
        int result;
        std::string found;
    };
    const Case cases[] = {
        {"dark", "knob", "Image", 0, root + "default__knob.png"},     // not in dark: default's
        {"dark", "knob.bmp", "Image", 0, root + "default__knob.png"}, // extension dropped, .png first
        {"dark", "panel", "Image", 0, root + "dark__panel.jpg"},
        {"dark", "meta", "ImageMeta", 0, root + "default__meta.txt"},
        {"dark", "panel", "ImageMeta", -1, ""},
        {"dark", "knob", "Font", -1, ""},                              // unknown type: the name alone
        {"dark", fullPath.c_str(), "ImageMeta", 0, root + "a:b/plain.txt"},
    };
    for (const auto& c : cases)
    {
        ReturnString result;
        EXPECT_EQ(GmpiResourceManager::Instance()->RegisterResourceUri(1, resources, Utf8ToWstring(c.skin), c.name,
                                                                       c.type, &result),
                  c.result)
            << c.name << "/" << c.type;
        EXPECT_EQ(result.text, c.found) << c.name << "/" << c.type;
    }
    NoString none;
    EXPECT_EQ(GmpiResourceManager::Instance()->RegisterResourceUri(1, resources, L"dark", "knob", "Image", &none), -2);

    GmpiResourceManager::Instance()->RegisterResourceUri(5, "knob", "/x/knob.png");
    GmpiResourceManager::Instance()->RegisterResourceUri(5, "panel", "/x/panel.png");
    EXPECT_EQ(GmpiResourceManager::Instance()->CountResourceUris(5), 2u);
    GmpiResourceManager::Instance()->ClearResourceUris(5);
    EXPECT_EQ(GmpiResourceManager::Instance()->CountResourceUris(5), 0u);
}
