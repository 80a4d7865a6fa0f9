#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <vector>

#include "core/CModuleFactory.h"
#include "modules/signal/ug_logic_Bin_Count.h"
#include "modules/signal/ug_logic_counter.h"
#include "modules/signal/ug_logic_shift.h"
#include "signal/LogicRig.h"

using kvtest::LogicRig;

namespace
{
constexpr int64_t kFirstEdge = 50;
constexpr int64_t kPeriod = 100;

// `pulses` clock pulses of 5 V, rising at 50, 150, 250 ...
std::function<float(int64_t)> Clock(int pulses)
{
    return [=](int64_t t) {
        if (t < kFirstEdge || t >= kFirstEdge + pulses * kPeriod)
            return 0.0f;
        return (t - kFirstEdge) % kPeriod < 30 ? 0.5f : 0.0f;
    };
}

std::vector<int> Range(int first, int n)
{
    std::vector<int> pins;
    for (int k = 0; k < n; ++k)
        pins.push_back(first + k);
    return pins;
}

using CounterRig = LogicRig<ug_logic_counter>;
CounterRig StepCounter(const wchar_t* type, int outputs)
{
    const bool decade = std::wstring(type) == L"Decade Counter";
    return CounterRig(type, ug_logic_counter::PN_FIRST_OUT, decade ? 0 : outputs,
                      {ug_logic_counter::PN_CLOCK, ug_logic_counter::PN_RESET},
                      Range(ug_logic_counter::PN_FIRST_OUT, outputs));
}

using BinRig = LogicRig<ug_logic_Bin_Count>;
BinRig BinaryCounter()
{
    return BinRig(L"Binary Counter", 0, 0, {ug_logic_Bin_Count::PN_CLOCK, ug_logic_Bin_Count::PN_RESET},
                  Range(ug_logic_Bin_Count::PN_B0, 8));
}

using ShiftRig = LogicRig<ug_logic_shift>;
ShiftRig ShiftRegister()
{
    return ShiftRig(L"Shift Register", 0, 0,
                    {ug_logic_shift::PN_CLOCK, ug_logic_shift::PN_INPUT, ug_logic_shift::PN_RESET},
                    Range(ug_logic_shift::PN_B0, 10));
}

// The value shown on `bits` recorded outputs starting at pin `first` at sample n.
template <class Rig>
uint32_t Shown(Rig& rig, int first, int bits, size_t n)
{
    uint32_t v = 0;
    for (int b = 0; b < bits; ++b)
        v |= rig.Out(first + b).audio.at(n) == 0.5f ? (1u << b) : 0u;
    return v;
}
} // namespace

TEST(ClockedLogicRegistration, EachModuleIsRegisteredWithItsPins)
{
    struct Case { const wchar_t* id; size_t pins; const wchar_t* last; };
    for (const Case& c : {Case{L"Binary Counter", 10, L"B7"}, Case{L"Step Counter", 3, L"Out"},
                          Case{L"Step Counter2", 3, L"Out"}, Case{L"Decade Counter", 12, L"B9"},
                          Case{L"Shift Register", 13, L"B9"}})
    {
        Module_Info* info = CModuleFactory::Instance()->GetById(c.id);
        ASSERT_NE(info, nullptr);
        ASSERT_EQ(info->GetPinDescriptions().size(), c.pins);
        EXPECT_EQ(info->getPinDescriptionById(0)->GetName(), L"Clock");
        EXPECT_EQ(info->getPinDescriptionById(static_cast<int>(c.pins) - 1)->GetName(), c.last);
    }
}

TEST(StepCounter, FiveClocksOnFourOutputsLightOneOutputInTurnAtEachEdge)
{
    CounterRig rig = StepCounter(L"Step Counter", 4);
    rig.In(ug_logic_counter::PN_CLOCK).Stream(Clock(5));
    rig.graph.Run(960);
    const int lit[] = {0, 1, 2, 3, 0, 1};
    for (size_t n = 0; n < 960; ++n)
    {
        int high = 0;
        int which = -1;
        for (int k = 0; k < 4; ++k)
        {
            if (rig.Out(2 + k).audio[n] == 0.5f)
            {
                ++high;
                which = k;
            }
        }
        ASSERT_EQ(high, 1) << n;
        const int64_t t = static_cast<int64_t>(n);
        const int clocks = t < kFirstEdge ? 0 : static_cast<int>(std::min<int64_t>(5, (t - kFirstEdge) / kPeriod + 1));
        ASSERT_EQ(which, lit[clocks]) << n;
    }
}

TEST(StepCounter, AClockHighAtTheFirstSampleCountsOnlyForTheOlderCounters)
{
    for (const wchar_t* type : {L"Step Counter", L"Decade Counter", L"Step Counter2"})
    {
        CounterRig rig = StepCounter(type, std::wstring(type) == L"Decade Counter" ? 10 : 3);
        rig.In(ug_logic_counter::PN_CLOCK).HoldConstant(0.5f);
        rig.graph.Run(192);
        const int expected = std::wstring(type) == L"Step Counter2" ? 0 : 1;
        EXPECT_EQ(rig.module->Step(), expected);
        EXPECT_EQ(rig.Out(2 + expected).audio[0], 0.5f);
        EXPECT_EQ(rig.Out(2 + 1 - expected).audio[0], 0.0f);
    }
    BinRig bin = BinaryCounter();
    bin.In(ug_logic_Bin_Count::PN_CLOCK).HoldConstant(0.5f);
    bin.graph.Run(192);
    EXPECT_EQ(bin.module->Count(), 0u);
}

