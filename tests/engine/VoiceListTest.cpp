// Voice allocation: free voices, stealing in every poly mode, held-back
// notes, mono note priorities with their return keys, and glide.
#include <gtest/gtest.h>

#include <cmath>

#include "engine/TestNoteSource.h"

using kvtest::KeyPitch;
using kvtest::RecordingVoiceList;
using kvtest::TestNoteSource;

namespace
{
constexpr int kSoft = 0;
constexpr int kHard = 1;
constexpr int kOverlap = 2;

double GlideSeconds(float portamento)
{
    return std::exp2((((portamento - 2.0) * 12000.0 / 10.0) - 8000.0) / 1200.0);
}
} // namespace

TEST(VoiceList, CountsAreClampedAndTheReserveAddsPhysicalVoices)
{
    RecordingVoiceList list(500, 99);
    EXPECT_EQ(list.VoiceCount(), 128);
    EXPECT_EQ(list.VoiceReserveCount(), 32);
    EXPECT_EQ(list.getPhysicalVoiceCount(), 160);

    RecordingVoiceList small(4, 2);
    EXPECT_EQ(small.getPhysicalVoiceCount(), 6);
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(small.VoiceAt(i)->voiceId_, i);
}

TEST(VoiceList, WithoutAnyModeSetNotesArePolyphonic)
{
    RecordingVoiceList list(4, 0);
    Voice* a = list.AllocateNoteOn(0, 60, -1);
    Voice* b = list.AllocateNoteOn(5, 64, -1);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_NE(a, b);
    EXPECT_TRUE(a->IsHeld());
    EXPECT_TRUE(b->IsHeld());
}

TEST(VoiceList, KeysOutsideTheKeyboardAreIgnoredAndAForcedVoiceBeyondTheListIsTheLast)
{
    RecordingVoiceList list(2, 1);
    EXPECT_EQ(list.AllocateNoteOn(0, -1, -1), nullptr);
    EXPECT_EQ(list.AllocateNoteOn(0, 128, -1), nullptr);
    list.VoiceAllocationNoteOff(0, 300);
    list.killVoice(0, -5);
    EXPECT_EQ(list.HeldKeyCount(), 0);
    EXPECT_TRUE(list.starts.empty());

    Voice* forced = list.AllocateNoteOn(10, 60, 99);
    EXPECT_EQ(forced, list.VoiceAt(2));
    EXPECT_EQ(forced->key_, 60);
}

TEST(VoiceList, SoftStealWithAllVoicesHeldMutesTheOldestAndPlaysTheNewKeyAfterItsSuspension)
{
    RecordingVoiceList list(8, 0);
    TestNoteSource source(list);
    source.Configure(kSoft, false);
    for (int i = 0; i < 8; ++i)
        source.On(i * 10, 60 + i);
    Voice* oldest = list.GetVoiceOfKey(60);
    ASSERT_NE(oldest, nullptr);

    EXPECT_EQ(list.AllocateNoteOn(100, 72, -1), nullptr);
    EXPECT_TRUE(list.HeldBack(72));
    EXPECT_EQ(oldest->state_, VS_MUTED);
    EXPECT_FLOAT_EQ(oldest->activeValue_, -1.0f);
    EXPECT_EQ(oldest->releaseTime_, 100);

    list.suspendVoice(200, oldest->voiceId_);
    EXPECT_EQ(oldest->state_, VS_OFF);
    EXPECT_EQ(list.heldBackWakeUps, 1);
    list.PlayHeldBackNotes(210);
    EXPECT_FALSE(list.HeldBack(72));
    EXPECT_EQ(oldest->key_, 72);
    EXPECT_EQ(oldest->startTime_, 210);
    EXPECT_FLOAT_EQ(oldest->activeValue_, 1.0f);
}

TEST(VoiceList, WithAReserveVoiceTheStolenNoteFadesWhileTheNewKeyPlaysAtOnce)
{
    RecordingVoiceList list(8, 3);
    TestNoteSource source(list);
    source.Configure(kSoft, false);
    for (int i = 0; i < 8; ++i)
        source.On(i * 10, 60 + i);
    Voice* oldest = list.GetVoiceOfKey(60);

    Voice* played = list.AllocateNoteOn(100, 72, -1);
    ASSERT_NE(played, nullptr);
    EXPECT_NE(played, oldest);
    EXPECT_EQ(oldest->state_, VS_MUTED);
    EXPECT_FLOAT_EQ(oldest->activeValue_, 0.0f);
    EXPECT_FALSE(list.HeldBack(72));
}

