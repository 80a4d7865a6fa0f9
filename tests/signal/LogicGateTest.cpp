#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "core/CModuleFactory.h"
#include "modules/signal/ug_logic_gate.h"
#include "signal/LogicRig.h"

using kvtest::LogicRig;

namespace
{
using GateRig = LogicRig<ug_logic_gate>;

std::vector<int> InputPins(int n)
{
    std::vector<int> pins;
    for (int k = 0; k < n; ++k)
        pins.push_back(ug_logic_gate::PN_FIRST_INPUT + k);
    return pins;
}

GateRig MakeGate(const wchar_t* type, int inputs)
{
    return GateRig(type, ug_logic_gate::PN_FIRST_INPUT, inputs, InputPins(inputs), {ug_logic_gate::PN_OUTPUT});
}

// The expected answer of each gate for a number of high inputs out of n.
bool Expected(const std::wstring& type, int high, int n)
{
    if (type == L"AND Gate")
        return high == n;
    if (type == L"OR Gate")
        return high > 0;
    if (type == L"XOR Gate")
        return high % 2 == 1;
    if (type == L"NAND Gate")
        return high < n;
    return high == 0; // NOR
}

const wchar_t* const kGates[] = {L"AND Gate", L"OR Gate", L"XOR Gate", L"NAND Gate", L"NOR Gate"};
} // namespace

TEST(LogicGateRegistration, EachGateIsRegisteredWithAnOutputAndADuplicatingInput)
{
    for (const wchar_t* type : kGates)
    {
        Module_Info* info = CModuleFactory::Instance()->GetById(type);
        ASSERT_NE(info, nullptr) << type;
        ASSERT_EQ(info->GetPinDescriptions().size(), 2u);
        EXPECT_EQ(info->getPinDescriptionById(0)->GetName(), L"Output");
        EXPECT_EQ(info->getPinDescriptionById(0)->GetDirection(), DR_OUT);
        EXPECT_EQ(info->getPinDescriptionById(1)->GetName(), L"Input");
        EXPECT_EQ(info->getPinDescriptionById(1)->GetFlags() & 0x49u, 0x49u);
        EXPECT_EQ(info->getPinDescriptionById(1)->GetBufferAddress(), nullptr);
    }
}

TEST(LogicGateRules, EveryCombinationOfThreeStaticInputsGivesTheGatesAnswer)
{
    for (const wchar_t* type : kGates)
    {
        for (int pattern = 0; pattern < 8; ++pattern)
        {
            GateRig rig = MakeGate(type, 3);
            int high = 0;
            for (int k = 0; k < 3; ++k)
            {
                const bool on = (pattern >> k) & 1;
                high += on ? 1 : 0;
                rig.In(1 + k).HoldConstant(on ? 0.5f : 0.0f);
            }
            rig.graph.Run(192);
            const float expected = Expected(type, high, 3) ? 0.5f : 0.0f;
            const auto& audio = rig.Out(0).audio;
            ASSERT_EQ(audio.size(), 192u);
            for (float v : audio)
                ASSERT_EQ(v, expected) << static_cast<const void*>(type) << " pattern " << pattern;
        }
    }
}

TEST(LogicGateRules, AGateWithoutInputsAnnouncesItsValueOnceAtTheFirstSample)
{
    for (const wchar_t* type : kGates)
    {
        GateRig rig = MakeGate(type, 0);
        rig.graph.Run(960);
        const float expected = Expected(type, 0, 0) ? 0.5f : 0.0f;
        ASSERT_EQ(rig.Out(0).changes.size(), 1u);
        EXPECT_EQ(rig.Out(0).changes[0].time, 0);
        EXPECT_EQ(rig.Out(0).changes[0].state, ST_STATIC);
        EXPECT_EQ(rig.Out(0).audio.front(), expected);
        EXPECT_EQ(rig.Out(0).audio.back(), expected);
        EXPECT_FALSE(rig.module->IsListed());
    }
}

