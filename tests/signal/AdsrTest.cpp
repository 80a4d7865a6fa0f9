#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "core/CModuleFactory.h"
#include "modules/signal/ug_adsr.h"
#include "signal/SignalRig.h"

using kvtest::SignalRig;

namespace
{
constexpr float kRate = 44100.0f;
using Rig = SignalRig<ug_adsr>;

// Seconds for a full-scale change at a rate voltage.
double LawTime(double volts)
{
    return std::pow(2.0, (volts * 1200.0 - 8000.0) / 1200.0);
}
// Level change per sample at a rate voltage.
double Step(double volts)
{
    return 1.0 / (kRate * LawTime(volts));
}

struct Settings
{
    float attack = 0.0f;
    float decay = 0.2f;
    float sustain = 0.5f;
    float release = 0.1f;
    float overall = 1.0f;
};

// An ADSR with every input fed by a source, all held at the settings.
struct AdsrRig : Rig
{
    explicit AdsrRig(const Settings& s)
        : Rig(L"ADSR",
              {ug_adsr::PN_GATE, ug_adsr::PN_ATTACK, ug_adsr::PN_DECAY, ug_adsr::PN_SUSTAIN, ug_adsr::PN_RELEASE,
               ug_adsr::PN_OVERALL_LEVEL},
              ug_adsr::PN_SIGNAL_OUT, kRate)
    {
        In(ug_adsr::PN_GATE).HoldConstant(0.0f);
        In(ug_adsr::PN_ATTACK).HoldConstant(s.attack);
        In(ug_adsr::PN_DECAY).HoldConstant(s.decay);
        In(ug_adsr::PN_SUSTAIN).HoldConstant(s.sustain);
        In(ug_adsr::PN_RELEASE).HoldConstant(s.release);
        In(ug_adsr::PN_OVERALL_LEVEL).HoldConstant(s.overall);
    }
};

// The envelope law for a gate held from `on` to `off` (samples), starting at level 0.
double Reference(const Settings& s, int64_t on, int64_t off, int64_t n)
{
    if (n < on)
        return 0.0;
    const double attack = Step(s.attack * 10.0);
    const double decay = Step(s.decay * 10.0);
    const double release = Step(s.release * 10.0);
    double level = 0.0;
    int64_t t = on;
    // Attack to 1, then decay to the sustain level, until the gate falls.
    const double attackEnd = on + 1.0 / attack;
    const double decayEnd = attackEnd + (1.0 - s.sustain) / decay;
    const int64_t upTo = std::min(n, off);
    const double x = static_cast<double>(upTo - t + 1);
    if (upTo < attackEnd)
        level = x * attack;
    else if (upTo < decayEnd)
        level = 1.0 - (upTo + 1 - attackEnd) * decay;
    else
        level = s.sustain;
    if (n >= off)
        level = std::max(0.0, level - static_cast<double>(n - off + 1) * release);
    return level * s.overall;
}

void ExpectLaw(const Rig& rig, const Settings& s, int64_t on, int64_t off, int64_t end)
{
    const double tolerance = 2.5 * std::max({Step(s.attack * 10), Step(s.decay * 10), Step(s.release * 10)});
    ASSERT_GE(rig.recorder->audio.size(), static_cast<size_t>(end));
    for (int64_t n = 0; n < end; ++n)
        ASSERT_NEAR(rig.recorder->audio[n], Reference(s, on, off, n), tolerance) << n;
}
} // namespace

TEST(AdsrRegistration, TheModuleIsRegisteredWithItsSevenPins)
{
    Module_Info* info = CModuleFactory::Instance()->GetById(L"ADSR");
    ASSERT_NE(info, nullptr);
    ASSERT_EQ(info->GetPinDescriptions().size(), 7u);
    EXPECT_EQ(info->getPinDescriptionById(3)->GetName(), L"Sustain");
    EXPECT_EQ(info->getPinDescriptionById(3)->GetDefaultVal(), L"7");
    EXPECT_EQ(info->getPinDescriptionById(5)->GetDefaultVal(), L"10");
    EXPECT_EQ(info->getPinDescriptionById(6)->GetDirection(), DR_OUT);
}

