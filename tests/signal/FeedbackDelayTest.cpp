#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "core/CModuleFactory.h"
#include "core/InterfaceObject.h"
#include "core/Module_Info.h"
#include "engine/graph/CUGLookupList.h"
#include "engine/GraphRig.h"
#include "modules/signal/ug_feedback_delay.h"
#include "modules/signal/ug_feedback_delay_float.h"
#include "modules/signal/ug_feedback_delay_midi.h"
#include "modules/signal/ug_feedback_delay_out.h"

using kvtest::GraphRig;
using kvtest::Recorder;
using kvtest::TestSource;

namespace
{
constexpr int kBlock = 64;

// out = a + 0.5 b: closes a loop through the pair with a halving echo.
class HalfMixer : public ug_base
{
public:
    HalfMixer() { SetProcessFunction(&HalfMixer::process_mix); }
    ug_base* Create() override { return new HalfMixer(); }
    void ListInterface2(std::vector<InterfaceObject*>& pins) override
    {
        pins.push_back(new InterfaceObject(nullptr, L"A", DR_IN, DT_FSAMPLE, L"0", L"", 0, L"", &a_));
        pins.push_back(new InterfaceObject(nullptr, L"B", DR_IN, DT_FSAMPLE, L"0", L"", 0, L"", &b_));
        pins.push_back(new InterfaceObject(nullptr, L"Out", DR_OUT, DT_FSAMPLE, L"", L"", 0, L"", &out_));
    }
    void process_mix(int start, int count)
    {
        for (int i = start; i < start + count; ++i)
            out_[i] = a_[i] + 0.5f * b_[i];
    }
    float* a_ = nullptr;
    float* b_ = nullptr;
    float* out_ = nullptr;
};

// Logs the MIDI messages reaching its input.
class MidiRecorder : public ug_base
{
public:
    ug_base* Create() override { return new MidiRecorder(); }
    void ListInterface2(std::vector<InterfaceObject*>& pins) override
    {
        pins.push_back(new InterfaceObject(nullptr, L"MIDI In", DR_IN, DT_MIDI2, L"", L"", 0));
    }
    void HandleEvent(KorvaneEvent* event) override
    {
        if (event->eventType != UET_EVENT_MIDI)
            return ug_base::HandleEvent(event);
        const auto* bytes = static_cast<const unsigned char*>(event->Data());
        messages.push_back({event->sampleTime, std::vector<unsigned char>(bytes, bytes + event->arg2)});
    }
    struct Message { int64_t time; std::vector<unsigned char> bytes; };
    std::vector<Message> messages;
};

template <class Module>
Module* AddRegistered(GraphRig& g, const wchar_t* id)
{
    auto* module = static_cast<Module*>(CModuleFactory::Instance()->GetById(id)->BuildSynthOb());
    g.top->AddUG(module);
    module->Setup(&g.master, nullptr);
    return module;
}
} // namespace

TEST(FeedbackDelayRegistration, FourTypesAreRegisteredAndTheHelpersAreNot)
{
    CModuleFactory* factory = CModuleFactory::Instance();
    Module_Info* audio = factory->GetById(L"Feedback Delay");
    ASSERT_NE(audio, nullptr);
    ASSERT_EQ(audio->GetPinDescriptions().size(), 3u);
    EXPECT_EQ(audio->getPinDescriptionById(2)->GetName(), L"Delay Time Out");
    EXPECT_NE(factory->GetById(L"Feedback Delay - MIDI"), nullptr);
    Module_Info* integer = factory->GetById(L"KV Feedback Delay - Int");
    ASSERT_NE(integer, nullptr);
    EXPECT_EQ(integer->GetName(), L"Feedback Delay - Int");
    EXPECT_EQ(integer->GetGroupName(), L"Special");
    EXPECT_EQ(factory->GetById(L"KV Feedback Delay - Float")->GetName(), L"Feedback Delay - Float");
}

