// Cost of host input whose times lie far past the block, and of discarding a
// module's old pin values while many other events wait.
//   BM_FarEventsBlock       the demo instrument's processor at 128-sample
//                           blocks, each with a note on, a note off and five
//                           parameter points 2^30 samples past its end; timed
//                           after 100, 2000 or 20000 such blocks, with the event
//                           records the engine then holds. Flat when the
//                           events land in their block.
//   BM_DiscardOldPinEvents  one module with an old value on pin 0 and 0,
//                           1000 or 100000 later events waiting.
#include <benchmark/benchmark.h>

#include "engine/events/EventPool.h"
#include "engine/events/EventProcessor.h"
#include "engine/runtime/KvAudioMaster.h"
#include "pluginterfaces/vst/ivstevents.h"
#include "tests/shell/DemoSynthRig.h"
#include "tools/kvhost/HostEventList.h"
#include "tools/kvhost/HostParameterChanges.h"

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace
{
constexpr int32 kBlock = 128;
constexpr int32 kFar = 1 << 30;

// The demo instrument's processor with input far past every block.
class FarEventsRig
{
public:
    FarEventsRig() : rig_(kBlock, "far-bench")
    {
        rig_.data.inputParameterChanges = &changes_;
        rig_.data.inputEvents = &events_;
    }

    void Block()
    {
        Event on = Note(Event::kNoteOnEvent, 36 + (block_ * 7) % 48);
        Event off = Note(Event::kNoteOffEvent, 36 + ((block_ + 40) * 7) % 48);
        events_.addEvent(on);
        events_.addEvent(off);
        for (ParamID id = 1; id <= 5; ++id)
            changes_.add(id, kFar, 0.2 + 0.1 * ((block_ + static_cast<int>(id)) % 7));
        rig_.processor->process(rig_.data);
        changes_.clear();
        events_.clear();
        ++block_;
    }

    // Event records the engine's pool holds: they grow while events wait.
    int EventRecords() { return rig_.processor->Runtime().AudioMaster()->GetEventPool()->EventCapacity(); }

private:
    static Event Note(uint16 type, int key)
    {
        Event event{};
        event.type = type;
        event.sampleOffset = kFar;
        event.noteOn.pitch = static_cast<int16>(key);
        event.noteOn.velocity = 0.8f;
        return event;
    }

    demo_synth_rig::DemoSynthRig rig_;
    HostParameterChanges changes_;
    HostEventList events_;
    int block_ = 0;
};

void BM_FarEventsBlock(benchmark::State& state)
{
    FarEventsRig rig;
    for (int64_t i = 0; i < state.range(0); ++i)
        rig.Block();
    for (auto _ : state)
        rig.Block();
    state.counters["eventRecords"] = rig.EventRecords();
}
BENCHMARK(BM_FarEventsBlock)->Arg(100)->Arg(2000)->Arg(20000)->Iterations(2000)->Unit(benchmark::kMicrosecond);

void BM_DiscardOldPinEvents(benchmark::State& state)
{
    EventPool pool;
    EventProcessor module;
    module.AddEvent(EventPool::New(&pool, 0, UET_EVENT_SETPIN, 0));
    for (int64_t i = 0; i < state.range(0); ++i)
        module.AddEvent(EventPool::New(&pool, kFar + i, UET_EVENT_MIDI, 1));
    for (auto _ : state)
    {
        // The one old value is the latest of its pin: it stays.
        module.DiscardOldPinEvents(0);
        benchmark::DoNotOptimize(module.FirstEvent());
    }
}
BENCHMARK(BM_DiscardOldPinEvents)->Arg(0)->Arg(1000)->Arg(100000)->Unit(benchmark::kNanosecond);
} // namespace
