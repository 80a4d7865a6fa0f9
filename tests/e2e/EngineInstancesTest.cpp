// Engines in one process (two plug-in instances in one host, or one built
// after another) share nothing that plays: each sounds exactly as it would
// alone, and what an engine kept for itself goes with it.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>

#include "engine/runtime/LookupTable.h"
#include "tests/e2e/DemoSynthRig.h"

using kvtest::DemoSynthRig;

namespace
{
// The demo instrument on white noise: the noise generator is the engine's.
std::string NoiseDocument()
{
    std::string document = kvtest::ReadPatchFile(KV_DEMO_SYNTH_DOCUMENT);
    const std::string from = "Handle=\"100\" MetaData=\"Sine, Saw, Ramp, Triangle, Pulse,White Noise,Pink Noise\"><p>0</p>";
    const size_t at = document.find(from);
    EXPECT_NE(at, std::string::npos);
    if (at != std::string::npos)
        document.replace(at + from.size() - 5, 1, "5");
    return document;
}

constexpr int64_t kLength = 6000;

void Play(DemoSynthRig& rig)
{
    rig.NoteOn(100, 60);
    rig.NoteOn(130, 67);
    rig.NoteOff(3000, 60);
    rig.NoteOff(3000, 67);
}
} // namespace

TEST(EngineInstances, EnginesSideBySideOrOneAfterAnotherSoundAsOneAlone)
{
    const std::string document = NoiseDocument();
    DemoSynthRig alone(DemoSynthRig::Text{document});
    ASSERT_TRUE(alone.built);
    Play(alone);
    alone.RunTo(kLength, {64});
    ASSERT_GT(alone.Peak(200, 3000), 0.05f);
    const size_t tablesAlone = SharedLookupCount();

    // Two instances running block by block in turn.
    {
        DemoSynthRig first(DemoSynthRig::Text{document});
        DemoSynthRig second(DemoSynthRig::Text{document});
        Play(first);
        Play(second);
        for (int64_t t = 64; t < kLength + 64; t += 64)
        {
            first.RunTo(std::min(t, kLength), {64});
            second.RunTo(std::min(t, kLength), {64});
        }
        EXPECT_EQ(first.out, alone.out);
        EXPECT_EQ(second.out, alone.out);
    }

    // One engine after another in the same place, as a host that closes an
    // instance and opens a new one may well get.
    std::optional<DemoSynthRig> place;
    for (int round = 0; round < 2; ++round)
    {
        place.emplace(DemoSynthRig::Text{document});
        Play(*place);
        place->RunTo(kLength, {64});
        EXPECT_EQ(place->out, alone.out) << round;
        place.reset();
        // Nothing of the engines that went is kept.
        EXPECT_LE(SharedLookupCount(), tablesAlone) << round;
    }
}
