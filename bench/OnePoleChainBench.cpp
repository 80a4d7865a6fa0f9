// Cost per sample of a chain of one-pole filters: with a streaming input, and
// with a static input after the chain has settled and gone to sleep.
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <vector>

#include "core/CModuleFactory.h"
#include "core/InterfaceObject.h"
#include "core/Module_Info.h"
#include "core/UnitClass.h"
#include "engine/runtime/AudioMasterBase.h"
#include "engine/graph/USampBlock.h"
#include "modules/signal/ug_filter_1pole.h"

namespace
{
constexpr int kChainLength = 8;
constexpr int kHostBlock = 512;
constexpr float kRate = 48000.0f;

// An audio output that streams a sine or holds a constant.
class BenchSource : public ug_base
{
public:
    ug_base* Create() override { return new BenchSource(); }
    void ListInterface2(std::vector<InterfaceObject*>& pins) override
    {
        pins.push_back(new InterfaceObject(nullptr, L"Out", DR_OUT, DT_FSAMPLE, L"0", L"", 0, L"", &out_));
    }

    void Stream()
    {
        SetProcessFunction(&BenchSource::process_sine);
        plugs_[0]->TransmitState(sampleClock_, ST_STREAMING);
    }
    void Hold(float value)
    {
        plugs_[0]->GetSampleBlock()->SetAll(value);
        SetProcessFunction(&ug_base::process_sleep);
        plugs_[0]->TransmitState(sampleClock_, ST_STATIC);
    }
    // A sine from a table, so that the source costs little beside the chain.
    void process_sine(int start, int count)
    {
        for (int i = 0; i < count; ++i)
            out_[start + i] = Sine()[(phase_++) & (kSineSize - 1)];
    }

    static const float* Sine()
    {
        static const std::vector<float> table = [] {
            std::vector<float> t(kSineSize);
            for (int i = 0; i < kSineSize; ++i)
                t[i] = 0.5f * std::sin(6.2831853f * static_cast<float>(i) / kSineSize);
            return t;
        }();
        return table.data();
    }

    static constexpr int kSineSize = 1024;
    float* out_ = nullptr;
    unsigned phase_ = 0;
};

Module_Info& SourceRecord()
{
    static Module_Info record(L"Bench Source", 0, 0, nullptr, &UnitClassOf<BenchSource>::value, 0);
    return record;
}

struct Chain
{
    explicit Chain(bool streaming) : master(kRate)
    {
        master.SetBlockSize(AudioMasterBase::CalcBlockSize(kHostBlock));
        master.ResetBlockLoop();
        auto* source = static_cast<BenchSource*>(SourceRecord().BuildSynthOb());
        auto* pitch = static_cast<BenchSource*>(SourceRecord().BuildSynthOb());
        BenchSource::Sine();
        for (BenchSource* s : {source, pitch})
        {
            s->Setup(&master, nullptr);
            s->sortOrder_ = kChainLength + 1;
            modules.emplace_back(s);
        }
        UPlug* previous = source->plugs_[0];
        for (int i = 0; i < kChainLength; ++i)
        {
            ug_base* f = CModuleFactory::Instance()->GetById(L"1 Pole LP")->BuildSynthOb();
            f->Setup(&master, nullptr);
            f->sortOrder_ = kChainLength - i;
            modules.emplace_back(f);
            ug_base::connect(previous, f->plugs_[ug_filter_1pole::PN_SIGNAL]);
            ug_base::connect(pitch->plugs_[0], f->plugs_[ug_filter_1pole::PN_PITCH]);
            previous = f->plugs_[ug_filter_1pole::PN_OUTPUT];
        }
        for (auto& m : modules)
            m->Open();
        pitch->Hold(0.6f);
        if (streaming)
            source->Stream();
        else
            source->Hold(0.3f);
    }

    AudioMasterBase master;
    std::vector<std::unique_ptr<ug_base>> modules;
};

void RunChain(benchmark::State& state, bool streaming)
{
    Chain chain(streaming);
    // Past the overflow check of the first second, so a static chain is asleep.
    for (int i = 0; i < static_cast<int>(2 * kRate) / kHostBlock; ++i)
        chain.master.DoProcessVST(kHostBlock);

    for (auto _ : state)
        chain.master.DoProcessVST(kHostBlock);

    const double samples = static_cast<double>(state.iterations()) * kHostBlock;
    state.counters["ns_per_sample"] =
        benchmark::Counter(samples * 1e-9, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["filters"] = kChainLength;
    state.SetItemsProcessed(static_cast<int64_t>(samples));
}

void BM_OnePoleChainStreaming(benchmark::State& state)
{
    RunChain(state, true);
}

void BM_OnePoleChainStaticAsleep(benchmark::State& state)
{
    RunChain(state, false);
}
} // namespace

BENCHMARK(BM_OnePoleChainStreaming);
BENCHMARK(BM_OnePoleChainStaticAsleep);
