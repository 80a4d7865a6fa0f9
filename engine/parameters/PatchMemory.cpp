#include "engine/parameters/PatchMemory.h"

#include <cstring>

#include "engine/graph/ug_container.h"
#include "engine/parameters/DspPatchManager.h"
#include "engine/parameters/PatchStorage.h"
#include "engine/parameters/dsp_patch_parameter_base.h"
#include "engine/parameters/ug_midi_automator.h"
#include "engine/parameters/ug_patch_automator.h"

namespace
{
// The voice host controls: one value per key, set by the notes themselves.
bool NoteLeftOver(const dsp_patch_parameter_base& parameter)
{
    return parameter.isPolyphonic() && parameter.getHostControl() != -1;
}

// The patch a program reads in storage of `patches` patches.
int PatchOf(int program, int patches)
{
    return patches > 1 && program >= 0 && program < patches ? program : 0;
}

bool SameValue(const PatchStorageBase& a, int patchA, const PatchStorageBase& b, int patchB)
{
    const int size = a.GetValueSize(patchA);
    if (size != b.GetValueSize(patchB))
        return false;
    const void* x = a.GetValue(patchA);
    const void* y = b.GetValue(patchB);
    if (!x || !y || size <= 0)
        return x == y || size <= 0;
    return std::memcmp(x, y, static_cast<size_t>(size)) == 0;
}
} // namespace

PatchMemory::~PatchMemory()
{
    Clear();
}

void PatchMemory::Clear()
{
    for (Values& values : values_)
        for (PatchStorageBase* entry : values.storage)
            delete entry;
    values_.clear();
    taken_ = false;
}

void PatchMemory::Take(DspPatchManager& from)
{
    Clear();
    for (dsp_patch_parameter_base* parameter : from.Parameters())
    {
        if (NoteLeftOver(*parameter))
            continue;
        Values values;
        values.handle = parameter->Handle();
        values.dataType = parameter->dataType();
        values.automation = parameter->getAutomation();
        values.automationSysex = parameter->getAutomationSysex();
        values.storage = parameter->ReleaseValues();
        values_.push_back(std::move(values));
    }
    program_ = from.getProgram();
    midiChannel_ = from.getMidiChannel();
    tuning_ = from.Tuning();
    taken_ = true;
}

void PatchMemory::Give(DspPatchManager& to)
{
    if (!taken_)
        return;
    // The pins hold the values of the program the manager starts in.
    const int shown = to.getProgram();
    if (program_ >= 0 && program_ < to.PatchCount())
        to.setProgram(program_);

    std::vector<bool> given(values_.size(), false);
    for (dsp_patch_parameter_base* parameter : to.Parameters())
    {
        if (NoteLeftOver(*parameter))
            continue;
        std::size_t i = 0;
        while (i < values_.size() && (given[i] || values_[i].handle != parameter->Handle()))
            ++i;
        Values* values = i < values_.size() ? &values_[i] : nullptr;
        if (values && values->dataType == parameter->dataType() && parameter->ExchangeValues(values->storage))
        {
            given[i] = true;
            if (parameter->getAutomation() != values->automation)
                parameter->setAutomation(values->automation);
            if (parameter->getAutomationSysex() != values->automationSysex)
                parameter->setAutomationSysex(values->automationSysex);
        }
        else
        {
            values = nullptr;
        }
        // What the pins were sent: the new parameter's own values, now in
        // `values` when it took the old ones.
        const PatchStorageBase* sent = !values                 ? parameter->Storage(0)
                                       : values->storage.empty() ? nullptr
                                                                 : values->storage.front();
        const PatchStorageBase* now = parameter->Storage(0);
        if (!parameter->isPolyphonic() && sent && now &&
            !SameValue(*sent, PatchOf(shown, sent->getPatchCount()), *now, parameter->EffectivePatch()))
            parameter->OnValueChangedFromGUI(false, 0, false);
    }

    if (to.getMidiChannel() != midiChannel_)
    {
        to.setMidiChannel(midiChannel_);
        if (ug_container* container = to.Container())
        {
            if (ug_patch_automator* automator = container->PatchAutomator())
                automator->setMidiChannel(midiChannel_);
            if (ug_patch_automator_out* out = container->AutomationOutput())
                out->setMidiChannel(midiChannel_);
        }
    }
    to.SetTuning(tuning_);
    Clear();
}
