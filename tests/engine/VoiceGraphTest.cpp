// Polyphony in a built graph: which modules run per voice, the voice mutes
// and the adder where voices meet a module that runs once, the per-voice
// clones and their numbers, and voices retired by their monitors.
#include <gtest/gtest.h>

#include <algorithm>

#include "engine/VoiceGraphRig.h"
#include "engine/graph/ug_adder2.h"
#include "engine/voices/ug_voice_mute.h"
#include "modules/control/ug_voice_monitor.h"

using kvtest::All;
using kvtest::GraphRig;
using kvtest::kPerVoiceOutput;
using kvtest::Mixer;
using kvtest::PolyRig;
using kvtest::Shaper;
using kvtest::VoiceSource;

TEST(VoiceGraph, ModulesUpstreamOfANonLinearInputRunPerVoiceAndLinearOnesOnce)
{
    PolyRig r(3);
    EXPECT_TRUE(r.shaper->flags_ & ug_base::UGF_POLYPHONIC);
    EXPECT_FALSE(r.mixer->flags_ & ug_base::UGF_POLYPHONIC);
    EXPECT_EQ(r.g.top->getPhysicalVoiceCount(), 3);
    EXPECT_EQ(All<VoiceSource>(r.g).size(), 3u);
    EXPECT_EQ(All<Shaper>(r.g).size(), 3u);
    EXPECT_EQ(All<Mixer>(r.g).size(), 1u);
    EXPECT_EQ(All<ug_voice_mute>(r.g).size(), 3u);
    EXPECT_EQ(All<ug_voice_monitor>(r.g).size(), 3u);
    for (Shaper* s : All<Shaper>(r.g))
    {
        EXPECT_EQ(s->flags_ & (ug_base::UGF_SUSPENDED | ug_base::UGF_OPEN), 0u);
        if (s != r.shaper)
        {
            EXPECT_EQ(s->CloneOf(), r.shaper);
        }
    }
}

TEST(VoiceGraph, EveryVoiceReachesTheOnceRunningModuleThroughItsMuteAndOneSharedAdder)
{
    PolyRig r(3);
    UPlug* mixerIn = r.mixer->plugs_[0];
    ASSERT_EQ(mixerIn->connections_.size(), 1u);
    auto* adder = dynamic_cast<ug_adder2*>(mixerIn->connections_[0]->owner_);
    ASSERT_NE(adder, nullptr);
    EXPECT_TRUE(adder->flags_ & ug_base::UGF_POLYPHONIC_AGGREGATOR);
    int fedInputs = 0;
    for (UPlug* pin : adder->plugs_)
    {
        if (pin->direction_ != DR_IN || pin->connections_.empty())
            continue;
        ++fedInputs;
        EXPECT_NE(dynamic_cast<ug_voice_mute*>(pin->connections_[0]->owner_), nullptr);
    }
    EXPECT_EQ(fedInputs, 3);
    // Voices run before the adder, the adder before the module it feeds.
    EXPECT_GT(r.shaper->sortOrder_, adder->sortOrder_);
    EXPECT_GT(adder->sortOrder_, r.mixer->sortOrder_);
}

TEST(VoiceGraph, OpeningNumbersEachVoicesModulesWithItsVoice)
{
    PolyRig r(3);
    r.Open();
    std::vector<int> numbers;
    for (Shaper* s : All<Shaper>(r.g))
        numbers.push_back(s->voiceNumber_);
    std::sort(numbers.begin(), numbers.end());
    EXPECT_EQ(numbers, (std::vector<int>{0, 1, 2}));
    for (int v = 0; v < 3; ++v)
    {
        for (ug_base* m : r.g.top->VoiceAt(v)->modules_)
        {
            if (m->flags_ & ug_base::UGF_POLYPHONIC)
            {
                EXPECT_EQ(m->voiceNumber_, v);
            }
        }
    }
}

TEST(VoiceGraph, NotesSoundThroughTheirVoicesAndReleasedVoicesAreRetiredWhenSilent)
{
    PolyRig r(3);
    r.Open();
    r.RunBlocks(6);
    // Idle voices fall silent and are put to sleep.
    for (int v = 0; v < 3; ++v)
        EXPECT_EQ(r.g.top->VoiceAt(v)->state_, VS_OFF);
    EXPECT_FLOAT_EQ(r.mixer->last, 0.0f);

    r.g.top->VoiceAllocationNoteOn(r.Now(), 60, -1);
    r.g.top->VoiceAllocationNoteOn(r.Now(), 64, -1);
    r.RunBlocks(4);
    EXPECT_FLOAT_EQ(r.mixer->last, 2.0f);

    Voice* released = r.g.top->GetVoiceOfKey(60);
    r.g.top->VoiceAllocationNoteOff(r.Now(), 60);
    r.RunBlocks(6);
    EXPECT_FLOAT_EQ(r.mixer->last, 1.0f);
    EXPECT_EQ(released->state_, VS_OFF);
    EXPECT_EQ(r.g.top->GetVoiceOfKey(64)->state_, VS_ACTIVE);
}

TEST(VoiceGraph, AStolenVoiceFadesOutAndTheWaitingNotePlaysOnceItIsRetired)
{
    PolyRig r(2);
    r.Open();
    r.RunBlocks(6);
    r.g.top->VoiceAllocationNoteOn(r.Now(), 60, -1);
    r.RunBlocks(1);
    r.g.top->VoiceAllocationNoteOn(r.Now(), 62, -1);
    r.RunBlocks(4);
    EXPECT_FLOAT_EQ(r.mixer->last, 2.0f);

    Voice* victim = r.g.top->GetVoiceOfKey(60);
    r.g.top->VoiceAllocationNoteOn(r.Now(), 67, -1);
    EXPECT_TRUE(r.g.top->HeldBack(67));
    EXPECT_EQ(victim->state_, VS_MUTED);
    r.RunBlocks(12);
    EXPECT_FALSE(r.g.top->HeldBack(67));
    EXPECT_EQ(victim->key_, 67);
    EXPECT_TRUE(victim->IsHeld());
    EXPECT_FLOAT_EQ(r.mixer->last, 2.0f);
}
