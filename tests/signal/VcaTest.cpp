#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>

#include "core/CModuleFactory.h"
#include "engine/runtime/LookupTable.h"
#include "modules/signal/ug_vca.h"
#include "signal/SignalRig.h"

using kvtest::SignalRig;

namespace
{
using Rig = SignalRig<ug_vca>;

double ExpGain(double x)
{
    return 1.0 - (1.0 - std::exp(3.0 * (x - 1.0))) / (1.0 - std::exp(-3.0));
}
double DecibelGain(double x)
{
    double g = std::pow(10.0, (x - 1.0) * 3.8888888 * 0.5);
    if (x < 0.1)
        g *= std::sin(x * 1.5707964 * 10.0);
    return g;
}
double OldDecibelGain(double x)
{
    double b = (x - 1.0) * 5.0;
    if (b < -4.0)
        b = (b + 4.0) * 3.0 - 4.0;
    return std::pow(10.0, b);
}

const float* SharedTable(const wchar_t* name)
{
    LookupTable* found = nullptr;
    CreateSharedLookup(name, &found, -1, ug_vca::kTableSize, false, false, SLS_GLOBAL, nullptr);
    auto* table = dynamic_cast<ULookup*>(found);
    return table && table->IsFilled() ? table->GetBlock() : nullptr;
}

float Wave(int64_t t)
{
    return 0.4f * std::sin(0.05f * static_cast<float>(t));
}

Rig MakeRig()
{
    return Rig(L"VCA", {ug_vca::PN_SIGNAL, ug_vca::PN_VOLUME}, ug_vca::PN_OUTPUT);
}
} // namespace

TEST(VcaRegistration, TheModuleIsRegisteredWithItsPinsAndFlags)
{
    Module_Info* info = CModuleFactory::Instance()->GetById(L"VCA");
    ASSERT_NE(info, nullptr);
    ASSERT_EQ(info->GetPinDescriptions().size(), 4u);
    EXPECT_EQ(info->getPinDescriptionById(1)->GetName(), L"Volume");
    EXPECT_EQ(info->getPinDescriptionById(1)->GetDefaultVal(), L"8");
    EXPECT_EQ(info->getPinDescriptionById(0)->GetFlags() & 0x200u, 0x200u);
    EXPECT_EQ(info->getPinDescriptionById(3)->GetEnumList(), L"Exponential=1,Linear,Decibel,Decibel (old)=0");
    Rig rig = MakeRig();
    EXPECT_NE(rig.module->flags_ & ug_base::UGF_SIMD_OVERWRITES_BUFFER_END, 0u);
}

TEST(VcaCurves, TheSharedTablesFollowTheirFormulasAndReachUnityAtTenVolts)
{
    Rig rig = MakeRig();
    struct Case { const wchar_t* name; double (*law)(double); };
    for (const Case& c : {Case{L"UVCA Trunc Exp Curve", &ExpGain}, Case{L"db Curve", &DecibelGain},
                          Case{L"db Curve - old", [](double x) {
                              double d = x * 50.0 - 50.0;
                              if (d < -40.0)
                                  d = (d + 40.0) * 3.0 - 40.0;
                              return std::pow(10.0, 0.1 * d);
                          }}})
    {
        const float* t = SharedTable(c.name);
        ASSERT_NE(t, nullptr);
        EXPECT_EQ(t[0], 0.0f);
        EXPECT_NEAR(t[400], 1.0, 1e-5);
        for (int i = 1; i < ug_vca::kTableSize; ++i)
        {
            const double expected = c.law(i / 400.0);
            ASSERT_NEAR(t[i], expected, 1e-5 + 1e-5 * std::fabs(expected)) << i;
        }
    }
}

