// Voices in a built graph beyond the basic road: "Voice/Active" per voice,
// propagation limits, voice numbers, the hold pedal, program changes, unmuted
// note sources and monitors where a voice's audio ends.
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

namespace
{
// Runs once per voice and logs the "Voice/Active" values it is sent.
class ActiveProbe : public ug_base
{
public:
    ActiveProbe() { flags_ |= UGF_POLYPHONIC; }
    ug_base* Create() override { return new ActiveProbe(); }
    void ListInterface2(std::vector<InterfaceObject*>& pins) override
    {
        pins.push_back(new InterfaceObject(&active_, L"Active", DR_IN, DT_FLOAT, L"", L"", 0));
    }
    void onSetPin(int64_t /*time*/, UPlug* /*pin*/, state_type /*state*/) override { values.push_back(active_); }
    float active_ = 0.0f;
    std::vector<float> values;
};

// Holds the output that the voice list drives for "Voice/Active".
class ActiveSource : public ug_base
{
public:
    ug_base* Create() override { return new ActiveSource(); }
    void ListInterface2(std::vector<InterfaceObject*>& pins) override
    {
        pins.push_back(new InterfaceObject(&value_, L"Active", DR_OUT, DT_FLOAT, L"", L"", 0));
    }
    float value_ = 0.0f;
};

// Reached by polyphony from construction, as a voice splitter is.
class Splitter : public Shaper
{
public:
    Splitter() { flags_ |= UGF_PP_REACHED; }
    ug_base* Create() override { return new Splitter(); }
};
} // namespace
TEST(VoiceGraph, VoiceActiveValuesReachOnlyTheModulesOfTheirVoice)
{
    GraphRig g;
    g.top->setVoiceCount(2);
    g.top->setVoiceReserveCount(0);
    auto* source = g.Add<VoiceSource>();
    auto* hostOut = g.Add<ActiveSource>();
    auto* probe0 = g.Add<ActiveProbe>();
    source->plugs_[0]->plugFlags_ |= kPerVoiceOutput;
    ug_base::connect(hostOut->plugs_[0], probe0->plugs_[0]);
    g.top->ConnectVoiceHostControl(12, hostOut->plugs_[0]);
    g.BuildAndOpen();
    auto probes = All<ActiveProbe>(g);
    ASSERT_EQ(probes.size(), 2u);

    g.top->VoiceAllocationNoteOn(0, 60, -1);
    g.top->VoiceAllocationNoteOn(10, 62, -1);
    Voice* victim = g.top->GetVoiceOfKey(60);
    g.top->VoiceAllocationNoteOn(20, 64, -1);
    g.Run(96);
    ActiveProbe* victimProbe = probes[0]->voiceNumber_ == victim->voiceId_ ? probes[0] : probes[1];
    ActiveProbe* otherProbe = victimProbe == probes[0] ? probes[1] : probes[0];
    ASSERT_FALSE(victimProbe->values.empty());
    EXPECT_FLOAT_EQ(victimProbe->values.back(), -1.0f);
    for (float v : otherProbe->values)
        EXPECT_NE(v, -1.0f);
}

TEST(VoiceGraph, PolyphonyDoesNotPassThroughAModuleReachedFromConstruction)
{
    GraphRig g;
    g.top->setVoiceCount(2);
    auto* source = g.Add<VoiceSource>();
    auto* splitter = g.Add<Splitter>();
    auto* after = g.Add<Shaper>();
    auto* mixer = g.Add<Mixer>();
    source->plugs_[0]->plugFlags_ |= kPerVoiceOutput;
    ug_base::connect(source->plugs_[0], splitter->plugs_[0]);
    ug_base::connect(splitter->plugs_[1], after->plugs_[0]);
    ug_base::connect(after->plugs_[1], mixer->plugs_[0]);
    g.top->PostBuildStuff(true);
    EXPECT_FALSE(after->flags_ & ug_base::UGF_POLYPHONIC);
    EXPECT_FALSE(after->flags_ & ug_base::UGF_PP_REACHED);
    // The module after it runs once; the splitter itself runs per voice.
    int copiesOfAfter = 0;
    for (Shaper* s : All<Shaper>(g))
        copiesOfAfter += s->CloneOf() == after ? 1 : 0;
    EXPECT_EQ(copiesOfAfter, 1);
    EXPECT_TRUE(splitter->flags_ & ug_base::UGF_POLYPHONIC);
}

