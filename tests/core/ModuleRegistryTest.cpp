#include "core/CModuleFactory.h"
#include "core/InterfaceObject.h"
#include "core/Module_Info.h"
#include "core/PersistanceFactory.h"
#include "engine/parameters/dsp_patch_parameter_base.h"
#include "core/mp_interfaces.h"
#include "core/parameter_description.h"
#include "core/pin_description.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace
{
// A stand-in for an engine unit: the registry handles units only through a
// UnitClass, so any object type will do.
struct FakeUnit
{
    Module_Info* moduleType = nullptr;
    static inline int live = 0;
    FakeUnit() { ++live; }
    ~FakeUnit() { --live; }
};

ug_base* asUnit(FakeUnit* unit)
{
    return reinterpret_cast<ug_base*>(unit);
}

FakeUnit* asFake(ug_base* unit)
{
    return reinterpret_cast<FakeUnit*>(unit);
}

float dummyVariable = 0.0f;

void listThreePins(std::vector<InterfaceObject*>& pins)
{
    pins.push_back(new InterfaceObject(&dummyVariable, L"Signal", DR_IN, DT_FSAMPLE, L"0", L"", 0));
    pins.push_back(new InterfaceObject(&dummyVariable, L"Display", DR_IN, DT_FLOAT, L"", L"", IO_UI_COMMUNICATION));
    pins.push_back(new InterfaceObject(nullptr, L"Out", DR_OUT, DT_FSAMPLE, L"", L"", 0));
}

void listParameterPins(std::vector<InterfaceObject*>& pins)
{
    pins.push_back(new InterfaceObject(nullptr, L"Mode", DR_IN, DT_ENUM, L"1", L"Off,On",
                                       IO_PATCH_STORE | IO_IGNORE_PATCH_CHANGE | IO_PARAMETER_PRIVATE | IO_RENAME));
    pins.push_back(new InterfaceObject(nullptr, L"Editor", DR_IN, DT_TEXT, L"", L"", IO_PATCH_STORE | IO_UI_COMMUNICATION));
}

template <void (*List)(std::vector<InterfaceObject*>&)>
constexpr UnitClass fakeUnitClass{
    [](Module_Info* moduleType) -> ug_base* {
        auto* unit = new FakeUnit();
        unit->moduleType = moduleType;
        return asUnit(unit);
    },
    [](ug_base*, std::vector<InterfaceObject*>& pins) { List(pins); },
    [](ug_base* unit) { delete asFake(unit); },
};

// A reference-counted SDK object that counts live instances.
class CountedObject : public gmpi::IMpUnknown
{
public:
    static inline int live = 0;
    CountedObject() { ++live; }
    virtual ~CountedObject() { --live; }
    int32_t queryInterface(const gmpi::MpGuid&, void**) override { return gmpi::MP_NOSUPPORT; }
    int32_t addRef() override { return ++references_; }
    int32_t release() override
    {
        const int32_t left = --references_;
        if (left == 0)
            delete this;
        return left;
    }

private:
    int32_t references_ = 1;
};

class OtherObject : public CountedObject
{
};

gmpi::IMpUnknown* makeCounted()
{
    return new CountedObject();
}

gmpi::IMpUnknown* makeOther()
{
    return new OtherObject();
}
} // namespace

TEST(ModuleInfo, BuiltInUnitPinsAreNumberedByPositionAndGuiPinsMarked)
{
    Module_Info info(L"Three", 402, 144, nullptr, &fakeUnitClass<listThreePins>, 0x100);

    EXPECT_EQ(FakeUnit::live, 0); // the prototype was deleted
    EXPECT_EQ(info.GetFlags(), 0x100u | CF_BUILT_IN);
    ASSERT_EQ(info.GetPinDescriptions().size(), 3u);
    for (int id = 0; id < 3; ++id)
    {
        const InterfaceObject* pin = info.getPinDescriptionById(id);
        ASSERT_NE(pin, nullptr);
        EXPECT_EQ(pin->getPlugDescID(), id);
        EXPECT_EQ(pin->GetVarAddr(), nullptr);
    }
    EXPECT_EQ(info.getPinDescriptionById(1)->GetFlags(), IO_UI_COMMUNICATION | IO_BUILT_IN_GUI);
    EXPECT_EQ(info.getPinDescriptionById(0)->GetFlags(), IO_POLYPHONIC_ACTIVE);
    EXPECT_EQ(info.getPinDescriptionByPosition(2)->GetName(), L"Out");
    EXPECT_EQ(info.getPinDescriptionByPosition(3), nullptr);
    EXPECT_EQ(info.getPinDescriptionByPosition(-1), nullptr);
    EXPECT_TRUE(info.hasDspModule());
    EXPECT_TRUE(info.GetParameters().empty());
}

