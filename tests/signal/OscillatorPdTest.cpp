#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "core/CModuleFactory.h"
#include "modules/signal/ug_oscillator_pd.h"
#include "signal/SignalRig.h"

using kvtest::SignalRig;

namespace
{
constexpr float kRate = 44100.0f;
constexpr double kTwoPi = 6.283185307179586;
using Pd = ug_oscillator_pd;
using Rig = SignalRig<Pd>;

struct Bp
{
    double x, y, z;
};
struct RefShape
{
    std::vector<Bp> points;
    bool resonant;
};

// Breakpoints of each wave, as listed for the instrument designer.
RefShape ShapeOf(int wave)
{
    switch (wave)
    {
    case Pd::WV_SAW: return {{{0, 0, 0}, {0.5, 0.5, -0.5}, {1, 1, 0}}, false};
    case Pd::WV_SQUARE:
        return {{{0, 0, 0}, {0, 0, 0.25}, {0.5, 0.5, -0.25}, {0.5, 0.5, 0.25}, {1, 1, -0.25}, {1, 1, 0}}, false};
    case Pd::WV_PULSE: return {{{0, 0, 0}, {0, 0, 0.5}, {1, 1, -0.5}, {1, 1, 0}}, false};
    case Pd::WV_DBL_SINE: return {{{0, 0, 0}, {0.5, 1, -0.5}, {1, 2, 0}}, false};
    case Pd::WV_SAW_PULSE: return {{{0, 0, 0}, {0.5, 0.5, 0}, {1, 1, -0.5}, {1, 1, 0}}, false};
    case Pd::WV_RESO1: return {{{0, 0, 1}, {1, 1, 0}}, true};
    case Pd::WV_RESO2: return {{{0, 0, 0}, {0.5, 0.5, 1}, {1, 1, 0}}, true};
    default: return {{{0, 0, 1}, {0.5, 0.5, 1}, {1, 1, 0}}, true};
    }
}

// The oscillator worked out from its definition in double precision: a
// search of the segment holding the phase, an exact cosine and the DC tracker.
std::vector<double> Reference(const std::vector<int>& waves, uint32_t increment, double depthVolts, int n)
{
    const double d = std::clamp(depthVolts, 0.0, 0.97);
    const double tracking = 2.0 * std::sin(21.99115 / kRate);
    std::vector<double> out;
    uint32_t phase = 0;
    size_t slot = 0;
    double dc = 0.0;
    for (int i = 0; i < n; ++i)
    {
        const RefShape s = ShapeOf(waves[slot]);
        const double p = static_cast<double>(phase >> 9) / 8388608.0;
        std::vector<double> X;
        for (const Bp& b : s.points)
            X.push_back(s.resonant ? b.x : b.x + b.z * d);
        size_t k = 0;
        while (k + 2 < X.size() && p >= X[k + 1])
            ++k;
        const double t = (p - X[k]) / (X[k + 1] - X[k]);
        double value;
        if (s.resonant)
        {
            const double w = s.points[k].z + t * (s.points[k + 1].z - s.points[k].z);
            value = 0.5 * std::cos(kTwoPi * p * (d * 10.0 + 1.0)) * w + 0.5 - 0.5 * w;
        }
        else
        {
            value = 0.5 * std::cos(kTwoPi * (s.points[k].y + t * (s.points[k + 1].y - s.points[k].y)));
        }
        out.push_back(value - dc);
        dc += (value - dc) * tracking;
        if (static_cast<uint32_t>(phase + increment) < phase)
            slot = (slot + 1) % waves.size();
        phase += increment;
    }
    return out;
}

uint32_t OctaveIncrement(float pitch)
{
    const float hz = 440.0f * std::exp2f(pitch * 10.0f - 5.0f);
    return static_cast<uint32_t>(std::trunc(static_cast<double>(hz) * 4294967296.0 / kRate + 0.5));
}

struct PdRig : Rig
{
    PdRig(int wave1, int wave2, float pitch, float depth)
        : Rig(L"Phase Dist Osc", {Pd::PN_PITCH, Pd::PN_DEPTH}, Pd::PN_AUDIO_OUT, kRate)
    {
        In(Pd::PN_PITCH).HoldConstant(pitch);
        In(Pd::PN_DEPTH).HoldConstant(depth);
        SetEnum(Pd::PN_WAVE1, wave1);
        SetEnum(Pd::PN_WAVE2, wave2);
    }
    const std::vector<float>& Out() const { return recorder->audio; }
};

void ExpectMatches(const std::vector<float>& out, const std::vector<double>& ref, double tolerance)
{
    ASSERT_GE(out.size(), ref.size());
    for (size_t i = 0; i < ref.size(); ++i)
        ASSERT_NEAR(out[i], ref[i], tolerance) << "sample " << i;
}
} // namespace

