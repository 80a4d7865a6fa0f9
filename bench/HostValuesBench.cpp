// The host's values that the controller passes to the processor, kept until
// a block brings them: a message of many values (a host writing back every
// value of a large patch, many times over) is merged in time linear in its
// values, each parameter's newest kept.
#include <benchmark/benchmark.h>

#include <vector>

#include "shell/KvHostIntent.h"

namespace
{
void BM_HostValuesMessage(benchmark::State& state)
{
    const auto count = static_cast<std::size_t>(state.range(0));
    std::vector<KvHostIntent::HostValue> values(count);
    for (std::size_t i = 0; i < count; ++i)
        values[i] = {static_cast<Steinberg::Vst::ParamID>(i % 1000), static_cast<double>(i % 7) / 7.0,
                     static_cast<int64_t>(i + 1)};
    const std::vector<unsigned char> message = KvHostIntent::Message(values);
    for (auto _ : state)
    {
        KvHostIntent intent;
        intent.Announce(message.data(), message.size());
        benchmark::DoNotOptimize(intent.TakeUndelivered().size());
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * count));
}
BENCHMARK(BM_HostValuesMessage)->Arg(1000)->Arg(100000)->Unit(benchmark::kMillisecond);
} // namespace
