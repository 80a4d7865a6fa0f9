// A host that re-creates the plug-in before each render, as pedalboard does:
// it takes the state (processor, controller), makes a new instance, gives it
// that state (setState, setComponentState, setState) and writes back values
// of its own copy of the parameters. Hosts built on JUCE's hosting keep that
// copy as floats, so a value they write back is the one they read, rounded
// to a float; it may reach the processor at the first sample of the next
// block, or only through the controller. Re-created so, the demo instrument
// plays sample for sample what the first instance played, and saves the
// same state, however often it is re-created.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "HostModel.h"

using namespace host_model;

namespace
{
constexpr int32 kBlock = 512;
constexpr int kBlocks = 24;

// Key 69 struck at the start, with the host's changes at the first sample.
std::vector<float> Render(Plugin& plugin, const std::vector<Change>& first)
{
    std::vector<float> out;
    for (int n = 0; n < kBlocks; ++n)
    {
        const std::vector<float> block = plugin.Block(kBlock, n == 0 ? first : std::vector<Change>{}, n == 0);
        out.insert(out.end(), block.begin(), block.end());
    }
    return out;
}

// The host's copy of every patch parameter (the MIDI parameters hold no
// value of their own), as doubles or as floats.
Values Read(Plugin& plugin, bool floats)
{
    Values copy;
    for (int32 i = 0; i < plugin.controller()->getParameterCount(); ++i)
    {
        ParameterInfo info{};
        if (plugin.controller()->getParameterInfo(i, info) != kResultOk || info.id >= 10000)
            continue;
        const double value = plugin.controller()->getParamNormalized(info.id);
        copy[info.id] = floats ? static_cast<float>(value) : value;
    }
    return copy;
}

std::size_t Differing(const std::vector<float>& a, const std::vector<float>& b)
{
    std::size_t differing = a.size() == b.size() ? 0 : std::max(a.size(), b.size());
    for (std::size_t i = 0; i < std::min(a.size(), b.size()); ++i)
        differing += a[i] != b[i];
    return differing;
}
} // namespace

TEST(RecreatedInstance, PlaysSampleForSampleWhatTheFirstPlayedAndSavesTheSameState)
{
    struct Host
    {
        const char* name;
        bool floats;
        // Every value of the copy, or those the new instance reads otherwise.
        bool whole;
        bool toBlock;
    };
    const Host hosts[] = {{"copy of doubles, values that differ, controller and block", false, false, true},
                          {"copy of floats, values that differ, controller and block", true, false, true},
                          {"copy of floats, every value, controller and block", true, true, true},
                          {"copy of floats, every value, controller only", true, true, false}};
    for (const Host& host : hosts)
    {
        SCOPED_TRACE(host.name);
        auto plugin = std::make_unique<Plugin>(KV_DEMO_SYNTH_BUNDLE, "pedalboard");
        ASSERT_TRUE(plugin->instance);
        Values copy = Read(*plugin, host.floats);
        const std::vector<float> first = Render(*plugin, {});
        ASSERT_GT(Rms(first), 0.01);
        const std::vector<char> saved = plugin->ProcessorState();
        const auto text = [](const std::vector<char>& chunk) { return std::string(chunk.begin(), chunk.end()); };
        for (int round = 1; round <= 3; ++round)
        {
            SCOPED_TRACE("re-created " + std::to_string(round) + " times");
            const std::vector<char> state = plugin->ProcessorState();
            const std::vector<char> own = plugin->ControllerState();
            plugin = std::make_unique<Plugin>(KV_DEMO_SYNTH_BUNDLE, "pedalboard");
            ASSERT_TRUE(plugin->instance);
            plugin->Restore(state, own);
            const Values reads = Read(*plugin, host.floats);
            std::vector<Change> written;
            for (const auto& [id, value] : copy)
            {
                if (!host.whole && reads.at(id) == value)
                    continue;
                EXPECT_EQ(plugin->controller()->setParamNormalized(id, value), kResultOk) << id;
                if (host.toBlock)
                    written.push_back({id, value});
            }
            EXPECT_EQ(Differing(Render(*plugin, written), first), 0u);
            EXPECT_EQ(text(plugin->ProcessorState()), text(saved));
            copy = Read(*plugin, host.floats);
        }
    }
}
