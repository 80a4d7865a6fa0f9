#pragma once
// A "Midi to CV" module on a bare audio master, driven through its host-control
// pins as the voice list drives them, with a recorder on each output.

#include <cmath>
#include <vector>

#include "core/CModuleFactory.h"
#include "core/Module_Info.h"
#include "engine/TestGraph.h"
#include "modules/control/ug_midi_to_cv.h"

namespace kvtest
{

struct MidiToCvRig
{
    explicit MidiToCvRig(float portamentoTime = 0.0f, float rate = 44100.0f) : graph(96, rate)
    {
        module = static_cast<ug_midi_to_cv*>(CModuleFactory::Instance()->GetById(L"Midi to CV")->BuildSynthOb());
        module->Setup(&graph.master, nullptr);
        module->sortOrder_ = 5;
        graph.modules.emplace_back(module);
        portamento = graph.Add<TestSource>(10);
        ug_base::connect(portamento->plugs_[TestSource::PN_AUDIO], module->plugs_[ug_midi_to_cv::PN_PORTAMENTO_TIME]);
        for (int pin : {ug_midi_to_cv::PN_GATE, ug_midi_to_cv::PN_PITCH, ug_midi_to_cv::PN_VELOCITY,
                        ug_midi_to_cv::PN_AFTERTOUCH})
        {
            Recorder* r = graph.Add<Recorder>(1);
            ug_base::connect(module->plugs_[static_cast<size_t>(pin)], r->plugs_[Recorder::PN_AUDIO]);
            recorders.push_back(r);
        }
        graph.OpenAll();
        portamento->HoldConstant(portamentoTime);
        // The pin defaults, as the container's default setter sends them.
        SetEnum(0, ug_midi_to_cv::PN_BEND_RANGE, 2);
        SetEnum(0, ug_midi_to_cv::PN_MONO_MODE, 0);
        SetEnum(0, ug_midi_to_cv::PN_RETRIGGER, 1);
        SetEnum(0, ug_midi_to_cv::PN_MONO_NOTE_PRIORITY, 3);
        SetEnum(0, ug_midi_to_cv::PN_POLYPHONY_MODE, -1);
    }

    void SetEnum(int64_t time, int pin, int value)
    {
        const int32_t v = value;
        module->SetPinValue(time, pin, DT_ENUM, &v, 4);
    }
    void SetFloat(int64_t time, int pin, float value)
    {
        module->SetPinValue(time, pin, DT_FLOAT, &value, 4);
    }
    // A key pressed at `time`: gate, trigger, velocity and pitch, in volts.
    void NoteOn(int64_t time, float pitchVolts, float velocityVolts = 8.0f)
    {
        SetFloat(time, ug_midi_to_cv::PN_VOICE_GATE, 10.0f);
        SetFloat(time, ug_midi_to_cv::PN_VOICE_TRIGGER, static_cast<float>(++triggers));
        SetFloat(time, ug_midi_to_cv::PN_VOICE_VELOCITY, velocityVolts);
        SetFloat(time, ug_midi_to_cv::PN_VOICE_PITCH, pitchVolts);
    }
    void NoteOff(int64_t time) { SetFloat(time, ug_midi_to_cv::PN_VOICE_GATE, 0.0f); }
    // Mono, stealing from the container's word no more.
    void Mono(bool retrigger)
    {
        SetEnum(0, ug_midi_to_cv::PN_POLYPHONY_MODE, 1);
        SetEnum(0, ug_midi_to_cv::PN_MONO_MODE, 1);
        SetEnum(0, ug_midi_to_cv::PN_RETRIGGER, retrigger ? 1 : 0);
    }
    // Runs until the graph's clock reaches `time`.
    void RunTo(int64_t time) { graph.Run(static_cast<int>(time - graph.master.SampleClock())); }

    const std::vector<float>& Gate() const { return recorders[0]->audio; }
    const std::vector<float>& Pitch() const { return recorders[1]->audio; }
    const std::vector<float>& Velocity() const { return recorders[2]->audio; }
    const std::vector<float>& Aftertouch() const { return recorders[3]->audio; }

    TestGraph graph;
    ug_midi_to_cv* module = nullptr;
    TestSource* portamento = nullptr;
    std::vector<Recorder*> recorders;
    int triggers = 0;
};

} // namespace kvtest
