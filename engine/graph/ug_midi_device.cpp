#include "engine/graph/ug_midi_device.h"

#include "core/InterfaceObject.h"

void ug_midi_device::ListInterface2(std::vector<InterfaceObject*>& pins)
{
    pins.push_back(new InterfaceObject(&channel_, L"Channel", DR_IN, DT_ENUM, L"-1",
                                       L"All=-1,1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16",
                                       IO_POLYPHONIC_ACTIVE | IO_IGNORE_PATCH_CHANGE, L"MIDI Channel"));
    pins.push_back(new InterfaceObject(nullptr, L"MIDI In", DR_IN, DT_MIDI2, L"0", L"", 0));
}

int ug_midi_device::Open()
{
    SetProcessFunction(&ug_base::process_sleep);
    return ug_base::Open();
}

void ug_midi_device::HandleEvent(KorvaneEvent* event)
{
    if (event->eventType != UET_EVENT_MIDI)
    {
        ug_base::HandleEvent(event);
        return;
    }
    const int size = event->arg2;
    if (size > 4)
    {
        // System exclusive: no channel test.
        if (event->heapData)
            OnMidiData(size, reinterpret_cast<unsigned char*>(event->heapData));
        return;
    }
    if (size < 1)
        return;
    auto* bytes = reinterpret_cast<unsigned char*>(&event->arg3);
    const unsigned char status = bytes[0];
    if (status < 0xF0 && channel_ != -1 && (status & 0x0F) != channel_)
        return;
    OnMidiData(size, bytes);
}
