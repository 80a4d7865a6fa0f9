// Cost of the order in which a host lists a block's events. The demo
// instrument's processor runs 256-sample blocks, each with the same 10,000
// note events (5,000 keys struck and released inside the block) listed
//   BM_EventOrder/0/5000  in sample order
//   BM_EventOrder/1/5000  in a random order
//   BM_EventOrder/2/5000  in reverse sample order
// VST3 does not promise sorted events: any order should cost about what
// sample order costs. /13500 is the same with 27,000 events, more than the
// processor orders at once.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <random>
#include <vector>

#include "pluginterfaces/vst/ivstevents.h"
#include "tests/shell/BlockEventList.h"
#include "tests/shell/DemoSynthRig.h"

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace
{
constexpr int32 kBlock = 256;

// Each key struck at one sample of the block and released at a later one,
// listed in sample order.
std::vector<Event> SortedEvents(int keysStruck)
{
    std::mt19937 random(41);
    std::uniform_int_distribution<int32> offset(0, kBlock - 2);
    std::vector<Event> events;
    for (int i = 0; i < keysStruck; ++i)
    {
        const int32 on = offset(random);
        const int32 off = std::uniform_int_distribution<int32>(on + 1, kBlock - 1)(random);
        Event event{};
        event.type = Event::kNoteOnEvent;
        event.sampleOffset = on;
        event.noteOn.pitch = static_cast<int16>(24 + i % 80);
        event.noteOn.velocity = 0.8f;
        events.push_back(event);
        event.type = Event::kNoteOffEvent;
        event.sampleOffset = off;
        event.noteOff.pitch = static_cast<int16>(24 + i % 80);
        event.noteOff.velocity = 0.5f;
        events.push_back(event);
    }
    std::stable_sort(events.begin(), events.end(),
                     [](const Event& a, const Event& b) { return a.sampleOffset < b.sampleOffset; });
    return events;
}

std::vector<Event> EventsInOrder(int order, int keysStruck)
{
    std::vector<Event> events = SortedEvents(keysStruck);
    if (order == 1)
        std::shuffle(events.begin(), events.end(), std::mt19937(7));
    else if (order == 2)
        std::reverse(events.begin(), events.end());
    return events;
}

void BM_EventOrder(benchmark::State& state)
{
    demo_synth_rig::DemoSynthRig rig(kBlock, "event-order-bench");
    BlockEventList events(EventsInOrder(static_cast<int>(state.range(0)), static_cast<int>(state.range(1))));
    rig.data.inputEvents = &events;
    // The engine's event records grow to the block's needs once.
    for (int i = 0; i < 3; ++i)
        rig.processor->process(rig.data);
    for (auto _ : state)
    {
        rig.processor->process(rig.data);
        benchmark::DoNotOptimize(rig.left.data());
    }
    state.counters["events"] = events.getEventCount();
}
BENCHMARK(BM_EventOrder)->ArgsProduct({{0, 1, 2}, {5000, 13500}})->Unit(benchmark::kMillisecond);
} // namespace
