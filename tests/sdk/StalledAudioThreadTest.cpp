// The host's audio thread held in the middle of a block (a loaded machine, a
// debugger, a host's own stall) for longer than the plug-in waits for it,
// while another thread saves and restores the processor's state. The block
// holds in the SDK gain of the instrument's module bundle, which waits,
// mid-block, while the test asks it to.
#include <dlfcn.h>

#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <thread>

#include "shell/DemoSynthSession.h"
#include "tools/kvhost/HostMemoryStream.h"

using namespace demo_synth_test;

namespace
{
// The state chunk with the value of the parameter of `handle` replaced.
std::vector<char> WithValue(const std::vector<char>& chunk, int handle, const std::string& value)
{
    std::string text(chunk.begin() + 4, chunk.end());
    const std::size_t param = text.find("id=\"" + std::to_string(handle) + "\"");
    const std::size_t from = text.find("val=\"", param);
    if (param == std::string::npos || from == std::string::npos)
        return {};
    text.replace(from + 5, text.find('"', from + 5) - from - 5, value);
    const auto size = static_cast<int32_t>(text.size());
    std::string bytes(reinterpret_cast<const char*>(&size), 4);
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

    std::vector<char> saved;
    ASSERT_TRUE(instance->saveState(saved, error)) << error;
    const std::vector<char> changed = WithValue(saved, 102, "6.5");
    ASSERT_FALSE(changed.empty());

    holdAudio(true);
    RenderResult rendered;
    bool renderedOk = false;
    std::thread audio([&] {
        Score score;
        score.On(0, 60).Off(kRate / 2, 60);
        RenderSettings settings;
        settings.seconds = 1.0;
        std::string renderError;
        renderedOk = Renderer(*instance).render(score.performance, settings, nullptr, rendered, renderError);
    });
    for (int i = 0; i < 10000 && !audioHeld(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_TRUE(audioHeld());

    // A state set while the block is held, then read from a thread of its own.
    IPtr<HostMemoryStream> in = owned(new HostMemoryStream(changed));
    EXPECT_EQ(instance->component()->setState(in), kResultOk);
    std::mutex mutex;
    std::condition_variable answered;
    bool done = false;
    bool heldWhenDone = false;
    std::vector<char> read;
    std::thread host([&] {
        IPtr<HostMemoryStream> out = owned(new HostMemoryStream());
        instance->component()->getState(out);
        std::lock_guard<std::mutex> lock(mutex);
        read = out->bytes();
        heldWhenDone = audioHeld();
        done = true;
        answered.notify_all();
    });
    {
        // Twice as long as the plug-in's own waits: the read must still be waiting.
        std::unique_lock<std::mutex> lock(mutex);
        answered.wait_for(lock, std::chrono::seconds(2), [&] { return done; });
        EXPECT_FALSE(done) << "the state was read beside the held block";
    }
    holdAudio(false);
    host.join();
    audio.join();
    EXPECT_FALSE(heldWhenDone);
    EXPECT_TRUE(renderedOk);
    // The read comes after the write: it returns what was set.
    const std::string text(read.begin() + std::min<std::size_t>(4, read.size()), read.end());
    EXPECT_NE(text.find("<Param id=\"102\" index=\"2\" val=\"6.5\" />"), std::string::npos) << text;
}
