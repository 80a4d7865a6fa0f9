// The preset state handed between the threads: one thread runs host blocks
// while another gets and sets the state, as a host does when it saves or
// loads a project during playback.
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

TEST(PresetHandOver, StatesSetAndGotWhileBlocksRunArriveWholeAndInOrder)
{
    PatchRig rig;
    ASSERT_TRUE(rig.built);
    std::atomic<bool> stop{false};
    std::atomic<long> blocks{0};
    std::thread audio([&] {
        std::vector<float> scratch(512);
        float* channel = scratch.data();
        while (!stop.load())
        {
            rig.master()->DoProcess(441, &channel, &channel, 0, 0);
            rig.runtime.ServiceDspRingBuffers();
            blocks.fetch_add(1);
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    });

    for (int round = 1; round <= 40; ++round)
    {
        const std::string level = std::to_string(round % 10) + ".5";
        rig.master()->setPresetState_UI_THREAD(StateWithLevel(level), true);
        std::string state;
        rig.master()->getPresetState_UI_THREAD(state, true);
        // The read comes after the write: it returns what was just set.
        ASSERT_NE(state.find("<Param id=\"100\" index=\"0\" val=\"" + level + "\" />"), std::string::npos)
            << "round " << round << ": " << state;
        ASSERT_NE(state.find("</Parameters>"), std::string::npos);
    }
    stop = true;
    audio.join();
    EXPECT_GT(blocks.load(), 0);
    EXPECT_FLOAT_EQ(rig.typed<dsp_patch_parameter_float>(100)->GetValue(0), 0.5f);
}

TEST(PresetHandOver, AStateSetJustBeforeTheHostStopsIsNotLost)
{
    PatchRig rig;
    ASSERT_TRUE(rig.built);
    rig.Run(512);
    // Handed over for the next block, which never comes.
    rig.master()->setPresetState_UI_THREAD(StateWithLevel("6.25"), true);
    std::string state;
    rig.master()->getPresetState_UI_THREAD(state, false);
    EXPECT_NE(state.find("val=\"6.25\""), std::string::npos);
    rig.Run(512);
    EXPECT_FLOAT_EQ(rig.recorder()->floatIn_, 6.25f);
}

TEST(PresetHandOver, ADirectWriteIsNotUndoneByAnOlderStateInTransit)
{
    PatchRig rig;
    ASSERT_TRUE(rig.built);
    rig.master()->setPresetState_UI_THREAD(StateWithLevel("1.5"), true);
    rig.master()->setPresetState_UI_THREAD(StateWithLevel("3.5"), false);
    rig.Run(512);
    EXPECT_FLOAT_EQ(rig.typed<dsp_patch_parameter_float>(100)->GetValue(0), 3.5f);
}
