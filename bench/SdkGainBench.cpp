// Cost of the SDK module adapter: a chain of gains from an external module
// bundle ("KV Test SDK Quiet Gain", tests/sdk/modules) against the same chain of a
// built-in gain doing the same arithmetic, in the same run. Host input
// streams through the chain at 48 kHz in host blocks of 512 samples; a gain
// change at two offsets in every block (argument 1) gives each module events
// to handle. BM_GainChainSdkOverBuiltIn times both chains block by block in
// one run and reports the ratio.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/CModuleFactory.h"
#include "core/InterfaceObject.h"
#include "core/Module_Info.h"
#include "core/UnitClass.h"
#include "core/conversion.h"
#include "engine/graph/EngineModules.h"
#include "engine/runtime/KvAudioMaster.h"
#include "engine/runtime/SynthRuntime.h"
#include "engine/graph/ug_base.h"

#ifndef KV_SDK_MODULE_DIR
#define KV_SDK_MODULE_DIR "" // built without the tests: the SDK chain reports it did not build
#endif

namespace
{
constexpr int kChainLength = 16;
constexpr int kHostBlock = 512;

// The built-in twin of the SDK gain: out = in × gain, the gain a float pin.
class BenchGain : public ug_base
{
public:
    ug_base* Create() override { return new BenchGain(); }
    void ListInterface2(std::vector<InterfaceObject*>& pins) override
    {
        pins.push_back(new InterfaceObject(nullptr, L"Signal In", DR_IN, DT_FSAMPLE, L"0", L"", 0, L"", &in_));
        pins.push_back(new InterfaceObject(nullptr, L"Signal Out", DR_OUT, DT_FSAMPLE, L"", L"", 0, L"", &out_));
        pins.push_back(new InterfaceObject(&gain_, L"Gain", DR_IN, DT_FLOAT, L"1", L"", 0));
        pins.push_back(new InterfaceObject(nullptr, L"MIDI In", DR_IN, DT_MIDI2, L"", L"", 0));
    }
    int Open() override
    {
        SetProcessFunction(&BenchGain::process_run);
        return ug_base::Open();
    }
    void onSetPin(int64_t time, UPlug* pin, state_type state) override
    {
        if (pin == plugs_[0])
            plugs_[1]->TransmitState(time, state);
    }
    void process_run(int start, int count)
    {
        const float* in = in_ + start;
        float* out = out_ + start;
        const float gain = gain_;
        for (int i = 0; i < count; ++i)
            out[i] = in[i] * gain;
    }

private:
    float* in_ = nullptr;
    float* out_ = nullptr;
    float gain_ = 1.0f;
};

[[maybe_unused]] const bool registered = CModuleFactory::Instance()->RegisterModule(
    new Module_Info(L"KV Bench Gain", 0, 0, nullptr, &UnitClassOf<BenchGain>::value, 0));

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Host input 0 through a chain of gains of the type to host output 0; every
// gain's Gain pin follows patch parameter 0.
std::string ChainDocument(const std::string& type)
{
    std::ostringstream doc;
    doc << R"(<DSP><Container Id="1"><Modules><Module Type="Container" Id="2" ExpandInline="0">
<PatchManager><Parameters><Parameter DataType="22" Index="0" Handle="200" RangeMinimum="0" RangeMaximum="2"><p>1</p></Parameter></Parameters></PatchManager>
<Plugs><Plug Direction="0" Datatype="5"/><Plug Direction="1" Datatype="5"/></Plugs><Modules>
<Module Type="IO Mod" Id="3"><Plugs><Plug Direction="1" Datatype="5" TiedTo="2" TiedToPinIdx="0"/><Plug Direction="0" Datatype="5" TiedTo="2" TiedToPinIdx="1"/></Plugs></Module>
)";
    for (int i = 0; i < kChainLength; ++i)
        doc << "<Module Type=\"" << type << "\" Id=\"" << 10 + i << "\"><Plugs><Plug Idx=\"2\" Parameter=\"200\"/></Plugs></Module>\n";
    doc << "</Modules><Lines>\n<Line From=\"3\" FromPin=\"0\" To=\"10\" ToPin=\"0\"/>\n";
    for (int i = 0; i + 1 < kChainLength; ++i)
        doc << "<Line From=\"" << 10 + i << "\" FromPin=\"1\" To=\"" << 11 + i << "\" ToPin=\"0\"/>\n";
    doc << "<Line From=\"" << 9 + kChainLength << "\" FromPin=\"1\" To=\"3\" ToPin=\"1\"/>\n";
    doc << "</Lines></Module></Modules></Container></DSP>";
    return doc.str();
}

