#pragma once
// What the host plays into a plug-in: timed notes, parameter changes and MIDI
// controllers, with the musical time they sit in. Read from a note list or a
// Standard MIDI File.

#include <algorithm>
#include <vector>

#include "pluginterfaces/vst/vsttypes.h"
#include "tools/kvhost/TempoMap.h"

struct PerformanceEvent
{
    enum class Kind
    {
        NoteOn,
        NoteOff,
        // A normalized value for the host parameter `parameterId`.
        Parameter,
        // A MIDI controller (0-127, or 128 channel pressure, 129 pitch bend),
        // which reaches the plug-in through the controller's MIDI mapping.
        Controller,
        // Pressure `value` on key `number`: a poly-pressure event.
        PolyPressure,
        // Program `number`, through the controller's program-change parameter.
        ProgramChange
    };

    double seconds = 0.0;
    Kind kind = Kind::NoteOn;
    int channel = 0;
    int number = 0;
    // Velocity 0..1 for notes, a normalized value otherwise.
    double value = 0.0;
    Steinberg::Vst::ParamID parameterId = 0;
};

struct Performance
{
    std::vector<PerformanceEvent> events;
    TempoMap tempo;
    // Where the performance ends when that is more than its last event
    // (a note list's "end", a MIDI file's end of track); -1 when unknown.
    double endSeconds = -1.0;

    // Events in time order; events at the same time keep their order.
    void sortByTime()
    {
        std::stable_sort(events.begin(), events.end(),
                         [](const PerformanceEvent& a, const PerformanceEvent& b) { return a.seconds < b.seconds; });
    }

    double lastSeconds() const
    {
        double last = endSeconds;
        for (const auto& event : events)
            last = std::max(last, event.seconds);
        return std::max(last, 0.0);
    }
};
