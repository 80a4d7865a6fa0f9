#pragma once
// The values that the host side supplies to modules by name (voice gate and
// pitch, tempo, polyphony ...). Each has a datatype and, where MIDI or the host
// can drive it, an automation code (controller kind in the top byte).

#include <string>

// The value is the row of the host-control table; names are stored in patch
// and module documents, so never renumber.
enum HostControls : int
{
    HC_NONE = -1,
    HC_PATCH_COMMANDS = 0,
    HC_MIDI_CHANNEL,
    HC_PROGRAM_NAMES_LIST,
    HC_PROGRAM,
    HC_PROGRAM_NAME,
    HC_VOICE_TRIGGER,
    HC_VOICE_GATE,
    HC_VOICE_PITCH,
    HC_VOICE_VELOCITY_KEY_ON,
    HC_VOICE_VELOCITY_KEY_OFF,
    HC_VOICE_AFTERTOUCH,
    HC_VOICE_VIRTUAL_VOICE_ID,
    HC_VOICE_ACTIVE,
    HC_UNUSED,
    HC_VOICE_ALLOCATION_MODE,
    HC_PITCH_BEND,
    HC_HOLD_PEDAL,
    HC_CHANNEL_PRESSURE,
    HC_TIME_BPM,
    HC_TIME_SONG_POSITION,
    HC_TIME_TRANSPORT_PLAYING,
    HC_POLYPHONY,
    HC_RESERVE_VOICES,
    HC_OVERSAMPLING_RATE,
    HC_OVERSAMPLING_FILTER,
    HC_USER_INT,
    HC_TIME_BAR_START,
    HC_TIME_NUMERATOR,
    HC_TIME_DENOMINATOR,
    HC_VOICE_VOLUME,
    HC_VOICE_PAN,
    HC_VOICE_TUNING,
    HC_VOICE_VIBRATO,
    HC_VOICE_EXPRESSION,
    HC_VOICE_BRIGHTNESS,
    HC_VOICE_USER_CONTROL0,
    HC_VOICE_USER_CONTROL1,
    HC_VOICE_USER_CONTROL2,
    HC_VOICE_PORTAMENTO_ENABLE,
    HC_SNAP_MODULATION,
    HC_PORTAMENTO,
    HC_GLIDE_START_PITCH,
    HC_BENDER_RANGE,
    HC_SUB_PATCH_COMMANDS,
    HC_PROCESSOR_OFFLINE_RENDER_MODE,
    HC_NUM_HOST_CONTROLS, // 45
};

// Exact, case-sensitive name match; HC_NONE for an empty or unknown name.
HostControls StringToHostControl(const std::wstring& name);

// Each gives -1 (or empty text) for an id outside the table.
int GetHostControlDatatype(HostControls id);
std::wstring GetHostControlName(HostControls id);
int GetHostControlAutomation(HostControls id);

// The first row (in id order) with that automation code; empty when none.
std::wstring GetHostControlNameByAutomation(int automationCode);

bool HostControlAttachesToParentContainer(HostControls id);
bool HostControlisPolyphonic(HostControls id);
bool AffectsVoiceAllocation(HostControls id);
