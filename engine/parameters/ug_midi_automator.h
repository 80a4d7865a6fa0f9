#pragma once
// "MIDI Automator" stands for the automation MIDI pair in a patch and only
// declares pins; "MIDI Automator Output" sends the MIDI echo of parameters
// bound to MIDI automation codes on its "MIDI Out" pin.

#include <cstdint>
#include <string>
#include <vector>

#include "engine/graph/ug_midi_device.h"

class ug_patch_automator;

class ug_midi_automator : public ug_midi_device
{
public:
    ug_midi_automator() = default;
    ug_base* Create() override { return new ug_midi_automator(); }
    void ListInterface2(std::vector<InterfaceObject*>& pins) override;

private:
    int64_t midiOutValue_ = 0;
    int64_t hiddenOutValue_ = 0;
    bool sendAllOnPatchChange_ = false;
};

class ug_patch_automator_out : public ug_base
{
public:
    enum Pins { PN_CHANNEL, PN_HIDDEN_IN, PN_MIDI_OUT, PN_HIDDEN_OUT, PN_SEND_ALL };

    ug_patch_automator_out();
    ug_base* Create() override { return new ug_patch_automator_out(); }
    void ListInterface2(std::vector<InterfaceObject*>& pins) override;
    int Open() override;

    void setMidiChannel(int channel) { midiChannel_ = static_cast<int16_t>(channel); }
    int MidiChannel() const { return midiChannel_; }
    // The echo of one parameter value; `last` suppresses repeats per parameter.
    virtual void SendAutomation2(float value, int key, int code, const wchar_t* sysexTemplate, bool sendAll,
                                 int* last);
    virtual void sendProgramChange(int program);
    // A controller message, with its LSB partner for data entry and (N)RPN numbers.
    void SendController(int64_t time, int controller, int value14);

    ug_patch_automator* patchAutomator_ = nullptr;

protected:
    void SendMidi(int64_t time, const unsigned char* bytes, int size);
    int Channel() const { return midiChannel_ < 0 ? 0 : midiChannel_ & 0x0F; }
    // Builds a SysEx message from its template; the value written, or -1.
    int BuildSysex(const wchar_t* sysexTemplate, float value, unsigned char* bytes, int& size) const;

    UPlug* midiOutPin_ = nullptr;
    int64_t lastSendTime_ = 0;
    int16_t midiChannel_ = 0;
    float notePitch_[128];
    float keyOnVelocity_[128];
    float keyOffVelocity_[128];
    int32_t lastNrpnCode_ = 0x7FFFFFFF;
    int16_t channelPin_ = -1;
    int64_t hiddenOutValue_ = 0;
    int64_t midiOutValue_ = 0;
    bool sendAllPin_ = false;
};