TEST(StepCounter, ResetHeldHighKeepsEveryCounterAtZero)
{
    CounterRig rig = StepCounter(L"Step Counter", 3);
    rig.In(ug_logic_counter::PN_RESET).HoldConstant(0.5f);
    rig.In(ug_logic_counter::PN_CLOCK).Stream(Clock(7));
    rig.graph.Run(960);
    for (float v : rig.Out(2).audio)
        ASSERT_EQ(v, 0.5f);
    BinRig bin = BinaryCounter();
    bin.In(ug_logic_Bin_Count::PN_RESET).HoldConstant(0.5f);
    bin.In(ug_logic_Bin_Count::PN_CLOCK).Stream(Clock(7));
    bin.graph.Run(960);
    EXPECT_EQ(bin.module->Count(), 0u);
    EXPECT_EQ(Shown(bin, 2, 8, 959), 0u);
}

TEST(BinaryCounter, TheOutputsShowTheCountAndWrapAfter256Clocks)
{
    BinRig rig = BinaryCounter();
    rig.In(ug_logic_Bin_Count::PN_CLOCK).Stream(Clock(300));
    rig.graph.Run(96 * 320);
    for (int clocks : {1, 2, 37, 128, 255, 256, 257, 299})
    {
        const size_t n = static_cast<size_t>(kFirstEdge + (clocks - 1) * kPeriod);
        EXPECT_EQ(Shown(rig, 2, 8, n), static_cast<uint32_t>(clocks) % 256u) << clocks;
        EXPECT_EQ(Shown(rig, 2, 8, n - 1), static_cast<uint32_t>(clocks - 1) % 256u) << clocks;
    }
    EXPECT_EQ(rig.module->Count(), 300u);
}

TEST(ShiftRegister, ClocksShiftTheDataLevelInAndResetClearsOnlyOnItsEdge)
{
    ShiftRig rig = ShiftRegister();
    // Data is the bit pattern 1,0,1,1,0,0,1 sampled at the clock edges.
    const int bits[] = {1, 0, 1, 1, 0, 0, 1};
    rig.In(ug_logic_shift::PN_INPUT).Stream([&](int64_t t) {
        const int64_t k = (t - kFirstEdge + 50) / kPeriod;
        return k >= 0 && k < 7 && bits[k] ? 0.5f : 0.0f;
    });
    rig.In(ug_logic_shift::PN_CLOCK).Stream(Clock(7));
    rig.graph.Run(96 * 8);
    uint32_t expected = 0;
    for (int b : bits)
        expected = expected * 2 + static_cast<uint32_t>(b);
    EXPECT_EQ(Shown(rig, 3, 10, 96 * 8 - 1), expected);

    // Reset rising clears; while it stays high the register keeps shifting.
    rig.In(ug_logic_shift::PN_RESET).HoldConstant(0.5f);
    rig.In(ug_logic_shift::PN_INPUT).HoldConstant(0.5f);
    rig.graph.Run(96);
    EXPECT_EQ(rig.module->Value(), 0u);
    rig.In(ug_logic_shift::PN_CLOCK).Stream([](int64_t t) { return (t / 20) % 2 ? 0.5f : 0.0f; });
    rig.graph.Run(96 * 2);
    EXPECT_GT(rig.module->Value(), 0u);
    EXPECT_EQ(Shown(rig, 3, 10, rig.Out(3).audio.size() - 1), rig.module->Value() & 0x3FFu);
}

TEST(ClockedLogic, SimultaneousResetAndClockEdgesApplyTheResetFirst)
{
    auto edge = [](int64_t t) { return t >= 40 ? 0.5f : 0.0f; };
    BinRig bin = BinaryCounter();
    bin.In(ug_logic_Bin_Count::PN_CLOCK).Stream(edge);
    bin.In(ug_logic_Bin_Count::PN_RESET).Stream(edge);
    bin.graph.Run(96);
    EXPECT_EQ(bin.module->Count(), 0u);

    CounterRig step = StepCounter(L"Step Counter", 3);
    step.In(ug_logic_counter::PN_CLOCK).Stream(edge);
    step.In(ug_logic_counter::PN_RESET).Stream(edge);
    step.graph.Run(96);
    EXPECT_EQ(step.module->Step(), 0);

    ShiftRig shift = ShiftRegister();
    shift.In(ug_logic_shift::PN_INPUT).HoldConstant(0.5f);
    shift.In(ug_logic_shift::PN_CLOCK).Stream(edge);
    shift.In(ug_logic_shift::PN_RESET).Stream(edge);
    shift.graph.Run(96);
    EXPECT_EQ(shift.module->Value(), 1u);
}

TEST(ClockedLogic, StaticInputsHoldTheOutputsForOneBlockThenSleep)
{
    CounterRig rig = StepCounter(L"Step Counter", 3);
    rig.In(ug_logic_counter::PN_CLOCK).Stream(Clock(1));
    rig.graph.Run(192);
    rig.In(ug_logic_counter::PN_CLOCK).HoldConstant(0.0f);
    rig.graph.Run(480);
    EXPECT_FALSE(rig.module->IsListed());
    EXPECT_EQ(rig.Out(3).audio.back(), 0.5f);
    EXPECT_EQ(rig.Out(3).changes.back().state, ST_STATIC);

    // A static clock edge wakes it and is counted at the sample of its event.
    rig.In(ug_logic_counter::PN_CLOCK).HoldConstant(0.5f);
    rig.graph.Run(192);
    EXPECT_EQ(rig.module->Step(), 2);
    EXPECT_EQ(rig.Out(4).audio[672], 0.5f);
    EXPECT_EQ(rig.Out(3).audio[671], 0.5f);
    EXPECT_EQ(rig.Out(3).audio[672], 0.0f);
    rig.graph.Run(480);
    EXPECT_FALSE(rig.module->IsListed());
}
