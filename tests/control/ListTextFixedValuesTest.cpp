// "List Entry", "Text Entry" and "Fixed Values": editor choices and fixed
// voltages into the graph.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/CModuleFactory.h"
#include "core/InterfaceObject.h"
#include "core/Module_Info.h"
#include "engine/TestGraph.h"
#include "modules/control/ug_combobox.h"
#include "modules/control/ug_fixed_values.h"
#include "modules/control/ug_text_entry.h"

using kvtest::Recorder;
using kvtest::TestGraph;

namespace
{
// Logs the list values that reach its input.
class ListProbe : public ug_base
{
public:
    ug_base* Create() override { return new ListProbe(); }
    void ListInterface2(std::vector<InterfaceObject*>& pins) override
    {
        pins.push_back(new InterfaceObject(&value_, L"List In", DR_IN, DT_ENUM, L"0", L"", 0));
    }
    void onSetPin(int64_t time, UPlug* /*pin*/, state_type /*state*/) override { received.push_back({time, value_}); }

    struct Received { int64_t time; int value; };
    int16_t value_ = 0;
    std::vector<Received> received;
};

template <class Module>
Module* Build(TestGraph& graph, const wchar_t* type)
{
    auto* module = static_cast<Module*>(CModuleFactory::Instance()->GetById(type)->BuildSynthOb());
    module->Setup(&graph.master, nullptr);
    module->sortOrder_ = 5;
    graph.modules.emplace_back(module);
    return module;
}

bool Sleeping(const ug_base& module)
{
    return module.GetProcessFunction() == static_cast<ug_base::process_func_ptr>(&ug_base::process_sleep);
}

void SendText(ug_base& module, int64_t time, int pin, const std::wstring& text)
{
    module.SetPinValue(time, pin, DT_TEXT, text.data(), static_cast<int>(text.size() * sizeof(wchar_t)));
}
} // namespace

TEST(ListEntry, APatchValueIsSentOnChoiceAtTheCurrentSampleTime)
{
    TestGraph graph;
    auto* list = Build<ug_combobox>(graph, L"List Entry");
    auto* probe = graph.Add<ListProbe>(1);
    ug_base::connect(list->plugs_[ug_combobox::PN_CHOICE], probe->plugs_[0]);
    graph.OpenAll();
    graph.Run(96);

    // Appearance is for the editor only: it sends nothing.
    const size_t before = probe->received.size();
    const int32_t three = 3;
    list->SetPinValue(100, ug_combobox::PN_APPEARANCE, DT_ENUM, &three, 4);
    graph.Run(96);
    EXPECT_EQ(probe->received.size(), before);

    list->SetPinValue(250, ug_combobox::PN_PATCH_VALUE_IN, DT_ENUM, &three, 4);
    graph.Run(96);
    ASSERT_EQ(probe->received.size(), before + 1);
    EXPECT_EQ(probe->received.back().time, 250);
    EXPECT_EQ(probe->received.back().value, 3);
    EXPECT_EQ(list->Choice(), 3);
    EXPECT_TRUE(Sleeping(*list));
}

TEST(TextEntry, ATextIsPassedOnAsAnIdenticalCopyIncludingAnEmptyOne)
{
    TestGraph graph;
    auto* entry = Build<ug_text_entry>(graph, L"Text Entry");
    auto* recorder = graph.Add<Recorder>(1);
    ug_base::connect(entry->plugs_[ug_text_entry::PN_TEXT_OUT], recorder->plugs_[Recorder::PN_TEXT]);
    graph.OpenAll();
    graph.Run(96);

    const std::wstring text = L"Gr\u00fc\u00dfe, \u65e5\u672c 42";
    SendText(*entry, 120, ug_text_entry::PN_PATCH_VALUE_IN, text);
    graph.Run(96);
    ASSERT_FALSE(recorder->changes.empty());
    EXPECT_EQ(recorder->changes.back().time, 120);
    EXPECT_EQ(recorder->changes.back().pin, Recorder::PN_TEXT);
    EXPECT_EQ(recorder->textIn_, text);
    EXPECT_EQ(entry->TextOut(), text);

    const size_t count = recorder->changes.size();
    SendText(*entry, 200, ug_text_entry::PN_PATCH_VALUE_IN, L"");
    graph.Run(96);
    EXPECT_EQ(recorder->changes.size(), count + 1);
    EXPECT_TRUE(recorder->textIn_.empty());
    EXPECT_TRUE(Sleeping(*entry));
}

TEST(FixedValues, EveryOutputIsAnnouncedStaticWithItsVoltageAtOpenAndNothingFollows)
{
    TestGraph graph;
    auto* fixed = Build<ug_fixed_values>(graph, L"Fixed Values");
    ASSERT_TRUE(fixed->plugs_.empty());
    const InterfaceObject* description = fixed->moduleType->getPinDescriptionById(0);
    ASSERT_NE(description, nullptr);

    const char* volts[] = {"0", "2.5", "10"};
    std::vector<Recorder*> recorders;
    for (int n = 0; n < 3; ++n)
    {
        auto* pin = new UPlug(fixed, *description);
        pin->id_ = n;
        fixed->AddPlug(pin);
        pin->CreateBuffer();
        pin->SetDefault(volts[n]);
        recorders.push_back(graph.Add<Recorder>(1));
        ug_base::connect(pin, recorders.back()->plugs_[Recorder::PN_AUDIO]);
    }
    graph.OpenAll();
    graph.Run(300);

    const float expected[] = {0.0f, 0.25f, 1.0f};
    for (size_t n = 0; n < 3; ++n)
    {
        const Recorder& r = *recorders[n];
        ASSERT_EQ(r.changes.size(), 1u) << n;
        EXPECT_EQ(r.changes[0].state, ST_STATIC);
        EXPECT_EQ(r.changes[0].time, 0);
        EXPECT_FLOAT_EQ(r.audio.front(), expected[n]);
        EXPECT_FLOAT_EQ(r.audio.back(), expected[n]);
    }
    EXPECT_TRUE(Sleeping(*fixed));
}
