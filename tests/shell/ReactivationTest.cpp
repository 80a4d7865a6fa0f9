// A host that deactivates and activates the plug-in between renders (before
// each render, on a new rate, before a bounce) hears in the next render what
// a fresh instance given the same state plays, sample for sample, whatever
// sounded when the last render ended. The demo instrument's bundle, driven
// through its VST3 interfaces.

#include <gtest/gtest.h>

#include "DemoSynthSession.h"

using namespace demo_synth_test;

namespace
{
std::vector<char> Saved(PluginInstance& instance)
{
    std::vector<char> bytes;
    std::string error;
    EXPECT_TRUE(instance.saveState(bytes, error)) << error;
    return bytes;
}

// As Ardour and most hosts do it.
void Reactivate(PluginInstance& instance)
{
    instance.processor()->setProcessing(false);
    ASSERT_EQ(instance.component()->setActive(false), kResultOk);
    ASSERT_EQ(instance.component()->setActive(true), kResultOk);
    instance.processor()->setProcessing(true);
}
} // namespace

TEST(Reactivation, TheNextRenderIsAFreshInstancesRenderSampleForSample)
{
    // A saw with a slow attack, key 57 held for half a second; the first
    // render ends while it sounds, or during its release (about 79 ms).
    const Score first = Score().Param(0, kWaveform, 1.0 / 6).Param(0, kAttack, 0.1).On(0, 57).Off(24000, 57);
    const Score next = Score().On(0, 60).On(4800, 64).Off(9600, 60).Off(14400, 64);
    for (const double firstSeconds : {0.4, 0.53})
    {
        SCOPED_TRACE(firstSeconds);
        SynthSession used;
        ASSERT_TRUE(used.instance);
        const auto before = used.Play(first.performance, firstSeconds);
        ASSERT_GT(Peak(before, before.size() - 100, before.size()), 0.01);
        const std::vector<char> state = Saved(*used.instance);
        Reactivate(*used.instance);
        EXPECT_EQ(Saved(*used.instance), state);
        const auto again = used.Play(next.performance, 1.0);

        SynthSession fresh;
        ASSERT_TRUE(fresh.instance);
        std::string error;
        ASSERT_TRUE(fresh.instance->loadState(state, error)) << error;
        const auto expected = fresh.Play(next.performance, 1.0);
        EXPECT_GT(Peak(expected, 0, expected.size()), 0.05);
        EXPECT_EQ(again, expected);
    }
}
