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
#include "bench/BenchPatch.h"
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

#include "engine/events/EventPool.h"
#include "engine/events/EventProcessor.h"
#include "engine/runtime/KvAudioMaster.h"
#include "pluginterfaces/vst/ivstevents.h"
#include "shell/ADelayProcessor.h"
#include "shell/BundleInfo.h"
#include "shell/MyVstPluginFactory.h"
#include "tools/kvhost/HostContext.h"
#include "tools/kvhost/HostEventList.h"
#include "tools/kvhost/HostParameterChanges.h"

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace
{
constexpr int32 kBlock = 128;
constexpr int32 kFar = 1 << 30;

// The demo instrument's bundle, laid out from its source folder.
class FarEventsRig
{
public:
    FarEventsRig()
        : folder_(std::filesystem::temp_directory_path() / ("kv-far-events-" + std::to_string(getpid()))),
          factory_(MakeBundle(folder_))
    {
        factory_.initialize();
        processor_ = owned(new ADelayProcessor(&factory_));
        processor_->setInstrument(true);
        processor_->initialize(&host_);
        ProcessSetup setup{kRealtime, kSample32, kBlock, 48000.0};
        processor_->setupProcessing(setup);
        processor_->setActive(true);
        processor_->setProcessing(true);
        channels_[0] = left_.data();
        channels_[1] = right_.data();
        bus_.numChannels = 2;
        bus_.channelBuffers32 = channels_;
        data_.numSamples = kBlock;
        data_.symbolicSampleSize = kSample32;
        data_.outputs = &bus_;
        data_.numOutputs = 1;
        data_.inputParameterChanges = &changes_;
        data_.inputEvents = &events_;
    }
    ~FarEventsRig()
    {
        processor_->setProcessing(false);
        processor_->setActive(false);
        processor_->terminate();
        processor_ = nullptr;
        std::filesystem::remove_all(folder_);
    }

    void Block()
    {
        const int key = 36 + (block_ * 7) % 48;
        Event on = Note(Event::kNoteOnEvent, key);
        Event off = Note(Event::kNoteOffEvent, 36 + ((block_ + 40) * 7) % 48);
        events_.addEvent(on);
        events_.addEvent(off);
        for (ParamID id = 1; id <= 5; ++id)
            changes_.add(id, kFar, 0.2 + 0.1 * ((block_ + static_cast<int>(id)) % 7));
        processor_->process(data_);
        changes_.clear();
        events_.clear();
        ++block_;
    }

    // Event records the engine's pool holds: they grow while events wait.
    int EventRecords() { return processor_->Runtime().AudioMaster()->GetEventPool()->EventCapacity(); }

private:
    static BundleInfo MakeBundle(const std::filesystem::path& folder)
    {
        namespace fs = std::filesystem;
        const fs::path source = fs::path(KV_DEMO_SYNTH_DOCUMENT).parent_path();
        const fs::path bundle = folder / "KorvaneDemoSynth.vst3";
        fs::create_directories(bundle / "Contents" / "Resources");
        fs::create_directories(bundle / "Contents" / "x86_64-linux");
        for (const char* name : {"factory.kv.xml", "dsp.kv.xml", "parameters.kv.xml"})
            fs::copy_file(source / name, bundle / "Contents" / "Resources" / name,
                          fs::copy_options::overwrite_existing);
        return BundleInfo::FromModulePath((bundle / "Contents" / "x86_64-linux" / "KorvaneDemoSynth.so").string());
    }

    static Event Note(uint16 type, int key)
    {
        Event event{};
        event.type = type;
        event.sampleOffset = kFar;
        event.noteOn.pitch = static_cast<int16>(key);
        event.noteOn.velocity = 0.8f;
        return event;
    }

    std::filesystem::path folder_;
    MyVstPluginFactory factory_;
    KvHostApplication host_;
    IPtr<ADelayProcessor> processor_;
    std::vector<float> left_ = std::vector<float>(kBlock);
    std::vector<float> right_ = std::vector<float>(kBlock);
    float* channels_[2] = {};
    AudioBusBuffers bus_{};
    ProcessData data_;
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
