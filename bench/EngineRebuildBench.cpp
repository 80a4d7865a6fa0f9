// Cost of an activation that starts from silence: the demo instrument's
// engine built again from its patch document at 48 kHz, its patch carried
// across (the preset state and what the patch manager holds besides).
#include "bench/BenchPatch.h"
#include <benchmark/benchmark.h>

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
