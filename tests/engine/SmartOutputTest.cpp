#include <gtest/gtest.h>

#include <vector>

#include "engine/TestGraph.h"
#include "engine/graph/smart_output.h"

using kvtest::Recorder;
using kvtest::TestGraph;
using kvtest::TestSource;

namespace
{
struct SmartOutput : ::testing::Test
{
    SmartOutput()
    {
        auto* source = graph.Add<TestSource>(1);
        recorder = graph.Add<Recorder>(0);
        ug_base::connect(source->plugs_[TestSource::PN_AUDIO], recorder->plugs_[Recorder::PN_AUDIO]);
        output.plug_ = source->plugs_[TestSource::PN_AUDIO];
        output.buffer_ = buffer.data();
    }
    std::vector<std::pair<int64_t, int>> Announcements() const
    {
        std::vector<std::pair<int64_t, int>> result;
        for (KorvaneEvent* e = recorder->FirstEvent(); e; e = recorder->NextEvent(e))
            result.emplace_back(e->sampleTime, e->eventType);
        return result;
    }

    TestGraph graph{32};
    Recorder* recorder = nullptr;
    std::vector<float> buffer = std::vector<float>(64, -1.0f);
    smart_output output;
};
} // namespace

TEST_F(SmartOutput, ALinearTransitionAcrossTwoRunsEndsExactlyOnTheTargetAndAnnouncesItsArrival)
{
    output.curve_ = smart_output::CURVE_LINEAR;
    output.Set(2, 1.0f, 4);
    EXPECT_TRUE(output.process(2, 2));
    EXPECT_FALSE(output.process(4, 6));

    const std::vector<float> expected = {0.25f, 0.5f, 0.75f, 1.0f, 1.0f};
    EXPECT_EQ(std::vector<float>(buffer.begin() + 2, buffer.begin() + 7), expected);
    const std::vector<std::pair<int64_t, int>> announced = {{2, UET_EVENT_STREAMING_START},
                                                            {5, UET_EVENT_STREAMING_STOP}};
    EXPECT_EQ(Announcements(), announced);
}

TEST_F(SmartOutput, AStepReachesTheTargetAtTheFirstSampleWithoutStreaming)
{
    output.curve_ = smart_output::CURVE_STEP;
    output.Set(0, 0.7f, 10);
    EXPECT_FALSE(output.process(0, 4));
    EXPECT_EQ(buffer[0], 0.7f);
    const std::vector<std::pair<int64_t, int>> announced = {{0, UET_EVENT_STREAMING_STOP}};
    EXPECT_EQ(Announcements(), announced);
}

TEST_F(SmartOutput, ACubicTransitionFollowsTheSCurve)
{
    output.curve_ = smart_output::CURVE_CUBIC;
    output.value_ = 0.2f;
    const float target = -0.5f;
    const int n = 50;
    output.Set(0, target, n);
    EXPECT_FALSE(output.process(0, n));
    for (int k = 1; k <= n; ++k)
    {
        const double t = static_cast<double>(k) / n;
        ASSERT_NEAR(buffer[k - 1], 0.2 + (target - 0.2) * (3 * t * t - 2 * t * t * t), 1e-5) << k;
    }
    EXPECT_EQ(buffer[n - 1], target);
}

TEST_F(SmartOutput, SettingTheRestingTargetIsIgnoredAndTheMovingTargetRestartsFromHere)
{
    output.curve_ = smart_output::CURVE_LINEAR;
    output.Set(0, 0.0f, 4);
    EXPECT_TRUE(Announcements().empty());

    output.Set(0, 1.0f, 4);
    output.process(0, 2);
    // The value carried on is the one due at the next sample.
    EXPECT_NEAR(output.value_, 0.75f, 1e-6);
    output.Set(2, 1.0f, 4);
    output.process(2, 4);
    EXPECT_NEAR(buffer[2], 0.8125f, 1e-6);
    EXPECT_EQ(buffer[5], 1.0f);
}
