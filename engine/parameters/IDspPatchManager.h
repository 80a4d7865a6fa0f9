#pragma once
// The patch manager of a container as the engine uses it: preset state, host
// parameters, MIDI, programs and editor messages. A container without one
// runs without. Operations past the first four have neutral defaults so that
// stand-ins need only what they use.

#include <cstdint>
#include <memory>
#include <string>

#include "engine/parameters/PresetValues.h"

class my_input_stream;
class ug_container;
class UPlug;
class dsp_patch_parameter_base;
class InterfaceObject;
struct parameter_description;

// Handed to OnMidi by the module that heard the MIDI; the container first.
struct VoiceControlState
{
    ug_container* container = nullptr;
};

class IDspPatchManager
{
public:
    virtual ~IDspPatchManager() = default;

    virtual void getPresetState(std::string& out) = 0;
    virtual void setPresetState(const std::string& text) = 0;
    virtual void setParameterNormalized(int64_t time, int parameterId, double value) = 0;
    // The host's normalised value of a parameter kept as a program's, heard
    // by no module: a program that does not play now. Blocks held off.
    virtual void StoreParameterNormalized(int /*parameterId*/, double /*value*/, int /*program*/) {}
    virtual void OnUiMsg(int id, my_input_stream& stream) = 0;

    // The preset state in halves, for the hand-over between the threads
    // (KvAudioMaster): the document is read into a set of values, and written
    // from one, on the user-interface thread; the values are applied or
    // copied out on the audio thread without allocating. These defaults keep
    // the document itself in the set, for managers without values of their own.
    // Null: the text is not a state (nothing changes). User-interface thread.
    virtual std::unique_ptr<PresetValues> PreparePresetState(const std::string& text)
    {
        auto set = std::make_unique<PresetValues>();
        set->text = text;
        return set;
    }
    // Audio thread.
    virtual void ApplyPresetValues(PresetValues& set) { setPresetState(set.text); }
    // A set with room for every value. User-interface thread.
    virtual std::unique_ptr<PresetValues> PreparePresetCapture() { return std::make_unique<PresetValues>(); }
    // Audio thread.
    virtual void CapturePresetValues(PresetValues& set) { getPresetState(set.text); }
    // User-interface thread.
    virtual void FormatPresetState(const PresetValues& set, std::string& out) { out = set.text; }
    // On a thread that holds the engine for the state: every value, with
    // room made for those that did not fit at first.
    std::unique_ptr<PresetValues> CaptureWholePreset()
    {
        std::unique_ptr<PresetValues> set = PreparePresetCapture();
        CapturePresetValues(*set);
        if (!set->complete)
        {
            set->GrowShortValues();
            CapturePresetValues(*set);
        }
        return set;
    }

    virtual void InitializeAllParameters() {}
    virtual void OnMidi(VoiceControlState* /*state*/, int64_t /*time*/, const unsigned char* /*bytes*/,
                        int /*size*/, bool /*fromMidiCv*/)
    {
    }
    virtual float InitializeVoiceParameters(ug_container* /*container*/, int64_t /*time*/, int /*voice*/,
                                            int /*key*/, bool /*retrigger*/)
    {
        return 0.0f;
    }
    virtual void SendInitialUpdates() {}
    // Sends "Voice/Gate" 0 to one voice of the container (a key the hold pedal
    // was sustaining), whatever the key's gate value is now.
    virtual void ReleaseVoiceGate(ug_container* /*container*/, int64_t /*time*/, int /*voice*/) {}
    virtual void vst_Automation(ug_container* /*container*/, int64_t /*time*/, int /*code*/, float /*value*/) {}
    virtual void vst_Automation2(int64_t /*time*/, int /*code*/, const void* /*data*/, int /*size*/) {}
    // A parameter described by a module's own description, for its pin.
    virtual dsp_patch_parameter_base* createPatchParameter(const parameter_description* /*description*/,
                                                           InterfaceObject* /*pin*/)
    {
        return nullptr;
    }
    virtual dsp_patch_parameter_base* ConnectHostControl(int /*hostControl*/, UPlug* /*plug*/) { return nullptr; }
    virtual dsp_patch_parameter_base* ConnectParameter(int /*handle*/, UPlug* /*plug*/) { return nullptr; }
    virtual void setProgram(int /*program*/) {}
    virtual int getProgram() { return 0; }
    // Audio thread: moves to a program at `time` (-1: where the next run of
    // the engine starts).
    virtual void setProgramDspThread(int /*program*/, int64_t /*time*/ = -1) {}
    virtual void setMidiChannel(int /*channel*/) {}
    virtual int getMidiChannel() { return 0; }
    virtual void setMidiCvVoiceControl() {}
    virtual void vst_setAutomationId(dsp_patch_parameter_base* /*parameter*/, int /*code*/) {}
    // Audio thread: whether a parameter answers to MIDI controller
    // `controller` and every one that does stands where a message of `value`
    // (0-127) would put it.
    virtual bool ControllerStandsAt(int /*controller*/, int /*value*/) { return false; }
    virtual ug_container* Container() { return nullptr; }
    virtual void setupContainerHandles(ug_container* /*container*/) {}
};
