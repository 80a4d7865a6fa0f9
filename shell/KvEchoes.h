#pragma once
// The values the plug-in told the host of its own accord: the editor's edits
// (performEdit) and the engine's reports (a block's output parameter
// changes). Hosts keep them in their copy and pass them back to the
// controller's setParamNormalized, some at once, some later (a timer, the
// start of a state call), some after the engine has moved on. Such an echo
// is not a value the host set: it changes nothing. A host passes back the
// newest it holds of a parameter, so an echo also stands for those told
// before it. A value the host sets itself in between leaves what waits: a
// host may pass an older report back after it (JUCE's timer).
//
// Threads: any (one lock of its own, never taken by the audio thread).

#include <deque>
#include <map>
#include <mutex>

#include "pluginterfaces/vst/vsttypes.h"

class KvEchoes
{
public:
    // The host was told `value` of parameter `id`.
    void Told(Steinberg::Vst::ParamID id, Steinberg::Vst::ParamValue value);
    // Whether `value` of `id` is one the host was told and has not passed
    // back yet; it and those told before it are then passed back. Hosts may
    // keep values as 32-bit floats: they compare as such.
    bool IsEcho(Steinberg::Vst::ParamID id, Steinberg::Vst::ParamValue value);
    // A host's block carried a value of `id` after what it was told: the
    // host holds that one now, and passes back nothing older.
    void Overtaken(Steinberg::Vst::ParamID id);

private:
    // The newest this many of a parameter are recognised.
    static constexpr std::size_t kKept = 8;
    std::mutex mutex_;
    std::map<Steinberg::Vst::ParamID, std::deque<Steinberg::Vst::ParamValue>> told_;
};
