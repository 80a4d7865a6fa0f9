#include <gtest/gtest.h>

#include <tinyxml.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "core/CModuleFactory.h"
#include "core/SafeXmlText.h"
#include "engine/TestGraph.h"
#include "modules/control/ug_voltage_to_enum.h"

using kvtest::TestGraph;
using kvtest::TestSource;

namespace
{
// Logs every value reaching its list input, with its time.
class EnumRecorder : public ug_base
{
public:
    ug_base* Create() override { return new EnumRecorder(); }
    void ListInterface2(std::vector<InterfaceObject*>& pins) override
    {
        pins.push_back(new InterfaceObject(&value_, L"List In", DR_IN, DT_ENUM, L"0", L"", 0));
    }
    void onSetPin(int64_t time, UPlug* /*pin*/, state_type /*state*/) override { received.push_back({time, value_}); }

    struct Received { int64_t time; int value; };
    int16_t value_ = 0;
    std::vector<Received> received;
};

struct ListRig
{
    explicit ListRig(const std::string& document) : graph(96, 44100.0f)
    {
        TiXmlDocument doc;
        // Text goes to the parser only once it has passed the safety checks.
        if (IsSafeXmlText(document))
            doc.Parse(document.c_str());
        module = static_cast<ug_voltage_to_enum*>(
            CModuleFactory::Instance()->GetById(L"Voltage To List")->BuildSynthOb());
        module->Setup(&graph.master, doc.RootElement());
        module->sortOrder_ = 5;
        graph.modules.emplace_back(module);
        source = graph.Add<TestSource>(10);
        ug_base::connect(source->plugs_[TestSource::PN_AUDIO], module->plugs_[ug_voltage_to_enum::PN_SIGNAL_IN]);
        recorder = graph.Add<EnumRecorder>(1);
        ug_base::connect(module->plugs_[ug_voltage_to_enum::PN_LIST_OUT], recorder->plugs_[0]);
        graph.OpenAll();
    }
    static std::string Document(const std::string& list)
    {
        return "<Module Id=\"7\"><Plugs><Plug Idx=\"0\"/><Plug Idx=\"1\" EnumList=\"" + list + "\"/></Plugs></Module>";
    }

    TestGraph graph;
    ug_voltage_to_enum* module = nullptr;
    TestSource* source = nullptr;
    EnumRecorder* recorder = nullptr;
};

// The item the mapping picks for x with n items, from the formula.
int ExpectedIndex(float x, int n)
{
    const double f = std::floor(static_cast<double>(x) * (n - 1) + 0.5);
    return static_cast<int>(std::clamp(f, 0.0, static_cast<double>(n - 1)));
}
} // namespace

TEST(VoltageToEnum, TheListIsReadFromTheModulesElementAndTheLastListWins)
{
    ListRig rig("<Module><Plugs><A EnumList=\"x,y\"/><B/><C EnumList=\"Lo=3,Mid=7,Hi=11\"/></Plugs></Module>");
    EXPECT_EQ(rig.module->ListText(), L"Lo=3,Mid=7,Hi=11");
    EXPECT_EQ(rig.module->ItemCount(), 3);
}

TEST(VoltageToEnum, FourItemsFollowTheInputWithHysteresisAroundThePresentItem)
{
    ListRig rig(ListRig::Document("A=10,B=20,C=30,D=40"));
    const std::vector<float> in = {0.2f, 0.17f, 0.1667f, 0.16f, 1.0f, 5.0f};
    rig.source->Stream([&](int64_t t) { return in[static_cast<size_t>(std::min<int64_t>(t, 5))]; });
    rig.graph.Run(96);

    // 0.2 picks the second item (floor(1.1) = 1); 0.17 and 0.1667 stay inside
    // its window, 0.16 falls below it.
    const auto& got = rig.recorder->received;
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0].time, 0);
    EXPECT_EQ(got[0].value, 20);
    EXPECT_EQ(got[1].time, 3);
    EXPECT_EQ(got[1].value, 10);
    EXPECT_EQ(got[2].time, 4);
    EXPECT_EQ(got[2].value, 40);
    EXPECT_EQ(rig.module->UpperBound(), 1e8f);
}

TEST(VoltageToEnum, TheWindowAfterAnItemChangeMatchesTheFormula)
{
    ListRig rig(ListRig::Document("A,B,C,D"));
    rig.source->HoldConstant(0.2f);
    rig.graph.Run(96);
    const float w = 0.25f;
    EXPECT_NEAR(rig.module->LowerBound(), 1.0f * w - w / 3.0f, 1e-6f);
    EXPECT_NEAR(rig.module->UpperBound(), 2.0f * w + w / 3.0f, 1e-6f);
    EXPECT_EQ(rig.module->GetProcessFunction(), static_cast<ug_base::process_func_ptr>(&ug_base::process_sleep));
}

TEST(VoltageToEnum, ASweepSendsEachItemOnceInOrder)
{
    ListRig rig(ListRig::Document("range 0,9"));
    const int n = 10;
    rig.source->Stream([](int64_t t) { return static_cast<float>(t) / 959.0f; });
    rig.graph.Run(960);
    const auto& got = rig.recorder->received;
    ASSERT_EQ(got.size(), static_cast<size_t>(n));
    for (size_t k = 0; k < got.size(); ++k)
    {
        EXPECT_EQ(got[k].value, static_cast<int>(k));
        const float x = static_cast<float>(got[k].time) / 959.0f;
        EXPECT_EQ(ExpectedIndex(x, n), static_cast<int>(k)) << "sent at " << got[k].time;
    }
}

TEST(VoltageToEnum, AOneItemListSendsItsItemOnceWhateverTheInput)
{
    ListRig rig(ListRig::Document("Only=5"));
    const float inf = std::numeric_limits<float>::infinity();
    const std::vector<float> in = {inf, -inf, 0.5f, -3.0f, 1e30f};
    rig.source->Stream([&](int64_t t) { return in[static_cast<size_t>(t % 5)]; });
    rig.graph.Run(96);
    ASSERT_EQ(rig.recorder->received.size(), 1u);
    EXPECT_EQ(rig.recorder->received[0].value, 5);
}

TEST(VoltageToEnum, AnEmptyListOrAHugeRangeIsSafeAndNaNOrExtremeInputsStayInRange)
{
    ListRig empty("<Module><Plugs/></Module>");
    empty.source->Stream([](int64_t t) { return static_cast<float>(t); });
    empty.graph.Run(96);
    EXPECT_EQ(empty.module->ItemCount(), 0);
    EXPECT_TRUE(empty.recorder->received.empty());

    ListRig huge(ListRig::Document("range -2000000000,2000000000"));
    EXPECT_EQ(huge.module->ItemCount(), ug_voltage_to_enum::kMaxItems);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const std::vector<float> in = {nan, 1e30f, -1e30f, nan, std::numeric_limits<float>::infinity()};
    huge.source->Stream([&](int64_t t) { return in[static_cast<size_t>(t % 5)]; });
    huge.graph.Run(96);
    // NaN never moves the list; the extremes give the first and last items kept.
    const int first = static_cast<int16_t>(-2000000000);
    const int last = static_cast<int16_t>(-2000000000 + ug_voltage_to_enum::kMaxItems - 1);
    ASSERT_FALSE(huge.recorder->received.empty());
    EXPECT_EQ(huge.recorder->received[0].time, 1);
    EXPECT_EQ(huge.recorder->received[0].value, last);
    for (const auto& r : huge.recorder->received)
        ASSERT_TRUE(r.value == first || r.value == last) << r.value;
}
