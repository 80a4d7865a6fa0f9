#pragma once
// A polyphonic graph in a top container, for voice tests: a note source that
// streams while its voice's key is held, a module that runs per voice, and a
// module with a linear input that runs once for all voices.

#include <algorithm>
#include <vector>

#include "core/InterfaceObject.h"
#include "engine/GraphRig.h"

namespace kvtest
{

inline constexpr uint32_t kPerVoiceOutput = 0x1000;

// A note source: streams 1.0 while its voice's key is held, else a static 0.
class VoiceSource : public ug_base
{
public:
    VoiceSource()
    {
        flags_ |= 0x100024;
        SetProcessFunction(&VoiceSource::process);
    }
    ug_base* Create() override { return new VoiceSource(); }
    void ListInterface2(std::vector<InterfaceObject*>& pins) override
    {
        pins.push_back(new InterfaceObject(nullptr, L"Signal", DR_OUT, DT_FSAMPLE, L"", L"", 0, L"", &out_));
    }
    int Open() override
    {
        const int result = ug_base::Open();
        streaming_ = true;
        SetProcessFunction(&VoiceSource::process);
        return result;
    }
    void process(int start, int count)
    {
        const Voice* voice = parentContainer_->VoiceAt(voiceNumber_);
        const bool on = voice && voice->IsHeld();
        std::fill(out_ + start, out_ + start + count, on ? 1.0f : 0.0f);
        if (on != streaming_)
            plugs_[0]->TransmitState(sampleClock_, on ? ST_STREAMING : ST_STATIC);
        streaming_ = on;
    }
    float* out_ = nullptr;
    bool streaming_ = false;
};

// One audio input and output; the input is not linear, so it runs per voice.
class Shaper : public ug_base
{
public:
    Shaper() { SetProcessFunction(&Shaper::process); }
    ug_base* Create() override { return new Shaper(); }
    void ListInterface2(std::vector<InterfaceObject*>& pins) override
    {
        pins.push_back(new InterfaceObject(nullptr, L"In", DR_IN, DT_FSAMPLE, L"0", L"", 0, L"", &in_));
        pins.push_back(new InterfaceObject(nullptr, L"Out", DR_OUT, DT_FSAMPLE, L"", L"", 0, L"", &out_));
    }
    void onSetPin(int64_t time, UPlug* /*pin*/, state_type state) override { plugs_[1]->TransmitState(time, state); }
    void process(int start, int count) { std::copy(in_ + start, in_ + start + count, out_ + start); }
    void QueProgramChange(int64_t /*time*/, int program) override { programs.push_back(program); }
    float* in_ = nullptr;
    float* out_ = nullptr;
    std::vector<int> programs;
};

// A linear input that runs once for all voices and keeps its last sample.
class Mixer : public ug_base
{
public:
    Mixer() { SetProcessFunction(&Mixer::process); }
    ug_base* Create() override { return new Mixer(); }
    void ListInterface2(std::vector<InterfaceObject*>& pins) override
    {
        pins.push_back(new InterfaceObject(nullptr, L"In", DR_IN, DT_FSAMPLE, L"0", L"", IO_LINEAR_INPUT, L"", &in_));
    }
    void process(int start, int count) { last = in_[start + count - 1]; }
    float* in_ = nullptr;
    float last = -1.0f;
};

template <class T>
std::vector<T*> All(GraphRig& g)
{
    std::vector<T*> found;
    for (ug_base* m : g.top->Modules())
    {
        if (auto* t = dynamic_cast<T*>(m))
            found.push_back(t);
    }
    return found;
}

struct PolyRig
{
    explicit PolyRig(int voices, uint32_t sourceFlags = 0)
    {
        g.top->setVoiceCount(voices);
        g.top->setVoiceReserveCount(0);
        source = g.Add<VoiceSource>();
        source->flags_ |= sourceFlags;
        shaper = g.Add<Shaper>();
        mixer = g.Add<Mixer>();
        source->plugs_[0]->plugFlags_ |= kPerVoiceOutput;
        ug_base::connect(source->plugs_[0], shaper->plugs_[0]);
        ug_base::connect(shaper->plugs_[1], mixer->plugs_[0]);
        g.top->PostBuildStuff(true);
    }
    void Open() { g.top->Open(); }
    // Runs whole blocks.
    void RunBlocks(int blocks) { g.Run(blocks * g.master.BlockSize()); }
    int64_t Now() { return g.master.NextGlobalStartClock(); }

    GraphRig g;
    VoiceSource* source;
    Shaper* shaper;
    Mixer* mixer;
};

} // namespace kvtest
