// A drum kit from a patch document: each drum of a "Drum Trigger" plays in a
// voice of its own, whose modules wake for the drum's notes and sleep once
// the drum has died away, while the other drums' voices sleep on.
#include <gtest/gtest.h>

#include <algorithm>

#include "engine/graph/ug_container.h"
#include "tests/e2e/DemoSynthRig.h"

using kvtest::DemoSynthRig;

namespace
{
const std::string kKit = std::string(KV_TEST_DATA_DIR) + "/patches/drum_kit.dsp.kv.xml";
constexpr int kKickVoice = 1;
constexpr int kSnareVoice = 2;

struct KitRig : DemoSynthRig
{
    KitRig() : DemoSynthRig(48000, kKit) {}
    ug_container* Kit() { return dynamic_cast<ug_container*>(Master().HandleToObject(2)); }
    ug_base* Module(int handle) { return dynamic_cast<ug_base*>(Master().HandleToObject(handle)); }
    int VoiceState(int voice) { return Kit()->VoiceAt(voice)->state_; }
    float PeakRight(int64_t from, int64_t to) const
    {
        float peak = 0.0f;
        for (int64_t i = from; i < to; ++i)
            peak = std::max(peak, std::fabs(outRight[static_cast<size_t>(i)]));
        return peak;
    }
};
} // namespace

TEST(DrumKit, EachConnectedDrumGetsAVoiceHoldingTheModulesItsOutputsFeed)
{
    KitRig rig;
    ASSERT_TRUE(rig.built);
    ug_container* kit = rig.Kit();
    ASSERT_NE(kit, nullptr);
    // Voice 0 keeps the shared modules; the two connected drums have one each.
    ASSERT_EQ(kit->getPhysicalVoiceCount(), 3);
    auto in = [&](int voice, int handle) {
        const auto& list = kit->VoiceAt(voice)->modules_;
        return std::find(list.begin(), list.end(), rig.Module(handle)) != list.end();
    };
    for (int handle : {5, 7})
        EXPECT_TRUE(in(kKickVoice, handle)) << handle;
    for (int handle : {8, 10})
        EXPECT_TRUE(in(kSnareVoice, handle)) << handle;
    // The oscillators feed the voices but are not fed by a drum; the trigger
    // and the container's border are shared.
    for (int handle : {3, 4, 6, 9})
        EXPECT_TRUE(in(0, handle)) << handle;
}

TEST(DrumKit, ADrumsNoteWakesOnlyItsOwnVoiceAndSoundsThreeSamplesLate)
{
    KitRig rig;
    ASSERT_TRUE(rig.built);
    rig.NoteOn(300, 36);
    rig.NoteOff(1500, 36);
    rig.NoteOn(20000, 42); // the hi-hat feeds nothing
    rig.NoteOn(30000, 35);
    rig.NoteOff(30500, 35);
    rig.RunTo(29000, {100, 37});

    // Key 36 plays the kick on the left from its third sample; the snare is silent.
    EXPECT_EQ(rig.Peak(0, 303), 0.0f);
    EXPECT_NE(rig.out[303], 0.0f);
    EXPECT_NEAR(kvtest::MeasureFrequency(rig.out, 400, 1500, rig.sampleRate), 110.0, 0.5);
    EXPECT_EQ(rig.PeakRight(0, 29000), 0.0f);
    // Both drum voices asleep once the kick has died away; the hi-hat woke none.
    EXPECT_EQ(rig.Peak(18000, 29000), 0.0f);
    EXPECT_EQ(rig.VoiceState(kKickVoice), VS_OFF);
    EXPECT_EQ(rig.VoiceState(kSnareVoice), VS_OFF);

    // Key 35 wakes the kick's voice alone, and it sounds again on time.
    rig.RunTo(31000, {100, 37});
    EXPECT_EQ(rig.VoiceState(kKickVoice), VS_ACTIVE);
    EXPECT_EQ(rig.VoiceState(kSnareVoice), VS_OFF);
    EXPECT_EQ(rig.Peak(29000, 30003), 0.0f);
    EXPECT_NE(rig.out[30003], 0.0f);
}

TEST(DrumKit, TwoDrumsStruckTogetherEachSoundInTheirOwnVoice)
{
    KitRig rig;
    ASSERT_TRUE(rig.built);
    rig.NoteOn(1000, 40);
    rig.NoteOn(1000, 36);
    rig.NoteOff(2000, 40);
    rig.NoteOff(2000, 36);
    rig.RunTo(24000, {512});

    EXPECT_EQ(rig.Peak(0, 1003), 0.0f);
    EXPECT_EQ(rig.PeakRight(0, 1003), 0.0f);
    EXPECT_NE(rig.out[1003], 0.0f);
    EXPECT_NE(rig.outRight[1003], 0.0f);
    EXPECT_NEAR(kvtest::MeasureFrequency(rig.out, 1100, 2100, rig.sampleRate), 110.0, 0.5);
    EXPECT_NEAR(kvtest::MeasureFrequency(rig.outRight, 1100, 2100, rig.sampleRate), 880.0, 0.5);
    EXPECT_EQ(rig.VoiceState(kKickVoice), VS_OFF);
    EXPECT_EQ(rig.VoiceState(kSnareVoice), VS_OFF);
}
