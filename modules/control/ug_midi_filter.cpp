#include "modules/control/ug_midi_filter.h"

#include "core/CModuleFactory.h"
#include "core/EPlugFlags.h"
#include "core/InterfaceObject.h"
#include "core/Module_Info.h"
#include "core/UnitClass.h"

void ug_midi_filter::ListInterface2(std::vector<InterfaceObject*>& pins)
{
    pins.push_back(new InterfaceObject(nullptr, L"MIDI In", DR_IN, DT_MIDI2, L"", L"", 0, L"MIDI Input Plug"));
    pins.push_back(new InterfaceObject(nullptr, L"MIDI Out", DR_OUT, DT_MIDI2, L"", L"", 0, L"MIDI Output Plug"));
    pins.push_back(new InterfaceObject(&channelLo_, L"Channel Lo", DR_IN, DT_ENUM, L"1", L"range 1,16",
                                       IO_POLYPHONIC_ACTIVE, L"MIDI Channel Low"));
    pins.push_back(new InterfaceObject(&channelHi_, L"Channel Hi", DR_IN, DT_ENUM, L"16", L"range 1,16",
                                       IO_POLYPHONIC_ACTIVE, L"MIDI Channel Hi"));
    pins.push_back(new InterfaceObject(&noteLo_, L"Note Lo", DR_IN, DT_ENUM, L"0", L"range 0,127",
                                       IO_POLYPHONIC_ACTIVE, L"Note Low"));
    pins.push_back(new InterfaceObject(&noteHi_, L"Note Hi", DR_IN, DT_ENUM, L"127", L"range 0,127",
                                       IO_POLYPHONIC_ACTIVE, L"Note Hi"));
    pins.push_back(new InterfaceObject(&velocityLo_, L"Velocity Lo", DR_IN, DT_ENUM, L"0", L"range 0,127",
                                       IO_POLYPHONIC_ACTIVE, L"Velocity Low"));
    pins.push_back(new InterfaceObject(&velocityHi_, L"Velocity Hi", DR_IN, DT_ENUM, L"127", L"range 0,127",
                                       IO_POLYPHONIC_ACTIVE, L"Velocity Hi"));
    pins.push_back(new InterfaceObject(&programChange_, L"Program Change", DR_IN, DT_ENUM, L"1", L"Off,On", 0,
                                       L"Program Change"));
}

bool ug_midi_filter::Passes(int size, const unsigned char* data) const
{
    if (size < 1 || !data)
        return false;
    const int status = data[0] & 0xF0;
    if (status == 0xF0)
        return true;
    const int channel = data[0] & 0x0F;
    if (channel < channelLo_ - 1 || channel >= channelHi_)
        return false;

    // Note and velocity bytes of a truncated message count as 0.
    const int note = size > 1 ? data[1] & 0x7F : 0;
    const int velocity = size > 2 ? data[2] & 0x7F : 0;
    switch (status)
    {
    case 0x90:
        if (velocity != 0 && (velocity < velocityLo_ || velocity > velocityHi_))
            return false;
        [[fallthrough]];
    case 0x80:
        return note >= noteLo_ && note <= noteHi_;
    case 0xC0:
        return programChange_ != 0;
    default:
        return true;
    }
}

void ug_midi_filter::OnMidiData(int size, unsigned char* data)
{
    if (Passes(size, data))
        plugs_[PN_MIDI_OUT]->Transmit(sampleClock_, size, data);
}

namespace
{
[[maybe_unused]] const bool registered = CModuleFactory::Instance()->RegisterModule(
    new Module_Info(L"MIDI Filter", 492, 292, nullptr, &UnitClassOf<ug_midi_filter>::value, 256));
}
