// A host that bypasses the plug-in while a key is down and lets the key go
// during the bypass. A host built on JUCE switches the parameter flagged as
// the bypass and goes on calling process() (without one it would stop
// calling it, and the note-off would never come); Ardour's deactivation
// stops processing, deactivates, then activates and processes again. The
// demo instrument's bundle, driven through its VST3 interfaces.
#include <gtest/gtest.h>

#include <optional>

#include "DemoSynthSession.h"
#include "tools/kvhost/HostMemoryStream.h"

using namespace demo_synth_test;

namespace
{
std::vector<char> SavedState(IComponent* component)
{
    HostMemoryStream out;
    EXPECT_EQ(component->getState(&out), kResultOk);
    return out.bytes();
}
} // namespace

TEST(HostBypass, KeysDownWhenTheHostStopsAreReleasedOrGoneWhenItResumesAndTheStateIsKept)
{
    struct HostStop
    {
        const char* name;
        bool stopProcessing;
        bool deactivate;
    };
    const HostStop stops[] = {{"bypass as Ardour does", true, true},
                              {"processing stopped", true, false},
                              {"deactivated", false, true}};
    for (const HostStop& stop : stops)
    {
        SCOPED_TRACE(stop.name);
        SynthSession session;
        ASSERT_TRUE(session.instance);
        IComponent* component = session.instance->component();
        IAudioProcessor* processor = session.instance->processor();
        const auto held = session.Play(Score().On(500, 69).performance, 0.5);
        EXPECT_GT(Amplitude(held, 12000, 12000, KeyHz(69)), 0.05);
        const std::vector<char> state = SavedState(component);

        if (stop.stopProcessing)
        {
            EXPECT_EQ(processor->setProcessing(false), kResultOk);
        }
        if (stop.deactivate)
        {
            ASSERT_EQ(component->setActive(false), kResultOk);
            ASSERT_EQ(component->setActive(true), kResultOk);
        }
        if (stop.stopProcessing)
        {
            EXPECT_EQ(processor->setProcessing(true), kResultOk);
        }
        // Key 69 went up while no block ran. Key 81 is struck a quarter
        // second after the host plays again and held for a quarter second.
        EXPECT_EQ(SavedState(component), state);
        const auto after = session.Play(Score().On(12000, 81).Off(24000, 81).performance, 1.5);
        ASSERT_EQ(after.size(), 72000u);

        const double sustained = Amplitude(held, 12000, 12000, KeyHz(69));
        if (stop.deactivate)
        {
            // Activation starts from silence: nothing of key 69 goes on.
            EXPECT_EQ(Peak(after, 0, 12000), 0.0);
        }
        else
        {
            // Key 69 releases as usual from the first sample (release 3 V,
            // about 79 ms): still sounding at first, gone well before key 81.
            EXPECT_GT(Amplitude(after, 0, 1200, KeyHz(69)), 0.5 * sustained);
            EXPECT_LT(Amplitude(after, 7200, 4800, KeyHz(69)), 0.001 * sustained);
        }
        // Key 81 plays; after its own release, silence.
        EXPECT_GT(Amplitude(after, 14400, 9600, KeyHz(81)), 0.05);
        EXPECT_EQ(Peak(after, 24000 + 24000, after.size()), 0.0);
    }
}

TEST(HostBypass, AHostSwitchingTheBypassParameterHearsSilenceWithoutAClickAndNoNoteHangs)
{
    // Key 69 held; bypass on at half a second, the key let go during it,
    // bypass off a second later, then key 81.
    constexpr std::size_t kOn = 24000;
    constexpr std::size_t kRelease = 36000;
    constexpr std::size_t kOff = 60000;
    constexpr std::size_t kNext = 72000;
    constexpr std::size_t kRamp = 240; // 5 ms
    std::vector<float> first;
    for (int32 block : {1, 64, 512, 1000})
    {
        SCOPED_TRACE(block);
        SynthSession session(InstanceSetup(), block);
        ASSERT_TRUE(session.instance);
        IEditController* controller = session.instance->controller();
        // The host takes the parameter flagged as the bypass.
        std::optional<ParamID> bypass;
        for (int32 i = 0; i < controller->getParameterCount(); ++i)
        {
            ParameterInfo info{};
            if (controller->getParameterInfo(i, info) == kResultOk && (info.flags & ParameterInfo::kIsBypass))
                bypass = info.id;
        }
        ASSERT_TRUE(bypass);
        EXPECT_EQ(*bypass, 10131u);
        const Score score =
            Score().On(500, 69).Param(kOn, *bypass, 1.0).Off(kRelease, 69).Param(kOff, *bypass, 0.0).On(kNext, 81);
        const auto out = session.Play(score.performance, 1.75);
        if (!first.empty())
        {
            EXPECT_EQ(out, first);
            continue;
        }
        first = out;
        ASSERT_EQ(out.size(), 84000u);
        const auto steepest = [&](std::size_t from, std::size_t to) {
            float step = 0.0f;
            for (std::size_t i = from + 1; i < to; ++i)
                step = std::max(step, std::fabs(out[i] - out[i - 1]));
            return step;
        };
        // The sine fades out over the ramp, no faster than it moves itself.
        EXPECT_GT(Amplitude(out, 12000, 12000, KeyHz(69)), 0.05);
        EXPECT_LT(steepest(kOn - 100, kOn + kRamp + 100), 1.05f * steepest(12000, kOn));
        // Silent to the end of the bypass, and after it: the key let go
        // meanwhile has ended its release.
        EXPECT_EQ(Peak(out, kOn + kRamp - 1, kNext), 0.0);
        EXPECT_GT(Amplitude(out, kNext + 2400, 9600, KeyHz(81)), 0.05);
    }
}
