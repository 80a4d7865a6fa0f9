#include "engine/parameters/ug_midi_automator.h"

#include <algorithm>

#include "core/InterfaceObject.h"
#include "engine/parameters/ug_patch_automator.h"

namespace
{
const wchar_t* const kChannelList = L"All=-1,1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16";
constexpr int kKeys = 128;
}

void ug_midi_automator::ListInterface2(std::vector<InterfaceObject*>& pins)
{
    pins.push_back(new InterfaceObject(&channel_, L"Channel", DR_IN, DT_ENUM, L"-1", kChannelList,
                                       IO_POLYPHONIC_ACTIVE | IO_IGNORE_PATCH_CHANGE, L"MIDI Channel selection"));
    pins.push_back(new InterfaceObject(nullptr, L"MIDI In", DR_IN, DT_MIDI2, L"0", L"", 0));
    pins.push_back(new InterfaceObject(&midiOutValue_, L"MIDI Out", DR_OUT, DT_MIDI2, L"", L"", 0));
    pins.push_back(new InterfaceObject(&hiddenOutValue_, L"Hidden Output", DR_OUT, DT_MIDI2, L"", L"", IO_PRIVATE));
    pins.push_back(new InterfaceObject(&sendAllOnPatchChange_, L"Send All On Patch Change", DR_IN, DT_BOOL, L"0",
                                       L"", IO_MINIMISED));
}

ug_patch_automator_out::ug_patch_automator_out()
{
    SetProcessFunction(&ug_base::process_sleep);
    for (int key = 0; key < kKeys; ++key)
    {
        notePitch_[key] = key / 127.0f;
        keyOnVelocity_[key] = 0.5f;
        keyOffVelocity_[key] = 0.5f;
    }
}

void ug_patch_automator_out::ListInterface2(std::vector<InterfaceObject*>& pins)
{
    pins.push_back(new InterfaceObject(&channelPin_, L"Channel", DR_IN, DT_ENUM, L"-1", kChannelList,
                                       IO_POLYPHONIC_ACTIVE | IO_IGNORE_PATCH_CHANGE, L"MIDI Channel selection"));
    pins.push_back(new InterfaceObject(nullptr, L"Hidden Input", DR_IN, DT_MIDI2, L"", L"", 0));
    pins.push_back(new InterfaceObject(&midiOutValue_, L"MIDI Out", DR_OUT, DT_MIDI2, L"", L"", 0));
    pins.push_back(new InterfaceObject(&hiddenOutValue_, L"Hidden Output", DR_OUT, DT_MIDI2, L"", L"", IO_PRIVATE));
    pins.push_back(new InterfaceObject(&sendAllPin_, L"Send All On Patch Change", DR_IN, DT_BOOL, L"0", L"",
                                       IO_MINIMISED));
}

int ug_patch_automator_out::Open()
{
    midiOutPin_ = GetPlug(PN_MIDI_OUT);
    SetProcessFunction(&ug_base::process_sleep);
    return ug_base::Open();
}

namespace
{
// Automation kinds (top byte of the code).
enum AutomationKind
{
    AK_CC = 2,
    AK_RPN = 3,
    AK_NRPN = 4,
    AK_SYSEX = 5,
    AK_BENDER = 6,
    AK_CHANNEL_PRESSURE = 7,
    AK_VOICE_PITCH = 0x13,
    AK_VOICE_GATE = 0x14,
    AK_VOICE_VELOCITY_ON = 0x15,
    AK_VOICE_VELOCITY_OFF = 0x16,
    AK_VOICE_AFTERTOUCH = 0x17,
};
constexpr int kMaxSysexBytes = 64;
// Templates are short; this bounds the walk over an unterminated one.
constexpr int kMaxTemplateChars = 4096;

int Scaled(float value, int scale)
{
    if (!(value >= 0.0f))
        value = 0.0f;
    if (value > 1.0f)
        value = 1.0f;
    return static_cast<int>(value * scale + 0.5f);
}

int HexDigit(wchar_t c)
{
    if (c >= L'0' && c <= L'9')
        return c - L'0';
    if (c >= L'A' && c <= L'F')
        return c - L'A' + 10;
    return -1;
}
} // namespace

void ug_patch_automator_out::SendMidi(int64_t time, const unsigned char* bytes, int size)
{
    if (midiOutPin_)
        midiOutPin_->Transmit(time, size, bytes);
}

void ug_patch_automator_out::SendController(int64_t time, int controller, int value14)
{
    const auto status = static_cast<unsigned char>(0xB0 | Channel());
    const unsigned char msb[3] = {status, static_cast<unsigned char>(controller & 127),
                                  static_cast<unsigned char>((value14 >> 7) & 127)};
    SendMidi(time, msb, 3);
    int partner = -1;
    if (controller == 6)
        partner = 38;
    else if (controller == 99)
        partner = 98;
    else if (controller == 101)
        partner = 100;
    if (partner < 0)
        return;
    const unsigned char lsb[3] = {status, static_cast<unsigned char>(partner), static_cast<unsigned char>(value14 & 127)};
    SendMidi(time, lsb, 3);
}

void ug_patch_automator_out::sendProgramChange(int program)
{
    Wake();
    const unsigned char bytes[3] = {0xC0, static_cast<unsigned char>(program & 127), 0};
    SendMidi(sampleClock_, bytes, 3);
}

