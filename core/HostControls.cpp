#include "core/HostControls.h"

#include "core/EPlugDataType.h"
#include "core/midi_defs.h"

namespace
{
struct HostControlRow
{
    const wchar_t* name;
    int32_t id;
    int32_t datatype;
    int32_t automation;
    int32_t reserved;
};

constexpr int32_t perVoice(int subIndex)
{
    return MakeAutomationCode(ControllerType::PerVoiceControl, subIndex << 16);
}

// Row index equals the id.
const HostControlRow lookup[HC_NUM_HOST_CONTROLS] = {
    {L"PatchCommands", HC_PATCH_COMMANDS, DT_INT, -1, 0},
    {L"MidiChannelIn", HC_MIDI_CHANNEL, DT_INT, -1, 0},
    {L"ProgramNamesList", HC_PROGRAM_NAMES_LIST, DT_TEXT, -1, 0},
    {L"Program", HC_PROGRAM, DT_INT, -1, 0},
    {L"ProgramName", HC_PROGRAM_NAME, DT_TEXT, -1, 0},
    {L"Voice/Trigger", HC_VOICE_TRIGGER, DT_FLOAT, MakeAutomationCode(ControllerType::Trigger, 0), 0},
    {L"Voice/Gate", HC_VOICE_GATE, DT_FLOAT, MakeAutomationCode(ControllerType::Gate, 0), 0},
    {L"Voice/Pitch", HC_VOICE_PITCH, DT_FLOAT, MakeAutomationCode(ControllerType::VoicePitch, 0), 0},
    {L"Voice/VelocityKeyOn", HC_VOICE_VELOCITY_KEY_ON, DT_FLOAT, MakeAutomationCode(ControllerType::VelocityKeyOn, 0), 0},
    {L"Voice/VelocityKeyOff", HC_VOICE_VELOCITY_KEY_OFF, DT_FLOAT, MakeAutomationCode(ControllerType::VelocityKeyOff, 0), 0},
    {L"Voice/Aftertouch", HC_VOICE_AFTERTOUCH, DT_FLOAT, MakeAutomationCode(ControllerType::PolyAftertouch, 0), 0},
    {L"Voice/VirtualVoiceId", HC_VOICE_VIRTUAL_VOICE_ID, DT_INT, MakeAutomationCode(ControllerType::VirtualVoiceId, 0), 0},
    {L"Voice/Active", HC_VOICE_ACTIVE, DT_FLOAT, MakeAutomationCode(ControllerType::Active, 0), 0},
    {L"XXXXXXXXXX", HC_UNUSED, DT_FLOAT, -1, 0},
    {L"VoiceAllocationMode", HC_VOICE_ALLOCATION_MODE, DT_INT, -1, 0},
    {L"Bender", HC_PITCH_BEND, DT_FLOAT, MakeAutomationCode(ControllerType::Bender, 0), 0},
    {L"HoldPedal", HC_HOLD_PEDAL, DT_FLOAT, MakeAutomationCode(ControllerType::CC, 64), 0},
    {L"Channel Pressure", HC_CHANNEL_PRESSURE, DT_FLOAT, MakeAutomationCode(ControllerType::ChannelPressure, 0), 0},
    {L"Time/BPM", HC_TIME_BPM, DT_FLOAT, MakeAutomationCode(ControllerType::BPM, 0), 0},
    {L"Time/SongPosition", HC_TIME_SONG_POSITION, DT_FLOAT, MakeAutomationCode(ControllerType::SongPosition, 0), 0},
    {L"Time/TransportPlaying", HC_TIME_TRANSPORT_PLAYING, DT_BOOL, MakeAutomationCode(ControllerType::TransportPlaying, 0), 0},
    {L"Polyphony", HC_POLYPHONY, DT_INT, -1, 0},
    {L"ReserveVoices", HC_RESERVE_VOICES, DT_INT, -1, 0},
    {L"Oversampling/Rate", HC_OVERSAMPLING_RATE, DT_ENUM, -1, 0},
    {L"Oversampling/Filter", HC_OVERSAMPLING_FILTER, DT_ENUM, -1, 0},
    {L"User/Int", HC_USER_INT, DT_INT, -1, 0},
    {L"Time/BarStartPosition", HC_TIME_BAR_START, DT_FLOAT, MakeAutomationCode(ControllerType::BarStartPosition, 0), 0},
    {L"Time/Timesignature/Numerator", HC_TIME_NUMERATOR, DT_INT, MakeAutomationCode(ControllerType::TimeSignatureNumerator, 0), 0},
    {L"Time/Timesignature/Denominator", HC_TIME_DENOMINATOR, DT_INT, MakeAutomationCode(ControllerType::TimeSignatureDenominator, 0), 0},
    {L"Voice/Volume", HC_VOICE_VOLUME, DT_FLOAT, perVoice(0), 0},
    {L"Voice/Pan", HC_VOICE_PAN, DT_FLOAT, perVoice(1), 0},
    {L"Voice/Tuning", HC_VOICE_TUNING, DT_FLOAT, perVoice(2), 0},
    {L"Voice/Vibrato", HC_VOICE_VIBRATO, DT_FLOAT, perVoice(3), 0},
    {L"Voice/Expression", HC_VOICE_EXPRESSION, DT_FLOAT, perVoice(4), 0},
    {L"Voice/Brightness", HC_VOICE_BRIGHTNESS, DT_FLOAT, perVoice(5), 0},
    {L"Voice/UserControl0", HC_VOICE_USER_CONTROL0, DT_FLOAT, perVoice(200), 0},
    {L"Voice/UserControl1", HC_VOICE_USER_CONTROL1, DT_FLOAT, perVoice(201), 0},
    {L"Voice/UserControl2", HC_VOICE_USER_CONTROL2, DT_FLOAT, perVoice(202), 0},
    {L"Voice/PortamentoEnable", HC_VOICE_PORTAMENTO_ENABLE, DT_FLOAT, MakeAutomationCode(ControllerType::VoiceNoteControl, 20 << 16), 0},
    {L"SnapModulation", HC_SNAP_MODULATION, DT_INT, -1, 0},
    {L"Portamento", HC_PORTAMENTO, DT_FLOAT, MakeAutomationCode(ControllerType::CC, 5), 0},
    {L"GlideStartPitch", HC_GLIDE_START_PITCH, DT_FLOAT, MakeAutomationCode(ControllerType::GlideStartPitch, 0), 0},
    {L"BenderRange", HC_BENDER_RANGE, DT_FLOAT, MakeAutomationCode(ControllerType::RPN, 0), 0},
    {L"SubPatchCommands", HC_SUB_PATCH_COMMANDS, DT_INT, -1, 0},
    {L"Processor/OfflineRenderMode", HC_PROCESSOR_OFFLINE_RENDER_MODE, DT_ENUM, -1, 0},
};

bool inTable(HostControls id)
{
    return id >= 0 && id < HC_NUM_HOST_CONTROLS;
}
} // namespace

