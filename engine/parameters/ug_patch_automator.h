#pragma once
// The module through which a container's patch manager hears MIDI, host
// tempo and transport; the automator of the top container also carries the
// timer that services the message queues to and from the editor.

#include <cstdint>
#include <vector>

#include "engine/parameters/IDspPatchManager.h"
#include "engine/graph/ug_midi_device.h"

struct my_VstTimeInfo;

class ug_patch_automator : public ug_midi_device
{
public:
    enum Pins { PN_CHANNEL, PN_MIDI_IN, PN_MIDI_OUT, PN_HIDDEN_OUT, PN_SEND_ALL };
    // Automation codes of the timing host controls.
    enum TimingCodes : int32_t
    {
        AC_TEMPO = 0x08000000,
        AC_TRANSPORT_PLAYING = 0x09000000,
        AC_SONG_POSITION = 0x0A000000,
        AC_BAR_START = 0x1C000000,
        AC_NUMERATOR = 0x1D000000,
        AC_DENOMINATOR = 0x1E000000,
    };
    // Editor queues are serviced about this often per second.
    static constexpr int kQueueServicesPerSecond = 20;

    ug_patch_automator();
    ug_base* Create() override { return new ug_patch_automator(); }
    void ListInterface2(std::vector<InterfaceObject*>& pins) override;
    int Open() override;
    void HandleEvent(KorvaneEvent* event) override;
    void OnMidiData(int size, unsigned char* data) override;

    void setMidiChannel(int channel) { midiChannel_ = channel; }
    void setTempoTransmit() { tempoTransmit_ = true; }
    bool SendAllOnPatchChange() const { return sendAllOnPatchChange_; }
    // Once per host block: tempo, time signature, bar start, transport, position.
    void UpdateTempo(const my_VstTimeInfo* info);
    void process_timing(int blockPosition, int sampleFrames);

    int TimerPeriod() const { return timerPeriod_; }
    double SongPosition() const { return songPosition_; }

protected:
    bool sendAllOnPatchChange_ = false;
    int32_t midiChannel_ = -1;
    int64_t midiOutValue_ = 0;
    int64_t hiddenOutValue_ = 0;
    float tempo_ = -1.0f;
    double quarterNotesPerSample_ = 0.0;
    double songPosition_ = 0.0;
    double barStart_ = 0.0;
    bool tempoTransmit_ = false;
    bool transportPlaying_ = false;
    int32_t timerPeriod_ = 0;
    int32_t numerator_ = 0;
    int32_t denominator_ = 0;
    bool firstUpdate_ = true;
    VoiceControlState voiceControlState_;

private:
    IDspPatchManager* Manager() const;
    void SendFloat(IDspPatchManager* manager, int64_t time, int32_t code, float value);
};
