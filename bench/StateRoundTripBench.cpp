// A host that saves and restores the demo instrument's state on the thread
// that runs its blocks (a command-line renderer, an offline bounce on one
// thread), beside one that does so while no blocks run: the round trip
// (setState, then getState) should cost the same, since no block can be
// running while that thread is busy with the state.
#include <benchmark/benchmark.h>

#include <vector>

#include "tests/shell/DemoSynthRig.h"
#include "tools/kvhost/HostMemoryStream.h"

namespace
{
void BM_StateRoundTrip(benchmark::State& state)
{
    const bool blocks = state.range(0) != 0;
    demo_synth_rig::DemoSynthRig rig(512, "bench-state");
    ADelayProcessor& processor = *rig.processor;
    if (!blocks)
        processor.setProcessing(false);
    processor.process(rig.data);
    Steinberg::IPtr<HostMemoryStream> saved = Steinberg::owned(new HostMemoryStream());
    processor.getState(saved);
    const std::vector<char> chunk = saved->bytes();
    for (auto _ : state)
    {
        if (blocks)
        {
            state.PauseTiming();
            processor.process(rig.data);
            state.ResumeTiming();
        }
        Steinberg::IPtr<HostMemoryStream> in = Steinberg::owned(new HostMemoryStream(chunk));
        processor.setState(in);
        Steinberg::IPtr<HostMemoryStream> out = Steinberg::owned(new HostMemoryStream());
        processor.getState(out);
        benchmark::DoNotOptimize(out->bytes().size());
    }
}
BENCHMARK(BM_StateRoundTrip)->ArgName("blocks")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
} // namespace
