#pragma once
// The graphics-API module tests: the test bundle (tests/gmpi_gui/bundles/
// KvGmpiTest) laid out in a scratch folder, a controller on it, and its
// editor opened offscreen, or on a stand-in window whose menus and text
// boxes the test answers.

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "tests/TempFolder.h"
#include "editor/ToolkitTestSupport.h"
#include "editor/GuiModuleWrapper.h"
#include "editor/VG_module4.h"
#include "editor/toolkit/CFrame.h"
#include "editor/toolkit/COffscreenContext.h"
#include "modules/GmpiTestModules.h"
#include "shell/ADelayController.h"
#include "shell/BundleInfo.h"
#include "editor/KVVSTGUIEditor.h"
#include "shell/MyVstPluginFactory.h"
#include "tools/kvhost/HostContext.h"

namespace gmpi_gui_test
{
namespace fs = std::filesystem;
using Files = std::map<std::string, std::string>;

inline std::string ReadFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The test bundle's editor, offscreen. `replaced` gives files in place of the bundle's own.
struct EditorFixture
{
    explicit EditorFixture(const Files& replaced = {})
        : scratch("gmpi"), factory(MakeBundle(replaced)),
          controller(Steinberg::owned(new ADelayController(&factory)))
    {
        controller->initialize(&host);
        controller->setComponentHandler(&handler);
        editor = Steinberg::owned(static_cast<KVVSTGUIEditor*>(controller->createView("editor")));
        if (editor)
            editor->open(nullptr, VSTGUI::PlatformType::kX11EmbedWindowID);
    }
    ~EditorFixture()
    {
        if (editor)
            editor->close();
        editor = nullptr;
        controller->terminate();
    }
    EditorFixture(const EditorFixture&) = delete;
    EditorFixture& operator=(const EditorFixture&) = delete;

    BundleInfo MakeBundle(const Files& replaced)
    {
        Files files;
        for (const auto& entry : fs::directory_iterator(fs::path(KV_TEST_DATA_DIR) / "gmpi_gui" / "bundles" / "KvGmpiTest"))
            files[entry.path().filename().string()] = ReadFile(entry.path());
        for (const auto& [name, text] : replaced)
            files[name] = text;
        const fs::path bundle = scratch.path() / "KvGmpiTest.vst3";
        fs::create_directories(bundle / "Contents" / "Resources");
        fs::create_directories(bundle / "Contents" / "x86_64-linux");
        for (const auto& [name, bytes] : files)
            std::ofstream(bundle / "Contents" / "Resources" / name, std::ios::binary) << bytes;
        return BundleInfo::FromModulePath((bundle / "Contents" / "x86_64-linux" / "KvGmpiTest.so").string());
    }

    // A stand-in window (kept by the frame) whose pop-ups the test answers.
    kvtest::FakePlatformFrame& OpenFakeWindow()
    {
        auto window = std::make_unique<kvtest::FakePlatformFrame>();
        kvtest::FakePlatformFrame& result = *window;
        editor->getFrame()->open(std::move(window));
        return result;
    }

    VG_module4* Host(int handle) const { return dynamic_cast<VG_module4*>(editor->HandleToObject(handle)); }
    template <class T>
    T* Module(int handle) const
    {
        GuiModuleWrapper* wrapper = editor->HandleToObject(handle);
        return wrapper ? dynamic_cast<T*>(wrapper->Plugin()) : nullptr;
    }

    // The whole frame drawn into a new image.
    std::unique_ptr<VSTGUI::COffscreenContext> Draw() const { return kvtest::render(*editor->getFrame()); }

    kv_test::TempFolder scratch;
    MyVstPluginFactory factory;
    KvHostApplication host;
    HostComponentHandler handler;
    Steinberg::IPtr<ADelayController> controller;
    Steinberg::IPtr<KVVSTGUIEditor> editor;
};

// Handles of the test bundle's modules, and their places in the frame.
constexpr int kDraw = 1;
constexpr int kPointer = 2;
constexpr int kBitmap = 3;
constexpr double kDrawLeft = 10, kDrawTop = 10;
constexpr double kPointerLeft = 130, kPointerTop = 10, kTitle = 20;
constexpr double kBitmapLeft = 10, kBitmapTop = 100;

// Text handed back by the host.
class ReturnString final : public gmpi::IMpReturnString
{
public:
    int32_t queryInterface(const gmpi::MpGuid& iid, void** returnInterface) override
    {
        *returnInterface = nullptr;
        if (iid != gmpi::MP_IID_RETURNSTRING && iid != gmpi::MP_IID_UNKNOWN)
            return gmpi::MP_NOSUPPORT;
        *returnInterface = this;
        return gmpi::MP_OK;
    }
    int32_t addRef() override { return 1; }
    int32_t release() override { return 1; }
    int32_t setData(const char* data, int32_t size) override
    {
        text.assign(data, static_cast<std::size_t>(size));
        return gmpi::MP_OK;
    }
    std::string text;
};

// A face queried from an object, with the query's reference.
template <class T>
T* Query(gmpi::IMpUnknown* object, const gmpi::MpGuid& iid)
{
    void* face = nullptr;
    if (object == nullptr || object->queryInterface(iid, &face) != gmpi::MP_OK)
        return nullptr;
    return static_cast<T*>(face);
}

} // namespace gmpi_gui_test