TEST(FeedbackDelay, SetUpMakesOneHelperThatTakesTheOutputConnections)
{
    GraphRig g(kBlock);
    auto* delay = AddRegistered<ug_feedback_delay>(g, L"Feedback Delay");
    ug_feedback_delay_out* helper = delay->Partner();
    ASSERT_NE(helper, nullptr);
    EXPECT_EQ(helper->Partner(), delay);
    const size_t modules = g.top->Modules().size();
    delay->BuildHelperModule();
    EXPECT_EQ(g.top->Modules().size(), modules);

    EXPECT_EQ(delay->plugs_[ug_feedback_delay::PN_AUDIO_OUT]->proxy_,
              helper->plugs_[ug_feedback_delay_out::PN_AUDIO_OUT]);
}

TEST(FeedbackDelay, AClickGoesRoundTheLoopOnceABlockAndTheDelayTimeIsOneBlock)
{
    GraphRig g(kBlock);
    auto* source = g.Add<TestSource>();
    auto* mixer = g.Add<HalfMixer>();
    auto* delay = AddRegistered<ug_feedback_delay>(g, L"Feedback Delay");
    auto* r = g.Add<Recorder>();
    auto* timeRecorder = g.Add<Recorder>();
    ug_base::connect(source->plugs_[TestSource::PN_AUDIO], mixer->plugs_[0]);
    ug_base::connect(delay->plugs_[ug_feedback_delay::PN_AUDIO_OUT], mixer->plugs_[1]);
    ug_base::connect(mixer->plugs_[2], delay->plugs_[ug_feedback_delay::PN_AUDIO_IN]);
    ug_base::connect(mixer->plugs_[2], r->plugs_[Recorder::PN_AUDIO]);
    ug_base::connect(delay->plugs_[ug_feedback_delay::PN_DELAY_TIME_OUT], timeRecorder->plugs_[Recorder::PN_AUDIO]);
    g.BuildAndOpen();
    source->Stream([](int64_t t) { return t == 10 ? 1.0f : 0.0f; });
    g.Run(kBlock * 6);

    ASSERT_EQ(r->audio.size(), static_cast<size_t>(kBlock * 6));
    for (int t = 0; t < kBlock * 6; ++t)
    {
        const bool echo = t >= 10 && (t - 10) % kBlock == 0;
        const double expected = echo ? std::pow(0.5, (t - 10) / kBlock) : 0.0;
        ASSERT_NEAR(r->audio[static_cast<size_t>(t)], expected, 1e-7) << t;
    }
    ASSERT_GE(timeRecorder->audio.size(), static_cast<size_t>(kBlock));
    for (int t = 0; t < kBlock; ++t)
        ASSERT_NEAR(timeRecorder->audio[static_cast<size_t>(t)], kBlock * 100.0 / 44100.0, 1e-6);
}

TEST(FeedbackDelay, AStaticInputReachesTheHelperOneBlockLaterOnlyWhenItsValueChanges)
{
    GraphRig g(kBlock);
    auto* source = g.Add<TestSource>();
    auto* delay = AddRegistered<ug_feedback_delay>(g, L"Feedback Delay");
    auto* r = g.Add<Recorder>();
    ug_base::connect(source->plugs_[TestSource::PN_AUDIO], delay->plugs_[ug_feedback_delay::PN_AUDIO_IN]);
    ug_base::connect(delay->plugs_[ug_feedback_delay::PN_AUDIO_OUT], r->plugs_[Recorder::PN_AUDIO]);
    g.BuildAndOpen();
    g.Run(kBlock * 2);
    const size_t before = r->changes.size();

    source->HoldConstant(0.3f);
    g.Run(kBlock * 2);
    ASSERT_EQ(r->changes.size(), before + 1);
    EXPECT_EQ(r->changes.back().time, kBlock * 3);
    EXPECT_EQ(r->changes.back().state, ST_STATIC);
    // The input is copied for one block, then the main module sleeps.
    EXPECT_EQ(delay->GetProcessFunction(), static_cast<ug_base::process_func_ptr>(&ug_base::process_sleep));
    EXPECT_FLOAT_EQ(r->audio.back(), 0.3f);

    source->HoldConstant(0.3f);
    g.Run(kBlock * 2);
    EXPECT_EQ(r->changes.size(), before + 1);

    source->HoldConstant(0.6f);
    g.Run(kBlock * 2);
    ASSERT_EQ(r->changes.size(), before + 2);
    EXPECT_EQ(r->changes.back().time, kBlock * 7);
}

