// The host's values that the controller passes to the processor, kept until
// a block brings them: a message of many values (a host writing back every
// value of a large patch, many times over) is merged in time linear in its
// values, each parameter's newest kept, in any order of moments and with
// program choices between.
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

// The same, with moments in reverse order (values set on several threads)
// and a program choice after every value, after values that wait already.
void BM_HostValuesOutOfOrderWithPrograms(benchmark::State& state)
{
    const auto count = static_cast<std::size_t>(state.range(0));
    std::vector<KvHostIntent::HostValue> waiting;
    std::vector<KvHostIntent::HostValue> values(count);
    for (std::size_t i = 0; i < count; ++i)
    {
        const bool program = i % 2 == 1;
        const auto id = program ? KvHostIntent::kProgramChange : static_cast<Steinberg::Vst::ParamID>(i % 1000);
        values[count - 1 - i] = {id, static_cast<double>(i % 3) / 2.0, static_cast<int64_t>(2 * i + 1)};
    }
    for (std::size_t i = 0; i < 100; ++i)
        waiting.push_back({static_cast<Steinberg::Vst::ParamID>(i), 0.5, static_cast<int64_t>(2 * count + i)});
    const std::vector<unsigned char> first = KvHostIntent::Message(waiting);
    const std::vector<unsigned char> message = KvHostIntent::Message(values);
    for (auto _ : state)
    {
        KvHostIntent intent;
        intent.Announce(first.data(), first.size());
        intent.Announce(message.data(), message.size());
        benchmark::DoNotOptimize(intent.TakeUndelivered().size());
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * count));
}
BENCHMARK(BM_HostValuesOutOfOrderWithPrograms)->Arg(10000)->Arg(80000)->Unit(benchmark::kMillisecond);
} // namespace
