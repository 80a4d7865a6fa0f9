#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <vector>

#include "core/CModuleFactory.h"
#include "modules/signal/ug_monostable.h"
#include "signal/SignalRig.h"

using kvtest::SignalRig;

namespace
{
using Rig = SignalRig<ug_monostable>;

Rig MakeRig()
{
    return Rig(L"Monostable", {ug_monostable::PN_INPUT, ug_monostable::PN_PULSE_LENGTH}, ug_monostable::PN_OUTPUT);
}

// High (0.5) from each rise time for `width` samples.
std::function<float(int64_t)> Pulses(std::vector<int64_t> rises, int64_t width, float height = 0.5f)
{
    return [=](int64_t t) {
        for (int64_t r : rises)
        {
            if (t >= r && t < r + width)
                return height;
        }
        return 0.0f;
    };
}

// Samples at 0.5 and the first and last of them.
struct HighRun { int64_t count = 0; int64_t first = -1; int64_t last = -1; };
HighRun HighSamples(const std::vector<float>& audio, int64_t from = 0)
{
    HighRun run;
    for (int64_t n = from; n < static_cast<int64_t>(audio.size()); ++n)
    {
        if (audio[static_cast<size_t>(n)] == 0.5f)
        {
            run.first = run.first < 0 ? n : run.first;
            run.last = n;
            ++run.count;
        }
        else
        {
            EXPECT_EQ(audio[static_cast<size_t>(n)], 0.0f) << n;
        }
    }
    return run;
}
} // namespace

TEST(MonostableRegistration, TheModuleIsRegisteredWithItsThreePins)
{
    Module_Info* info = CModuleFactory::Instance()->GetById(L"Monostable");
    ASSERT_NE(info, nullptr);
    ASSERT_EQ(info->GetPinDescriptions().size(), 3u);
    EXPECT_EQ(info->getPinDescriptionById(0)->GetName(), L"Signal in");
    EXPECT_EQ(info->getPinDescriptionById(1)->GetName(), L"Pulse Length");
    EXPECT_EQ(info->getPinDescriptionById(1)->GetDefaultVal(), L"0.1");
    EXPECT_EQ(info->getPinDescriptionById(2)->GetName(), L"Signal Out");
}

TEST(MonostablePulse, TenVoltsGiveAOneSecondPulseFromTheSampleOfTheEdge)
{
    Rig rig = MakeRig();
    rig.In(ug_monostable::PN_PULSE_LENGTH).HoldConstant(1.0f);
    rig.In(ug_monostable::PN_INPUT).Stream(Pulses({100}, 30));
    rig.graph.Run(96 * 470);
    const HighRun run = HighSamples(rig.recorder->audio);
    EXPECT_EQ(run.first, 100);
    EXPECT_EQ(run.count, 44100);
    EXPECT_EQ(run.last, 100 + 44100 - 1);
}

TEST(MonostablePulse, EdgesDuringAPulseAreIgnoredAndLaterEdgesStartANewOne)
{
    const int32_t length = ug_monostable::PulseSamples(0.01f, 44100.0f);
    EXPECT_EQ(length, static_cast<int32_t>(44100.0 * static_cast<double>(0.01f)));
    Rig rig = MakeRig();
    rig.In(ug_monostable::PN_PULSE_LENGTH).HoldConstant(0.01f);
    rig.In(ug_monostable::PN_INPUT).Stream(Pulses({50, 200, 300, 1000}, 20));
    rig.graph.Run(96 * 20);
    const auto& audio = rig.recorder->audio;
    const HighRun first = HighSamples(std::vector<float>(audio.begin(), audio.begin() + 1000));
    EXPECT_EQ(first.first, 50);
    EXPECT_EQ(first.count, length);
    const HighRun second = HighSamples(audio, 1000);
    EXPECT_EQ(second.first, 1000);
    EXPECT_EQ(second.count, length);
}

TEST(MonostablePulse, ZeroNegativeOrNonNumberLengthsGiveOneSampleAndHugeOnesAreBounded)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    for (float length : {0.0f, -3.0f, nan})
    {
        Rig rig = MakeRig();
    rig.In(ug_monostable::PN_PULSE_LENGTH).HoldConstant(length);
        rig.In(ug_monostable::PN_INPUT).Stream(Pulses({10}, 40));
        rig.graph.Run(192);
        const HighRun run = HighSamples(rig.recorder->audio);
        EXPECT_EQ(run.count, 1);
        EXPECT_EQ(run.first, 10);
    }
    EXPECT_EQ(ug_monostable::PulseSamples(1e30f, 44100.0f), ug_monostable::kMaxPulseSamples);
    EXPECT_EQ(ug_monostable::PulseSamples(std::numeric_limits<float>::infinity(), 44100.0f),
              ug_monostable::kMaxPulseSamples);
}

TEST(MonostableInput, OnlyAFullSwingRetriggers)
{
    Rig rig = MakeRig();
    rig.In(ug_monostable::PN_PULSE_LENGTH).HoldConstant(0.0f);
    // 0.3 triggers nothing; after the trigger at 40 a dip to 0.17 does not re-arm it.
    const std::vector<std::pair<int64_t, float>> levels = {{10, 0.3f}, {20, 0.0f}, {40, 0.34f}, {50, 0.17f},
                                                           {60, 0.5f}, {70, 0.16f}, {80, 0.34f}};
    rig.In(ug_monostable::PN_INPUT).Stream([&](int64_t t) {
        float v = 0.0f;
        for (const auto& [time, level] : levels)
            v = t >= time ? level : v;
        return v;
    });
    rig.graph.Run(96);
    std::vector<int64_t> highs;
    for (size_t n = 0; n < rig.recorder->audio.size(); ++n)
    {
        if (rig.recorder->audio[n] == 0.5f)
            highs.push_back(static_cast<int64_t>(n));
    }
    EXPECT_EQ(highs, (std::vector<int64_t>{40, 80}));
}

TEST(MonostableSleep, AStaticTriggerSleepsThroughALongPulseThatStillEndsOnTime)
{
    Rig rig = MakeRig();
    rig.In(ug_monostable::PN_PULSE_LENGTH).HoldConstant(0.05f);
    const int32_t length = ug_monostable::PulseSamples(0.05f, 44100.0f);
    rig.graph.Run(192);
    rig.In(ug_monostable::PN_INPUT).HoldConstant(0.5f);
    rig.graph.Run(96 * 4);
    // Out of the list during the pulse: its pending end call wakes it.
    EXPECT_EQ(rig.module->GetProcessFunction(), static_cast<ug_base::process_func_ptr>(&ug_base::process_sleep));
    EXPECT_FALSE(rig.module->IsListed());
    EXPECT_EQ(rig.module->OutputValue(), 0.5f);
    rig.graph.Run(96 * 40);
    const HighRun run = HighSamples(rig.recorder->audio);
    EXPECT_EQ(run.first, 192);
    EXPECT_EQ(run.count, length);
    ASSERT_GE(rig.recorder->changes.size(), 2u);
    EXPECT_EQ(rig.recorder->changes.back().time, 192 + length);
    EXPECT_EQ(rig.recorder->changes.back().state, ST_STATIC);
    EXPECT_FALSE(rig.module->IsListed());
}