TEST(VoiceList, ARepeatedKeyIsReplayedStolenOrOverlappedAsTheModeSays)
{
    {
        RecordingVoiceList list(4, 0);
        TestNoteSource(list).Configure(kSoft, false);
        Voice* first = list.AllocateNoteOn(0, 60, -1);
        list.AllocateNoteOn(10, 62, -1);
        EXPECT_EQ(list.AllocateNoteOn(50, 60, -1), first);
        EXPECT_EQ(first->startTime_, 50);
    }
    {
        RecordingVoiceList list(4, 0);
        TestNoteSource(list).Configure(kHard, false);
        Voice* first = list.AllocateNoteOn(0, 60, -1);
        list.AllocateNoteOn(10, 62, -1);
        Voice* again = list.AllocateNoteOn(50, 60, -1);
        ASSERT_NE(again, nullptr);
        EXPECT_NE(again, first);
        EXPECT_EQ(first->state_, VS_MUTED);
        EXPECT_FLOAT_EQ(first->activeValue_, 0.0f);
    }
    {
        RecordingVoiceList list(4, 0);
        TestNoteSource(list).Configure(kOverlap, false);
        Voice* first = list.AllocateNoteOn(0, 60, -1);
        Voice* again = list.AllocateNoteOn(50, 60, -1);
        ASSERT_NE(again, nullptr);
        EXPECT_NE(again, first);
        EXPECT_EQ(first->state_, VS_ACTIVE);
        EXPECT_EQ(first->releaseTime_, 50);
        EXPECT_TRUE(again->IsHeld());
    }
}

TEST(VoiceList, AReleasedVoiceIsStolenBeforeAHeldOneAndAVictimStartedNowIsMutedOneSampleLater)
{
    RecordingVoiceList list(2, 0);
    TestNoteSource source(list);
    source.Configure(kSoft, false);
    source.On(0, 60);
    source.On(10, 62);
    source.Off(20, 62);
    Voice* released = list.GetVoiceOfKey(62);
    EXPECT_EQ(list.AllocateNoteOn(30, 64, -1), nullptr);
    EXPECT_EQ(released->state_, VS_MUTED);
    EXPECT_EQ(list.GetVoiceOfKey(60)->state_, VS_ACTIVE);

    // One voice and one in reserve: a victim that started on this very
    // sample is muted one sample later while the new key takes the reserve;
    // with no voice left, the next key takes a voice started now over at
    // once instead of waiting for it.
    RecordingVoiceList single(1, 1);
    ASSERT_EQ(single.getPhysicalVoiceCount(), 2);
    Voice* first = single.AllocateNoteOn(100, 60, -1);
    Voice* second = single.AllocateNoteOn(100, 62, -1);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(second, first);
    EXPECT_EQ(first->state_, VS_MUTED);
    EXPECT_EQ(first->releaseTime_, 101);
    EXPECT_EQ(single.AllocateNoteOn(100, 64, -1), second);
    EXPECT_EQ(second->key_, 64);
    EXPECT_TRUE(second->IsHeld());
    EXPECT_FALSE(single.HeldBack(64));
}

TEST(VoiceList, HeldBackKeysStartOnePerSuspensionLowestFirst)
{
    RecordingVoiceList list(1, 0);
    TestNoteSource source(list);
    source.Configure(kSoft, false);
    Voice* voice = list.AllocateNoteOn(0, 60, -1);
    source.On(10, 64);
    source.On(20, 61);
    EXPECT_TRUE(list.HeldBack(64));
    EXPECT_TRUE(list.HeldBack(61));

    list.suspendVoice(30, 0);
    list.PlayHeldBackNotes(40);
    EXPECT_EQ(voice->key_, 61);
    EXPECT_TRUE(list.HeldBack(64));

    source.Off(50, 61);
    list.suspendVoice(60, 0);
    EXPECT_EQ(list.heldBackWakeUps, 2);
    list.PlayHeldBackNotes(70);
    EXPECT_EQ(voice->key_, 64);
    EXPECT_FALSE(list.HeldBack(64));
}

