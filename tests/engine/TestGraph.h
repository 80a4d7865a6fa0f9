#pragma once
// Modules connected by hand on a bare audio master, for tests: a source whose
// outputs the test drives, a recorder that logs what reaches its inputs, and
// a graph that owns them (modules go before their master).

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/InterfaceObject.h"
#include "core/Module_Info.h"
#include "core/MpBlob.h"
#include "core/UnitClass.h"
#include "engine/runtime/AudioMasterBase.h"
#include "engine/graph/USampBlock.h"
#include "engine/graph/ug_base.h"

namespace kvtest
{

class TestSource : public ug_base
{
public:
    enum Pins { PN_AUDIO, PN_FLOAT, PN_TEXT };

    ug_base* Create() override { return new TestSource(); }
    void ListInterface2(std::vector<InterfaceObject*>& pins) override
    {
        pins.push_back(new InterfaceObject(nullptr, L"Audio Out", DR_OUT, DT_FSAMPLE, L"0", L"", 0, L"", &out_));
        pins.push_back(new InterfaceObject(&floatOut_, L"Float Out", DR_OUT, DT_FLOAT, L"0", L"", 0));
        pins.push_back(new InterfaceObject(&textOut_, L"Text Out", DR_OUT, DT_TEXT, L"", L"", 0));
    }

    // The audio output holds `value` from now on, announced static.
    void HoldConstant(float value)
    {
        constant_ = value;
        SetProcessFunction(&TestSource::process_constant);
        plugs_[PN_AUDIO]->GetSampleBlock()->SetAll(value);
        plugs_[PN_AUDIO]->TransmitState(sampleClock_, ST_STATIC);
    }
    // The audio output is signal(sample time) from now on, announced streaming.
    void Stream(std::function<float(int64_t)> signal)
    {
        signal_ = std::move(signal);
        SetProcessFunction(&TestSource::process_stream);
        plugs_[PN_AUDIO]->TransmitState(sampleClock_, ST_STREAMING);
    }
    void process_constant(int start, int count) { std::fill(out_ + start, out_ + start + count, constant_); }
    void process_stream(int start, int count)
    {
        for (int i = 0; i < count; ++i)
            out_[start + i] = signal_(sampleClock_ + i);
    }

    float* out_ = nullptr;
    float floatOut_ = 0.0f;
    std::wstring textOut_;
    float constant_ = 0.0f;
    std::function<float(int64_t)> signal_;
};

// Logs pin changes, handled events and runs, and copies its audio input.
class Recorder : public ug_base
{
public:
    enum Pins { PN_AUDIO, PN_FLOAT, PN_TEXT, PN_DOUBLE, PN_BLOB };
    struct PinChange { int64_t time; int pin; state_type state; float floatValue; double doubleValue; };
    struct Handled { int64_t time; int type; int arg1; };
    struct Run { int64_t clock; int start; int count; };

    Recorder() { SetProcessFunction(&Recorder::process_record); }
    ug_base* Create() override { return new Recorder(); }
    void ListInterface2(std::vector<InterfaceObject*>& pins) override
    {
        pins.push_back(new InterfaceObject(nullptr, L"Audio In", DR_IN, DT_FSAMPLE, L"0", L"", 0, L"", &in_));
        pins.push_back(new InterfaceObject(&floatIn_, L"Float In", DR_IN, DT_FLOAT, L"0", L"", 0));
        pins.push_back(new InterfaceObject(&textIn_, L"Text In", DR_IN, DT_TEXT, L"", L"", 0));
        pins.push_back(new InterfaceObject(&doubleIn_, L"Double In", DR_IN, DT_DOUBLE, L"0", L"", 0));
        pins.push_back(new InterfaceObject(&blobIn_, L"Blob In", DR_IN, DT_BLOB, L"", L"", 0));
    }
    void onSetPin(int64_t time, UPlug* pin, state_type state) override
    {
        changes.push_back({time, pin->index_, state, floatIn_, doubleIn_});
    }
    void HandleEvent(KorvaneEvent* event) override
    {
        handled.push_back({event->sampleTime, event->eventType, event->arg1});
        ug_base::HandleEvent(event);
    }
    void process_record(int start, int count)
    {
        runs.push_back({sampleClock_, start, count});
        audio.insert(audio.end(), in_ + start, in_ + start + count);
    }
    std::vector<Handled> HandledAt(int64_t time) const
    {
        std::vector<Handled> result;
        for (const auto& h : handled)
        {
            if (h.time == time)
                result.push_back(h);
        }
        return result;
    }

    float* in_ = nullptr;
    float floatIn_ = 0.0f;
    std::wstring textIn_;
    double doubleIn_ = 0.0;
    MpBlob blobIn_;
    std::vector<PinChange> changes;
    std::vector<Handled> handled;
    std::vector<Run> runs;
    std::vector<float> audio;
};

// The registry record of a test unit class.
template <class Unit>
Module_Info& TestRecord()
{
    static Module_Info record(L"Test Unit", 0, 0, nullptr, &UnitClassOf<Unit>::value, 0);
    return record;
}

struct TestGraph
{
    explicit TestGraph(int blockSize = 96, float sampleRate = 44100.0f) : master(sampleRate)
    {
        master.SetBlockSize(blockSize);
        master.ResetBlockLoop();
    }

    // A unit made from its pin list; higher sort orders run first.
    template <class Unit>
    Unit* Add(int sortOrder)
    {
        auto* unit = static_cast<Unit*>(TestRecord<Unit>().BuildSynthOb());
        unit->Setup(&master, nullptr);
        unit->sortOrder_ = sortOrder;
        modules.emplace_back(unit);
        return unit;
    }
    void OpenAll()
    {
        for (auto& module : modules)
            module->Open();
    }
    void Run(int samples) { master.DoProcessVST(samples); }

    AudioMasterBase master;
    std::vector<std::unique_ptr<ug_base>> modules;
};

inline int CountPending(const EventProcessor& p, int type)
{
    int count = 0;
    for (KorvaneEvent* e = p.FirstEvent(); e; e = p.NextEvent(e))
        count += e->eventType == type ? 1 : 0;
    return count;
}

} // namespace kvtest
