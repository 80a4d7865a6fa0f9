// The host's audio thread held in the middle of a block (a loaded machine, a
// debugger, a host's own stall) for longer than the plug-in waits for it,
// while another thread restores and saves the processor's state. The block
// holds in the SDK gain of the instrument's module bundle while the test asks.
#include <dlfcn.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>

#include "shell/DemoSynthSession.h"
#include "tools/kvhost/HostMemoryStream.h"
#include "tests/ThreadWait.h"

using namespace demo_synth_test;

namespace
{
// The processor's state chunk: the text's byte count, then the text.
std::vector<char> ChunkOf(const std::string& text)
{
    const auto size = static_cast<int32_t>(text.size());
    std::string bytes(reinterpret_cast<const char*>(&size), sizeof(size));
    bytes += text;
    return std::vector<char>(bytes.begin(), bytes.end());
}
} // namespace

TEST(StalledAudioThread, AStateSetWaitsForAHeldBlockToEndAndAStateReadDoesNot)
{
    InstanceSetup setup;
    setup.maxBlockSize = kBlock;
    std::string error;
    auto module = PluginModule::Load(KV_SDK_SYNTH_BUNDLE, error);
    ASSERT_TRUE(module) << error;
    auto instance = PluginInstance::Create(module, setup, error);
    ASSERT_TRUE(instance) << error;
    void* modules = dlopen(KV_SDK_SYNTH_BUNDLE "/Contents/PlugIns/KvTestModules.kvm", RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(modules, nullptr) << "the instrument did not load its module bundle";
    auto holdAudio = reinterpret_cast<void (*)(bool)>(dlsym(modules, "KvTestHoldAudio"));
    auto audioHeld = reinterpret_cast<bool (*)()>(dlsym(modules, "KvTestAudioHeld"));
    ASSERT_TRUE(holdAudio && audioHeld);

    holdAudio(true);
    bool rendered = false;
    std::thread audio([&] {
        Score score;
        score.On(0, 60).Off(kRate / 2, 60);
        RenderSettings settings;
        settings.seconds = 1.0;
        RenderResult result;
        std::string renderError;
        rendered = Renderer(*instance).render(score.performance, settings, nullptr, result, renderError);
    });
    ASSERT_TRUE(kv_test::WaitUntil(audioHeld));

    // Decay (handle 102) set from a thread of its own while the block is
    // held: no block plays part of a state, so the write waits for the block
    // to end, however long it is held. A read meanwhile does not wait, and
    // has the state before.
    IPtr<HostMemoryStream> in = owned(new HostMemoryStream(
        ChunkOf("<?xml version=\"1.0\" ?>\n<Parameters>\n <Param id=\"102\" index=\"2\" val=\"6.5\" />\n</Parameters>\n")));
    std::atomic<bool> set{false};
    bool heldWhenSet = true;
    std::thread host([&] {
        EXPECT_EQ(instance->component()->setState(in), kResultOk);
        heldWhenSet = audioHeld();
        set = true;
    });
    IPtr<HostMemoryStream> before = owned(new HostMemoryStream());
    EXPECT_EQ(instance->component()->getState(before), kResultOk);
    const std::string read(before->bytes().begin(), before->bytes().end());
    EXPECT_EQ(read.find("val=\"6.5\""), std::string::npos) << read;
    EXPECT_FALSE(kv_test::WaitUntil([&] { return set.load(); }, std::chrono::milliseconds(500)))
        << "the state was set beside the held block";
    holdAudio(false);
    host.join();
    audio.join();
    EXPECT_FALSE(heldWhenSet);
    EXPECT_TRUE(rendered);
    IPtr<HostMemoryStream> out = owned(new HostMemoryStream());
    EXPECT_EQ(instance->component()->getState(out), kResultOk);
    const std::string saved(out->bytes().begin(), out->bytes().end());
    EXPECT_NE(saved.find("<Param id=\"102\" index=\"2\" val=\"6.5\" />"), std::string::npos) << saved;
}
