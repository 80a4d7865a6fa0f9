// A host that stamps its notes and parameter points far past the block it
// sends them with: the demo instrument plays them at the block's last
// sample, and its blocks allocate nothing after warm-up.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "pluginterfaces/vst/ivstevents.h"
#include "realtime/AllocationCounter.h"
#include "shell/DemoSynthRig.h"
#include "tools/kvhost/HostEventList.h"
#include "tools/kvhost/HostParameterChanges.h"

using namespace demo_synth_rig;
using namespace kvrt;
using namespace Steinberg;
using namespace Steinberg::Vst;

TEST(BlockLoopAllocations, NotesAndPointsFarPastTheBlockSoundAtItsLastSampleAndAllocateNothing)
{
    DemoSynthRig rig(128, "far-events");
    HostParameterChanges changes;
    HostEventList events;
    rig.data.inputParameterChanges = &changes;
    rig.data.inputEvents = &events;
    Event note{};
    note.sampleOffset = 1 << 30;
    note.noteOn.velocity = 0.8f;

    // Only the blocks are counted, after 300 of warm-up.
    long inBlocks = 0;
    std::vector<float> firstBlocks;
    double energy = 0.0;
    for (int block = 0; block < 20300; ++block)
    {
        const int32 n = block % 3 == 0 ? 128 : (block % 3 == 1 ? 77 : 13);
        rig.data.numSamples = n;
        note.type = Event::kNoteOnEvent;
        note.noteOn.pitch = static_cast<int16>(36 + (block * 7) % 48);
        events.addEvent(note);
        if (block >= 8)
        {
            note.type = Event::kNoteOffEvent;
            note.noteOff.pitch = static_cast<int16>(36 + ((block - 8) * 7) % 48);
            events.addEvent(note);
        }
        // Attack, decay, sustain, release and volume, every block.
        for (ParamID id = 1; id <= 5; ++id)
            changes.add(id, 1 << 30, 0.3 + 0.1 * ((block + static_cast<int>(id)) % 5));
        const long before = allocations.load();
        counting = block >= 300;
        rig.processor->process(rig.data);
        counting = false;
        inBlocks += allocations.load() - before;
        events.clear();
        changes.clear();
        if (block < 2)
            firstBlocks.insert(firstBlocks.end(), rig.left.begin(), rig.left.begin() + n);
        for (int32 i = 0; i < n; ++i)
            energy += static_cast<double>(rig.left[static_cast<std::size_t>(i)]) * rig.left[static_cast<std::size_t>(i)];
    }

    EXPECT_EQ(inBlocks, 0);
    // The first note, sent with a block of 128, sounds three samples after
    // that block's last sample, as one sent for sample 127 does.
    ASSERT_EQ(firstBlocks.size(), 128u + 77u);
    for (std::size_t i = 0; i < 130; ++i)
        ASSERT_EQ(firstBlocks[i], 0.0f) << i;
    EXPECT_NE(firstBlocks[130], 0.0f);
    EXPECT_TRUE(std::isfinite(energy));
    EXPECT_GT(energy, 1.0);
}
