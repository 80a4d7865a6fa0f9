// A host that lists a block's notes and parameter points out of sample
// order (VST3 does not promise sorted events): the demo instrument plays
// them sample for sample as it plays the same input listed in order, events
// of one sample in the host's order, and its blocks allocate nothing after
// warm-up, also for a block with more events than the processor orders at
// once.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <vector>

#include "pluginterfaces/vst/ivstevents.h"
#include "realtime/AllocationCounter.h"
#include "shell/BlockEventList.h"
#include "shell/DemoSynthRig.h"
#include "tools/kvhost/HostParameterChanges.h"

using namespace demo_synth_rig;
using namespace kvrt;
using namespace Steinberg;
using namespace Steinberg::Vst;

namespace
{
constexpr int32 kBlock = 256;

Event Note(uint16 type, int32 offset, int key, float velocity = 0.8f)
{
    Event event{};
    event.type = type;
    event.sampleOffset = offset;
    event.noteOn.pitch = static_cast<int16>(key);
    event.noteOn.velocity = velocity;
    return event;
}

// The events of a block listed out of sample order: samples in a random
// order, or from the last to the first; those of one sample keep their order.
std::vector<Event> OutOfOrder(const std::vector<Event>& sorted, std::mt19937& random, bool reverse)
{
    std::map<int32, std::vector<Event>> bySample;
    for (const Event& event : sorted)
        bySample[event.sampleOffset].push_back(event);
    std::vector<int32> places;
    for (const auto& [offset, events] : bySample)
        places.insert(places.end(), events.size(), offset);
    if (reverse)
        std::reverse(places.begin(), places.end());
    else
        std::shuffle(places.begin(), places.end(), random);
    std::map<int32, std::size_t> taken;
    std::vector<Event> listed;
    for (int32 offset : places)
        listed.push_back(bySample[offset][taken[offset]++]);
    return listed;
}
} // namespace

TEST(BlockLoopAllocations, EventsOutOfSampleOrderPlayAsInOrderAndAllocateNothing)
{
    DemoSynthRig inOrder(kBlock, "order-sorted");
    DemoSynthRig outOfOrder(kBlock, "order-unsorted");
    BlockEventList sortedNotes;
    BlockEventList listedNotes;
    HostParameterChanges sortedChanges;
    HostParameterChanges listedChanges;
    inOrder.data.inputEvents = &sortedNotes;
    inOrder.data.inputParameterChanges = &sortedChanges;
    outOfOrder.data.inputEvents = &listedNotes;
    outOfOrder.data.inputParameterChanges = &listedChanges;
    std::mt19937 random(41);

    long inBlocks = 0;
    long differing = 0;
    double energy = 0.0;
    for (int block = 0; block < 600; ++block)
    {
        std::vector<Event> sorted;
        // A chord struck, then its keys released and struck again at one
        // sample (the order within the sample decides whether they sound).
        const int root = 40 + (block * 5) % 30;
        for (int32 offset = 3; offset < kBlock; offset += 37)
        {
            const int key = root + (offset % 4) * 4;
            sorted.push_back(Note(Event::kNoteOffEvent, offset, key));
            sorted.push_back(Note(Event::kNoteOnEvent, offset, key, 0.3f + 0.1f * static_cast<float>(offset % 5)));
        }
        // Every 50th block has more events than are ordered at once: keys
        // pressed that no voice plays.
        if (block % 50 == 7)
        {
            std::uniform_int_distribution<int32> anywhere(0, kBlock - 1);
            for (int i = 0; i < 9000; ++i)
            {
                Event pressure{};
                pressure.type = Event::kPolyPressureEvent;
                pressure.sampleOffset = anywhere(random);
                pressure.polyPressure.pitch = static_cast<int16>(i % 12);
                pressure.polyPressure.pressure = 0.5f;
                sorted.push_back(pressure);
            }
        }
        std::stable_sort(sorted.begin(), sorted.end(),
                         [](const Event& a, const Event& b) { return a.sampleOffset < b.sampleOffset; });
        sortedNotes.events = sorted;
        listedNotes.events = OutOfOrder(sorted, random, block % 2 == 0);

        // Attack, decay, sustain, release and pitch bend, listed by sample
        // for the one and from the last sample to the first for the other.
        const std::pair<ParamID, int32> points[] = {{4, 20}, {10129, 60}, {3, 100}, {2, 140}, {1, 180}};
        for (const auto& [id, offset] : points)
            sortedChanges.add(id, offset, 0.2 + 0.1 * ((block + static_cast<int>(id)) % 6));
        for (auto it = std::rbegin(points); it != std::rend(points); ++it)
            listedChanges.add(it->first, it->second, 0.2 + 0.1 * ((block + static_cast<int>(it->first)) % 6));

        inOrder.processor->process(inOrder.data);
        const long before = allocations.load();
        counting = block >= 100;
        outOfOrder.processor->process(outOfOrder.data);
        counting = false;
        inBlocks += allocations.load() - before;
        if (inOrder.left != outOfOrder.left)
            ++differing;
        for (float sample : inOrder.left)
            energy += static_cast<double>(sample) * sample;
        sortedChanges.clear();
        listedChanges.clear();
    }
    EXPECT_EQ(inBlocks, 0);
    EXPECT_EQ(differing, 0);
    EXPECT_GT(energy, 0.1);
}
