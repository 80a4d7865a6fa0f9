#include "modules/control/ug_notesource.h"

#include "core/InterfaceObject.h"
#include "engine/graph/ug_container.h"

ug_notesource::ug_notesource()
{
    flags_ |= UGF_POLYPHONIC | UGF_POLYPHONIC_SOURCE | UGF_NEVER_SUSPEND | UGF_AUTOMATOR;
    SetProcessFunction(&ug_notesource::sub_process);
}

void ug_notesource::ListInterface2(std::vector<InterfaceObject*>& pins)
{
    pins.push_back(new InterfaceObject(nullptr, L"MIDI In", DR_IN, DT_MIDI2, L"0", L"", 0));
    pins.push_back(new InterfaceObject(&channel_, L"Channel", DR_IN, DT_ENUM, L"-1",
                                       L"All=-1,1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16",
                                       IO_POLYPHONIC_ACTIVE | IO_IGNORE_PATCH_CHANGE, L"MIDI Channel"));
}

void ug_notesource::onSetPin(int64_t time, UPlug* pin, state_type state)
{
    // Only the module itself follows the channel; its voice clones do not.
    if (!IsCloneOfAnother() && pin->index_ == PN_CHANNEL && channel_ != lastChannel_)
    {
        OnChangeChannel();
        lastChannel_ = channel_;
    }
    ug_base::onSetPin(time, pin, state);
}

int32_t ug_notesource::OverrideWord() const
{
    if (polyphonyMode_ == kContainerMode)
        return -1;
    // A value outside its list (from a damaged document) takes the pin's usual choice.
    if (monoMode_ == 0)
        return polyphonyMode_ >= VAM_SOFT_STEAL && polyphonyMode_ <= VAM_OVERLAP ? static_cast<int32_t>(polyphonyMode_)
                                                                                 : static_cast<int32_t>(VAM_HARD_STEAL);
    const int32_t priority = (monoNotePriority_ >= 0 && monoNotePriority_ <= kLastNotePriority ? monoNotePriority_
                                                                                                : kLastNotePriority)
                             << VAM_PRIORITY_SHIFT;
    return (retrigger_ != 0 ? VAM_MONO_RETRIGGER : VAM_MONO) + priority;
}

int32_t ug_notesource::getVoiceAllocationMode()
{
    if (polyphonyMode_ == kContainerMode)
        return parentContainer_ ? parentContainer_->CurrentAllocationMode() : VAM_SOFT_STEAL;
    int32_t word = OverrideWord();
    if (monoMode_ != 0 && portamentoRate_ != 0)
        word |= VAM_CONSTANT_RATE_GLIDE;
    return word;
}

void ug_notesource::updateVoiceAllocationMode()
{
    if (parentContainer_)
        parentContainer_->SetModuleAllocationMode(OverrideWord());
}