TEST(AdsrTimeLaw, EachVoltDoublesTheSegmentTime)
{
    EXPECT_NEAR(ug_envelope_base::SegmentTime(0.0f), 0.00984, 1e-5);
    EXPECT_NEAR(ug_envelope_base::SegmentTime(0.5f), 0.315, 1e-3);
    EXPECT_NEAR(ug_envelope_base::SegmentTime(0.6667f), 1.0, 1e-3);
    EXPECT_NEAR(ug_envelope_base::SegmentTime(1.0f), 10.08, 1e-2);
    EXPECT_NEAR(ug_envelope_base::SegmentTime(0.31f) / ug_envelope_base::SegmentTime(0.21f), 2.0, 1e-5);
    for (float v : {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
                    -std::numeric_limits<float>::infinity(), 1e30f})
    {
        const float t = ug_envelope_base::SegmentTime(v);
        EXPECT_TRUE(std::isfinite(t) && t > 0.0f) << v;
    }
}

TEST(AdsrSegments, AHeldGateRunsAttackDecaySustainAndTheReleaseFallsToSilence)
{
    Settings s;
    AdsrRig rig(s);
    rig.graph.Run(96);
    rig.In(ug_adsr::PN_GATE).HoldConstant(1.0f);
    rig.graph.Run(3000);
    rig.In(ug_adsr::PN_GATE).HoldConstant(0.0f);
    rig.graph.Run(2000);
    ExpectLaw(rig, s, 96, 3096, 5096);

    // The attack from 0 V takes about 434 samples; the peak is exactly 1.
    const auto& a = rig.recorder->audio;
    const auto peak = std::max_element(a.begin(), a.end());
    EXPECT_FLOAT_EQ(*peak, 1.0f);
    EXPECT_NEAR(static_cast<double>(peak - a.begin()) - 96, 1.0 / Step(0.0) - 1, 1.5);
    EXPECT_FALSE(rig.module->IsListed());
    EXPECT_EQ(a.back(), 0.0f);
    EXPECT_EQ(rig.recorder->changes.back().state, ST_STATIC);
}

TEST(AdsrSegments, OverallLevelScalesThePeakAndTheSustain)
{
    Settings s;
    s.overall = 0.5f;
    AdsrRig rig(s);
    rig.In(ug_adsr::PN_GATE).HoldConstant(1.0f);
    rig.graph.Run(4000);
    const auto& a = rig.recorder->audio;
    EXPECT_FLOAT_EQ(*std::max_element(a.begin(), a.end()), 0.5f);
    EXPECT_FLOAT_EQ(a.back(), 0.25f);
    ExpectLaw(rig, s, 0, 1 << 30, 4000);
}

TEST(AdsrSegments, TheGateFallingDuringTheAttackReleasesFromThePresentLevel)
{
    Settings s;
    AdsrRig rig(s);
    rig.In(ug_adsr::PN_GATE).HoldConstant(1.0f);
    rig.graph.Run(200);
    rig.In(ug_adsr::PN_GATE).HoldConstant(0.0f);
    rig.graph.Run(1000);
    ExpectLaw(rig, s, 0, 200, 1200);
    const auto& a = rig.recorder->audio;
    // No decay: the level only falls after the gate.
    for (size_t n = 201; n < a.size(); ++n)
        ASSERT_LE(a[n], a[n - 1]) << n;
    EXPECT_LT(a[199], 0.6f);
}

TEST(AdsrSegments, ARetriggerDuringTheReleaseRisesFromThePresentLevel)
{
    Settings s;
    s.release = 0.3f;
    AdsrRig rig(s);
    rig.In(ug_adsr::PN_GATE).HoldConstant(1.0f);
    rig.graph.Run(2000);
    rig.In(ug_adsr::PN_GATE).HoldConstant(0.0f);
    rig.graph.Run(800);
    const float before = rig.recorder->audio.back();
    ASSERT_GT(before, 0.1f);
    ASSERT_LT(before, 0.5f);
    rig.In(ug_adsr::PN_GATE).HoldConstant(1.0f);
    rig.graph.Run(50);
    const auto& a = rig.recorder->audio;
    EXPECT_NEAR(a[2800], before + Step(0.0), 1e-4);
    EXPECT_NEAR(a[2849], before + 50 * Step(0.0), 1e-3);
}

