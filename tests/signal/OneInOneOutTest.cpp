#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "core/CModuleFactory.h"
#include "modules/signal/ug_generic_1_1.h"
#include "signal/SignalRig.h"

namespace
{
using Rig = kvtest::SignalRig<ug_generic_1_1>;
constexpr float kNan = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

Rig MakeRig(const wchar_t* type)
{
    return Rig(type, {ug_generic_1_1::PN_INPUT}, ug_generic_1_1::PN_OUTPUT);
}

// Streams the values through a module; one output per value.
std::vector<float> Through(const wchar_t* type, const std::vector<float>& values)
{
    Rig rig = MakeRig(type);
    rig.In(ug_generic_1_1::PN_INPUT).Stream([&](int64_t t) { return values[static_cast<size_t>(t) % values.size()]; });
    rig.graph.Run(static_cast<int>(values.size()) + 96);
    return std::vector<float>(rig.recorder->audio.begin(), rig.recorder->audio.begin() + values.size());
}

// Whole volts below, with the 0.0000006 V bias added in single precision as the module does; "Ceil" is one
// volt above.
double FloorVolts(float x) { return std::floor(static_cast<double>(x * 10.0f + 6e-7f)) * 0.1; }
double CeilVolts(float x) { return FloorVolts(x) + 0.1; }

// The output for an input held static from sample 0 (computed for one block, then kept while asleep).
float HeldThrough(const wchar_t* type, float value)
{
    Rig rig = MakeRig(type);
    rig.In(ug_generic_1_1::PN_INPUT).HoldConstant(value);
    rig.graph.Run(96 * 3);
    return rig.recorder->audio.back();
}
} // namespace

TEST(OneInOneOutRegistration, EachMemberHasTheInputAndOutputPins)
{
    for (const wchar_t* id : {L"Rectifier", L"Floor", L"Ceil", L"Denormal Detector", L"Denormal Cleaner"})
    {
        Module_Info* info = CModuleFactory::Instance()->GetById(id);
        ASSERT_NE(info, nullptr) << id;
        ASSERT_EQ(info->GetPinDescriptions().size(), 2u) << id;
        EXPECT_EQ(info->getPinDescriptionById(0)->GetName(), L"Signal in");
        EXPECT_EQ(info->getPinDescriptionById(0)->GetFlags() & 0x1u, 0x1u);
        EXPECT_EQ(info->getPinDescriptionById(1)->GetName(), L"Signal Out");
    }
}

TEST(Rectifier, OutputsTheMagnitudeWithTheSignClearedAndSilencesNan)
{
    const std::vector<float> in = {0.3f, -0.3f, -0.0f, -7.5f, -kInf, -1e-40f, kNan, -kNan};
    const std::vector<float> out = Through(L"Rectifier", in);
    for (size_t i = 0; i < in.size(); ++i)
    {
        EXPECT_EQ(out[i], std::isnan(in[i]) ? 0.0f : std::fabs(in[i])) << i;
        EXPECT_FALSE(std::signbit(out[i])) << i;
    }
}

TEST(FloorAndCeil, CeilIsAlwaysOneVoltAboveFloor)
{
    std::vector<float> in;
    for (int i = -400; i <= 400; ++i)
        in.push_back(static_cast<float>(i) * 0.0125f);
    const std::vector<float> floors = Through(L"Floor", in);
    const std::vector<float> ceils = Through(L"Ceil", in);
    for (size_t i = 0; i < in.size(); ++i)
    {
        const double tolerance = 1e-6 * (1.0 + std::fabs(in[i]));
        ASSERT_NEAR(floors[i], FloorVolts(in[i]), tolerance) << in[i];
        ASSERT_NEAR(ceils[i], CeilVolts(in[i]), tolerance) << in[i];
    }
}

