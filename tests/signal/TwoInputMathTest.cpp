#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cwchar>
#include <functional>
#include <limits>
#include <string>

#include "core/CModuleFactory.h"
#include "modules/signal/ug_math_base.h"
#include "signal/SignalRig.h"

using kvtest::SignalRig;

namespace
{
using Rig = SignalRig<ug_math_base>;

Rig MakeRig(const wchar_t* id)
{
    return Rig(id, {ug_math_base::PN_INPUT1, ug_math_base::PN_INPUT2}, ug_math_base::PN_OUTPUT);
}

float WaveA(int64_t t)
{
    return 0.5f * std::sin(0.031f * static_cast<float>(t)) + 0.1f;
}
float WaveB(int64_t t)
{
    return 0.3f * std::cos(0.017f * static_cast<float>(t)) + 0.45f;
}

struct Member
{
    const wchar_t* id;
    std::function<double(double, double)> op; // on sample values
};

const Member kMembers[] = {
    {L"Subtract", [](double a, double b) { return a - b; }},
    {L"Multiply", [](double a, double b) { return a * b * 10.0; }},
    {L"Divide", [](double a, double b) { return a * 0.1 / b; }},
    {L"Ring Modulator", [](double a, double b) { return a * b; }},
    {L"Level Adj", [](double a, double b) { return a * b; }},
};
} // namespace

TEST(TwoInputMathRegistration, EachMemberIsRegisteredWithItsPinFlagsAndZeroShortCut)
{
    struct Expect { const wchar_t* id; uint32_t flags1; uint32_t flags2; bool zero; };
    for (const Expect& e : {Expect{L"Subtract", 0x1, 0x1, false}, Expect{L"Multiply", 0x200, 0x1, true},
                            Expect{L"Divide", 0x200, 0x1, false}, Expect{L"Ring Modulator", 0x200, 0x200, true},
                            Expect{L"Level Adj", 0x200, 0x200, true}})
    {
        Module_Info* info = CModuleFactory::Instance()->GetById(e.id);
        ASSERT_NE(info, nullptr);
        ASSERT_EQ(info->GetPinDescriptions().size(), 3u);
        EXPECT_EQ(info->getPinDescriptionById(0)->GetName(), L"Input 1");
        EXPECT_EQ(info->getPinDescriptionById(1)->GetDefaultVal(), L"8");
        EXPECT_EQ(info->getPinDescriptionById(0)->GetFlags() & 0x201u, e.flags1);
        EXPECT_EQ(info->getPinDescriptionById(1)->GetFlags() & 0x201u, e.flags2);
        Rig rig = MakeRig(e.id);
        EXPECT_EQ(rig.module->ZeroShortCut(), e.zero);
    }
}

TEST(TwoInputMathProcessing, EveryStreamingPatternFollowsTheMemberFormula)
{
    for (const Member& m : kMembers)
    {
        // 0: both stream, 1: only Input 1 streams, 2: only Input 2 streams.
        for (int pattern = 0; pattern < 3; ++pattern)
        {
            Rig rig = MakeRig(m.id);
            const float fixedA = 0.4f;
            const float fixedB = 0.25f;
            if (pattern == 2)
                rig.In(0).HoldConstant(fixedA);
            else
                rig.In(0).Stream(WaveA);
            if (pattern == 1)
                rig.In(1).HoldConstant(fixedB);
            else
                rig.In(1).Stream(WaveB);
            rig.graph.Run(400);
            EXPECT_TRUE(rig.module->IsListed());
            for (int n = 1; n < 400; ++n)
            {
                const double a = pattern == 2 ? fixedA : WaveA(n);
                const double b = pattern == 1 ? fixedB : WaveB(n);
                const double expected = m.op(a, b);
                ASSERT_NEAR(rig.recorder->audio[n], expected, 1e-5 * (1.0 + std::fabs(expected)))
                    << std::string(m.id, m.id + wcslen(m.id)) << " pattern " << pattern << " n " << n;
            }
        }
    }
}

TEST(TwoInputMathProcessing, VoltageExamplesGiveTheDocumentedResults)
{
    struct Case { const wchar_t* id; float a; float b; float result; };
    for (const Case& c : {Case{L"Multiply", 0.2f, 0.3f, 0.6f}, Case{L"Ring Modulator", 0.5f, 0.2f, 0.1f},
                          Case{L"Divide", 0.6f, 0.3f, 0.2f}, Case{L"Subtract", 0.6f, 0.3f, 0.3f}})
    {
        Rig rig = MakeRig(c.id);
        rig.In(0).HoldConstant(c.a);
        rig.In(1).HoldConstant(c.b);
        rig.graph.Run(480);
        // Both inputs static: one static announcement, the value for a block, then sleep.
        EXPECT_FALSE(rig.module->IsListed());
        EXPECT_EQ(rig.recorder->changes.back().state, ST_STATIC);
        const float* block = rig.module->plugs_[ug_math_base::PN_OUTPUT]->GetSampleBlock()->GetBlock();
        for (int i = 0; i < 96; ++i)
            ASSERT_NEAR(block[i], c.result, 1e-6);
    }
}

