#pragma once
// The patch manager of a container as the engine uses it: preset state, host
// parameters, MIDI, programs and editor messages. A container without one
// runs without. Operations past the first four have neutral defaults so that
// stand-ins need only what they use.

#include <cstdint>
#include <string>


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
    virtual void OnUiMsg(int id, my_input_stream& stream) = 0;

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
