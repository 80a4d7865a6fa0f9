#pragma once
// "MIDI Monitor": shows each incoming MIDI message as one line of text on the
// module's panel. Lines go to the editor as "prnt" records in the engine's
// editor-bound batch. Formatting uses fixed buffers: nothing is allocated on
// the audio thread.

#include <cstdint>
#include <vector>

#include "engine/graph/ug_base.h"

class ug_midi_monitor : public ug_base
{
public:
    enum Pins { PN_MIDI_IN = 0, PN_CHANNEL };

    // One formatted line; long enough for the longest line plus its break.
    struct Line
    {
        static constexpr int kCapacity = 192;
        void Append(const char* text);
        void Append(const wchar_t* text, int count);
        void AppendChar(wchar_t c);
        void AppendInt(int value, int width = 0);
        void AppendHex(unsigned value);
        void AppendFloat(double value);

        wchar_t text[kCapacity];
        int length = 0;
    };

    ug_midi_monitor() = default;
    ~ug_midi_monitor() override = default;

    ug_base* Create() override { return new ug_midi_monitor(); }
    void ListInterface2(std::vector<InterfaceObject*>& pins) override;
    int Open() override;
    void HandleEvent(KorvaneEvent* event) override;

    void OnMidiData(int size, const unsigned char* data);
    // Sends one record with the text; false when it found no room or no editor stream.
    bool Print(const wchar_t* text, int count);

    // The line shown for a message, line end included.
    static void FormatMessage(int size, const unsigned char* data, Line& line);
    // Breaks a line past 40 characters once and ends it.
    static void BreakLongLine(const Line& raw, Line& line);

private:
    int16_t channel_ = -1;
};
