#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>

#include "core/CModuleFactory.h"
#include "engine/runtime/LookupTable.h"
#include "engine/TestGraph.h"
#include "modules/signal/ug_filter_1pole.h"

using kvtest::Recorder;
using kvtest::TestGraph;
using kvtest::TestSource;

namespace
{
constexpr float kRate = 44100.0f;
constexpr double kTwoPi = 6.283185307179586;

// The pole for a pitch (1.0 = 10 V), in double precision.
double ReferencePole(double pitch, bool kHz)
{
    const double hz = kHz ? pitch * 10000.0 : 440.0 * std::pow(2.0, pitch * 10.0 - 5.0);
    return std::exp(-kTwoPi * std::min(0.495 * kRate, hz) / kRate);
}

float Noise(int64_t t)
{
    uint32_t x = static_cast<uint32_t>(t) * 2654435761u + 12345u;
    x ^= x >> 13;
    x *= 0x5bd1e995u;
    x ^= x >> 15;
    return static_cast<float>(x & 0xFFFF) / 32768.0f - 1.0f;
}

// A registered filter between a signal source and a pitch source, recorded.
struct FilterRig
{
    explicit FilterRig(const wchar_t* type) : graph(96, kRate)
    {
        signal = graph.Add<TestSource>(10);
        pitch = graph.Add<TestSource>(10);
        filter = static_cast<ug_filter_1pole*>(CModuleFactory::Instance()->GetById(type)->BuildSynthOb());
        filter->Setup(&graph.master, nullptr);
        filter->sortOrder_ = 5;
        graph.modules.emplace_back(filter);
        recorder = graph.Add<Recorder>(1);
        ug_base::connect(signal->plugs_[TestSource::PN_AUDIO], filter->plugs_[ug_filter_1pole::PN_SIGNAL]);
        ug_base::connect(pitch->plugs_[TestSource::PN_AUDIO], filter->plugs_[ug_filter_1pole::PN_PITCH]);
        ug_base::connect(filter->plugs_[ug_filter_1pole::PN_OUTPUT], recorder->plugs_[Recorder::PN_AUDIO]);
        graph.OpenAll();
    }

    // Output against the filter law, with a per-sample pole.
    template <class Pole>
    void ExpectFilterLaw(bool lowPass, int samples, Pole pole, double tolerance)
    {
        double y = 0.0;
        ASSERT_GE(recorder->audio.size(), static_cast<size_t>(samples));
        for (int n = 0; n < samples; ++n)
        {
            const double x = Noise(n);
            y = (y - x) * pole(n) + x;
            ASSERT_NEAR(recorder->audio[n], lowPass ? y : x - y, tolerance) << n;
        }
    }

    TestGraph graph;
    TestSource* signal = nullptr;
    TestSource* pitch = nullptr;
    ug_filter_1pole* filter = nullptr;
    Recorder* recorder = nullptr;
};

const float* CutoffTable()
{
    LookupTable* found = nullptr;
    CreateSharedLookup(L"1 pole l", &found, static_cast<int>(kRate), 514, false, false, SLS_GLOBAL, nullptr);
    auto* table = dynamic_cast<ULookup*>(found);
    return table && table->IsFilled() ? table->GetBlock() : nullptr;
}
} // namespace

TEST(OnePoleRegistration, BothFiltersAreRegisteredWithTheSharedPins)
{
    for (const wchar_t* id : {L"1 Pole LP", L"1 Pole HP"})
    {
        Module_Info* info = CModuleFactory::Instance()->GetById(id);
        ASSERT_NE(info, nullptr);
        ASSERT_EQ(info->GetPinDescriptions().size(), 4u);
        EXPECT_EQ(info->getPinDescriptionById(1)->GetName(), L"Pitch");
        EXPECT_EQ(info->getPinDescriptionById(1)->GetDefaultVal(), L"5");
        EXPECT_EQ(info->getPinDescriptionById(3)->GetEnumList(), L"1 Volt/Octave, 1 Volt/kHz ");
        EXPECT_EQ(info->getPinDescriptionById(3)->GetFlags(), 0x40001u);
        // The prototype that described the pins is gone: no address of it is kept.
        for (int pin = 0; pin < 4; ++pin)
        {
            EXPECT_EQ(info->getPinDescriptionById(pin)->GetBufferAddress(), nullptr);
            EXPECT_EQ(info->getPinDescriptionById(pin)->GetVarAddr(), nullptr);
        }
    }
    EXPECT_EQ(CModuleFactory::Instance()->GetById(L"1 Pole HP")->GetRegistrationNumber1(), 501);
}

