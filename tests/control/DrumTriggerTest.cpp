// "Drum Trigger": percussion notes as delayed, stretched triggers with
// velocities and a hi-hat decay picked by the hi-hat key.
#include <gtest/gtest.h>

#include <initializer_list>
#include <map>
#include <vector>

#include "core/CModuleFactory.h"
#include "core/Module_Info.h"
#include "engine/TestGraph.h"
#include "modules/control/ug_drum_trigger.h"

using kvtest::Recorder;
using kvtest::TestSource;
using Drum = ug_drum_trigger;

namespace
{
constexpr int kKick = 0, kSnare = 1, kHiHat = 2, kUser1 = 11;

struct DrumRig
{
    DrumRig() : graph(96, 44100.0f)
    {
        module = static_cast<Drum*>(CModuleFactory::Instance()->GetById(L"Drum Trigger")->BuildSynthOb());
        module->Setup(&graph.master, nullptr);
        module->sortOrder_ = 5;
        graph.modules.emplace_back(module);
        const float decays[3] = {0.5f, 0.35f, 0.25f};
        for (int i = 0; i < 3; ++i)
        {
            auto* source = graph.Add<TestSource>(10);
            ug_base::connect(source->plugs_[TestSource::PN_AUDIO], module->plugs_[Drum::PN_OPEN_HH_DECAY + i]);
            sources.push_back(source);
        }
        for (int pin : {Drum::TriggerPinOf(kKick), Drum::VelocityPinOf(kKick), Drum::TriggerPinOf(kSnare),
                        Drum::TriggerPinOf(kHiHat), int(Drum::PN_HIHAT_DECAY), Drum::TriggerPinOf(kUser1)})
        {
            recorders[pin] = graph.Add<Recorder>(1);
            ug_base::connect(module->plugs_[static_cast<size_t>(pin)], recorders[pin]->plugs_[Recorder::PN_AUDIO]);
        }
        // The graph-build step that gives each connected drum its voice.
        module->PPPropogateVoiceNums();
        graph.OpenAll();
        for (int i = 0; i < 3; ++i)
            sources[static_cast<size_t>(i)]->HoldConstant(decays[i]);
    }
    void Midi(std::initializer_list<unsigned char> bytes)
    {
        const std::vector<unsigned char> b(bytes);
        module->SetPinValue(graph.master.SampleClock(), Drum::PN_MIDI_IN, DT_MIDI2, b.data(), static_cast<int>(b.size()));
    }
    void SetEnum(int pin, int value)
    {
        const int32_t v = value;
        module->SetPinValue(graph.master.SampleClock(), pin, DT_ENUM, &v, 4);
    }
    const std::vector<float>& Out(int pin) { return recorders.at(pin)->audio; }
    const std::vector<float>& Trig(int drum) { return Out(Drum::TriggerPinOf(drum)); }
    int64_t Now() { return graph.master.SampleClock(); }

    kvtest::TestGraph graph;
    Drum* module = nullptr;
    std::vector<TestSource*> sources;
    std::map<int, Recorder*> recorders;
};

// The first sample time from `from` on where the output equals `level`.
int64_t FirstAt(const std::vector<float>& out, int64_t from, float level)
{
    for (auto t = static_cast<size_t>(from); t < out.size(); ++t)
    {
        if (out[t] == level)
            return static_cast<int64_t>(t);
    }
    return -1;
}
} // namespace

TEST(DrumTrigger, KickKeysRiseThreeSamplesLateWithAVelocityRampOverFourSamples)
{
    for (unsigned char key : {35, 36})
    {
        DrumRig rig;
        rig.graph.Run(100);
        const int64_t on = rig.Now();
        rig.Midi({0x99, key, 127});
        rig.graph.Run(200);
        EXPECT_EQ(FirstAt(rig.Trig(kKick), on, 1.0f), on + Drum::kTriggerDelay);
        const auto& vel = rig.Out(Drum::VelocityPinOf(kKick));
        for (int k = 0; k < 4; ++k)
            EXPECT_NEAR(vel[static_cast<size_t>(on + k)], (k + 1) / 4.0f, 1e-5f);
        EXPECT_FLOAT_EQ(rig.Trig(kSnare).back(), 0.0f);
    }
}

