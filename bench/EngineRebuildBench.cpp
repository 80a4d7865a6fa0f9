// Cost of an activation that starts from silence: the demo instrument's
// engine built again from its patch document at 48 kHz, its patch carried
// across (the preset state and what the patch manager holds besides).
#include "bench/BenchPatch.h"
#include <benchmark/benchmark.h>

#include "engine/runtime/KvAudioMaster.h"
#include "engine/runtime/SynthRuntime.h"

namespace
{
void BM_RebuildDemoSynth(benchmark::State& state)
{
    const std::string document = ReadPatch(KV_DEMO_SYNTH_DOCUMENT);
    SynthRuntime runtime;
    if (!runtime.initialize(48000, 512, document.c_str()))
    {
        state.SkipWithError("the demo document builds no graph");
        return;
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(runtime.Rebuild(48000, 512, document.c_str()));
}
BENCHMARK(BM_RebuildDemoSynth)->Unit(benchmark::kMillisecond);
} // namespace

namespace
{
// What part of the rebuild is the patch carried across: the preset state
// read from the engine and given back to it.
void BM_CarryDemoSynthState(benchmark::State& state)
{
    const std::string document = ReadPatch(KV_DEMO_SYNTH_DOCUMENT);
    SynthRuntime runtime;
    if (!runtime.initialize(48000, 512, document.c_str()))
    {
        state.SkipWithError("the demo document builds no graph");
        return;
    }
    std::string text;
    for (auto _ : state)
    {
        runtime.GetPresetState(text);
        runtime.SetPresetState(text);
    }
}
BENCHMARK(BM_CarryDemoSynthState)->Unit(benchmark::kMillisecond);

// A lower bound for a reset of what sounds without a rebuild: the built
// graph closed and opened again, every module starting over from its open.
void BM_ReopenDemoSynthGraph(benchmark::State& state)
{
    const std::string document = ReadPatch(KV_DEMO_SYNTH_DOCUMENT);
    SynthRuntime runtime;
    if (!runtime.initialize(48000, 512, document.c_str()))
    {
        state.SkipWithError("the demo document builds no graph");
        return;
    }
    KvAudioMaster* master = runtime.AudioMaster();
    for (auto _ : state)
    {
        master->Close();
        master->Open();
    }
}
BENCHMARK(BM_ReopenDemoSynthGraph)->Unit(benchmark::kMillisecond);
} // namespace