TEST(VcaCurves, ConstantVolumeGainsFollowEachCurveWithLimitAndLowFade)
{
    Rig rig = MakeRig();
    ug_vca& vca = *rig.module;
    rig.SetEnum(ug_vca::PN_RESPONSE_CURVE, ug_vca::RC_EXPONENTIAL);
    rig.graph.Run(96);
    EXPECT_NEAR(vca.CalcGain(1.0f), 1.0, 1e-6);
    EXPECT_EQ(vca.CalcGain(0.0f), 0.0f);
    EXPECT_NEAR(vca.CalcGain(0.5f), 1.0 - 1.0523957 * (1.0 - std::exp(-1.5)), 1e-6);
    EXPECT_NEAR(vca.CalcGain(5.0f), ExpGain(3.0), 1e-6 * ExpGain(3.0));
    EXPECT_NEAR(vca.CalcGain(0.00005f), ExpGain(0.00005) * 0.05, 1e-8);

    rig.SetEnum(ug_vca::PN_RESPONSE_CURVE, ug_vca::RC_DECIBEL);
    rig.graph.Run(96);
    EXPECT_NEAR(vca.CalcGain(1.0f), 1.0, 1e-6);
    EXPECT_NEAR(vca.CalcGain(0.2f), std::pow(10.0, -1.5555555), 1e-7);
    EXPECT_NEAR(vca.CalcGain(0.05f), DecibelGain(0.05), 1e-8);

    rig.SetEnum(ug_vca::PN_RESPONSE_CURVE, ug_vca::RC_DECIBEL_OLD);
    rig.graph.Run(96);
    EXPECT_NEAR(vca.CalcGain(1.0f), 1.0, 1e-6);
    EXPECT_NEAR(vca.CalcGain(0.2f), 1e-4, 1e-9);
    EXPECT_NEAR(vca.CalcGain(0.05f), std::pow(10.0, -6.25), 1e-10);
    EXPECT_NEAR(vca.CalcGain(0.3f), OldDecibelGain(0.3), 1e-8);

    rig.SetEnum(ug_vca::PN_RESPONSE_CURVE, ug_vca::RC_LINEAR);
    rig.graph.Run(96);
    EXPECT_FLOAT_EQ(vca.CalcGain(5.0f), 5.0f);
    EXPECT_FLOAT_EQ(vca.CalcGain(0.25f), 0.25f);
}

TEST(VcaCurves, NonFiniteOrHugeVolumesGiveSilenceOrAClampedGain)
{
    Rig rig = MakeRig();
    for (int curve : {0, 1, 2, 3, 7, -3})
    {
        rig.SetEnum(ug_vca::PN_RESPONSE_CURVE, curve);
        rig.graph.Run(96);
        const float nan = std::numeric_limits<float>::quiet_NaN();
        const float inf = std::numeric_limits<float>::infinity();
        EXPECT_EQ(rig.module->CalcGain(nan), 0.0f) << curve;
        EXPECT_EQ(rig.module->CalcGain(-inf), 0.0f) << curve;
        EXPECT_EQ(rig.module->CalcGain(-2.0f), 0.0f) << curve;
        const float high = rig.module->CalcGain(inf);
        EXPECT_TRUE(std::isfinite(high)) << curve;
        EXPECT_EQ(high, rig.module->CalcGain(1e30f)) << curve;
    }
    // A curve outside the list plays as the default, exponential.
    rig.SetEnum(ug_vca::PN_RESPONSE_CURVE, 9);
    rig.graph.Run(96);
    EXPECT_NEAR(rig.module->CalcGain(0.5f), ExpGain(0.5), 1e-6);
}

TEST(VcaProcessing, AStaticVolumeScalesAStreamingSignalByTheCurveGain)
{
    Rig rig = MakeRig();
    rig.In(ug_vca::PN_VOLUME).HoldConstant(0.6f);
    rig.In(ug_vca::PN_SIGNAL).Stream(Wave);
    rig.graph.Run(500);
    const double g = ExpGain(0.6);
    ASSERT_GE(rig.recorder->audio.size(), 500u);
    for (int n = 1; n < 500; ++n)
        ASSERT_NEAR(rig.recorder->audio[n], Wave(n) * g, 1e-6) << n;
}