TEST(VoiceGraph, AVoiceNumberSpreadsDownstreamAndUpstreamAndTwoVoicesMeetingGiveZero)
{
    GraphRig g;
    auto* a = g.Add<Shaper>();
    auto* b = g.Add<Shaper>();
    auto* c = g.Add<Shaper>();
    auto* d = g.Add<Shaper>();
    ug_base::connect(a->plugs_[1], b->plugs_[0]);
    ug_base::connect(b->plugs_[1], c->plugs_[0]);
    ug_base::connect(d->plugs_[1], c->plugs_[0]);

    a->PPPropogateVoiceNum(2);
    EXPECT_EQ(a->voiceNumber_, 2);
    EXPECT_EQ(b->voiceNumber_, 2);
    EXPECT_EQ(c->voiceNumber_, 2);
    EXPECT_EQ(d->voiceNumber_, -1);

    d->PPPropogateVoiceNum(3);
    EXPECT_EQ(d->voiceNumber_, 3);
    EXPECT_EQ(c->voiceNumber_, 0);

    auto* e = g.Add<Shaper>();
    auto* f = g.Add<Shaper>();
    ug_base::connect(e->plugs_[1], f->plugs_[0]);
    f->PPPropogateVoiceNumUp(4);
    EXPECT_EQ(f->voiceNumber_, 4);
    EXPECT_EQ(e->voiceNumber_, 4);
}

TEST(VoiceGraph, TheHoldPedalKeepsAReleasedVoiceUntilItIsLifted)
{
    PolyRig r(2);
    r.Open();
    r.RunBlocks(6);
    r.g.top->VoiceAllocationNoteOn(r.Now(), 60, -1);
    r.RunBlocks(2);
    Voice* voice = r.g.top->GetVoiceOfKey(60);
    r.g.top->setHold(r.Now(), true);
    r.g.top->VoiceAllocationNoteOff(r.Now(), 60);
    r.RunBlocks(8);
    EXPECT_EQ(voice->state_, VS_ACTIVE);
    r.g.top->setHold(r.Now(), false);
    r.RunBlocks(8);
    EXPECT_EQ(voice->state_, VS_OFF);
}

TEST(VoiceGraph, AProgramChangeReachesTheModulesOfEveryOpenVoiceOnce)
{
    PolyRig r(3);
    r.g.top->SendProgChange(4);
    for (Shaper* s : All<Shaper>(r.g))
        EXPECT_TRUE(s->programs.empty());
    r.Open();
    r.g.top->SendProgChange(5);
    for (Shaper* s : All<Shaper>(r.g))
        EXPECT_EQ(s->programs, std::vector<int>{5});
}

TEST(VoiceGraph, ANoteSourceAskingForUnmutedVoicesGetsMutesThatStayOpen)
{
    PolyRig plain(2);
    plain.Open();
    plain.RunBlocks(1);
    for (ug_voice_mute* m : All<ug_voice_mute>(plain.g))
        EXPECT_FALSE(*static_cast<bool*>(m->GetPlug(ug_voice_mute::PN_ALWAYS_ON)->variable_));

    PolyRig third(2, ug_base::UGF_THIRD_SOURCE);
    third.Open();
    third.RunBlocks(1);
    const auto mutes = All<ug_voice_mute>(third.g);
    ASSERT_EQ(mutes.size(), 2u);
    for (ug_voice_mute* m : mutes)
        EXPECT_TRUE(*static_cast<bool*>(m->GetPlug(ug_voice_mute::PN_ALWAYS_ON)->variable_));
}

TEST(VoiceGraph, AVoiceWhoseAudioEndsInsideItIsWatchedWhereItEnds)
{
    GraphRig g;
    g.top->setVoiceCount(2);
    g.top->setVoiceReserveCount(0);
    auto* source = g.Add<VoiceSource>();
    auto* shaper = g.Add<Shaper>();
    source->plugs_[0]->plugFlags_ |= kPerVoiceOutput;
    ug_base::connect(source->plugs_[0], shaper->plugs_[0]);
    g.top->PostBuildStuff(true);
    EXPECT_TRUE(All<ug_voice_mute>(g).empty());
    const auto monitors = All<ug_voice_monitor>(g);
    ASSERT_EQ(monitors.size(), 2u);
    for (ug_voice_monitor* m : monitors)
    {
        UPlug* in = m->GetPlug(1);
        ASSERT_EQ(in->connections_.size(), 1u);
        EXPECT_NE(dynamic_cast<VoiceSource*>(in->connections_[0]->owner_), nullptr);
    }
}
