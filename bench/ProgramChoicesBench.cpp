// A host that sets values on the controller, each followed by a program
// choice (the program-change parameter), with no block between: as a
// preset browser or an automation pass stepping through programs while the
// transport is stopped. The time should be linear in the number of values,
// however many wait for a block.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "tools/kvhost/PluginInstance.h"
#include "tools/kvhost/PluginModule.h"

namespace
{
void BM_ValuesBetweenProgramChoices(benchmark::State& state)
{
    constexpr Steinberg::Vst::ParamID kProgramChange = 10130;
    const auto count = state.range(0);
    std::string error;
    const std::shared_ptr<PluginModule> module = PluginModule::Load(KV_PROGRAM_SYNTH_BUNDLE, error);
    if (!module)
    {
        state.SkipWithError(error.c_str());
        return;
    }
    for (auto _ : state)
    {
        state.PauseTiming();
        std::unique_ptr<PluginInstance> instance = PluginInstance::Create(module, InstanceSetup{}, error);
        if (!instance || !instance->controller())
        {
            state.SkipWithError(error.c_str());
            return;
        }
        Steinberg::Vst::IEditController& controller = *instance->controller();
        state.ResumeTiming();
        // Tone and Level (ids 1 and 2) in turn, each program in turn.
        for (int64_t i = 0; i < count; ++i)
        {
            controller.setParamNormalized(static_cast<Steinberg::Vst::ParamID>(1 + i % 2), static_cast<double>(i % 10) / 10.0);
            controller.setParamNormalized(kProgramChange, static_cast<double>(i % 3) / 2.0);
        }
        state.PauseTiming();
        instance.reset();
        state.ResumeTiming();
    }
    state.SetComplexityN(count);
    state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(BM_ValuesBetweenProgramChoices)
    ->Arg(2500)
    ->Arg(5000)
    ->Arg(10000)
    ->Arg(20000)
    ->Arg(40000)
    ->Complexity()
    ->Unit(benchmark::kMillisecond);
} // namespace