TEST(VcaProcessing, AStreamingVolumeInterpolatesTheTableAndStaysInsideIt)
{
    Rig rig = MakeRig();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    auto volume = [&](int64_t t) -> float {
        switch (t % 8)
        {
        case 0: return nan;
        case 1: return inf;
        case 2: return -inf;
        case 3: return 4.5f; // 45 V: the last entry
        case 4: return -0.3f;
        default: return static_cast<float>(t % 1000) / 997.0f;
        }
    };
    rig.In(ug_vca::PN_SIGNAL).Stream([](int64_t) { return 0.5f; });
    rig.In(ug_vca::PN_VOLUME).Stream(volume);
    rig.graph.Run(2000);
    const float* t = SharedTable(L"UVCA Trunc Exp Curve");
    ASSERT_NE(t, nullptr);
    for (int n = 1; n < 2000; ++n)
    {
        const float out = rig.recorder->audio[n];
        ASSERT_TRUE(std::isfinite(out)) << n;
        const int k = n % 8;
        if (k == 0 || k == 2 || k == 4)
            ASSERT_EQ(out, 0.0f) << n;
        else if (k == 1 || k == 3)
            ASSERT_NEAR(out, 0.5 * ExpGain(3.0), 1e-6 * ExpGain(3.0)) << n;
        else
            ASSERT_NEAR(out, 0.5 * ExpGain(volume(n)), 2e-5) << n;
    }
}

TEST(VcaProcessing, TheLinearCurveMultipliesByThePositiveVolumeWithoutTable)
{
    Rig rig = MakeRig();
    rig.SetEnum(ug_vca::PN_RESPONSE_CURVE, ug_vca::RC_LINEAR);
    auto volume = [](int64_t t) { return static_cast<float>(t % 50) * 0.1f - 1.0f; };
    rig.In(ug_vca::PN_SIGNAL).Stream(Wave);
    rig.In(ug_vca::PN_VOLUME).Stream(volume);
    rig.graph.Run(400);
    for (int n = 1; n < 400; ++n)
        ASSERT_NEAR(rig.recorder->audio[n], Wave(n) * std::max(volume(n), 0.0f), 1e-6) << n;
}

TEST(VcaSleep, AStaticZeroSignalGivesOneStaticSilenceWhateverTheVolume)
{
    Rig rig = MakeRig();
    rig.In(ug_vca::PN_VOLUME).Stream(Wave);
    rig.In(ug_vca::PN_SIGNAL).HoldConstant(0.0f);
    rig.graph.Run(960);
    EXPECT_FALSE(rig.module->IsListed());
    const int announced = rig.StaticAnnouncements();
    EXPECT_GE(announced, 1);
    for (float v : rig.recorder->audio)
        ASSERT_EQ(v, 0.0f);

    // The same silence again is not announced again.
    rig.In(ug_vca::PN_SIGNAL).HoldConstant(0.0f);
    rig.graph.Run(960);
    EXPECT_EQ(rig.StaticAnnouncements(), announced);
}

TEST(VcaSleep, StaticInputsWriteTheProductForOneBlockThenSleep)
{
    Rig rig = MakeRig();
    rig.In(ug_vca::PN_VOLUME).HoldConstant(0.7f);
    rig.In(ug_vca::PN_SIGNAL).Stream(Wave);
    rig.graph.Run(192);
    rig.In(ug_vca::PN_SIGNAL).HoldConstant(0.3f);
    rig.graph.Run(960);
    EXPECT_FALSE(rig.module->IsListed());
    EXPECT_EQ(rig.recorder->changes.back().state, ST_STATIC);
    const float* block = rig.module->plugs_[ug_vca::PN_OUTPUT]->GetSampleBlock()->GetBlock();
    for (int i = 0; i < 96; ++i)
        ASSERT_NEAR(block[i], 0.3 * ExpGain(0.7), 1e-6);

    // A non-positive static volume silences a streaming signal at once.
    rig.In(ug_vca::PN_SIGNAL).Stream(Wave);
    rig.In(ug_vca::PN_VOLUME).HoldConstant(-0.1f);
    rig.graph.Run(960);
    EXPECT_FALSE(rig.module->IsListed());
    EXPECT_EQ(rig.recorder->audio.back(), 0.0f);
}

TEST(VcaPolyphony, TheModuleIsPolyphonyActiveOnlyWhenBothInputsCarryVoices)
{
    Rig rig = MakeRig();
    UPlug* signal = rig.module->plugs_[ug_vca::PN_SIGNAL];
    UPlug* volume = rig.module->plugs_[ug_vca::PN_VOLUME];
    volume->plugFlags_ |= PF_PP_DOWNSTREAM;
    EXPECT_FALSE(rig.module->PPGetActiveFlag());
    signal->plugFlags_ |= PF_PP_DOWNSTREAM;
    EXPECT_TRUE(rig.module->PPGetActiveFlag());
}
