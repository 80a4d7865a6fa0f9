// The demo instrument driven by a host that spreads its calls over threads:
// processing switched on and off on the audio thread while the state is
// saved and restored on the user-interface thread, and a processor state
// read on a thread of the host's own.

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "DemoSynthRig.h"
#include "ShellUnitSupport.h"
#include "shell/ADelayController.h"
#include "tools/kvhost/HostMemoryStream.h"

using namespace demo_synth_rig;
using namespace shell_test;
using namespace shell_unit;
using namespace Steinberg;
using namespace Steinberg::Vst;

namespace
{
// The attack (handle 101, host id 1) as a processor state.
std::vector<char> AttackState(int attack)
{
    return Chunk("<?xml version=\"1.0\" ?>\n<Parameters>\n <Param id=\"101\" index=\"1\" val=\"" +
                 std::to_string(attack) + "\" />\n</Parameters>\n");
}

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
// A component handler that notes the thread of every restart.
class ThreadRecordingHandler : public HostComponentHandler
{
public:
    tresult PLUGIN_API restartComponent(int32 flags) override
    {
        std::lock_guard<std::mutex> lock(mutex);
        restarts.emplace_back(std::this_thread::get_id(), flags);
        return kResultOk;
    }
    std::vector<std::pair<std::thread::id, int32>> Restarts()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return restarts;
    }
    std::mutex mutex;
    std::vector<std::pair<std::thread::id, int32>> restarts;
};
#pragma GCC diagnostic pop
} // namespace

TEST(HostThreads, ProcessingSwitchedOnTheAudioThreadLeavesEverySavedStateWhole)
{
    DemoSynthRig rig(128, "threads");
    ADelayProcessor* processor = rig.processor.get();
    // The audio thread switches processing on and off around a few blocks,
    // as hosts may, while the user-interface thread sets and saves states.
    std::atomic<bool> stop{false};
    std::thread audio([&] {
        while (!stop.load())
        {
            processor->setProcessing(true);
            for (int block = 0; block < 4; ++block)
                processor->process(rig.data);
            processor->setProcessing(false);
        }
    });
    for (int i = 0; i < 40; ++i)
    {
        HostMemoryStream in(AttackState(i % 9));
        ASSERT_EQ(processor->setState(&in), kResultOk);
        HostMemoryStream out;
        ASSERT_EQ(processor->getState(&out), kResultOk);
        const std::string saved(out.bytes().begin() + 4, out.bytes().end());
        EXPECT_NE(saved.find("</Parameters>"), std::string::npos) << saved;
        EXPECT_NE(saved.find("val=\"" + std::to_string(i % 9) + "\""), std::string::npos) << i << saved;
    }
    stop = true;
    audio.join();
}

TEST(HostThreads, ARestartAskedForOffTheUserInterfaceThreadReachesTheHostOnIt)
{
    DemoSynthRig rig(128, "restart");
    ThreadRecordingHandler handler;
    IPtr<ADelayController> controller = owned(new ADelayController(&rig.factory));
    ASSERT_EQ(controller->initialize(&rig.host), kResultOk);
    controller->setComponentHandler(&handler);
    const std::thread::id ui = std::this_thread::get_id();

    // A state read on the UI thread tells the host at once.
    HostMemoryStream first(AttackState(2));
    ASSERT_EQ(controller->setComponentState(&first), kResultOk);
    ASSERT_EQ(handler.Restarts().size(), 1u);

    // Read on a thread of the host's own: the host hears nothing there ...
    std::thread([&] {
        HostMemoryStream second(AttackState(7));
        EXPECT_EQ(controller->setComponentState(&second), kResultOk);
    }).join();
    EXPECT_EQ(handler.Restarts().size(), 1u);
    EXPECT_DOUBLE_EQ(controller->getParamNormalized(1), 0.7);

    // ... but once, on the UI thread, when the controller next serves it
    // (the editor's timer, a view being made, a state read there).
    IPtr<IPlugView> view = owned(controller->createView("editor"));
    ASSERT_TRUE(view);
    IPtr<IPlugView> again = owned(controller->createView("editor"));
    const auto restarts = handler.Restarts();
    ASSERT_EQ(restarts.size(), 2u);
    for (const auto& [thread, flags] : restarts)
    {
        EXPECT_EQ(thread, ui);
        EXPECT_EQ(flags, kParamValuesChanged);
    }
    view = nullptr;
    again = nullptr;
    controller->terminate();
}
