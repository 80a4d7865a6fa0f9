#include "modules/control/ug_midi_to_cv_redirect.h"

#include "core/CModuleFactory.h"
#include "core/InterfaceObject.h"
#include "core/Module_Info.h"
#include "core/UnitClass.h"
#include "engine/graph/ug_container.h"

void ug_midi_to_cv_redirect::ListInterface2(std::vector<InterfaceObject*>& pins)
{
    pins.push_back(new InterfaceObject(nullptr, L"MIDI In", DR_IN, DT_MIDI2, L"", L"", 0));
    pins.push_back(new InterfaceObject(&channel_, L"Channel", DR_IN, DT_ENUM, L"-1",
                                       L"All=-1,1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16",
                                       IO_POLYPHONIC_ACTIVE | IO_IGNORE_PATCH_CHANGE, L"MIDI Channel"));
    pins.push_back(new InterfaceObject(nullptr, L"MIDI Out", DR_OUT, DT_MIDI2, L"", L"", 0));
}

int ug_midi_to_cv_redirect::Open()
{
    voiceControlState_.container = parentContainer_;
    // From now on the patch manager takes notes only from redirects.
    if (IDspPatchManager* manager = parentContainer_ ? parentContainer_->get_patch_manager() : nullptr)
        manager->setMidiCvVoiceControl();
    return ug_midi_device::Open();
}

void ug_midi_to_cv_redirect::OnMidiData(int size, unsigned char* data)
{
    if (size < 1 || !data)
        return;
    if (IDspPatchManager* manager = parentContainer_ ? parentContainer_->get_patch_manager() : nullptr)
        manager->OnMidi(&voiceControlState_, sampleClock_, data, size, true);
}

namespace
{
[[maybe_unused]] const bool registered = CModuleFactory::Instance()->RegisterModule(
    new Module_Info(L"KV MIDICVRedirect", 492, 32829, nullptr, &UnitClassOf<ug_midi_to_cv_redirect>::value, 256));
}