TEST(AdsrSegments, ASustainChangeWhileHoldingMovesTheOutputAtOnce)
{
    Settings s;
    AdsrRig rig(s);
    rig.In(ug_adsr::PN_GATE).HoldConstant(1.0f);
    rig.graph.Run(3000);
    EXPECT_FLOAT_EQ(rig.recorder->audio.back(), 0.5f);
    rig.In(ug_adsr::PN_SUSTAIN).HoldConstant(0.8f);
    rig.graph.Run(10);
    EXPECT_FLOAT_EQ(rig.recorder->audio[3000], 0.8f);
    // Holding with static inputs, it writes one block and sleeps.
    rig.graph.Run(500);
    EXPECT_FALSE(rig.module->IsListed());
    EXPECT_FLOAT_EQ(rig.recorder->audio.back(), 0.8f);
}

TEST(AdsrStreaming, AStreamingGateTriggersAtTheExactSample)
{
    Settings s;
    AdsrRig rig(s);
    rig.In(ug_adsr::PN_GATE).Stream([](int64_t t) { return t >= 301 && t < 2999 ? 0.8f : -0.2f; });
    rig.graph.Run(4500);
    ExpectLaw(rig, s, 301, 2999, 4500);
    EXPECT_EQ(rig.recorder->audio[300], 0.0f);
    EXPECT_GT(rig.recorder->audio[301], 0.0f);
}

TEST(AdsrStreaming, StreamingRateSustainAndOverallLevelAreFollowedPerSample)
{
    Settings s;
    AdsrRig rig(s);
    // A streaming rate of 0 V behaves as the static one.
    rig.In(ug_adsr::PN_ATTACK).Stream([](int64_t) { return 0.0f; });
    rig.In(ug_adsr::PN_GATE).HoldConstant(1.0f);
    rig.graph.Run(1000);
    ExpectLaw(rig, s, 0, 1 << 30, 400);

    // Holding: the output follows a streaming sustain, then a streaming overall level.
    rig.graph.Run(2000);
    auto sustain = [](int64_t t) { return 0.4f + 0.1f * std::sin(0.01f * static_cast<float>(t)); };
    rig.In(ug_adsr::PN_SUSTAIN).Stream(sustain);
    rig.graph.Run(500);
    for (int64_t n = 3001; n < 3500; ++n)
        ASSERT_NEAR(rig.recorder->audio[n], sustain(n), 1e-6) << n;

    rig.In(ug_adsr::PN_SUSTAIN).HoldConstant(0.5f);
    auto overall = [](int64_t t) { return 0.5f + 0.5f * std::cos(0.02f * static_cast<float>(t)); };
    rig.In(ug_adsr::PN_OVERALL_LEVEL).Stream(overall);
    rig.graph.Run(500);
    for (int64_t n = 3501; n < 4000; ++n)
        ASSERT_NEAR(rig.recorder->audio[n], 0.5f * overall(n), 1e-6) << n;
}

TEST(AdsrRobustness, NonFiniteAndHugeInputsGiveFiniteOutputs)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    for (float bad : {nan, inf, -inf, 1e30f, -1e30f})
    {
        for (int pin : {ug_adsr::PN_ATTACK, ug_adsr::PN_DECAY, ug_adsr::PN_SUSTAIN, ug_adsr::PN_RELEASE,
                        ug_adsr::PN_OVERALL_LEVEL})
        {
            for (bool streaming : {false, true})
            {
                AdsrRig rig(Settings{});
                if (streaming)
                    rig.In(pin).Stream([bad](int64_t t) { return t % 3 ? bad : 0.3f; });
                else
                    rig.In(pin).HoldConstant(bad);
                rig.In(ug_adsr::PN_GATE).Stream([](int64_t t) { return (t / 700) % 2 ? 1.0f : 0.0f; });
                rig.graph.Run(5000);
                for (float v : rig.recorder->audio)
                    ASSERT_TRUE(std::isfinite(v) && std::fabs(v) <= 100.0f) << bad << " pin " << pin;
            }
        }
    }
}

TEST(AdsrVoices, AResumedVoiceWithItsGateHighStartsANewAttack)
{
    Settings s;
    AdsrRig rig(s);
    rig.In(ug_adsr::PN_GATE).HoldConstant(1.0f);
    rig.graph.Run(3000);
    ASSERT_FLOAT_EQ(rig.recorder->audio.back(), 0.5f);

    // A stolen voice: suspended while held, resumed for a new note.
    rig.module->Suspend();
    rig.module->Resume(0);
    rig.graph.Run(1000);
    const auto& a = rig.recorder->audio;
    EXPECT_FLOAT_EQ(*std::max_element(a.begin() + 3000, a.end()), 1.0f);
    // Not from the level it had when its voice was stolen.
    EXPECT_NEAR(a[3000], Step(0.0), 1e-4);
}
