// The voice mute: passes a playing voice, fades a muted one to silence over
// its ramp time, and fades a voice back in when it plays again.
#include <gtest/gtest.h>

#include <algorithm>

#include "engine/GraphRig.h"
#include "engine/graph/USampBlock.h"
#include "engine/voices/ug_voice_mute.h"

using kvtest::GraphRig;
using kvtest::Recorder;
using kvtest::TestSource;

namespace
{
struct MuteRig
{
    // numberedBeforeOpening: the mute knows its voice when it is opened, as
    // the mutes the engine places do, and so may leave the block loop.
    explicit MuteRig(bool numberedBeforeOpening = false)
    {
        source = g.Add<TestSource>();
        mute = static_cast<ug_voice_mute*>(CModuleFactory::Instance()->GetById(L"KV Voice Mute")->BuildSynthOb());
        g.top->AddUG(mute);
        mute->SetupWithoutCug();
        recorder = g.Add<Recorder>();
        ug_base::connect(source->plugs_[TestSource::PN_AUDIO], mute->GetPlug(ug_voice_mute::PN_IN));
        ug_base::connect(mute->GetPlug(ug_voice_mute::PN_OUT), recorder->plugs_[Recorder::PN_AUDIO]);
        if (numberedBeforeOpening)
            mute->SetPPVoiceNumber(0);
        g.BuildAndOpen();
        mute->SetPPVoiceNumber(0);
        source->Stream([](int64_t) { return 1.0f; });
    }
    // One block of the mute's output.
    std::vector<float> Block()
    {
        recorder->audio.clear();
        g.Run(g.master.BlockSize());
        return recorder->audio;
    }

    GraphRig g{96};
    TestSource* source;
    ug_voice_mute* mute;
    Recorder* recorder;
};
} // namespace

TEST(VoiceMute, AMutedVoiceFadesLinearlyToSilenceOverTheRampAndPlaysAgainWhenStarted)
{
    MuteRig r;
    auto first = r.Block();
    ASSERT_EQ(first.size(), 96u);
    for (float v : first)
        EXPECT_FLOAT_EQ(v, 1.0f);

    Voice* voice = r.g.top->VoiceAt(0);
    voice->NoteMute(r.g.master.NextGlobalStartClock());
    const auto fade = r.Block();
    const float step = 1.0f / (2.0f * 0.001f * 44100.0f);
    for (size_t i = 0; i < fade.size(); ++i)
        EXPECT_NEAR(fade[i], std::max(0.0f, 1.0f - step * static_cast<float>(i + 1)), 1e-4f) << i;
    for (float v : r.Block())
        EXPECT_EQ(v, 0.0f);

    voice->activate(r.g.master.NextGlobalStartClock(), 60);
    const auto back = r.Block();
    EXPECT_NEAR(back[0], step, 1e-4f);
    EXPECT_FLOAT_EQ(back.back(), 1.0f);
}

TEST(VoiceMute, AVoiceWithActiveZeroIsSilencedUnlessAlwaysOn)
{
    MuteRig r;
    r.g.top->VoiceAt(0)->SetActiveValue(0.0f, r.g.master.NextGlobalStartClock());
    r.Block();
    EXPECT_EQ(r.Block().back(), 0.0f);

    MuteRig on;
    on.Block();
    const bool alwaysOn = true;
    on.mute->SetPinValue(on.g.master.NextGlobalStartClock(), ug_voice_mute::PN_ALWAYS_ON, DT_BOOL, &alwaysOn, 1);
    on.g.top->VoiceAt(0)->SetActiveValue(0.0f, on.g.master.NextGlobalStartClock());
    on.Block();
    EXPECT_FLOAT_EQ(on.Block().back(), 1.0f);
}

TEST(VoiceMute, AMuteThatIsPutToSleepLeavesASilentConstantBehindAndFadesInWhenWoken)
{
    MuteRig r;
    r.Block();
    r.Block();
    ASSERT_EQ(r.recorder->plugs_[Recorder::PN_AUDIO]->state_, ST_STREAMING);

    r.mute->Suspend();
    for (float v : r.Block())
        EXPECT_EQ(v, 0.0f);
    // The reader was told the block is constant, so it need not read it.
    EXPECT_NE(r.recorder->plugs_[Recorder::PN_AUDIO]->state_, ST_STREAMING);

    // Woken for a note ten samples into the coming block: silent until then.
    r.mute->Resume(r.g.master.NextGlobalStartClock() + 10);
    const auto back = r.Block();
    const float step = 1.0f / (2.0f * 0.001f * 44100.0f);
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(back[static_cast<size_t>(i)], 0.0f) << i;
    EXPECT_NEAR(back[10], step, 1e-4f);
    EXPECT_NEAR(back.back(), step * 86.0f, 1e-3f);
    EXPECT_FLOAT_EQ(r.Block().back(), 1.0f);
}

TEST(VoiceMute, AStolenVoiceFadesEvenWhenTheMuteIsAlwaysOn)
{
    MuteRig r;
    r.Block();
    const bool alwaysOn = true;
    r.mute->SetPinValue(r.g.master.NextGlobalStartClock(), ug_voice_mute::PN_ALWAYS_ON, DT_BOOL, &alwaysOn, 1);
    r.Block();
    r.g.top->VoiceAt(0)->NoteMute(r.g.master.NextGlobalStartClock());
    r.Block();
    for (float v : r.Block())
        EXPECT_EQ(v, 0.0f);
}

TEST(VoiceMute, APassingMuteLeavesTheLoopWhileItsReaderTakesTheLiveInputAndComesBackToFadeAStolenVoice)
{
    MuteRig r(true);
    r.source->Stream([](int64_t t) { return static_cast<float>(t % 1000); });
    r.Block();
    r.Block();
    ASSERT_TRUE(r.mute->Bypassed());
    EXPECT_FALSE(r.mute->IsListed());
    const int64_t start = r.g.master.NextGlobalStartClock();
    const auto passed = r.Block();
    for (size_t i = 0; i < passed.size(); ++i)
        ASSERT_EQ(passed[i], static_cast<float>((start + static_cast<int64_t>(i)) % 1000)) << i;

    // A steal: the mute is back in the loop for the piece and fades as one
    // that looked every piece would.
    r.source->Stream([](int64_t) { return 1.0f; });
    r.g.top->VoiceAt(0)->NoteMute(r.g.master.NextGlobalStartClock());
    const auto fade = r.Block();
    EXPECT_FALSE(r.mute->Bypassed());
    const float step = 1.0f / (2.0f * 0.001f * 44100.0f);
    for (size_t i = 0; i < fade.size(); ++i)
        EXPECT_NEAR(fade[i], std::max(0.0f, 1.0f - step * static_cast<float>(i + 1)), 1e-4f) << i;
    for (float v : r.Block())
        EXPECT_EQ(v, 0.0f);

    // Played again, it fades in and then leaves the loop once more.
    r.g.top->VoiceAt(0)->activate(r.g.master.NextGlobalStartClock(), 60);
    EXPECT_NEAR(r.Block()[0], step, 1e-4f);
    r.Block();
    r.Block();
    EXPECT_TRUE(r.mute->Bypassed());
    EXPECT_FLOAT_EQ(r.Block().back(), 1.0f);
}
