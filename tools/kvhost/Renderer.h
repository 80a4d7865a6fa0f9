#pragma once
// Plays a performance through a running plug-in instance block by block, as
// a DAW's engine does: notes and poly pressure as events and parameter changes
// as queue points at their sample offsets, MIDI controllers through the
// controller's MIDI mapping, program changes through its program-change
// parameter, the controller's own edits at the start of the next block, a
// process context for every block; after each block the controller is given
// the values played and the processor's output parameter changes. The output
// goes to an AudioSink.

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "pluginterfaces/vst/ivstprocesscontext.h"
#include "tools/kvhost/AudioSink.h"
#include "tools/kvhost/HostEventList.h"
#include "tools/kvhost/HostParameterChanges.h"
#include "tools/kvhost/LevelMeter.h"
#include "tools/kvhost/Performance.h"
#include "tools/kvhost/PluginInstance.h"

struct RenderSettings
{
    // Length in seconds; below 0 the performance's length plus the tail.
    double seconds = -1.0;
    double tailSeconds = 1.0;
    bool playing = true;
};

struct RenderResult
{
    std::int64_t frames = 0;
    int channels = 0;
    double peak = 0.0;
    double rms = 0.0;
    // MIDI controllers and program changes that the plug-in maps to no
    // parameter, and notes and poly pressure for a plug-in without an event
    // input: all are skipped.
    int unmappedControllers = 0;
    int droppedNotes = 0;
    // The automatic length was longer than kMaxAutomaticSeconds and was cut.
    bool lengthCapped = false;
};

class Renderer
{
public:
    explicit Renderer(PluginInstance& instance);

    bool render(const Performance& performance, const RenderSettings& settings, AudioSink* sink, RenderResult& result,
                std::string& error);

    static constexpr double kMaxAutomaticSeconds = 3600.0;

private:
    void prepareBuffers();
    void addEvent(const PerformanceEvent& event, Steinberg::int32 offset, double quarters, RenderResult& result);
    void updateController(HostParameterChanges& changes);

    // Where a program change goes: a parameter of the controller, and its steps.
    struct ProgramTarget
    {
        bool found = false;
        Steinberg::Vst::ParamID id = 0;
        Steinberg::int32 stepCount = 0;
    };
    const ProgramTarget& programTarget(int channel);

    PluginInstance& instance_;
    HostParameterChanges inputChanges_;
    HostParameterChanges outputChanges_;
    HostEventList events_;
    Steinberg::Vst::ProcessContext context_{};

    std::vector<std::vector<float>> inputStorage_;
    std::vector<std::vector<float>> outputStorage_;
    std::vector<std::vector<float*>> inputPointers_;
    std::vector<std::vector<float*>> outputPointers_;
    std::vector<Steinberg::Vst::AudioBusBuffers> inputBuses_;
    std::vector<Steinberg::Vst::AudioBusBuffers> outputBuses_;
    std::vector<const float*> outputChannels_;

    // Each controller's mapping, asked once per render.
    std::map<std::pair<int, int>, std::pair<bool, Steinberg::Vst::ParamID>> controllerMap_;
    std::map<int, ProgramTarget> programTargets_;
};
