// The patch store between the threads: one thread runs host blocks while
// another gets and sets the state, as a host does when it saves or loads a
// project during playback; and a state set between blocks plays from the next.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "engine/PatchRig.h"

using kvtest::PatchRig;

namespace
{
std::string StateWithLevel(const std::string& level)
{
    return "<?xml version=\"1.0\" ?>\n<Parameters>\n <Param id=\"100\" index=\"0\" val=\"" + level +
           "\" />\n</Parameters>\n";
}
} // namespace

TEST(PatchStore, StatesSetAndGotWhileBlocksRunArriveWholeAndInOrder)
{
    PatchRig rig;
    ASSERT_TRUE(rig.built);
    std::atomic<bool> stop{false};
    std::atomic<long> blocks{0};
    std::thread audio([&] {
        std::vector<float> scratch(512);
        while (!stop.load())
        {
            rig.Block(441, scratch.data());
            rig.runtime.ServiceDspRingBuffers();
            blocks.fetch_add(1);
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    });

    for (int round = 1; round <= 40; ++round)
    {
        const std::string level = std::to_string(round % 10) + ".5";
        ASSERT_TRUE(rig.runtime.SetPresetState(StateWithLevel(level)));
        std::string state;
        rig.runtime.GetPresetState(state);
        // The read comes after the write: it returns what was just set.
        ASSERT_NE(state.find("<Param id=\"100\" index=\"0\" val=\"" + level + "\" />"), std::string::npos)
            << "round " << round << ": " << state;
        ASSERT_NE(state.find("</Parameters>"), std::string::npos);
    }
    // The last state plays from the next block on.
    const long after = blocks.load();
    while (blocks.load() < after + 2)
        std::this_thread::yield();
    stop = true;
    audio.join();
    EXPECT_FLOAT_EQ(rig.typed<dsp_patch_parameter_float>(100)->GetValue(0), 0.5f);
    EXPECT_FLOAT_EQ(rig.recorder()->floatIn_, 0.5f);
}

TEST(PatchStore, AStateSetWhileNoBlockRunsIsReadBackAndPlaysFromTheNextBlock)
{
    PatchRig rig;
    ASSERT_TRUE(rig.built);
    std::vector<float> scratch(512);
    rig.Block(512, scratch.data());
    ASSERT_TRUE(rig.runtime.SetPresetState(StateWithLevel("6.25")));
    std::string state;
    rig.runtime.GetPresetState(state);
    EXPECT_NE(state.find("val=\"6.25\""), std::string::npos);
    rig.Block(512, scratch.data());
    EXPECT_FLOAT_EQ(rig.recorder()->floatIn_, 6.25f);
    // A text that is no state changes nothing.
    EXPECT_FALSE(rig.runtime.SetPresetState("<Parameters><Param id=\"100\" val=\"9\""));
    std::string again;
    rig.runtime.GetPresetState(again);
    EXPECT_EQ(again, state);
}
