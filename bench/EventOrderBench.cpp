// Cost of the order in which a host lists a block's events. The demo
// instrument's processor runs 256-sample blocks, each with the same 10,000
// note events (5,000 keys struck and released inside the block) listed
//   BM_EventOrder/0  in sample order
//   BM_EventOrder/1  in a random order
//   BM_EventOrder/2  in reverse sample order
// VST3 does not promise sorted events: any order should cost about what
// sample order costs.
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
constexpr int kKeysStruck = 5000;

// Each key struck at one sample of the block and released at a later one,
// listed in sample order.
std::vector<Event> SortedEvents()
{
    std::mt19937 random(41);
    std::uniform_int_distribution<int32> offset(0, kBlock - 2);
    std::vector<Event> events;
    for (int i = 0; i < kKeysStruck; ++i)
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

std::vector<Event> EventsInOrder(int order)
{
    std::vector<Event> events = SortedEvents();
    if (order == 1)
        std::shuffle(events.begin(), events.end(), std::mt19937(7));
    else if (order == 2)
        std::reverse(events.begin(), events.end());
    return events;
}

void BM_EventOrder(benchmark::State& state)
{
    demo_synth_rig::DemoSynthRig rig(kBlock, "event-order-bench");
    BlockEventList events(EventsInOrder(static_cast<int>(state.range(0))));
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
BENCHMARK(BM_EventOrder)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);
} // namespace
