#pragma once
// MIDI controller tables: the controller kinds of automation codes and their
// XML names, the names of the 128 MIDI controllers, and 14-bit controller
// arithmetic.

#include <cstdint>
#include <string>
#include <vector>

// The kind of controller that drives a value: the top byte of an automation
// code. The lower 24 bits say which controller of that kind.
struct ControllerType
{
    enum : int
    {
        None = -1,
        CC = 2,
        RPN = 3,
        NRPN = 4,
        Bender = 6,
        ChannelPressure = 7,
        BPM = 8,
        TransportPlaying = 9,
        SongPosition = 10,
        GlideStartPitch = 0x0B,
        VoicePitch = 0x13,
        Gate = 0x14,
        VelocityKeyOn = 0x15,
        VelocityKeyOff = 0x16,
        PolyAftertouch = 0x17,
        Trigger = 0x18,
        Active = 0x19,
        VoiceNoteControl = 0x1A,
        VirtualVoiceId = 0x1B,
        BarStartPosition = 0x1C,
        TimeSignatureNumerator = 0x1D,
        TimeSignatureDenominator = 0x1E,
        PerVoiceControl = 0x1F,
    };

    // Kinds above 18 are per voice.
    static bool isPolyphonic(int kind) { return kind > 18; }
};

// An automation code from a kind and its controller number (or sub-index
// already shifted into place).
constexpr int32_t MakeAutomationCode(int kind, int index)
{
    return static_cast<int32_t>((static_cast<uint32_t>(kind) << 24) | (static_cast<uint32_t>(index) & 0xFFFFFFu));
}

// Kind -1 first; empty text gives true with -1; a known name true with its
// kind; any other text false (kind stays -1). Case-sensitive.
bool XmlStringToController(const std::string& text, int& kind);
// The first XML name of that kind; empty when the kind has none.
std::string XmlStringFromController(int kind);

// Enum-list text of the 128 MIDI controllers, "<none>" = -1 first.
extern const wchar_t* const CONTROLLER_ENUM_LIST;

// Display name of each controller number; 128 entries once
// init_controller_descriptions has run.
extern std::vector<std::wstring> CONTROLLER_DESCRIPTION;
void init_controller_descriptions();

// Replace the low (lsb) or high (msb) 7 bits of a 14-bit controller value.
void cntrl_update_lsb(unsigned short& value, short lsb);
void cntrl_update_msb(unsigned short& value, short msb);
void cntrl_update_lsb(short& value, short lsb);
void cntrl_update_msb(short& value, short msb);

// 14-bit value to a sample: MSB 127 with LSB 0 (16256) gives 1.0.
float cntrl_to_fsample(short value);
