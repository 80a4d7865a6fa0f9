#pragma once
// The patch manager of a container held by an oversampler that has no
// patch manager of its own: parameters made or connected through it belong
// to the enclosing container's manager, and so do the notes and voice values
// of the voices inside. What would act a second time on the enclosing
// manager (initialising every parameter, initial updates, programs, editor
// records, timing automation) does nothing here. Thread: as the manager it
// stands for (graph building and the audio thread).

#include "engine/parameters/IDspPatchManager.h"

class ug_container;
class ug_oversampler;

class DspPatchManagerProxy : public IDspPatchManager
{
public:
    DspPatchManagerProxy(ug_container* container, ug_oversampler* oversampler)
        : container_(container), oversampler_(oversampler)
    {
    }

    // The manager of the container the oversampler sits in.
    IDspPatchManager* Target() const;

    dsp_patch_parameter_base* createPatchParameter(const parameter_description* description,
                                                   InterfaceObject* pin) override;
    dsp_patch_parameter_base* ConnectHostControl(int hostControl, UPlug* plug) override;
    dsp_patch_parameter_base* ConnectParameter(int handle, UPlug* plug) override;

    void OnMidi(VoiceControlState* state, int64_t time, const unsigned char* bytes, int size,
                bool fromMidiCv) override;
    float InitializeVoiceParameters(ug_container* container, int64_t time, int voice, int key,
                                    bool retrigger) override;
    void ReleaseVoiceGate(ug_container* container, int64_t time, int voice) override;
    void vst_Automation(ug_container* container, int64_t time, int code, float value) override;
    void setMidiCvVoiceControl() override;
    int getMidiChannel() override;

    // The whole preset state is the enclosing manager's.
    void getPresetState(std::string& out) override;
    void setPresetState(const std::string& text) override;
    void setParameterNormalized(int64_t time, int parameterId, double value) override;
    int getProgram() override;

    void OnUiMsg(int /*id*/, my_input_stream& /*stream*/) override {}
    // The container of the manager that acts: times handed to this proxy
    // are in its time base.
    ug_container* Container() override;
    ug_container* ProxiedContainer() const { return container_; }

private:
    ug_container* container_;
    ug_oversampler* oversampler_;
};