TEST(DrumTrigger, EachHiHatKeyPlaysTheHiHatAndPicksItsDecayInput)
{
    DrumRig rig;
    rig.graph.Run(100);
    const std::pair<unsigned char, float> cases[] = {{46, 0.5f}, {44, 0.35f}, {42, 0.25f}};
    for (const auto& [key, decay] : cases)
    {
        const int64_t on = rig.Now();
        rig.Midi({0x90, key, 100});
        rig.graph.Run(300);
        EXPECT_FLOAT_EQ(rig.Out(Drum::PN_HIHAT_DECAY).back(), decay) << int(key);
        EXPECT_EQ(FirstAt(rig.Trig(kHiHat), on, 1.0f), on + Drum::kTriggerDelay) << int(key);
        rig.Midi({0x80, key, 0});
        rig.graph.Run(2000);
    }
}

TEST(DrumTrigger, UserNotesComeFirstAndHighKeysOtherwiseAreIgnored)
{
    DrumRig rig;
    rig.SetEnum(Drum::PN_USER1_NOTE, 38);
    rig.graph.Run(100);
    EXPECT_EQ(rig.module->TranslateNote(38), 0);
    EXPECT_EQ(rig.module->TranslateNote(60), -1);
    EXPECT_EQ(rig.module->TranslateNote(64), 1);
    rig.Midi({0x90, 38, 90});
    rig.Midi({0x90, 60, 90});
    rig.graph.Run(200);
    EXPECT_FLOAT_EQ(rig.Trig(kUser1).back(), 1.0f);
    EXPECT_FLOAT_EQ(rig.Trig(kSnare).back(), 0.0f);
}

TEST(DrumTrigger, AShortNoteKeepsTheTriggerHighForTwentyMilliseconds)
{
    DrumRig rig;
    rig.graph.Run(100);
    const int64_t on = rig.Now();
    const int minimum = 44100 * 20 / 1000;
    ASSERT_EQ(rig.module->MinimumTriggerLength(), minimum);
    rig.Midi({0x90, 35, 64});
    rig.graph.Run(44);
    rig.Midi({0x90, 35, 0});
    rig.graph.Run(2000);
    const int64_t fall = FirstAt(rig.Trig(kKick), on + Drum::kTriggerDelay, 0.0f);
    EXPECT_EQ(fall, on + minimum);
    EXPECT_NEAR(rig.Out(Drum::VelocityPinOf(kKick)).back(), 64.0f / 127.0f, 1e-6f);
}

TEST(DrumTrigger, ANoteWhileHighDropsTheTriggerAtOnceAndRaisesItAgain)
{
    DrumRig rig;
    rig.graph.Run(100);
    rig.Midi({0x90, 38, 100});
    rig.graph.Run(50);
    const int64_t again = rig.Now();
    rig.Midi({0x90, 38, 100});
    rig.graph.Run(100);
    const auto& trig = rig.Trig(kSnare);
    EXPECT_FLOAT_EQ(trig[static_cast<size_t>(again - 1)], 1.0f);
    for (int k = 0; k < Drum::kTriggerDelay; ++k)
        EXPECT_FLOAT_EQ(trig[static_cast<size_t>(again + k)], 0.0f);
    EXPECT_FLOAT_EQ(trig[static_cast<size_t>(again + Drum::kTriggerDelay)], 1.0f);
}

TEST(DrumTrigger, OnlyConnectedDrumsAreMappedAndOtherChannelsAreIgnored)
{
    DrumRig rig;
    EXPECT_EQ(rig.module->DrumOfNote(35), kKick);
    EXPECT_EQ(rig.module->DrumOfNote(56), -1); // cow bell feeds nothing
    rig.SetEnum(Drum::PN_CHANNEL, 9);
    rig.graph.Run(100);
    rig.Midi({0x90, 35, 100});
    rig.graph.Run(200);
    EXPECT_FLOAT_EQ(rig.Trig(kKick).back(), 0.0f);
    rig.Midi({0x99, 35, 100});
    rig.graph.Run(200);
    EXPECT_FLOAT_EQ(rig.Trig(kKick).back(), 1.0f);
}

TEST(DrumTrigger, ASilentDrumTriggerGoesToSleep)
{
    DrumRig rig;
    rig.graph.Run(400);
    EXPECT_TRUE(rig.module->GetProcessFunction() == &ug_base::process_sleep);
    rig.Midi({0x90, 35, 100});
    rig.graph.Run(4000);
    EXPECT_FLOAT_EQ(rig.Trig(kKick).back(), 1.0f);
    EXPECT_TRUE(rig.module->GetProcessFunction() == &ug_base::process_sleep);
}
