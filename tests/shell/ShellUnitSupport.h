#pragma once
// Helpers for the tests that drive the shell's classes in-process: bundles
// laid out in a scratch folder, a host context, a connection peer that keeps
// what it is sent, and an automator that counts its updates.

#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "ShellTestSupport.h"
#include "core/QueMessage.h"
#include "core/StagingMemoryBuffer.h"
#include "pluginterfaces/vst/ivstmessage.h"
#include "shell/BundleInfo.h"
#include "editor/GuiModuleWrapperVstGui.h"
#include "editor/GuiPatchAutomator2.h"
#include "editor/KvGuiInvisibleBase.h"
#include "shell/MyVstPluginFactory.h"
#include "tools/kvhost/HostContext.h"
#include "tools/kvhost/HostMemoryStream.h"

namespace shell_unit
{
using Files = std::map<std::string, std::string>;

// A bundle folder "<name>.vst3" with these resource files; no module in it.
inline BundleInfo MakeBundle(const shell_test::ScratchFolder& scratch, const std::string& name, const Files& files)
{
    const auto bundle = scratch.path() / (name + ".vst3");
    for (const auto& [file, text] : files)
        shell_test::WriteText(bundle / "Contents" / "Resources" / file, text);
    std::filesystem::create_directories(bundle / "Contents" / "x86_64-linux");
    return BundleInfo::FromModulePath((bundle / "Contents" / "x86_64-linux" / (name + ".so")).string());
}

inline std::string FactoryXml(const std::string& pluginAttributes,
                              const std::string& vendor = "<Vendor Name=\"V\" Url=\"u\" Email=\"e@x\"/>")
{
    return "<Factory>" + vendor + "<Plugins><Plugin " + pluginAttributes + "/></Plugins></Factory>";
}

inline const char* kProcessorId = "{11111111-2222-3333-4444-555555555555}";
inline const char* kControllerId = "{AAAAAAAA-BBBB-CCCC-DDDD-EEEEEEEEEEEE}";

// The chunk the processor and controller read: count, then the text.
inline std::vector<char> Chunk(const std::string& text, int count)
{
    std::string bytes(4, '\0');
    std::memcpy(bytes.data(), &count, 4);
    bytes += text;
    return std::vector<char>(bytes.begin(), bytes.end());
}
inline std::vector<char> Chunk(const std::string& text)
{
    return Chunk(text, static_cast<int>(text.size()));
}

// A message record as the engine writes it.
inline std::string Record(int handle, int32_t id, const std::string& payload)
{
    std::string bytes(12, '\0');
    const int32_t length = static_cast<int32_t>(payload.size());
    std::memcpy(bytes.data(), &handle, 4);
    std::memcpy(bytes.data() + 4, &id, 4);
    std::memcpy(bytes.data() + 8, &length, 4);
    return bytes + payload;
}

template <typename T>
std::string Bytes(const T& value)
{
    return std::string(reinterpret_cast<const char*>(&value), sizeof(T));
}

// SDK interfaces are COM-style: objects die through release(), never through
// a base pointer, so their bases have no virtual destructor.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
// The other end of a connection: keeps the "MyData" bytes of each message.
class RecordingPeer : public Steinberg::Vst::IConnectionPoint
{
public:
    virtual ~RecordingPeer() = default;
    Steinberg::tresult PLUGIN_API connect(IConnectionPoint*) SMTG_OVERRIDE { return Steinberg::kResultOk; }
    Steinberg::tresult PLUGIN_API disconnect(IConnectionPoint*) SMTG_OVERRIDE { return Steinberg::kResultOk; }
    Steinberg::tresult PLUGIN_API notify(Steinberg::Vst::IMessage* message) SMTG_OVERRIDE
    {
        // Hosts call the controller on threads of their own, and it passes on their values there.
        std::lock_guard<std::mutex> lock(mutex);
        const void* data = nullptr;
        Steinberg::uint32 size = 0;
        // Where the processor's store is: nothing this peer takes.
        if (std::string(message->getMessageID()) == "KvPatchStore")
            return Steinberg::kResultOk;
        ids.emplace_back(message->getMessageID());
        if (message->getAttributes()->getBinary("MyData", data, size) != Steinberg::kResultOk)
            return Steinberg::kResultOk;
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

    std::mutex mutex;
    std::vector<std::string> ids;
    std::vector<std::string> messages;
};
#pragma GCC diagnostic pop

// A message "BinaryMessage" carrying bytes, made by the host.
inline Steinberg::IPtr<Steinberg::Vst::IMessage> BinaryMessage(KvHostApplication& host, const std::string& bytes,
                                                               const char* id = "BinaryMessage",
                                                               const char* attribute = "MyData")
{
    Steinberg::Vst::IMessage* message = nullptr;
    Steinberg::TUID iid;
    std::memcpy(iid, Steinberg::Vst::IMessage::iid, sizeof(iid));
    host.createInstance(iid, iid, reinterpret_cast<void**>(&message));
    Steinberg::IPtr<Steinberg::Vst::IMessage> owned = Steinberg::owned(message);
    if (owned)
    {
        owned->setMessageID(id);
        // The SDK's host attribute never frees an empty binary value.
        if (!bytes.empty())
            owned->getAttributes()->setBinary(attribute, bytes.data(), static_cast<Steinberg::uint32>(bytes.size()));
    }
    return owned;
}

// Counts the updates it is told of, by parameter handle.
class CountingAutomator : public GuiPatchAutomator2
{
public:
    void OnParameterUpdate(int handle) override
    {
        ++updates[handle];
        GuiPatchAutomator2::OnParameterUpdate(handle);
    }
    std::map<int, int> updates;
};

// Records the thread on which each update reaches it.
class ThreadRecordingAutomator : public GuiPatchAutomator2
{
public:
    void OnParameterUpdate(int handle) override
    {
        {
            std::lock_guard<std::mutex> lock(mutex);
            threads.insert(std::this_thread::get_id());
            ++updates[handle];
        }
        GuiPatchAutomator2::OnParameterUpdate(handle);
    }
    std::mutex mutex;
    std::set<std::thread::id> threads;
    std::map<int, int> updates;
};

// A GUI module without a view that records the pin values and the messages
// from its DSP part that reach it, and the threads they reach it on.
class RecordingGuiModule : public KvGuiInvisibleBase
{
public:
    int32_t setPin(int32_t pin, int32_t voice, int32_t size, const void* data) override
    {
        std::lock_guard<std::mutex> lock(mutex);
        threads.insert(std::this_thread::get_id());
        pins.emplace_back(pin, std::string(static_cast<const char*>(data), static_cast<std::size_t>(size)));
        return 0;
    }
    int32_t receiveMessageFromAudio(int32_t id, int32_t size, const void* data) override
    {
        std::lock_guard<std::mutex> lock(mutex);
        threads.insert(std::this_thread::get_id());
        messages.emplace_back(id, std::string(static_cast<const char*>(data), static_cast<std::size_t>(size)));
        return 0;
    }
    std::mutex mutex;
    std::set<std::thread::id> threads;
    std::vector<std::pair<int, std::string>> pins;
    std::vector<std::pair<int, std::string>> messages;
};

// A wrapper of a new recording module (the wrapper holds the only reference).
inline std::unique_ptr<GuiModuleWrapper> RecordingWrapper(KVVSTGUIEditor* editor, int handle,
                                                          RecordingGuiModule*& module)
{
    module = new RecordingGuiModule();
    auto wrapper = std::make_unique<GuiModuleWrapperVstGui>(editor, nullptr, handle, nullptr,
                                                            static_cast<gmpi::IMpUserInterface2*>(module));
    module->setHost(static_cast<gmpi::IMpUserInterfaceHost2*>(wrapper.get()));
    module->release();
    return wrapper;
}
} // namespace shell_unit