TEST(FloorAndCeil, WholeAndHalfVoltsStreamingAndStatic)
{
    struct Case
    {
        float volts;
        double floor, ceil; // in volts
    };
    const Case cases[] = {
        {2.0f, 2.0, 3.0},   {2.5f, 2.0, 3.0},   {-2.0f, -2.0, -1.0}, {-2.5f, -3.0, -2.0},
        {0.0f, 0.0, 1.0},   {-0.0f, 0.0, 1.0},  {1.9999995f, 2.0, 3.0}, // a hair below 2 V counts as 2 V
        {-20.0f, -20.0, -19.0},
    };
    std::vector<float> in;
    for (const Case& c : cases)
        in.push_back(c.volts * 0.1f);
    const std::vector<float> floors = Through(L"Floor", in);
    const std::vector<float> ceils = Through(L"Ceil", in);
    for (size_t i = 0; i < in.size(); ++i)
    {
        const Case& c = cases[i];
        EXPECT_NEAR(floors[i] * 10.0, c.floor, 1e-5) << "streaming Floor " << c.volts;
        EXPECT_NEAR(ceils[i] * 10.0, c.ceil, 1e-5) << "streaming Ceil " << c.volts;
        EXPECT_NEAR(HeldThrough(L"Floor", in[i]) * 10.0, c.floor, 1e-5) << "static Floor " << c.volts;
        EXPECT_NEAR(HeldThrough(L"Ceil", in[i]) * 10.0, c.ceil, 1e-5) << "static Ceil " << c.volts;
    }
}

TEST(FloorAndCeil, NonFiniteAndHugeInputsGiveBoundedOutputs)
{
    for (const wchar_t* id : {L"Floor", L"Ceil"})
    {
        const std::vector<float> out = Through(id, {kNan, kInf, -kInf, 1e30f, -1e30f});
        for (float v : out)
            EXPECT_LE(std::fabs(v), 1.7e6f) << id;
        EXPECT_EQ(out[0], std::wstring(id) == L"Floor" ? 0.0f : 0.1f) << id; // NaN plays as 0 V
        EXPECT_GT(out[1], 1e6f) << id;
        EXPECT_LT(out[2], -1e6f) << id;
    }
}

TEST(Denormals, TheDetectorFlagsEveryDenormalAndTheCleanerPassesOnlyNormalNumbers)
{
    const std::vector<uint32_t> patterns = {0x00000000u, 0x80000000u, 0x00000001u, 0x00400000u, 0x007FFFFFu,
                                            0x807FFFFFu, 0x00080000u, 0x00800000u, 0x3F800000u, 0xBF800000u,
                                            0x7F7FFFFFu, 0x7F800000u, 0xFF800000u, 0x7FC00000u};
    std::vector<float> in;
    for (uint32_t p : patterns)
        in.push_back(std::bit_cast<float>(p));
    const std::vector<float> detected = Through(L"Denormal Detector", in);
    const std::vector<float> cleaned = Through(L"Denormal Cleaner", in);
    for (size_t i = 0; i < in.size(); ++i)
    {
        EXPECT_EQ(detected[i], std::fpclassify(in[i]) == FP_SUBNORMAL ? 5.0f : 0.0f) << std::hex << patterns[i];
        EXPECT_EQ(std::bit_cast<uint32_t>(cleaned[i]), std::isnormal(in[i]) ? patterns[i] : 0u)
            << std::hex << patterns[i];
    }
}

TEST(OneInOneOutStates, AStaticInputIsPassedOnComputedForOneBlockThenSleeps)
{
    Rig rig = MakeRig(L"Rectifier");
    rig.In(ug_generic_1_1::PN_INPUT).Stream([](int64_t t) { return std::sin(0.01f * static_cast<float>(t)) - 0.5f; });
    rig.graph.Run(200);
    EXPECT_TRUE(rig.module->IsListed());
    EXPECT_EQ(rig.recorder->changes.back().state, ST_STREAMING);

    rig.In(ug_generic_1_1::PN_INPUT).HoldConstant(-0.4f);
    const auto at = static_cast<int64_t>(rig.recorder->audio.size());
    rig.graph.Run(96 * 5);
    EXPECT_FALSE(rig.module->IsListed());
    EXPECT_EQ(rig.recorder->changes.back().state, ST_STATIC);
    EXPECT_EQ(rig.recorder->changes.back().time, at);
    // The output buffer keeps the value while the module sleeps.
    const float* block = rig.module->plugs_[ug_generic_1_1::PN_OUTPUT]->GetSampleBlock()->GetBlock();
    for (int i = 0; i < 96; ++i)
        ASSERT_FLOAT_EQ(block[i], 0.4f) << i;

    rig.In(ug_generic_1_1::PN_INPUT).Stream([](int64_t) { return -0.1f; });
    rig.graph.Run(192);
    EXPECT_TRUE(rig.module->IsListed());
    EXPECT_FLOAT_EQ(rig.recorder->audio.back(), 0.1f);
}