int ug_patch_automator_out::BuildSysex(const wchar_t* sysexTemplate, float value, unsigned char* bytes,
                                       int& size) const
{
    int nibbles = 0;
    int written = -1;
    int checksum = 0;
    const int val7 = Scaled(value, 127);
    const int val14 = Scaled(value, 16383);
    auto put = [&](int nibble) {
        if (nibbles >= kMaxSysexBytes * 2)
            return;
        unsigned char& b = bytes[nibbles / 2];
        b = (nibbles % 2 == 0) ? static_cast<unsigned char>((nibble & 15) << 4) : static_cast<unsigned char>(b | (nibble & 15));
        ++nibbles;
    };
    for (int i = 0; i < kMaxTemplateChars && sysexTemplate[i]; ++i)
    {
        const wchar_t c = sysexTemplate[i];
        const int hex = HexDigit(c);
        if (hex >= 0)
        {
            put(hex);
            continue;
        }
        switch (c)
        {
        case L'm':
            put(Channel());
            break;
        case L'v':
            put((val7 >> 4) & 7);
            put(val7 & 15);
            written = val7;
            break;
        case L'L':
            put((val14 >> 4) & 7);
            put(val14 & 15);
            written = val14;
            break;
        case L'M':
            put((val14 >> 11) & 7);
            put((val14 >> 7) & 15);
            written = val14;
            break;
        case L'S':
            // A pair "SS": the first writes the high nibble, the second the low.
            if (nibbles % 2 == 0)
            {
                int sum = 0;
                for (int b = 5; b < nibbles / 2; ++b)
                    sum += bytes[b];
                checksum = 128 - sum % 128;
                put((checksum >> 4) & 7);
            }
            else
            {
                put(checksum & 15);
            }
            break;
        default:
            break;
        }
    }
    size = (nibbles + 1) / 2;
    return written;
}

void ug_patch_automator_out::SendAutomation2(float value, int key, int code, const wchar_t* sysexTemplate,
                                             bool sendAll, int* last)
{
    int unusedLast = -1;
    if (!last)
        last = &unusedLast;
    if (sendAll && (!patchAutomator_ || !patchAutomator_->SendAllOnPatchChange()))
        return;
    const int kind = (code >> 24) & 0xFF;
    if (kind < AK_CC || kind > AK_VOICE_AFTERTOUCH)
        return;
    const bool validKey = key >= 0 && key < kKeys;

    switch (kind)
    {
    case AK_CC:
    case AK_RPN:
    case AK_NRPN:
    {
        if (!midiOutPin_ || midiOutPin_->connections_.empty() || (flags_ & UGF_OPEN) == 0)
            return;
        Wake();
        const int64_t t = sampleClock_;
        if (lastSendTime_ > t)
            return;
        lastSendTime_ = t;
        if (kind == AK_CC)
        {
            const int v = Scaled(value, 127) << 7;
            if (v == *last)
                return;
            *last = v;
            SendController(t, code & 127, v);
            return;
        }
        if (code != lastNrpnCode_)
        {
            SendController(t, kind == AK_RPN ? 101 : 99, code & 0x3FFF);
            lastNrpnCode_ = code;
        }
        const int v = Scaled(value, 16383);
        if (v == *last)
            return;
        *last = v;
        SendController(t, 6, v);
        return;
    }
    case AK_SYSEX:
    {
        if (!sysexTemplate)
            return;
        unsigned char bytes[kMaxSysexBytes] = {};
        int size = 0;
        const int written = BuildSysex(sysexTemplate, value, bytes, size);
        if (written >= 0)
        {
            if (written == *last)
                return;
            *last = written;
        }
        if (size == 0)
            return;
        Wake();
        lastSendTime_ = sampleClock_;
        SendMidi(sampleClock_, bytes, size);
        return;
    }
    case AK_VOICE_PITCH:
        if (validKey)
            notePitch_[key] = value;
        return;
    case AK_VOICE_VELOCITY_ON:
        if (validKey)
            keyOnVelocity_[key] = value;
        return;
    case AK_VOICE_VELOCITY_OFF:
        if (validKey)
            keyOffVelocity_[key] = value;
        return;
    default:
        break;
    }

    unsigned char bytes[3] = {};
    const int channel = Channel();
    switch (kind)
    {
    case AK_BENDER:
    {
        const int v = Scaled(value, 16383);
        if (v == *last)
            return;
        *last = v;
        bytes[0] = static_cast<unsigned char>(0xE0 | channel);
        bytes[1] = static_cast<unsigned char>(v & 127);
        bytes[2] = static_cast<unsigned char>((v >> 7) & 127);
        break;
    }
    case AK_CHANNEL_PRESSURE:
    {
        const int v = Scaled(value, 127);
        if (v == *last)
            return;
        *last = v;
        bytes[0] = static_cast<unsigned char>(0xD0 | channel);
        bytes[1] = static_cast<unsigned char>(v);
        break;
    }
    case AK_VOICE_GATE:
    {
        if (!validKey)
            return;
        const int note = std::min(127, Scaled(notePitch_[key], 127));
        const bool on = value > 0.0f;
        bytes[0] = static_cast<unsigned char>((on ? 0x90 : 0x80) | channel);
        bytes[1] = static_cast<unsigned char>(note);
        bytes[2] = static_cast<unsigned char>(Scaled(on ? keyOnVelocity_[key] : keyOffVelocity_[key], 127));
        break;
    }
    case AK_VOICE_AFTERTOUCH:
    {
        if (!validKey)
            return;
        const int v = Scaled(value, 127);
        if (v == *last)
            return;
        *last = v;
        bytes[0] = static_cast<unsigned char>(0xA0 | channel);
        bytes[1] = static_cast<unsigned char>(key);
        bytes[2] = static_cast<unsigned char>(v);
        break;
    }
    default:
        return;
    }
    Wake();
    lastSendTime_ = sampleClock_;
    SendMidi(sampleClock_, bytes, 3);
}
