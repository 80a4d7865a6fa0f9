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

TEST(StalledAudioThread, StateCallsNeverRunBesideABlockHowEverLongItIsHeld)
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

    // Decay (handle 102) set while the block is held, then the state read
    // from a thread of its own.
    IPtr<HostMemoryStream> in = owned(new HostMemoryStream(
        ChunkOf("<?xml version=\"1.0\" ?>\n<Parameters>\n <Param id=\"102\" index=\"2\" val=\"6.5\" />\n</Parameters>\n")));
    EXPECT_EQ(instance->component()->setState(in), kResultOk);
    std::atomic<bool> done{false};
    bool heldWhenDone = true;
    IPtr<HostMemoryStream> out = owned(new HostMemoryStream());
    std::thread host([&] {
        instance->component()->getState(out);
        heldWhenDone = audioHeld();
        done = true;
    });
    // Twice as long as the plug-in's own waits: the read must still wait.
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (!done && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_FALSE(done) << "the state was read beside the held block";
    holdAudio(false);
    host.join();
    audio.join();
    EXPECT_FALSE(heldWhenDone);
    EXPECT_TRUE(rendered);
    // The read comes after the write: it returns what was set.
    const std::string saved(out->bytes().begin(), out->bytes().end());
    EXPECT_NE(saved.find("<Param id=\"102\" index=\"2\" val=\"6.5\" />"), std::string::npos) << saved;
}
