#include "modules/control/ug_cv_midi.h"

#include <cmath>

#include "core/CModuleFactory.h"
#include "core/EPlugFlags.h"
#include "core/InterfaceObject.h"
#include "core/Module_Info.h"
#include "core/UnitClass.h"

void ug_cv_midi::ListInterface2(std::vector<InterfaceObject*>& pins)
{
    pins.push_back(new InterfaceObject(nullptr, L"Gate", DR_IN, DT_FSAMPLE, L"0", L"", IO_POLYPHONIC_ACTIVE,
                                       L"Triggers the Note on message", &gate_));
    pins.push_back(new InterfaceObject(nullptr, L"Pitch", DR_IN, DT_FSAMPLE, L"5", L"", IO_POLYPHONIC_ACTIVE,
                                       L"Sets the note pitch"));
    pins.push_back(new InterfaceObject(nullptr, L"Velocity", DR_IN, DT_FSAMPLE, L"5", L"", IO_POLYPHONIC_ACTIVE,
                                       L"Sets the note velocity"));
    pins.push_back(new InterfaceObject(&channel_, L"Channel", DR_IN, DT_ENUM, L"0",
                                       L"All=-1,1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16",
                                       IO_POLYPHONIC_ACTIVE | IO_IGNORE_PATCH_CHANGE, L"MIDI Channel"));
    pins.push_back(new InterfaceObject(nullptr, L"MIDI Out", DR_OUT, DT_MIDI2, L"", L"", 0));
    pins.push_back(new InterfaceObject(&freqScale_, L"Freq Scale", DR_IN, DT_ENUM, L"0",
                                       L"1 Volt/Octave, 1 Volt/kHz ", IO_MINIMISED,
                                       L"Switches between 1 Volt per Octave or 1 Volt per kHz response."));
}

int ug_cv_midi::Open()
{
    ug_base::Open();
    return 0;
}

void ug_cv_midi::onSetPin(int64_t /*time*/, UPlug* pin, state_type state)
{
    Wake();
    if (pin->index_ != PN_GATE)
        return;
    if (state == ST_STREAMING)
    {
        SetProcessFunction(&ug_cv_midi::sub_process);
    }
    else
    {
        gate_changed();
        SetProcessFunction(&ug_base::process_sleep);
    }
}

void ug_cv_midi::sub_process(int start, int count)
{
    const int64_t blockClock = sampleClock_;
    const float* gate = gate_ + start;
    int i = 0;
    while (i < count)
    {
        // The next sample where the gate crosses to the other side of 0.
        if (gateState_)
        {
            while (i < count && gate[i] > 0.0f)
                ++i;
        }
        else
        {
            while (i < count && !(gate[i] > 0.0f))
                ++i;
        }
        if (i == count)
            break;
        sampleClock_ = blockClock + i;
        gate_changed();
    }
    sampleClock_ = blockClock;
}

int ug_cv_midi::NoteFromPitch(float pitch, int freqScale)
{
    double n = 0.0;
    if (freqScale == FS_VOLT_PER_KHZ)
        n = std::log(static_cast<double>(pitch) * 10.0 * 2.2727273) * 1.442695 * 12.0 + 69.0;
    else
        n = (static_cast<double>(pitch) * 10.0 - 5.0) * 12.0 + 69.5;
    // NaN and out-of-range values are limited before conversion.
    if (!(n >= 0.0))
        return 0;
    if (n >= 127.0)
        return 127;
    return static_cast<int>(n);
}

int ug_cv_midi::VelocityFromValue(float value)
{
    const double v = static_cast<double>(value) * 127.0;
    if (!(v >= 1.0))
        return 1;
    if (v >= 127.0)
        return 127;
    return static_cast<int>(v);
}

void ug_cv_midi::gate_changed()
{
    const bool gate = plugs_[PN_GATE]->getValue() > 0.0f;
    if (gate == gateState_)
        return;
    gateState_ = gate;

    const unsigned char channel = channel_ > 0 ? static_cast<unsigned char>(channel_ & 0x0F) : 0;
    unsigned char message[3];
    if (gate)
    {
        lastNote_ = NoteFromPitch(plugs_[PN_PITCH]->getValue(), freqScale_);
        message[0] = static_cast<unsigned char>(0x90 | channel);
        message[1] = static_cast<unsigned char>(lastNote_);
        message[2] = static_cast<unsigned char>(VelocityFromValue(plugs_[PN_VELOCITY]->getValue()));
    }
    else
    {
        message[0] = static_cast<unsigned char>(0x80 | channel);
        message[1] = static_cast<unsigned char>(lastNote_ & 0x7F);
        message[2] = 0x40;
    }
    plugs_[PN_MIDI_OUT]->Transmit(sampleClock_, 3, message);
}

namespace
{
[[maybe_unused]] const bool registered = CModuleFactory::Instance()->RegisterModule(
    new Module_Info(L"Trigger to MIDI", 484, 292, nullptr, &UnitClassOf<ug_cv_midi>::value, 256));
}