TEST(PdRegistration, TheModuleIsRegisteredWithItsSixPins)
{
    Module_Info* info = CModuleFactory::Instance()->GetById(L"Phase Dist Osc");
    ASSERT_NE(info, nullptr);
    ASSERT_EQ(info->GetPinDescriptions().size(), 6u);
    EXPECT_EQ(info->getPinDescriptionById(1)->GetName(), L"Modulation Depth");
    EXPECT_EQ(info->getPinDescriptionById(4)->GetEnumList(),
              L"None=-1,Saw,Square,Pulse,Dbl Sine,Saw-Pulse,Reso1,Reso2,Reso3");
    EXPECT_EQ(info->getPinDescriptionById(5)->GetFlags() & 0x40000u, 0x40000u);
}

TEST(PdShapes, EveryWaveFollowsItsBreakpointCurveAtLowMiddleAndFullDepth)
{
    const float pitch = 0.4f; // 220 Hz
    for (int wave = Pd::WV_SAW; wave <= Pd::WV_RESO3; ++wave)
    {
        for (float depth : {0.0f, 0.05f, 0.5f, 0.97f})
        {
            PdRig rig(wave, Pd::WV_NONE, pitch, depth);
            rig.graph.Run(1000);
            SCOPED_TRACE(testing::Message() << "wave " << wave << " depth " << depth);
            EXPECT_EQ(rig.module->Increment(), OctaveIncrement(pitch));
            ExpectMatches(rig.Out(), Reference({wave}, OctaveIncrement(pitch), depth, 1000), 2e-4);
        }
    }
}

TEST(PdShapes, DepthIsClampedBetweenZeroAndNinePointSevenVolts)
{
    for (auto [outside, inside] : {std::pair{2.0f, 0.97f}, std::pair{-1.0f, 0.0f}})
    {
        PdRig a(Pd::WV_RESO2, Pd::WV_NONE, 0.45f, outside);
        PdRig b(Pd::WV_RESO2, Pd::WV_NONE, 0.45f, inside);
        a.graph.Run(500);
        b.graph.Run(500);
        EXPECT_EQ(a.Out(), b.Out());
    }
}

TEST(PdCycles, TheTwoWavesAlternateCycleByCycleAndNoneRepeatsTheFirst)
{
    const uint32_t increment = OctaveIncrement(0.5f);
    PdRig both(Pd::WV_SAW, Pd::WV_SQUARE, 0.5f, 0.6f);
    both.graph.Run(2000);
    ExpectMatches(both.Out(), Reference({Pd::WV_SAW, Pd::WV_SQUARE}, increment, 0.6, 2000), 2e-4);

    PdRig single(Pd::WV_SAW, Pd::WV_NONE, 0.5f, 0.6f);
    single.graph.Run(2000);
    ExpectMatches(single.Out(), Reference({Pd::WV_SAW}, increment, 0.6, 2000), 2e-4);
}

