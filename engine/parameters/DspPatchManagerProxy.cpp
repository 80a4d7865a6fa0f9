#include "engine/parameters/DspPatchManagerProxy.h"

#include "engine/graph/ug_container.h"
#include "engine/oversampling/ug_oversampler.h"

IDspPatchManager* DspPatchManagerProxy::Target() const
{
    // The oversampler's own manager is that of the container it sits in.
    ug_container* outer = oversampler_ ? oversampler_->parentContainer_ : nullptr;
    IDspPatchManager* manager = outer ? outer->get_patch_manager() : nullptr;
    return manager == this ? nullptr : manager;
}

dsp_patch_parameter_base* DspPatchManagerProxy::createPatchParameter(const parameter_description* description,
                                                                     InterfaceObject* pin)
{
    IDspPatchManager* target = Target();
    return target ? target->createPatchParameter(description, pin) : nullptr;
}

dsp_patch_parameter_base* DspPatchManagerProxy::ConnectHostControl(int hostControl, UPlug* plug)
{
    IDspPatchManager* target = Target();
    return target ? target->ConnectHostControl(hostControl, plug) : nullptr;
}

dsp_patch_parameter_base* DspPatchManagerProxy::ConnectParameter(int handle, UPlug* plug)
{
    IDspPatchManager* target = Target();
    return target ? target->ConnectParameter(handle, plug) : nullptr;
}

void DspPatchManagerProxy::OnMidi(VoiceControlState* state, int64_t time, const unsigned char* bytes, int size,
                                  bool fromMidiCv)
{
    if (IDspPatchManager* target = Target())
        target->OnMidi(state, time, bytes, size, fromMidiCv);
}

float DspPatchManagerProxy::InitializeVoiceParameters(ug_container* container, int64_t time, int voice, int key,
                                                      bool retrigger)
{
    IDspPatchManager* target = Target();
    return target ? target->InitializeVoiceParameters(container, time, voice, key, retrigger) : 0.0f;
}

void DspPatchManagerProxy::ReleaseVoiceGate(ug_container* container, int64_t time, int voice)
{
    if (IDspPatchManager* target = Target())
        target->ReleaseVoiceGate(container, time, voice);
}

void DspPatchManagerProxy::vst_Automation(ug_container* container, int64_t time, int code, float value)
{
    if (IDspPatchManager* target = Target())
        target->vst_Automation(container, time, code, value);
}

void DspPatchManagerProxy::setMidiCvVoiceControl()
{
    if (IDspPatchManager* target = Target())
        target->setMidiCvVoiceControl();
}

int DspPatchManagerProxy::getMidiChannel()
{
    IDspPatchManager* target = Target();
    return target ? target->getMidiChannel() : -1;
}

void DspPatchManagerProxy::getPresetState(std::string& out)
{
    if (IDspPatchManager* target = Target())
        target->getPresetState(out);
}

void DspPatchManagerProxy::setPresetState(const std::string& text)
{
    if (IDspPatchManager* target = Target())
        target->setPresetState(text);
}

void DspPatchManagerProxy::setParameterNormalized(int64_t time, int parameterId, double value)
{
    if (IDspPatchManager* target = Target())
        target->setParameterNormalized(time, parameterId, value);
}

int DspPatchManagerProxy::getProgram()
{
    IDspPatchManager* target = Target();
    return target ? target->getProgram() : 0;
}

ug_container* DspPatchManagerProxy::Container()
{
    IDspPatchManager* target = Target();
    return target ? target->Container() : nullptr;
}