TEST(VoiceList, AHeldVoiceIsNotSuspendedAndAKeyReleasedWhileWaitingNeverPlays)
{
    RecordingVoiceList list(1, 0);
    TestNoteSource source(list);
    Voice* voice = list.AllocateNoteOn(0, 60, -1);
    list.suspendVoice(10, 0);
    EXPECT_EQ(voice->state_, VS_ACTIVE);

    source.On(20, 62);
    source.Off(25, 62);
    EXPECT_FALSE(list.HeldBack(62));
    list.suspendVoice(30, 0);
    EXPECT_EQ(list.heldBackWakeUps, 0);
    list.suspendVoice(31, 99);
}

TEST(VoiceList, AllNotesOffReleasesEveryVoiceAndForgetsWaitingNotes)
{
    RecordingVoiceList list(1, 0);
    TestNoteSource source(list);
    Voice* voice = list.AllocateNoteOn(0, 60, -1);
    source.On(10, 62);
    ASSERT_TRUE(list.HeldBack(62));
    list.NoteOff(20, -1);
    EXPECT_FALSE(list.HeldBack(62));
    EXPECT_EQ(voice->releaseTime_, 20);
    EXPECT_FLOAT_EQ(voice->activeValue_, 0.0f);
}

TEST(VoiceList, KillingAKeyMutesItsVoiceAndReleasesTheKey)
{
    RecordingVoiceList list(4, 0);
    Voice* voice = list.AllocateNoteOn(0, 60, -1);
    list.killVoice(50, 60);
    EXPECT_EQ(voice->state_, VS_MUTED);
    EXPECT_EQ(voice->releaseTime_, 50);
    EXPECT_FLOAT_EQ(voice->activeValue_, 0.0f);
    EXPECT_FALSE(list.KeyHeld(60));
    EXPECT_EQ(list.GetVoice(60), voice->voiceId_);
    EXPECT_EQ(list.GetVoice(61), -1);
}

TEST(VoiceList, MonoLowPriorityIgnoresHigherKeysAndReturnsToTheLowestMarkedKey)
{
    RecordingVoiceList list(4, 0);
    TestNoteSource source(list);
    source.Configure(0, true, false, 1);
    Voice* voice0 = list.VoiceAt(0);
    source.On(0, 64);
    source.On(10, 60);
    source.On(20, 67);
    EXPECT_EQ(voice0->key_, 60);
    EXPECT_FALSE(list.KeyHeld(67));

    source.Off(30, 60);
    EXPECT_EQ(voice0->key_, 64);
    EXPECT_TRUE(voice0->IsHeld());
    EXPECT_FALSE(list.starts.back().retrigger);

    source.Off(40, 64);
    EXPECT_EQ(voice0->releaseTime_, 40);
    for (const auto& start : list.starts)
        EXPECT_EQ(start.voice, 0);
}

TEST(VoiceList, MonoHighPriorityIgnoresLowerKeysAndReturnsToTheHighestHeldKey)
{
    RecordingVoiceList list(4, 0);
    TestNoteSource source(list);
    source.Configure(0, true, false, 2);
    Voice* voice0 = list.VoiceAt(0);
    source.On(0, 60);
    source.On(10, 67);
    source.On(20, 64);
    EXPECT_EQ(voice0->key_, 67);
    source.Off(30, 67);
    EXPECT_EQ(voice0->key_, 60);
    EXPECT_TRUE(voice0->IsHeld());
}

TEST(VoiceList, MonoLastPriorityReturnsToTheNewestKeyStillHeld)
{
    RecordingVoiceList list(4, 0);
    TestNoteSource source(list);
    source.Configure(0, true, false, 3);
    Voice* voice0 = list.VoiceAt(0);
    source.On(0, 60);
    source.On(10, 64);
    source.On(20, 67);
    source.Off(30, 64);
    EXPECT_EQ(voice0->key_, 67);
    EXPECT_TRUE(voice0->IsHeld());

    source.Off(40, 67);
    EXPECT_EQ(voice0->key_, 60);
    EXPECT_TRUE(voice0->IsHeld());
    source.Off(50, 60);
    EXPECT_EQ(voice0->releaseTime_, 50);

    // Past a full history ring the walk still ends.
    for (int i = 0; i < 40; ++i)
        source.On(100 + i, 40 + i);
    for (int i = 39; i >= 0; --i)
        source.Off(200 + i, 40 + i);
    EXPECT_EQ(list.HeldKeyCount(), 0);
}