TEST(OnePoleCoefficients, TheTableFollowsThePoleFormulaAndCoversExactlyZeroToTenVolts)
{
    FilterRig rig(L"1 Pole LP");
    const float* t = CutoffTable();
    ASSERT_NE(t, nullptr);
    for (int i = 0; i < 514; ++i)
        ASSERT_NEAR(t[i], ReferencePole(i / 512.0, false), 2e-6) << i;

    ug_filter_1pole* f = rig.filter;
    EXPECT_EQ(f->Coefficient(0.0f), t[0]);
    EXPECT_EQ(f->Coefficient(1.0f), t[512]);
    EXPECT_FLOAT_EQ(f->Coefficient(0.25f + 0.5f / 512), t[128] + (t[129] - t[128]) * 0.5f);
    // Outside the table the pole is worked out, and limited at 0.495 of the rate.
    EXPECT_NEAR(f->Coefficient(1.05f), ReferencePole(1.05, false), 1e-6);
    EXPECT_NEAR(f->Coefficient(1.2f), std::exp(-kTwoPi * 0.495), 1e-6);
    EXPECT_NEAR(ug_filter_1pole::DirectCoefficient(0.1f, ug_filter_1pole::FS_VOLT_PER_KHZ, kRate),
                ReferencePole(0.1, true), 1e-6);
}

TEST(OnePoleFiltering, LowAndHighPassFollowTheFilterLawOnAStreamingInput)
{
    for (const wchar_t* type : {L"1 Pole LP", L"1 Pole HP"})
    {
        FilterRig rig(type);
        rig.pitch->HoldConstant(0.5f);
        rig.signal->Stream(Noise);
        rig.graph.Run(1000);
        const double a = ReferencePole(0.5, false);
        rig.ExpectFilterLaw(std::wstring(type) == L"1 Pole LP", 1000, [a](int) { return a; }, 1e-4);
    }
}

TEST(OnePoleFiltering, AStreamingPitchSetsThePoleEverySample)
{
    FilterRig rig(L"1 Pole LP");
    auto pitchAt = [](int64_t t) { return 0.2f + 0.6f * static_cast<float>(t) / 700.0f; };
    rig.pitch->Stream(pitchAt);
    rig.signal->Stream(Noise);
    rig.graph.Run(700);
    rig.ExpectFilterLaw(true, 700, [&](int n) { return ReferencePole(pitchAt(n), false); }, 2e-3);
}

TEST(OnePoleFiltering, SwitchingToVoltPerKilohertzRecomputesThePole)
{
    FilterRig rig(L"1 Pole LP");
    rig.pitch->HoldConstant(0.1f);
    rig.signal->Stream(Noise);
    rig.graph.Run(96);
    EXPECT_NEAR(rig.filter->Pole(), ReferencePole(0.1, false), 1e-5);

    const int32_t kHz = ug_filter_1pole::FS_VOLT_PER_KHZ;
    rig.filter->SetPinValue(96, ug_filter_1pole::PN_FREQ_SCALE, DT_ENUM, &kHz, 4);
    rig.graph.Run(96);
    EXPECT_NEAR(rig.filter->Pole(), ReferencePole(0.1, true), 1e-6);
}

TEST(OnePoleSettling, AStaticInputSettlesRunsOutAndSleepsWithTheOutputStopped)
{
    for (const wchar_t* type : {L"1 Pole LP", L"1 Pole HP"})
    {
        FilterRig rig(type);
        const float settled = std::wstring(type) == L"1 Pole LP" ? 0.1f : 0.0f;
        rig.pitch->HoldConstant(0.5f);
        rig.signal->Stream(Noise);
        rig.graph.Run(960);
        rig.signal->HoldConstant(0.1f);
        rig.graph.Run(static_cast<int>(kRate * 1.5));

        EXPECT_FALSE(rig.filter->IsListed());
        const float* block = rig.filter->plugs_[ug_filter_1pole::PN_OUTPUT]->GetSampleBlock()->GetBlock();
        for (int i = 0; i < 96; ++i)
            ASSERT_FLOAT_EQ(block[i], settled);
        EXPECT_EQ(rig.recorder->changes.back().state, ST_STATIC);

        // A new static value wakes it; a static input from the start is settled at once.
        rig.signal->HoldConstant(-0.2f);
        EXPECT_TRUE(rig.filter->IsListed());
        rig.graph.Run(9600);
        EXPECT_NEAR(rig.recorder->audio.back(), settled == 0.0f ? 0.0f : -0.2f, 1e-6);
    }
    FilterRig fresh(L"1 Pole LP");
    fresh.pitch->HoldConstant(0.2f);
    fresh.signal->HoldConstant(0.3f);
    fresh.graph.Run(96);
    EXPECT_FLOAT_EQ(fresh.recorder->audio[0], 0.3f);
}

TEST(OnePoleOverflow, AnInfiniteStateIsClearedByTheNextCheck)
{
    FilterRig rig(L"1 Pole LP");
    rig.pitch->HoldConstant(0.5f);
    rig.signal->Stream(Noise);
    rig.graph.Run(960);
    rig.filter->SetState(INFINITY);
    rig.graph.Run(96);
    EXPECT_TRUE(std::isinf(rig.filter->State()));
    rig.graph.Run(static_cast<int>(kRate));
    EXPECT_TRUE(std::isfinite(rig.filter->State()));
}

TEST(OnePoleOverflow, RepeatedWakingKeepsASingleChainOfChecks)
{
    FilterRig rig(L"1 Pole LP");
    rig.pitch->HoldConstant(0.95f);
    for (int i = 0; i < 40; ++i)
    {
        rig.signal->HoldConstant(i % 2 ? 0.4f : -0.4f);
        rig.graph.Run(2000);
        ASSERT_LE(kvtest::CountPending(*rig.filter, UET_RUN_DELAYED), 1) << i;
    }
}
