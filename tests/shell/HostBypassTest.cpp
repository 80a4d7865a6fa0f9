// A host that stops the plug-in while a key is down and lets the key go
// before it runs blocks again: Ardour's bypass stops processing, deactivates,
// then activates and processes again; the note-off of a key released
// meanwhile never comes. The demo instrument's bundle, driven through its
// VST3 interfaces.
#include <gtest/gtest.h>

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
