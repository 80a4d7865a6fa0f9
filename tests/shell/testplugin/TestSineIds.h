#pragma once
// What the test instrument's processor and controller agree on: parameter
// ids, message ids and the state chunk ("KVTS" then the gain as a 32-bit float).

#include <cmath>
#include <cstring>

#include "pluginterfaces/base/ibstream.h"
#include "pluginterfaces/vst/vsttypes.h"

namespace TestSine
{
constexpr Steinberg::Vst::ParamID kGainId = 0;
// Read-only reports: messages received by each side (count / 100) and the
// tempo seen in the process context (bpm / 1000).
constexpr Steinberg::Vst::ParamID kControllerMessagesId = 1;
constexpr Steinberg::Vst::ParamID kProcessorMessagesId = 2;
constexpr Steinberg::Vst::ParamID kTempoId = 3;
// What the test editor reports: presses on its colour pad (count / 100), the
// menu entry chosen ((position + 1) / 10), the text box's result code ((code + 2) / 10)
// and, as the parameter's text, the last edited text.
constexpr Steinberg::Vst::ParamID kEditorClicksId = 4;
constexpr Steinberg::Vst::ParamID kEditorMenuId = 5;
constexpr Steinberg::Vst::ParamID kEditorTextEndId = 6;
constexpr Steinberg::Vst::ParamID kEditorTextId = 7;
// A program-change parameter of four steps with no MIDI mapping: hosts find
// it by its flag.
constexpr Steinberg::Vst::ParamID kProgramId = 8;
constexpr Steinberg::int32 kProgramSteps = 4;

constexpr double kDefaultGain = 0.5;
constexpr int kMidiVolume = 7;

constexpr const char* kHelloMessage = "Hello";
constexpr const char* kHelloBackMessage = "HelloBack";

constexpr char kStateMagic[4] = {'K', 'V', 'T', 'S'};
constexpr Steinberg::int32 kStateSize = 8;

// A state chunk of exactly kStateSize bytes with a gain in 0..1, or false.
inline bool ReadGainState(Steinberg::IBStream* stream, float& gain)
{
    if (!stream)
        return false;
    char bytes[kStateSize] = {};
    Steinberg::int32 got = 0;
    if (stream->read(bytes, kStateSize, &got) != Steinberg::kResultOk || got != kStateSize)
        return false;
    if (std::memcmp(bytes, kStateMagic, sizeof(kStateMagic)) != 0)
        return false;
    float value = 0.0f;
    std::memcpy(&value, bytes + 4, sizeof(value));
    if (!std::isfinite(value) || value < 0.0f || value > 1.0f)
        return false;
    gain = value;
    return true;
}

inline bool WriteGainState(Steinberg::IBStream* stream, float gain)
{
    if (!stream)
        return false;
    char bytes[kStateSize];
    std::memcpy(bytes, kStateMagic, sizeof(kStateMagic));
    std::memcpy(bytes + 4, &gain, sizeof(gain));
    Steinberg::int32 written = 0;
    return stream->write(bytes, kStateSize, &written) == Steinberg::kResultOk && written == kStateSize;
}
} // namespace TestSine
