#include <gtest/gtest.h>

#include <memory>

#include "core/CModuleFactory.h"
#include "engine/VoiceGraphRig.h"
#include "engine/voices/ug_voice_mute.h"
#include "modules/signal/ug_voice_combiner.h"

using kvtest::All;
using kvtest::GraphRig;
using kvtest::Recorder;
using kvtest::Shaper;
using kvtest::VoiceSource;

namespace
{
ug_voice_combiner* BuildCombiner()
{
    Module_Info* info = CModuleFactory::Instance()->GetById(L"Voice Combiner");
    return info ? static_cast<ug_voice_combiner*>(info->BuildSynthOb()) : nullptr;
}
} // namespace

TEST(VoiceCombiner, ItIsRegisteredAsASummingModuleWherePolyphonyStops)
{
    Module_Info* info = CModuleFactory::Instance()->GetById(L"Voice Combiner");
    ASSERT_NE(info, nullptr);
    std::unique_ptr<ug_base> combiner(info->BuildSynthOb());
    ASSERT_NE(dynamic_cast<ug_voice_combiner*>(combiner.get()), nullptr);
    EXPECT_EQ(combiner->flags_ & 0x840u, 0x840u);
    ASSERT_EQ(info->GetPinDescriptions().size(), 2u);
    EXPECT_EQ(info->getPinDescriptionById(0)->GetName(), L"Out");
    EXPECT_EQ(info->getPinDescriptionById(1)->GetName(), L"In");
}

TEST(VoiceCombiner, EightVoicesJoinItsInputsDirectlyAndAreSummedIntoOneSignal)
{
    GraphRig g;
    g.top->setVoiceCount(8);
    g.top->setVoiceReserveCount(0);
    auto* source = g.Add<VoiceSource>();
    auto* shaper = g.Add<Shaper>();
    ug_voice_combiner* combiner = BuildCombiner();
    ASSERT_NE(combiner, nullptr);
    g.top->AddUG(combiner);
    combiner->Setup(&g.master, nullptr);
    auto* recorder = g.Add<Recorder>();
    source->plugs_[0]->plugFlags_ |= kvtest::kPerVoiceOutput;
    ug_base::connect(source->plugs_[0], shaper->plugs_[0]);
    ug_base::connect(shaper->plugs_[1], combiner->plugs_[ug_adder2::PN_IN]);
    ug_base::connect(combiner->plugs_[ug_adder2::PN_OUT], recorder->plugs_[Recorder::PN_AUDIO]);
    g.BuildAndOpen();

    EXPECT_EQ(All<ug_voice_combiner>(g).size(), 1u);
    EXPECT_EQ(All<Shaper>(g).size(), 8u);
    int fed = 0;
    for (UPlug* pin : combiner->plugs_)
    {
        if (pin->direction_ != DR_IN || pin->connections_.empty())
            continue;
        ++fed;
        EXPECT_NE(dynamic_cast<ug_voice_mute*>(pin->connections_[0]->owner_), nullptr);
    }
    EXPECT_EQ(fed, 8);

    const int block = g.master.BlockSize();
    g.Run(6 * block);
    for (int key = 60; key < 68; ++key)
        g.top->VoiceAllocationNoteOn(g.master.NextGlobalStartClock(), key, -1);
    g.Run(4 * block);
    EXPECT_FLOAT_EQ(recorder->audio.back(), 8.0f);

    for (int key = 60; key < 68; ++key)
        g.top->VoiceAllocationNoteOff(g.master.NextGlobalStartClock(), key);
    g.Run(20 * block);
    EXPECT_FLOAT_EQ(recorder->audio.back(), 0.0f);
    EXPECT_FALSE(combiner->IsListed());
}
