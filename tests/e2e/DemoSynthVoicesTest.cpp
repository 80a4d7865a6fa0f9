// Voices of the demo instrument played from host MIDI: six keys on six
// voices, soft stealing of the seventh, release to silence and sleep.
#include <gtest/gtest.h>

#include <set>

#include "engine/runtime/ModuleSkipList.h"
#include "engine/voices/Voice.h"
#include "engine/graph/ug_container.h"
#include "tests/e2e/DemoSynthRig.h"

using kvtest::DemoSynthRig;

namespace
{
constexpr int kVoiceContainer = 10;
const int kChord[6] = {48, 55, 60, 64, 67, 71};

ug_container* Voices(DemoSynthRig& rig)
{
    return dynamic_cast<ug_container*>(rig.Master().HandleToObject(kVoiceContainer));
}

int AwakeModules(DemoSynthRig& rig)
{
    int count = 0;
    ModuleSkipList& list = rig.Master().SkipList();
    for (EventProcessor* node = list.First(); node && node != list.Head(); node = node->next_)
        ++count;
    return count;
}

// The voices sounding a held key, by key.
std::set<int> HeldKeys(ug_container* voices)
{
    std::set<int> keys;
    for (int v = 0; v < voices->getPhysicalVoiceCount(); ++v)
    {
        Voice* voice = voices->VoiceAt(v);
        if (voice->state_ == VS_ACTIVE && voice->IsHeld())
            keys.insert(voice->key_);
    }
    return keys;
}

double KeyHz(int key)
{
    return kvtest::PitchToHz(kvtest::KeyPitch(key));
}

// Amplitude of one note played alone, in its sustain.
double SoloAmplitude(int key)
{
    DemoSynthRig rig;
    rig.NoteOn(100, key);
    rig.RunTo(40000);
    return kvtest::ToneAmplitude(rig.out, 16000, 24000, KeyHz(key), rig.sampleRate);
}
} // namespace

TEST(DemoSynthVoices, TheVoiceContainerHasSixVoicesAndThreeInReserve)
{
    DemoSynthRig rig;
    ASSERT_NE(Voices(rig), nullptr);
    EXPECT_EQ(Voices(rig)->VoiceCount(), 6);
    EXPECT_EQ(Voices(rig)->getPhysicalVoiceCount(), 9);
}

TEST(DemoSynthVoices, SixHeldKeysSoundTogetherEachAtItsOwnPitchAndFullLevel)
{
    DemoSynthRig rig;
    for (int i = 0; i < 6; ++i)
        rig.NoteOn(100 + 150 * i, kChord[i]);
    rig.RunTo(40000, {256, 31});

    EXPECT_EQ(HeldKeys(Voices(rig)), std::set<int>(std::begin(kChord), std::end(kChord)));
    const double solo = SoloAmplitude(60);
    ASSERT_GT(solo, 0.05);
    for (int key : kChord)
        EXPECT_NEAR(kvtest::ToneAmplitude(rig.out, 16000, 24000, KeyHz(key), rig.sampleRate), solo, solo * 0.05)
            << "key " << key;
}

TEST(DemoSynthVoices, TheSeventhKeyStealsTheOldestHeldVoiceAndPlaysAtOnceOnAReserveVoice)
{
    DemoSynthRig rig;
    for (int i = 0; i < 6; ++i)
        rig.NoteOn(100 + 150 * i, kChord[i]);
    rig.NoteOn(20000, 74);
    rig.RunTo(20001);

    ug_container* voices = Voices(rig);
    Voice* victim = nullptr;
    for (int v = 0; v < voices->getPhysicalVoiceCount(); ++v)
        if (voices->VoiceAt(v)->key_ == kChord[0])
            victim = voices->VoiceAt(v);
    ASSERT_NE(victim, nullptr);
    EXPECT_EQ(victim->state_, VS_MUTED);
    EXPECT_EQ(victim->activeValue_, 0.0f);
    std::set<int> expected(std::begin(kChord) + 1, std::end(kChord));
    expected.insert(74);
    EXPECT_EQ(HeldKeys(voices), expected);

    rig.RunTo(60000);
    // The stolen key has faded out (what remains at its pitch is leakage of
    // the other tones), the others sound on, the new one at full level.
    const double solo = SoloAmplitude(kChord[0]);
    EXPECT_LT(kvtest::ToneAmplitude(rig.out, 36000, 24000, KeyHz(kChord[0]), rig.sampleRate), solo * 0.02);
    EXPECT_NEAR(kvtest::ToneAmplitude(rig.out, 36000, 24000, KeyHz(kChord[1]), rig.sampleRate), solo, solo * 0.05);
    EXPECT_NEAR(kvtest::ToneAmplitude(rig.out, 36000, 24000, KeyHz(74), rig.sampleRate), SoloAmplitude(74),
                SoloAmplitude(74) * 0.05);
    EXPECT_EQ(victim->state_, VS_OFF);
}