HostControls StringToHostControl(const std::wstring& name)
{
    if (name.empty())
        return HC_NONE;
    for (const auto& row : lookup)
    {
        if (name == row.name)
            return static_cast<HostControls>(row.id);
    }
    return HC_NONE;
}

int GetHostControlDatatype(HostControls id)
{
    return inTable(id) ? lookup[id].datatype : -1;
}

std::wstring GetHostControlName(HostControls id)
{
    return inTable(id) ? std::wstring(lookup[id].name) : std::wstring();
}

int GetHostControlAutomation(HostControls id)
{
    return inTable(id) ? lookup[id].automation : -1;
}

std::wstring GetHostControlNameByAutomation(int automationCode)
{
    for (const auto& row : lookup)
    {
        if (row.automation == automationCode)
            return row.name;
    }
    return {};
}

bool HostControlAttachesToParentContainer(HostControls id)
{
    return (id >= HC_VOICE_TRIGGER && id <= HC_VOICE_ACTIVE) || (id >= HC_VOICE_ALLOCATION_MODE && id <= HC_CHANNEL_PRESSURE) ||
           (id >= HC_POLYPHONY && id <= HC_OVERSAMPLING_FILTER) || (id >= HC_VOICE_VOLUME && id <= HC_BENDER_RANGE);
}

bool HostControlisPolyphonic(HostControls id)
{
    return (id >= HC_VOICE_TRIGGER && id <= HC_VOICE_ACTIVE) || (id >= HC_VOICE_VOLUME && id <= HC_VOICE_PORTAMENTO_ENABLE);
}

bool AffectsVoiceAllocation(HostControls id)
{
    return id == HC_VOICE_ALLOCATION_MODE || id == HC_PORTAMENTO;
}