TEST(TwoInputMathSleep, AStaticZeroOnAProductSilencesAStreamingInputAndSleeps)
{
    for (const wchar_t* id : {L"Multiply", L"Ring Modulator"})
    {
        for (int zeroPin : {0, 1})
        {
            Rig rig = MakeRig(id);
            rig.In(1 - zeroPin).Stream(WaveA);
            rig.In(zeroPin).HoldConstant(0.0f);
            rig.graph.Run(480);
            EXPECT_FALSE(rig.module->IsListed());
            EXPECT_GE(rig.StaticAnnouncements(), 1);
            EXPECT_EQ(rig.recorder->changes.back().state, ST_STATIC);
            for (size_t n = 1; n < rig.recorder->audio.size(); ++n)
                ASSERT_EQ(rig.recorder->audio[n], 0.0f);
        }
    }
}

TEST(TwoInputMathSleep, SubtractHasNoZeroShortCutAndKeepsStreaming)
{
    Rig rig = MakeRig(L"Subtract");
    rig.In(0).Stream(WaveA);
    rig.In(1).HoldConstant(0.0f);
    rig.graph.Run(480);
    EXPECT_TRUE(rig.module->IsListed());
    for (int n = 1; n < 480; ++n)
        ASSERT_FLOAT_EQ(rig.recorder->audio[n], WaveA(n));
}

TEST(TwoInputMathSleep, AnInputThatStopsStreamingSwitchesToTheStaticPairAtThatSample)
{
    Rig rig = MakeRig(L"Divide");
    rig.In(0).Stream(WaveA);
    rig.In(1).HoldConstant(0.5f);
    rig.graph.Run(150);
    rig.In(0).HoldConstant(0.3f);
    const size_t changeAt = rig.recorder->audio.size();
    rig.graph.Run(480);
    EXPECT_FALSE(rig.module->IsListed());
    EXPECT_EQ(rig.recorder->changes.back().state, ST_STATIC);
    for (size_t n = changeAt; n < rig.recorder->audio.size(); ++n)
        ASSERT_NEAR(rig.recorder->audio[n], 0.3 * 0.1 / 0.5, 1e-7) << n;
}

TEST(TwoInputMathLimits, DivisionByZeroAndHugeInputsGiveFiniteBoundedResults)
{
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float limit = ug_math_base::kOutputLimit;
    struct Case { float a; float b; float result; };
    // 1 V / 0 V clamps to the limit with the sign of the operands; 0 / 0 is 0.
    for (const Case& c : {Case{0.1f, 0.0f, limit}, Case{-0.1f, 0.0f, -limit}, Case{0.1f, -0.0f, -limit},
                          Case{0.0f, 0.0f, 0.0f}})
    {
        Rig rig = MakeRig(L"Divide");
        rig.In(0).Stream([&](int64_t) { return c.a; });
        rig.In(1).HoldConstant(c.b);
        rig.graph.Run(200);
        for (int n = 1; n < 200; ++n)
            ASSERT_EQ(rig.recorder->audio[n], c.result) << c.a << " / " << c.b;
    }

    auto wild = [&](int64_t t) -> float {
        switch (t % 5)
        {
        case 0: return nan;
        case 1: return inf;
        case 2: return -1e30f;
        case 3: return 0.0f;
        default: return WaveA(t);
        }
    };
    for (const Member& m : kMembers)
    {
        Rig rig = MakeRig(m.id);
        rig.In(0).Stream(wild);
        rig.In(1).Stream([&](int64_t t) { return wild(t / 3); });
        rig.graph.Run(300);
        for (float v : rig.recorder->audio)
        {
            ASSERT_TRUE(std::isfinite(v));
            ASSERT_LE(std::fabs(v), limit);
        }
    }
}

TEST(TwoInputMathPolyphony, AMemberIsPolyphonyActiveOnlyWhenBothInputsCarryVoices)
{
    Rig rig = MakeRig(L"Multiply");
    rig.module->plugs_[0]->plugFlags_ |= PF_PP_DOWNSTREAM;
    EXPECT_FALSE(rig.module->PPGetActiveFlag());
    rig.module->plugs_[1]->plugFlags_ |= PF_PP_DOWNSTREAM;
    EXPECT_TRUE(rig.module->PPGetActiveFlag());
}