TEST(LogicGateInputs, TheSchmittTriggerHasHysteresisAndIgnoresNaN)
{
    GateRig rig = MakeGate(L"OR Gate", 1);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const std::vector<float> in = {0.2f, 0.3f, 0.33f, 0.33333334f, 0.34f, nan, 0.17f, 0.16666667f, 0.16f, nan,
                                   0.3f, 0.5f,  1e30f, -1e30f, std::numeric_limits<float>::infinity()};
    const std::vector<float> out = {0, 0, 0, 0, 0.5f, 0.5f, 0.5f, 0.5f, 0, 0, 0, 0.5f, 0.5f, 0, 0.5f};
    rig.In(1).Stream([&](int64_t t) { return t < static_cast<int64_t>(in.size()) ? in[static_cast<size_t>(t)] : 0.0f; });
    rig.graph.Run(96);
    for (size_t i = 0; i < out.size(); ++i)
        EXPECT_EQ(rig.Out(0).audio[i], out[i]) << i;
}

TEST(LogicGateInputs, SimultaneousChangesGiveOneAnnouncementAtTheExactSample)
{
    GateRig rig = MakeGate(L"AND Gate", 2);
    auto step = [](int64_t t) { return t >= 137 ? 0.6f : 0.0f; };
    rig.In(1).Stream(step);
    rig.In(2).Stream(step);
    rig.graph.Run(288);
    const auto& changes = rig.Out(0).changes;
    ASSERT_EQ(changes.size(), 2u);
    EXPECT_EQ(changes[1].time, 137);
    EXPECT_EQ(rig.Out(0).audio[136], 0.0f);
    EXPECT_EQ(rig.Out(0).audio[137], 0.5f);

    // XOR sees both rise at once: the answer is unchanged, nothing is announced.
    GateRig xorRig = MakeGate(L"XOR Gate", 2);
    xorRig.In(1).Stream(step);
    xorRig.In(2).Stream(step);
    xorRig.graph.Run(288);
    EXPECT_EQ(xorRig.Out(0).changes.size(), 1u);
    for (float v : xorRig.Out(0).audio)
        ASSERT_EQ(v, 0.0f);
}

TEST(LogicGateInputs, AChangeThatKeepsTheAnswerAnnouncesNothing)
{
    GateRig rig = MakeGate(L"OR Gate", 2);
    rig.In(1).HoldConstant(0.5f);
    rig.In(2).Stream([](int64_t t) { return (t / 50) % 2 ? 0.5f : 0.0f; });
    rig.graph.Run(960);
    // High from the first sample on: one announcement at time 0, none after.
    EXPECT_EQ(rig.StaticAnnouncements(0), 1);
    for (size_t i = 0; i < rig.Out(0).audio.size(); ++i)
        ASSERT_EQ(rig.Out(0).audio[i], 0.5f) << i;
}

TEST(LogicGateSleep, StaticInputsLetTheGateSleepAndANewValueWakesIt)
{
    GateRig rig = MakeGate(L"NAND Gate", 2);
    rig.In(1).HoldConstant(0.5f);
    rig.In(2).HoldConstant(0.5f);
    rig.graph.Run(960);
    EXPECT_FALSE(rig.module->IsListed());
    const float* block = rig.module->plugs_[0]->GetSampleBlock()->GetBlock();
    for (int i = 0; i < 96; ++i)
        ASSERT_EQ(block[i], 0.0f);

    rig.In(2).HoldConstant(0.1f);
    EXPECT_TRUE(rig.module->IsListed());
    rig.graph.Run(960);
    EXPECT_EQ(rig.Out(0).audio[959], 0.0f);
    EXPECT_EQ(rig.Out(0).audio[960], 0.5f);
    EXPECT_EQ(rig.Out(0).changes.back().time, 960);
    EXPECT_FALSE(rig.module->IsListed());

    // A streaming input keeps it awake.
    rig.In(1).Stream([](int64_t t) { return std::sin(0.01f * static_cast<float>(t)); });
    rig.graph.Run(960);
    EXPECT_TRUE(rig.module->IsListed());
}