void RegisterModules()
{
    RegisterEngineModules();
    Module_Info::SetKvmFolder(Utf8ToWstring(KV_SDK_MODULE_DIR));
    CModuleFactory::Instance()->RegisterPluginsXml(ReadFile(KV_PATCH_DIR "/sdk_modules.xml").c_str());
}

// A chain of one gain type in its own engine, streaming a sine.
class Chain
{
public:
    Chain(const std::string& type, bool withEvents) : withEvents_(withEvents), input_(kHostBlock), output_(kHostBlock)
    {
        if (!runtime_.initialize(48000, kHostBlock, ChainDocument(type).c_str()))
            return;
        master_ = runtime_.AudioMaster();
        for (int i = 0; i < kHostBlock; ++i)
            input_[static_cast<size_t>(i)] = 0.5f * std::sin(0.01f * static_cast<float>(i));
        for (int i = 0; i < 200; ++i)
            Run();
    }
    bool Ok() const { return master_ != nullptr; }
    void Run()
    {
        if (withEvents_)
        {
            master_->setParameterNormalizedDsp(100, 0, (block_ & 1) ? 0.5f : 0.25f);
            master_->setParameterNormalizedDsp(300, 0, 0.5f);
        }
        float* in[1] = {input_.data()};
        float* out[1] = {output_.data()};
        master_->DoProcess(kHostBlock, in, out, 1, 1);
        benchmark::DoNotOptimize(output_.data());
        ++block_;
    }
    bool Silent() const { return output_[100] == 0.0f; }

private:
    SynthRuntime runtime_;
    KvAudioMaster* master_ = nullptr;
    bool withEvents_;
    int block_ = 0;
    std::vector<float> input_;
    std::vector<float> output_;
};

void RunChain(benchmark::State& state, const std::string& type, bool withEvents)
{
    RegisterModules();
    Chain chain(type, withEvents);
    if (!chain.Ok())
    {
        state.SkipWithError("the chain did not build");
        return;
    }
    for (auto _ : state)
        chain.Run();
    const double samples = static_cast<double>(state.iterations()) * kHostBlock;
    state.counters["ns_per_sample"] =
        benchmark::Counter(samples * 1e-9, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["gains"] = kChainLength;
    state.SetItemsProcessed(static_cast<int64_t>(samples));
    if (chain.Silent())
        state.SkipWithError("the chain gave silence");
}

// Both chains block by block in one run: the SDK chain's time over the
// built-in chain's. Argument as below.
void BM_GainChainSdkOverBuiltIn(benchmark::State& state)
{
    RegisterModules();
    const bool withEvents = state.range(0) != 0;
    Chain builtIn("KV Bench Gain", withEvents);
    Chain sdk("KV Test SDK Quiet Gain", withEvents);
    if (!builtIn.Ok() || !sdk.Ok())
    {
        state.SkipWithError("the chain did not build");
        return;
    }
    using Clock = std::chrono::steady_clock;
    Clock::duration builtInTime{};
    Clock::duration sdkTime{};
    for (auto _ : state)
    {
        auto t0 = Clock::now();
        builtIn.Run();
        auto t1 = Clock::now();
        sdk.Run();
        auto t2 = Clock::now();
        builtInTime += t1 - t0;
        sdkTime += t2 - t1;
    }
    const double samples = static_cast<double>(state.iterations()) * kHostBlock;
    state.counters["builtin_ns_per_sample"] = std::chrono::duration<double, std::nano>(builtInTime).count() / samples;
    state.counters["sdk_ns_per_sample"] = std::chrono::duration<double, std::nano>(sdkTime).count() / samples;
    state.counters["sdk_over_builtin"] =
        builtInTime.count() > 0 ? static_cast<double>(sdkTime.count()) / static_cast<double>(builtInTime.count()) : 0.0;
    if (sdk.Silent() || builtIn.Silent())
        state.SkipWithError("a chain gave silence");
}

// Argument 1: two gain changes in every host block; 0: none.
void BM_GainChainBuiltIn(benchmark::State& state)
{
    RunChain(state, "KV Bench Gain", state.range(0) != 0);
}

void BM_GainChainSdkModule(benchmark::State& state)
{
    RunChain(state, "KV Test SDK Quiet Gain", state.range(0) != 0);
}
} // namespace

BENCHMARK(BM_GainChainBuiltIn)->Arg(0)->Arg(1);
BENCHMARK(BM_GainChainSdkModule)->Arg(0)->Arg(1);
BENCHMARK(BM_GainChainSdkOverBuiltIn)->Arg(0)->Arg(1);