TEST(ModuleInfo, BuildSynthObGivesAUnitOfThisTypeAndNoneWithoutAUnitClass)
{
    Module_Info info(L"Three", L"Three Pins", L"Tests", nullptr, &fakeUnitClass<listThreePins>, 0);
    ug_base* unit = info.BuildSynthOb();
    ASSERT_NE(unit, nullptr);
    EXPECT_EQ(asFake(unit)->moduleType, &info);
    info.GetUnitClass()->destroy(unit);
    EXPECT_EQ(info.GetName(), L"Three Pins");
    EXPECT_EQ(info.GetGroupName(), L"Tests");

    Module_Info empty(L"Nothing", 1, 2, nullptr, nullptr, 0);
    EXPECT_EQ(empty.BuildSynthOb(), nullptr);
    EXPECT_TRUE(empty.GetPinDescriptions().empty());
    EXPECT_EQ(empty.Build(3, false), nullptr);
}

TEST(ModuleInfo, ParameterPinOfBuiltInUnitBindsToParameterZeroNamedAfterIt)
{
    Module_Info info(L"Params", 1, 1, nullptr, &fakeUnitClass<listParameterPins>, 0);

    EXPECT_EQ(info.getPinDescriptionById(0)->getParameterId(), 0);
    EXPECT_EQ(info.getPinDescriptionById(1)->getParameterId(), 0);
    ASSERT_EQ(info.GetParameters().size(), 1u);

    // Made from the first pin only: the second is a GUI input.
    const parameter_description* parameter = info.getParameterById(0);
    ASSERT_NE(parameter, nullptr);
    EXPECT_EQ(parameter->name, L"Mode");
    EXPECT_EQ(parameter->flags, PD_IGNORE_PATCH_CHANGE | PD_PRIVATE | PD_PERSISTANT);
    EXPECT_EQ(parameter->datatype, DT_ENUM);
    EXPECT_EQ(parameter->metadata, L"Off,On");
    EXPECT_EQ(parameter->default_value, L"1");
    EXPECT_EQ(parameter->automation, -1);
    EXPECT_EQ(info.getParameterByPosition(1), nullptr);
}

TEST(ModuleInfo, PinTableRegistrationKeepsTheFirstDescriptionOfEachPin)
{
    const pin_description first[] = {
        {L"In", DR_IN, DT_FSAMPLE, L"", L"", 0, L""},
        {L"Gain", DR_IN, DT_FLOAT, L"0.5", L"", IO_PATCH_STORE | IO_PAR_POLYPHONIC, L""},
    };
    const pin_description second[] = {
        {L"Renamed", DR_IN, DT_FLOAT, L"", L"", 0, L""},
        {L"Gain2", DR_IN, DT_FLOAT, L"", L"", 0, L""},
        {L"Out", DR_OUT, DT_FSAMPLE, L"", L"", 0, L""},
    };

    CModuleFactory factory;
    EXPECT_TRUE(factory.RegisterModule(module_description_dsp{"Gain", 7, 8, nullptr, 0x20, first, 2}));
    EXPECT_TRUE(factory.RegisterModule(module_description_dsp{"Gain", -1, 0, nullptr, 0, second, 3}));

    const Module_Info* info = factory.GetById(L"Gain");
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->GetFlags(), 0x20u | CF_STRUCTURE_VIEW);
    EXPECT_EQ(info->GetRegistrationNumber1(), 7);
    ASSERT_EQ(info->GetPinDescriptions().size(), 3u);
    EXPECT_EQ(info->getPinDescriptionById(0)->GetName(), L"In");
    EXPECT_EQ(info->getPinDescriptionById(2)->GetName(), L"Out");

    const parameter_description* gain = info->getParameterById(0);
    ASSERT_NE(gain, nullptr);
    EXPECT_EQ(gain->name, L"Gain");
    EXPECT_EQ(gain->flags, PD_POLYPHONIC | PD_PERSISTANT);
    EXPECT_EQ(gain->default_value, L"0.5");
}

TEST(ModuleFactory, SecondRecordWithAnIdIsRefusedAndTheFirstStays)
{
    CModuleFactory factory;
    auto* first = new Module_Info(L"Dup", 1, 1, nullptr, nullptr, 0);
    EXPECT_TRUE(factory.RegisterModule(first));
    EXPECT_FALSE(factory.RegisterModule(new Module_Info(L"Dup", 2, 2, nullptr, nullptr, 0)));
    EXPECT_FALSE(factory.RegisterModule(new Module_Info(L"", 2, 2, nullptr, nullptr, 0)));
    EXPECT_FALSE(factory.RegisterModule(nullptr));

    EXPECT_EQ(factory.GetById(L"Dup"), first);
    EXPECT_EQ(factory.ModuleCount(), 1u);
    const auto diagnostics = factory.Diagnostics();
    ASSERT_EQ(diagnostics.size(), 1u);
    EXPECT_EQ(diagnostics[0], L"RegisterModule Error. Module found twice. Dup");
}

