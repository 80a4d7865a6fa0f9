#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "core/CModuleFactory.h"
#include "modules/control/ug_switch.h"
#include "modules/control/ug_switch2.h"
#include "signal/LogicRig.h"

using kvtest::LogicRig;

namespace
{
constexpr int kBlock = 96;

std::vector<int> Run(int first, int n)
{
    std::vector<int> pins;
    for (int k = 0; k < n; ++k)
        pins.push_back(first + k);
    return pins;
}

// A 1->Many switch with `outputs` routed outputs, the input fed and every output recorded.
LogicRig<ug_switch> MakeSplitter(int outputs)
{
    return LogicRig<ug_switch>(L"Switch (1->Many)", ug_switch::PN_FIRST_OUTPUT, outputs, {ug_switch::PN_INPUT},
                               Run(ug_switch::PN_FIRST_OUTPUT, outputs), kBlock);
}

LogicRig<ug_switch2> MakeSelector(int inputs)
{
    return LogicRig<ug_switch2>(L"Switch (Many->1)", ug_switch2::PN_FIRST_INPUT, inputs,
                                Run(ug_switch2::PN_FIRST_INPUT, inputs), {ug_switch2::PN_OUTPUT}, kBlock);
}

template <class Module>
void SetChoice(LogicRig<Module>& rig, int value)
{
    const int32_t v = value;
    rig.module->SetPinValue(rig.module->sampleClock_, Module::PN_CHOICE, DT_ENUM, &v, 4);
}

float Ramp(int64_t t)
{
    return 0.001f * static_cast<float>(t + 1);
}

bool Sleeping(ug_base* module)
{
    return module->GetProcessFunction() == static_cast<ug_base::process_func_ptr>(&ug_base::process_sleep);
}
} // namespace

TEST(SwitchRegistration, BothSwitchesAreRegisteredWithChoiceAndADuplicatingPin)
{
    Module_Info* one = CModuleFactory::Instance()->GetById(L"Switch (1->Many)");
    Module_Info* many = CModuleFactory::Instance()->GetById(L"Switch (Many->1)");
    ASSERT_NE(one, nullptr);
    ASSERT_NE(many, nullptr);
    EXPECT_EQ(one->getPinDescriptionById(0)->GetName(), L"Choice");
    EXPECT_EQ(one->getPinDescriptionById(2)->GetFlags() & 0x4Cu, 0x4Cu);
    EXPECT_EQ(many->getPinDescriptionById(2)->GetFlags() & 0x24Cu, 0x24Cu);
    EXPECT_EQ(many->getPinDescriptionById(1)->GetDirection(), DR_OUT);
}

TEST(SwitchOneToMany, TheChosenOutputStreamsAndALosingOutputGetsOneBlockOfZerosAndGoesStatic)
{
    auto rig = MakeSplitter(4);
    ASSERT_EQ(rig.module->OutputCount(), 4);
    SetChoice(rig, 1);
    rig.In(ug_switch::PN_INPUT).Stream(Ramp);
    rig.graph.Run(2 * kBlock);
    ASSERT_EQ(rig.module->Selected(), 1);
    const auto& out1 = rig.Out(3).audio;
    for (int i = 0; i < 2 * kBlock; ++i)
        ASSERT_FLOAT_EQ(out1[static_cast<size_t>(i)], Ramp(i)) << i;
    EXPECT_EQ(rig.Out(3).changes.back().state, ST_STREAMING);
    for (int pin : {2, 4, 5})
    {
        EXPECT_EQ(rig.Out(pin).changes.back().state, ST_STATIC) << pin;
        for (float v : rig.Out(pin).audio)
            ASSERT_EQ(v, 0.0f) << pin;
    }

    SetChoice(rig, 3);
    rig.graph.Run(2 * kBlock);
    EXPECT_EQ(rig.module->Selected(), 3);
    EXPECT_EQ(rig.Out(3).changes.back().state, ST_STATIC);
    EXPECT_EQ(rig.Out(5).changes.back().state, ST_STREAMING);
    for (int i = 2 * kBlock; i < 3 * kBlock; ++i)
        ASSERT_EQ(rig.Out(3).audio[static_cast<size_t>(i)], 0.0f) << i;
    for (int i = 2 * kBlock; i < 4 * kBlock; ++i)
        ASSERT_FLOAT_EQ(rig.Out(5).audio[static_cast<size_t>(i)], Ramp(i)) << i;
    // Clearing is done: the module is back to a plain copy.
    EXPECT_EQ(rig.module->GetProcessFunction(), static_cast<ug_base::process_func_ptr>(&ug_switch::sub_process));
}