TEST(PdPitch, APitchOutOfRangeHoldsTheValueWhichDecaysThroughTheDcTracker)
{
    PdRig rig(Pd::WV_SAW, Pd::WV_NONE, 13.0f, 0.0f);
    rig.graph.Run(400);
    EXPECT_EQ(rig.module->Increment(), 0u);
    const double factor = 1.0 - 2.0 * std::sin(21.99115 / kRate);
    const auto& out = rig.Out();
    EXPECT_NEAR(out[0], 0.5, 1e-6);
    for (size_t i = 1; i < out.size(); ++i)
        ASSERT_NEAR(out[i], out[i - 1] * factor, 1e-6) << i;
}

TEST(PdPitch, AnIncrementAboveTheTableBoundIsSilentUntilThePitchComesDown)
{
    const auto bound = static_cast<uint32_t>(2147483648.0 * 0.8908987181403393);
    PdRig rig(Pd::WV_SAW, Pd::WV_NONE, 0.5f, 0.5f);
    rig.SetEnum(Pd::PN_FREQ_SCALE, Pd::FS_VOLT_PER_KHZ);
    rig.In(Pd::PN_PITCH).HoldConstant(2.0f); // 20 kHz
    rig.graph.Run(300);
    EXPECT_EQ(rig.module->UpperBound(), bound);
    EXPECT_GT(rig.module->Increment(), bound);
    for (float v : rig.Out())
        ASSERT_EQ(v, 0.0f);

    rig.In(Pd::PN_PITCH).HoldConstant(0.1f); // 1 kHz
    rig.graph.Run(300);
    EXPECT_EQ(rig.module->Increment(), static_cast<uint32_t>(std::trunc(1000.0 * 4294967296.0 / kRate + 0.5)));
    EXPECT_GT(*std::max_element(rig.Out().begin() + 300, rig.Out().end()), 0.2f);
}

TEST(PdPitch, AStreamingPitchSetsTheIncrementPerSampleAndSilencesFromTheNextBlockWhenTooHigh)
{
    PdRig rig(Pd::WV_PULSE, Pd::WV_NONE, 0.5f, 0.3f);
    rig.In(Pd::PN_PITCH).Stream([](int64_t t) { return t < 192 ? 0.5f : 1.9f; });
    rig.graph.Run(192);
    // Constant pitch while streaming: the same wave as with a static pitch.
    ExpectMatches(rig.Out(), Reference({Pd::WV_PULSE}, OctaveIncrement(0.5f), 0.3, 192), 2e-4);
    EXPECT_FALSE(rig.module->Overloaded());
    rig.graph.Run(96 * 3);
    EXPECT_TRUE(rig.module->Overloaded());
    // The block that raised the pitch still plays; the next ones are silent.
    for (size_t i = 192 + 96; i < rig.Out().size(); ++i)
        ASSERT_EQ(rig.Out()[i], 0.0f);
}

TEST(PdRobustness, NonFiniteInputsAndUnknownWavesGiveFiniteBoundedOutput)
{
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    for (int wave1 : {static_cast<int>(Pd::WV_RESO3), 42, -1})
    {
        PdRig rig(wave1, 1000, 0.5f, 0.5f);
        rig.In(Pd::PN_PITCH).Stream([=](int64_t t) { return t % 3 == 0 ? nan : (t % 3 == 1 ? inf : 11.9f); });
        rig.In(Pd::PN_DEPTH).Stream([=](int64_t t) { return t % 2 ? nan : -inf; });
        rig.graph.Run(500);
        rig.SetEnum(Pd::PN_FREQ_SCALE, Pd::FS_VOLT_PER_KHZ);
        rig.graph.Run(500);
        for (float v : rig.Out())
            ASSERT_TRUE(std::isfinite(v) && std::fabs(v) <= 1.0f);
    }
    EXPECT_EQ(Pd::PitchToIncrement(11.99f, Pd::FS_VOLT_PER_OCTAVE, kRate), 0xFFFFFFFFu);
    EXPECT_EQ(Pd::PitchToIncrement(nan, Pd::FS_VOLT_PER_KHZ, kRate), 0u);
}