TEST(DemoSynthVoices, ARepeatedKeyIsReplayedOnTheVoiceThatStillRingsWithIt)
{
    DemoSynthRig rig;
    rig.NoteOn(100, 69);
    rig.NoteOff(5000, 69);
    rig.NoteOn(5500, 69);
    rig.RunTo(5400);
    ug_container* voices = Voices(rig);
    int ringing = -1;
    for (int v = 0; v < voices->getPhysicalVoiceCount(); ++v)
        if (voices->VoiceAt(v)->state_ == VS_ACTIVE && voices->VoiceAt(v)->key_ == 69)
            ringing = v;
    ASSERT_GE(ringing, 0);
    rig.RunTo(5600);
    EXPECT_TRUE(voices->VoiceAt(ringing)->IsHeld());
    EXPECT_EQ(HeldKeys(voices), std::set<int>{69});
}

TEST(DemoSynthVoices, AfterTheReleaseTheOutputFallsSilentAndTheVoiceModulesGoBackToSleep)
{
    DemoSynthRig rig;
    rig.RunTo(3000, {100, 37});
    const int idle = AwakeModules(rig);

    for (int i = 0; i < 3; ++i)
        rig.NoteOn(3000 + 10 * i, kChord[i]);
    rig.NoteOff(20000, kChord[0]);
    rig.NoteOff(20000, kChord[1]);
    rig.NoteOff(20033, kChord[2]);
    rig.RunTo(19000, {100, 37});
    EXPECT_GT(AwakeModules(rig), idle);
    EXPECT_GT(rig.Rms(10000, 19000), 0.05f);

    // Release 3 V: 2^(3 - 6.667) s, about 79 ms, then the voice monitor's wait.
    rig.RunTo(20000 + 48000, {100, 37});
    EXPECT_EQ(rig.Peak(20000 + 24000, 20000 + 48000), 0.0f);
    ug_container* voices = Voices(rig);
    for (int v = 0; v < voices->getPhysicalVoiceCount(); ++v)
        EXPECT_EQ(voices->VoiceAt(v)->state_, VS_OFF) << "voice " << v;
    EXPECT_EQ(AwakeModules(rig), idle);
}

TEST(DemoSynthVoices, KeysBeyondEveryPhysicalVoiceWaitAndPlayAsStolenVoicesFallSilent)
{
    DemoSynthRig rig;
    // Ten keys inside one block: the reserve runs out, so the last ones steal
    // voices that are still fading and wait until those are retired.
    const int keys[10] = {40, 43, 47, 50, 53, 57, 60, 64, 67, 71};
    for (int i = 0; i < 10; ++i)
        rig.NoteOn(1000 + i, keys[i]);
    rig.RunTo(1100);
    ug_container* voices = Voices(rig);
    int waiting = 0;
    for (int key : keys)
        waiting += voices->HeldBack(key) ? 1 : 0;
    EXPECT_GT(waiting, 0);

    rig.RunTo(30000, {100, 37});
    for (int key : keys)
        EXPECT_FALSE(voices->HeldBack(key)) << "key " << key;
    // The six newest keys sound, the four oldest have been stolen.
    EXPECT_EQ(HeldKeys(voices), std::set<int>(std::begin(keys) + 4, std::end(keys)));
    const double solo = SoloAmplitude(keys[9]);
    EXPECT_NEAR(kvtest::ToneAmplitude(rig.out, 6000, 24000, KeyHz(keys[9]), rig.sampleRate), solo, solo * 0.05);
    EXPECT_LT(kvtest::ToneAmplitude(rig.out, 6000, 24000, KeyHz(keys[0]), rig.sampleRate), solo * 0.02);
}

TEST(DemoSynthVoices, AReleasedVoiceStillRingingIsStolenBeforeAnyHeldOne)
{
    DemoSynthRig rig;
    for (int i = 0; i < 6; ++i)
        rig.NoteOn(100 + 150 * i, kChord[i]);
    rig.NoteOff(20000, kChord[3]);
    rig.NoteOn(20500, 74); // the release of 79 ms is still under way
    rig.RunTo(20501);

    ug_container* voices = Voices(rig);
    for (int v = 0; v < voices->getPhysicalVoiceCount(); ++v)
    {
        const Voice* voice = voices->VoiceAt(v);
        if (voice->key_ == kChord[3])
        {
            EXPECT_EQ(voice->state_, VS_MUTED);
        }
        if (voice->key_ == kChord[0])
        {
            EXPECT_TRUE(voice->state_ == VS_ACTIVE && voice->IsHeld());
        }
    }
    std::set<int> expected = {kChord[0], kChord[1], kChord[2], kChord[4], kChord[5], 74};
    EXPECT_EQ(HeldKeys(voices), expected);
}