TEST(SwitchOneToMany, OutOfRangeChoicesAreClampedToTheFirstAndLastOutputs)
{
    auto rig = MakeSplitter(4);
    SetChoice(rig, -5);
    rig.In(ug_switch::PN_INPUT).Stream(Ramp);
    rig.graph.Run(kBlock);
    EXPECT_EQ(rig.module->Selected(), 0);
    EXPECT_FLOAT_EQ(rig.Out(2).audio[10], Ramp(10));
    SetChoice(rig, 99);
    rig.graph.Run(kBlock);
    EXPECT_EQ(rig.module->Selected(), 3);
    EXPECT_FLOAT_EQ(rig.Out(5).audio[kBlock + 10], Ramp(kBlock + 10));
    EXPECT_EQ(rig.Out(2).audio[kBlock + 10], 0.0f);
}

TEST(SwitchOneToMany, AStaticInputIsCopiedForOneBlockThenTheSwitchSleeps)
{
    auto rig = MakeSplitter(3);
    SetChoice(rig, 2);
    rig.In(ug_switch::PN_INPUT).HoldConstant(0.25f);
    rig.graph.Run(3 * kBlock);
    EXPECT_EQ(rig.Out(4).changes.back().state, ST_STATIC);
    EXPECT_EQ(rig.Out(4).audio[0], 0.25f);
    EXPECT_EQ(rig.Out(4).audio[kBlock - 1], 0.25f);
    EXPECT_EQ(rig.Out(2).audio[0], 0.0f);
    EXPECT_TRUE(Sleeping(rig.module));

    // A new choice wakes it: the old output is cleared, the new one holds the value.
    SetChoice(rig, 0);
    rig.graph.Run(2 * kBlock);
    EXPECT_EQ(rig.Out(4).audio[3 * kBlock + 5], 0.0f);
    EXPECT_EQ(rig.Out(2).audio[3 * kBlock + 5], 0.25f);
    EXPECT_TRUE(Sleeping(rig.module));

    // An out-of-range choice must not keep a static switch awake either.
    auto clamped = MakeSplitter(3);
    SetChoice(clamped, 99);
    clamped.In(ug_switch::PN_INPUT).HoldConstant(0.75f);
    clamped.graph.Run(3 * kBlock);
    EXPECT_EQ(clamped.Out(4).audio[kBlock - 1], 0.75f);
    EXPECT_TRUE(Sleeping(clamped.module));
}

TEST(SwitchManyToOne, AChangeOnADeselectedInputIsIgnoredUntilItIsChosen)
{
    auto rig = MakeSelector(3);
    ASSERT_EQ(rig.module->InputCount(), 3);
    rig.In(2).HoldConstant(0.5f);
    rig.In(3).Stream(Ramp);
    rig.graph.Run(kBlock);
    EXPECT_EQ(rig.Out(ug_switch2::PN_OUTPUT).changes.back().state, ST_STATIC);
    EXPECT_EQ(rig.Out(ug_switch2::PN_OUTPUT).audio[kBlock - 1], 0.5f);

    SetChoice(rig, 1);
    rig.graph.Run(kBlock);
    EXPECT_EQ(rig.Out(ug_switch2::PN_OUTPUT).changes.back().state, ST_STREAMING);
    for (int i = kBlock; i < 2 * kBlock; ++i)
        ASSERT_FLOAT_EQ(rig.Out(ug_switch2::PN_OUTPUT).audio[static_cast<size_t>(i)], Ramp(i)) << i;
}

TEST(SwitchManyToOne, AStoppedChosenInputIsAnnouncedStaticAndTheSwitchSleeps)
{
    auto rig = MakeSelector(2);
    SetChoice(rig, 99);
    rig.graph.Run(2 * kBlock);
    EXPECT_EQ(rig.module->Selected(), 1);
    ASSERT_FALSE(rig.Out(ug_switch2::PN_OUTPUT).changes.empty());
    EXPECT_EQ(rig.Out(ug_switch2::PN_OUTPUT).changes.back().state, ST_STATIC);
    EXPECT_TRUE(Sleeping(rig.module));
    SetChoice(rig, -5);
    rig.graph.Run(kBlock);
    EXPECT_EQ(rig.module->Selected(), 0);
}

TEST(SwitchManyToOne, ASwitchWithoutInputsWritesZerosForOneBlockAndSleeps)
{
    LogicRig<ug_switch2> rig(L"Switch (Many->1)", ug_switch2::PN_FIRST_INPUT, 0, {}, {ug_switch2::PN_OUTPUT}, kBlock);
    EXPECT_EQ(rig.module->InputCount(), 0);
    SetChoice(rig, 3);
    rig.graph.Run(2 * kBlock);
    EXPECT_EQ(rig.module->Selected(), -1);
    for (float v : rig.Out(ug_switch2::PN_OUTPUT).audio)
        ASSERT_EQ(v, 0.0f);
    EXPECT_TRUE(Sleeping(rig.module));
}
