// Cost per sample of the first-sound modules: a saw oscillator with a static
// and with a streaming pitch, and an ADSR driving a VCA with its gate toggled
// every 0.2 s.
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
#include "modules/signal/ug_adsr.h"
#include "modules/signal/ug_oscillator2.h"
#include "modules/signal/ug_vca.h"

namespace
{
constexpr int kHostBlock = 512;
constexpr float kRate = 48000.0f;

// An audio output holding a constant or streaming a slow sine around a centre.
class Feed : public ug_base
{
public:
    ug_base* Create() override { return new Feed(); }
    void ListInterface2(std::vector<InterfaceObject*>& pins) override
    {
        pins.push_back(new InterfaceObject(nullptr, L"Out", DR_OUT, DT_FSAMPLE, L"0", L"", 0, L"", &out_));
    }
    void Hold(float value)
    {
        plugs_[0]->GetSampleBlock()->SetAll(value);
        SetProcessFunction(&ug_base::process_sleep);
        plugs_[0]->TransmitState(sampleClock_, ST_STATIC);
    }
    void Stream(float centre, float depth)
    {
        centre_ = centre;
        depth_ = depth;
        SetProcessFunction(&Feed::process_wobble);
        plugs_[0]->TransmitState(sampleClock_, ST_STREAMING);
    }
    void process_wobble(int start, int count)
    {
        for (int i = 0; i < count; ++i)
        {
            out_[start + i] = centre_ + depth_ * Sine()[phase_ & (kSineSize - 1)];
            phase_ += 1;
        }
    }
    static const float* Sine()
    {
        static const std::vector<float> table = [] {
            std::vector<float> t(kSineSize);
            for (int i = 0; i < kSineSize; ++i)
                t[i] = std::sin(6.2831853f * static_cast<float>(i) / kSineSize);
            return t;
        }();
        return table.data();
    }

    static constexpr int kSineSize = 4096;
    float* out_ = nullptr;
    float centre_ = 0.0f;
    float depth_ = 0.0f;
    unsigned phase_ = 0;
};

Module_Info& FeedRecord()
{
    static Module_Info record(L"Bench Feed", 0, 0, nullptr, &UnitClassOf<Feed>::value, 0);
    return record;
}

struct Graph
{
    Graph() : master(kRate)
    {
        master.SetBlockSize(AudioMasterBase::CalcBlockSize(kHostBlock));
        master.ResetBlockLoop();
        Feed::Sine();
    }
    Feed* AddFeed()
    {
        auto* feed = static_cast<Feed*>(FeedRecord().BuildSynthOb());
        Add(feed, 10);
        return feed;
    }
    ug_base* AddModule(const wchar_t* type, int sortOrder)
    {
        ug_base* module = CModuleFactory::Instance()->GetById(type)->BuildSynthOb();
        Add(module, sortOrder);
        return module;
    }
    void Add(ug_base* module, int sortOrder)
    {
        module->Setup(&master, nullptr);
        module->sortOrder_ = sortOrder;
        modules.emplace_back(module);
    }
    void Open()
    {
        for (auto& m : modules)
            m->Open();
    }

    AudioMasterBase master;
    std::vector<std::unique_ptr<ug_base>> modules;
};

void Report(benchmark::State& state)
{
    const double samples = static_cast<double>(state.iterations()) * kHostBlock;
    state.counters["ns_per_sample"] =
        benchmark::Counter(samples * 1e-9, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.SetItemsProcessed(static_cast<int64_t>(samples));
}

void RunOscillator(benchmark::State& state, bool streamingPitch)
{
    Graph g;
    Feed* pitch = g.AddFeed();
    ug_base* osc = g.AddModule(L"Oscillator", 5);
    ug_base::connect(pitch->plugs_[0], osc->plugs_[ug_oscillator2::PN_PITCH]);
    g.Open();
    if (streamingPitch)
        pitch->Stream(0.5f, 0.05f);
    else
        pitch->Hold(0.5f);
    for (int i = 0; i < 20; ++i)
        g.master.DoProcessVST(kHostBlock);

    for (auto _ : state)
        g.master.DoProcessVST(kHostBlock);
    Report(state);
}

void BM_OscillatorSawStaticPitch(benchmark::State& state)
{
    RunOscillator(state, false);
}

void BM_OscillatorSawStreamingPitch(benchmark::State& state)
{
    RunOscillator(state, true);
}

void BM_AdsrIntoVca(benchmark::State& state)
{
    Graph g;
    Feed* gate = g.AddFeed();
    Feed* signal = g.AddFeed();
    std::vector<Feed*> settings;
    for (int i = 0; i < 4; ++i)
        settings.push_back(g.AddFeed());
    ug_base* adsr = g.AddModule(L"ADSR", 6);
    ug_base* vca = g.AddModule(L"VCA", 5);
    ug_base::connect(gate->plugs_[0], adsr->plugs_[ug_adsr::PN_GATE]);
    const int settingPins[] = {ug_adsr::PN_ATTACK, ug_adsr::PN_DECAY, ug_adsr::PN_SUSTAIN, ug_adsr::PN_RELEASE};
    for (int i = 0; i < 4; ++i)
        ug_base::connect(settings[i]->plugs_[0], adsr->plugs_[settingPins[i]]);
    ug_base::connect(adsr->plugs_[ug_adsr::PN_SIGNAL_OUT], vca->plugs_[ug_vca::PN_VOLUME]);
    ug_base::connect(signal->plugs_[0], vca->plugs_[ug_vca::PN_SIGNAL]);
    g.Open();
    settings[0]->Hold(0.3f);
    settings[1]->Hold(0.4f);
    settings[2]->Hold(0.5f);
    settings[3]->Hold(0.4f);
    signal->Stream(0.0f, 0.5f);
    gate->Hold(1.0f);

    // The gate toggles every 20 host blocks (about 0.2 s).
    int blocks = 0;
    bool high = true;
    for (auto _ : state)
    {
        if (++blocks == 20)
        {
            blocks = 0;
            high = !high;
            gate->Hold(high ? 1.0f : 0.0f);
        }
        g.master.DoProcessVST(kHostBlock);
    }
    Report(state);
}
} // namespace

BENCHMARK(BM_OscillatorSawStaticPitch);
BENCHMARK(BM_OscillatorSawStreamingPitch);
BENCHMARK(BM_AdsrIntoVca);