TEST(FeedbackDelayEvents, AFloatValueArrivesOnTheOutputOneBlockLater)
{
    GraphRig g(kBlock);
    auto* delay = AddRegistered<ug_feedback_delay_float>(g, L"KV Feedback Delay - Float");
    auto* r = g.Add<Recorder>();
    ug_base::connect(delay->plugs_[ug_feedback_delay_base::PN_OUT], r->plugs_[Recorder::PN_FLOAT]);
    g.BuildAndOpen();
    g.Run(kBlock);
    const float value = 0.7f;
    delay->SetPinValue(100, ug_feedback_delay_base::PN_IN, DT_FLOAT, &value, 4);
    g.Run(kBlock * 3);
    ASSERT_FALSE(r->changes.empty());
    EXPECT_EQ(r->changes.back().time, 100 + kBlock);
    EXPECT_FLOAT_EQ(r->changes.back().floatValue, 0.7f);
    EXPECT_FLOAT_EQ(r->changes.front().floatValue, 0.0f);
}

TEST(FeedbackDelayEvents, MidiMessagesLongAndShortPassIntactAndNothingElseIsSent)
{
    GraphRig g(kBlock);
    auto* delay = AddRegistered<ug_feedback_delay_midi>(g, L"Feedback Delay - MIDI");
    auto* r = g.Add<MidiRecorder>();
    ug_base::connect(delay->plugs_[ug_feedback_delay_base::PN_OUT], r->plugs_[0]);
    g.BuildAndOpen();
    const std::vector<unsigned char> sysex{0xF0, 0x7D, 1, 2, 3, 4, 5, 6, 7, 0xF7};
    const std::vector<unsigned char> note{0x90, 60, 100};
    delay->SetPinValue(5, 0, DT_MIDI2, sysex.data(), static_cast<int>(sysex.size()));
    delay->SetPinValue(9, 0, DT_MIDI2, note.data(), static_cast<int>(note.size()));
    g.Run(kBlock * 3);
    ASSERT_EQ(r->messages.size(), 2u);
    EXPECT_EQ(r->messages[0].time, 5 + kBlock);
    EXPECT_EQ(r->messages[0].bytes, sysex);
    EXPECT_EQ(r->messages[1].time, 9 + kBlock);
    EXPECT_EQ(r->messages[1].bytes, note);
}

TEST(FeedbackDelayVoices, ClonesPairWithTheCloneOfTheSameVoiceAndPropagationEnds)
{
    GraphRig g(kBlock);
    auto* audio = AddRegistered<ug_feedback_delay>(g, L"Feedback Delay");
    auto* events = AddRegistered<ug_feedback_delay_float>(g, L"KV Feedback Delay - Float");
    ug_base* audioHelper = audio->Partner();
    ug_base* eventHelper = events->Partner();
    const std::vector<ug_base*> models{audio, audioHelper, events, eventHelper};
    CUGLookupList lookup;
    for (ug_base* m : models)
        m->SetPolyphonic(true);
    for (ug_base* m : models)
        lookup.Add(m, m->Clone(lookup));
    auto* audioClone = static_cast<ug_feedback_delay*>(lookup.Lookup2(audio));
    auto* eventClone = static_cast<ug_feedback_delay_float*>(lookup.Lookup2(events));
    EXPECT_EQ(audioClone->Partner(), lookup.Lookup2(audioHelper));
    EXPECT_EQ(audioClone->Partner()->Partner(), audioClone);
    EXPECT_EQ(audio->Partner(), audioHelper);
    EXPECT_EQ(eventClone->Partner(), lookup.Lookup2(eventHelper));
    EXPECT_FALSE(eventClone->Partner()->InputSide());
    EXPECT_TRUE(eventClone->InputSide());

    // Both sides of an event pair pass voice numbers to each other.
    eventHelper->PPPropogateVoiceNumUp(3);
    EXPECT_EQ(events->voiceNumber_, 3);
    EXPECT_EQ(eventHelper->voiceNumber_, 3);
    audioHelper->PPPropogateVoiceNumUp(2);
    EXPECT_EQ(audio->voiceNumber_, 2);
    for (ug_base* m : models)
        delete lookup.Lookup2(m);
}
