// Blocks of the large patch (1,500 host values and 50 long texts) with a
// note held, while another thread sets and reads its states back to back,
// beside the same blocks with no state call. The audio thread waits for
// nobody, so the slowest blocks should cost what they cost alone. Counters:
// the median, the 99.9th percentile and the worst block, in microseconds.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "tests/shell/BlockEventList.h"
#include "tests/shell/DemoSynthRig.h"
#include "tests/shell/StatePairs.h"
#include "tools/kvhost/HostMemoryStream.h"

namespace
{
void BM_LargePatchBlocks(benchmark::State& state)
{
    using namespace Steinberg;
    using namespace Steinberg::Vst;
    const bool stateCalls = state.range(0) != 0;
    const state_pairs::StatePair pair = state_pairs::LargePatch(KV_PATCH_DIR);
    demo_synth_rig::DemoSynthRig rig(128, "bench-large", pair.document);
    ADelayProcessor& processor = *rig.processor;
    HostMemoryStream initial(pair.first);
    processor.setState(&initial);
    Event on{};
    on.type = Event::kNoteOnEvent;
    on.noteOn = {0, 69, 0.0f, 1.0f, 0, -1};
    BlockEventList strike({on});
    rig.data.inputEvents = &strike;
    processor.process(rig.data);
    rig.data.inputEvents = nullptr;
    for (int b = 0; b < 400; ++b)
        processor.process(rig.data);

    std::atomic<bool> stop{false};
    std::atomic<long> calls{0};
    std::thread host;
    if (stateCalls)
        host = std::thread([&] {
            for (long k = 0; !stop.load(); ++k)
            {
                HostMemoryStream in(k % 2 ? pair.second : pair.first);
                processor.setState(&in);
                HostMemoryStream out;
                processor.getState(&out);
                ++calls;
            }
        });
    std::vector<double> micros;
    micros.reserve(static_cast<std::size_t>(state.max_iterations));
    for (auto _ : state)
    {
        const auto start = std::chrono::steady_clock::now();
        processor.process(rig.data);
        micros.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count());
    }
    stop = true;
    if (host.joinable())
        host.join();
    std::sort(micros.begin(), micros.end());
    const auto at = [&](double fraction) {
        return micros[std::min(micros.size() - 1, static_cast<std::size_t>(fraction * static_cast<double>(micros.size())))];
    };
    state.counters["median_us"] = at(0.5);
    state.counters["p99.9_us"] = at(0.999);
    state.counters["worst_us"] = micros.back();
    state.counters["state_calls"] = static_cast<double>(calls.load());
}
BENCHMARK(BM_LargePatchBlocks)->ArgName("stateCalls")->Arg(0)->Arg(1)->MinTime(2.0)->Unit(benchmark::kMicrosecond)->UseRealTime();
} // namespace