TEST(ModuleFactory, RegisterPluginKeepsTheFirstConstructorAndBuildsAFreshObjectEachTime)
{
    CModuleFactory factory;
    EXPECT_EQ(factory.RegisterPlugin(3, L"Gui", makeCounted), 0);
    EXPECT_EQ(factory.RegisterPlugin(3, L"Gui", makeOther), 0);

    gmpi::IMpUnknown* a = factory.Create(3, L"Gui");
    gmpi::IMpUnknown* b = factory.Create(3, L"Gui");
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_NE(a, b);
    EXPECT_EQ(dynamic_cast<OtherObject*>(a), nullptr);
    EXPECT_EQ(CountedObject::live, 2);
    a->release();
    b->release();

    EXPECT_EQ(factory.Create(0, L"Gui"), nullptr);
    EXPECT_EQ(factory.Create(3, L"Missing"), nullptr);

    Module_Info* record = factory.GetById(L"Gui");
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->ModuleTechnology(), 2);
    EXPECT_EQ(record->GetFlags() & (CF_BUILT_IN | CF_STRUCTURE_VIEW), static_cast<uint32_t>(CF_STRUCTURE_VIEW));
    EXPECT_EQ(dynamic_cast<Module_Info3_base*>(record)->Filename(), L"Korvane.exe");
}

TEST(ModuleFactory, RegisterPluginRefusesAnIdHeldByAnotherKindOfRecord)
{
    CModuleFactory factory;
    ASSERT_TRUE(factory.RegisterModule(new Module_Info(L"BuiltIn", 1, 1, nullptr, nullptr, 0)));
    EXPECT_EQ(factory.RegisterPlugin(3, L"BuiltIn", makeCounted), -1);
    EXPECT_EQ(factory.RegisterPlugin(3, nullptr, makeCounted), -1);
    EXPECT_EQ(factory.RegisterPlugin(3, L"", makeCounted), -1);
    EXPECT_EQ(factory.Create(3, L"BuiltIn"), nullptr);

    // Nor may a pin table fill an SDK record.
    ASSERT_EQ(factory.RegisterPlugin(3, L"Sdk", makeCounted), 0);
    EXPECT_FALSE(factory.RegisterModule(module_description_dsp{"Sdk", 1, 1, nullptr, 0, nullptr, 0}));
}

TEST(ModuleFactory, SdkDspObjectIsReleasedWhenNoUnitAdapterIsInstalled)
{
    Module_Info3_internal record(L"Dsp");
    EXPECT_EQ(record.BuildSynthOb(), nullptr);
    record.RegisterPluginConstructor(0, makeCounted);
    EXPECT_EQ(record.BuildSynthOb(), nullptr);
    EXPECT_EQ(CountedObject::live, 0);

    // With an adapter installed, an object without the newer plug-in
    // interface makes no unit and is released all the same.
    static const SdkUnitAdapter adapter{
        [](gmpi::IMpPlugin2*, Module_Info3_base*) -> ug_base* { return asUnit(new FakeUnit()); },
        nullptr, nullptr, nullptr};
    Module_Info3_internal::SetUnitAdapter(&adapter);
    ug_base* unit = record.BuildSynthOb();
    Module_Info3_internal::SetUnitAdapter(nullptr);
    EXPECT_EQ(unit, nullptr);
    EXPECT_EQ(CountedObject::live, 0);
}

TEST(ModuleFactory, ThreadsRegisteringAndLookingUpAtOnceLoseNoRecord)
{
    CModuleFactory factory;
    constexpr int threads = 4;
    constexpr int perThread = 200;
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t)
    {
        workers.emplace_back([&factory, t] {
            for (int i = 0; i < perThread; ++i)
            {
                const std::wstring id = L"M" + std::to_wstring(t) + L"_" + std::to_wstring(i);
                factory.RegisterPlugin(3, id.c_str(), makeCounted);
                factory.GetById(L"M0_0");
            }
        });
    }
    for (auto& worker : workers)
        worker.join();
    EXPECT_EQ(factory.ModuleCount(), static_cast<size_t>(threads * perThread));
}

namespace
{
struct TextParameter : dsp_patch_parameter_base
{
};
struct FloatParameter : dsp_patch_parameter_base
{
};
} // namespace

TEST(PersistanceFactory, MakesObjectsByClassIdAndKeepsTheFirstCreator)
{
    PersistanceFactory factory;
    EXPECT_TRUE(factory.KVRegisterClass(20, new PersistanceRegister<TextParameter>()));
    EXPECT_FALSE(factory.KVRegisterClass(20, new PersistanceRegister<FloatParameter>()));
    EXPECT_FALSE(factory.KVRegisterClass(21, nullptr));

    dsp_patch_parameter_base* made = factory.CreateObject(20);
    EXPECT_NE(dynamic_cast<TextParameter*>(made), nullptr);
    delete made;
    EXPECT_EQ(factory.CreateObject(25), nullptr);
    EXPECT_EQ(factory.CreateObject(21), nullptr);
}
