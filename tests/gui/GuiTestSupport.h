#pragma once
// The editor's tests: the test bundle (tests/gui/bundles/KvGuiTest) laid out
// in a scratch folder, with any of its files replaced, and a controller on it
// that an editor is opened from, offscreen.

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "tests/TempFolder.h"
#include "TestGuiModules.h"
#include "core/conversion.h"
#include "editor/GuiModuleWrapper.h"
#include "editor/toolkit/COffscreenContext.h"
#include "editor/toolkit/CFrame.h"
#include "pluginterfaces/vst/ivstmessage.h"
#include "shell/ADelayController.h"
#include "shell/BundleInfo.h"
#include "editor/KVVSTGUIEditor.h"
#include "shell/MyVstPluginFactory.h"
#include "tools/kvhost/HostContext.h"

namespace gui_test
{
namespace fs = std::filesystem;
using Files = std::map<std::string, std::string>;

inline std::string ReadFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class Scratch : public kv_test::TempFolder
{
public:
    Scratch() : TempFolder("gui") {}
};

// The test bundle's source files, by name.
inline Files TestBundleFiles()
{
    Files files;
    for (const auto& entry : fs::directory_iterator(fs::path(KV_TEST_DATA_DIR) / "gui" / "bundles" / "KvGuiTest"))
        files[entry.path().filename().string()] = ReadFile(entry.path());
    return files;
}

// Keeps what the controller sends the processor.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
class Peer : public Steinberg::Vst::IConnectionPoint
{
public:
    virtual ~Peer() = default;
    Steinberg::tresult PLUGIN_API connect(IConnectionPoint*) SMTG_OVERRIDE { return Steinberg::kResultOk; }
    Steinberg::tresult PLUGIN_API disconnect(IConnectionPoint*) SMTG_OVERRIDE { return Steinberg::kResultOk; }
    Steinberg::tresult PLUGIN_API notify(Steinberg::Vst::IMessage* message) SMTG_OVERRIDE
    {
        const void* data = nullptr;
        Steinberg::uint32 size = 0;
        if (message->getAttributes()->getBinary("MyData", data, size) == Steinberg::kResultOk)
            messages.emplace_back(static_cast<const char*>(data), size);
        return Steinberg::kResultOk;
    }
    Steinberg::tresult PLUGIN_API queryInterface(const Steinberg::TUID queried, void** obj) SMTG_OVERRIDE
    {
        if (Steinberg::FUnknownPrivate::iidEqual(queried, IConnectionPoint::iid))
        {
            *obj = this;
            return Steinberg::kResultOk;
        }
        *obj = nullptr;
        return Steinberg::kNoInterface;
    }
    Steinberg::uint32 PLUGIN_API addRef() SMTG_OVERRIDE { return 1; }
    Steinberg::uint32 PLUGIN_API release() SMTG_OVERRIDE { return 1; }
    std::vector<std::string> messages;
};
#pragma GCC diagnostic pop

// The host application, counting the objects (messages) it makes.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
class CountingHost : public KvHostApplication
{
public:
    Steinberg::tresult PLUGIN_API createInstance(Steinberg::TUID cid, Steinberg::TUID interfaceId, void** obj) override
    {
        ++made;
        return KvHostApplication::createInstance(cid, interfaceId, obj);
    }
    int made = 0;
};
#pragma GCC diagnostic pop

// A controller on the test bundle, with the files given in place of the bundle's own.
struct GuiFixture
{
    explicit GuiFixture(const Files& replaced = {}, const std::vector<std::string>& removed = {})
        : factory(MakeBundle(replaced, removed)), controller(Steinberg::owned(new ADelayController(&factory)))
    {
        controller->initialize(&host);
        controller->setComponentHandler(&handler);
        controller->connect(&peer);
    }
    ~GuiFixture()
    {
        controller->disconnect(&peer);
        controller->terminate();
    }
    GuiFixture(const GuiFixture&) = delete;
    GuiFixture& operator=(const GuiFixture&) = delete;

    BundleInfo MakeBundle(const Files& replaced, const std::vector<std::string>& removed)
    {
        Files files = TestBundleFiles();
        for (const auto& [name, text] : replaced)
            files[name] = text;
        for (const auto& name : removed)
            files.erase(name);
        const fs::path bundle = scratch.path() / "KvGuiTest.vst3";
        fs::create_directories(bundle / "Contents" / "Resources");
        fs::create_directories(bundle / "Contents" / "x86_64-linux");
        for (const auto& [name, bytes] : files)
            std::ofstream(bundle / "Contents" / "Resources" / name, std::ios::binary) << bytes;
        return BundleInfo::FromModulePath((bundle / "Contents" / "x86_64-linux" / "KvGuiTest.so").string());
    }

    // A new editor view (the caller's reference).
    Steinberg::IPtr<KVVSTGUIEditor> NewEditor()
    {
        return Steinberg::owned(static_cast<KVVSTGUIEditor*>(controller->createView("editor")));
    }

    Scratch scratch;
    MyVstPluginFactory factory;
    CountingHost host;
    HostComponentHandler handler;
    Peer peer;
    Steinberg::IPtr<ADelayController> controller;
};

// The whole frame drawn offscreen.
inline std::unique_ptr<VSTGUI::COffscreenContext> Draw(KVVSTGUIEditor& editor)
{
    VSTGUI::CFrame* frame = editor.getFrame();
    auto context = VSTGUI::COffscreenContext::create(frame->getWidth(), frame->getHeight());
    frame->platformDrawRect(context.get(), frame->getViewSize());
    return context;
}

// The module of a handle as the test type, or null.
template <class T>
T* ModuleOf(KVVSTGUIEditor& editor, int handle)
{
    GuiModuleWrapper* wrapper = editor.HandleToObject(handle);
    return wrapper ? dynamic_cast<T*>(wrapper->Plugin()) : nullptr;
}

} // namespace gui_test