TEST(VoiceList, RetriggerModeRestartsLegatoNotesAndPlainMonoDoesNot)
{
    RecordingVoiceList plain(4, 0);
    TestNoteSource p(plain);
    p.Configure(0, true, false, 3);
    p.On(0, 60);
    p.On(10, 64);
    p.Off(20, 64);
    ASSERT_EQ(plain.starts.size(), 3u);
    EXPECT_TRUE(plain.starts[0].retrigger);
    EXPECT_FALSE(plain.starts[1].retrigger);
    EXPECT_FALSE(plain.starts[2].retrigger);

    RecordingVoiceList retrig(4, 0);
    TestNoteSource r(retrig);
    r.Configure(0, true, true, 3);
    r.On(0, 60);
    r.On(10, 64);
    r.Off(20, 64);
    ASSERT_EQ(retrig.starts.size(), 3u);
    EXPECT_TRUE(retrig.starts[1].retrigger);
    EXPECT_TRUE(retrig.starts[2].retrigger);
    EXPECT_EQ(retrig.starts[2].key, 60);
}

TEST(VoiceList, TheFirstNoteNeverGlidesAndLaterNotesGlideOverTheGlideTime)
{
    RecordingVoiceList list(4, 0);
    TestNoteSource source(list);
    source.Configure(0, true, false, 3);
    const float portamento = 7.0f;
    list.OnVoiceControlChanged(0, 40, 4, &portamento, 0);
    const double samples = list.sampleRate * GlideSeconds(portamento);

    source.On(0, 60);
    ASSERT_EQ(list.glideStarts.size(), 1u);
    EXPECT_NEAR(list.glideStarts[0], KeyPitch(60) * 0.1f, 1e-6);
    EXPECT_FLOAT_EQ(list.GlideRate(), 0.0f);

    source.On(1000, 72);
    EXPECT_NEAR(list.glideStarts[1], KeyPitch(60) * 0.1f, 1e-6);
    const double rate = (KeyPitch(72) - KeyPitch(60)) / samples;
    EXPECT_NEAR(list.GlideRate(), rate, std::abs(rate) * 1e-4);

    // Halfway through, a new note glides on from where the pitch has got to.
    const int64_t t3 = 1000 + static_cast<int64_t>(samples / 2);
    source.On(t3, 48);
    const double reached = KeyPitch(60) + (t3 - 1000) * rate;
    EXPECT_NEAR(list.glideStarts[2], reached * 0.1, 1e-4);
    const double rate3 = (KeyPitch(48) - reached) / samples;
    EXPECT_NEAR(list.GlideRate(), rate3, std::abs(rate3) * 1e-3);
}

TEST(VoiceList, ConstantRateGlideMovesOneTenthPerGlideTimeWhateverTheInterval)
{
    RecordingVoiceList list(4, 0);
    TestNoteSource source(list);
    source.Configure(0, true, false, 3, true);
    const float portamento = 6.0f;
    list.OnVoiceControlChanged(0, 40, 4, &portamento, 0);
    const double samples = list.sampleRate * GlideSeconds(portamento);

    source.On(0, 60);
    source.On(10, 84);
    EXPECT_NEAR(list.GlideRate(), 0.1 / samples, 1e-4 / samples);
    source.On(20, 30);
    EXPECT_NEAR(list.GlideRate(), -0.1 / samples, 1e-4 / samples);
}

TEST(VoiceList, AGlideTimeOfZeroJumpsStraightToTheNewPitch)
{
    RecordingVoiceList list(4, 0);
    TestNoteSource source(list);
    source.Configure(0, true, false, 3);
    const float portamento = -1000.0f;
    list.OnVoiceControlChanged(0, 40, 4, &portamento, 0);
    source.On(0, 60);
    source.On(10, 72);
    EXPECT_FLOAT_EQ(list.GlideRate(), 0.0f);
    EXPECT_FLOAT_EQ(list.GlidePitch(), KeyPitch(72));
    EXPECT_TRUE(std::isfinite(list.glideStarts.back()));
}

TEST(VoiceList, PolyphonicNotesGlideOnlyWhileAnotherKeyIsHeld)
{
    RecordingVoiceList list(4, 0);
    TestNoteSource source(list);
    const float portamento = 7.0f;
    list.OnVoiceControlChanged(0, 40, 4, &portamento, 0);
    source.On(0, 60);
    source.Off(10, 60);
    source.On(20, 72);
    EXPECT_FLOAT_EQ(list.GlideRate(), 0.0f);
    EXPECT_NEAR(list.glideStarts.back(), KeyPitch(72) * 0.1f, 1e-6);
    source.On(30, 48);
    EXPECT_LT(list.GlideRate(), 0.0f);
}
