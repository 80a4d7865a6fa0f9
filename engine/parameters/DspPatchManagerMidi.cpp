// MIDI into automation: notes and pressure to the voice host controls,
// controllers (with RPN and NRPN data entry) to CC, RPN and NRPN automation,
// program changes, and the system-exclusive forms (per-voice messages,
// key-based instrument control, tuning). Every byte read is within size.
#include <cmath>
#include <algorithm>
#include <cstring>

#include "engine/parameters/DspPatchManager.h"
#include "engine/voices/IVoiceControl.h"
#include "engine/parameters/dsp_patch_parameter_base.h"
#include "engine/graph/ug_container.h"

namespace
{
constexpr int kCC = 0x02000000;
constexpr int kRPN = 0x03000000;
constexpr int kNRPN = 0x04000000;
constexpr int kSysex = 0x05000000;
constexpr int kBender = 0x06000000;
constexpr int kChannelPressure = 0x07000000;
constexpr int kVoicePitch = 0x13000000;
constexpr int kVoiceGate = 0x14000000;
constexpr int kVelocityKeyOn = 0x15000000;
constexpr int kVelocityKeyOff = 0x16000000;
constexpr int kAftertouch = 0x17000000;
constexpr int kPortamentoEnable = 0x1A140000;
constexpr int kPerVoiceControl = 0x1F000000;
constexpr int kUserControl2 = 0x1FCA0000;

// A 14-bit pitch bend, 0 to 16383, as 0 to 1, with the MIDI centre (8192,
// no bend) at exactly 0.5: a bend sent back to rest leaves notes in tune.
float BendNormalized(int bend)
{
    constexpr int kCentre = 8192;
    constexpr int kTop = 16383;
    if (bend <= kCentre)
        return static_cast<float>(bend) / (2 * kCentre);
    return 0.5f + static_cast<float>(bend - kCentre) / (2 * (kTop - kCentre));
}

int32_t ReadInt32(const unsigned char* bytes)
{
    int32_t value = 0;
    std::memcpy(&value, bytes, sizeof(value));
    return value;
}
} // namespace

void DspPatchManager::NoteOn(ug_container* container, int64_t time, int key, float velocity)
{
    vst_Automation(container, time, kVoicePitch + key, KeyPitch(key));
    vst_Automation(container, time, kVelocityKeyOn + key, velocity);
    vst_Automation(container, time, kAftertouch + key, 0.0f);
    vst_Automation(container, time, kVoiceGate + key, 1.0f);
}

void DspPatchManager::NoteOff(ug_container* container, int64_t time, int key, float velocity)
{
    vst_Automation(container, time, kVoiceGate + key, 0.0f);
    vst_Automation(container, time, kVelocityKeyOff + key, velocity);
}

void DspPatchManager::OnMidi(VoiceControlState* state, int64_t time, const unsigned char* bytes, int size,
                             bool fromMidiCv)
{
    if (!bytes || size < 1)
        return;
    ug_container* container = state ? state->container : container_;
    const int status = bytes[0] & 0xF0;
    if (bytes[0] == 0xF0)
    {
        OnSysex(container, time, bytes, size, fromMidiCv);
        return;
    }
    const int d1 = size > 1 ? bytes[1] & 0x7F : 0;
    const int d2 = size > 2 ? bytes[2] & 0x7F : 0;
    const bool voiceMessage = midiCvVoiceControl_ == fromMidiCv;
    // Messages that need data bytes they do not carry are ignored.
    const int needed = (status == 0xC0 || status == 0xD0) ? 2 : 3;
    if (status >= 0x80 && status < 0xF0 && size < needed)
        return;

    switch (status)
    {
    case 0x90:
        if (!voiceMessage)
            break;
        if (d2 == 0)
            NoteOff(container, time, d1, 0.0f);
        else
            NoteOn(container, time, d1, static_cast<float>(d2) / 127.0f);
        break;
    case 0x80:
        if (voiceMessage)
            NoteOff(container, time, d1, static_cast<float>(d2) / 127.0f);
        break;
    case 0xA0:
        if (voiceMessage)
            vst_Automation(container, time, kAftertouch + d1, static_cast<float>(d2) / 127.0f);
        break;
    case 0xD0:
        if (voiceMessage)
            vst_Automation(container, time, kChannelPressure, static_cast<float>(d1) / 127.0f);
        break;
    case 0xE0:
        if (voiceMessage)
            vst_Automation(container, time, kBender, BendNormalized(d1 + 128 * d2));
        break;
    case 0xC0:
        if (!fromMidiCv)
        {
            // The patch's own choice, unless the host chose that program already.
            midiChoice_ = true;
            setProgramDspThread(d1, time);
            midiChoice_ = false;
        }
        break;
    case 0xB0:
        OnController(container, time, d1, d2, fromMidiCv);
        break;
    default:
        break;
    }
}

bool DspPatchManager::ControllerStandsAt(int controller, int value)
{
    const auto range = AutomationRange(kCC + controller);
    bool any = false;
    for (auto it = range.first; it != range.second; ++it)
    {
        if (it->second->isPolyphonic())
            continue;
        // A message of value v sets the normalised value v / 127.
        if (static_cast<int>(std::lround(it->second->GetValueNormalised(0) * 127.0)) != value)
            return false;
        any = true;
    }
    return any;
}

void DspPatchManager::OnController(ug_container* container, int64_t time, int controller, int value,
                                   bool fromMidiCv)
{
    const bool voiceMessage = midiCvVoiceControl_ == fromMidiCv;
    switch (controller)
    {
    case 99:
    case 98:
    {
        const int current = nrpnNumber_ == kNoParameterNumber ? 0 : nrpnNumber_;
        nrpnNumber_ = static_cast<uint16_t>(controller == 99 ? (current & 0x7F) | (value << 7)
                                                             : (current & 0x3F80) | value);
        rpnNumber_ = kNoParameterNumber;
        return;
    }
    case 101:
    case 100:
    {
        const int current = rpnNumber_ == kNoParameterNumber ? 0 : rpnNumber_;
        rpnNumber_ = static_cast<uint16_t>(controller == 101 ? (current & 0x7F) | (value << 7)
                                                              : (current & 0x3F80) | value);
        nrpnNumber_ = kNoParameterNumber;
        return;
    }
    default:
        break;
    }

    if (!fromMidiCv)
    {
        if (controller == 6 || controller == 38)
        {
            // Data entry: MSB (6) or LSB (38) of the selected parameter number.
            const bool nrpn = nrpnNumber_ != kNoParameterNumber;
            const bool rpn = !nrpn && rpnNumber_ != kNoParameterNumber;
            const int slot = nrpn ? nrpnNumber_ : (rpn ? rpnNumber_ : 0) + 0x4000;
            int v = dataEntryValues_[static_cast<size_t>(slot & (kDataEntrySlots - 1))];
            v = controller == 6 ? (v & 0x7F) | (value << 7) : (v & 0x3F80) | value;
            dataEntryValues_[static_cast<size_t>(slot & (kDataEntrySlots - 1))] = static_cast<int16_t>(v);
            int code = kCC + controller;
            if (rpn)
                code = kRPN + rpnNumber_;
            else if (nrpn)
                code = kNRPN + nrpnNumber_;
            vst_Automation(container, time, code, static_cast<float>(v) / 16383.0f);
        }
        else if (controller < kControllerTableSize)
        {
            // MSB of a 14-bit controller; its LSB (controller + 32) is kept below.
            int v = controllerValues_[static_cast<size_t>(controller)];
            v = (v & 0x7F) | (value << 7);
            controllerValues_[static_cast<size_t>(controller)] = static_cast<int16_t>(v);
            vst_Automation(container, time, kCC + controller,
                           std::min(1.0f, static_cast<float>(value * 128) / 16256.0f));
        }
        else
        {
            if (controller >= 32 && controller < 64)
            {
                auto& v = controllerValues_[static_cast<size_t>(controller - 32)];
                v = static_cast<int16_t>((v & 0x3F80) | value);
            }
            vst_Automation(container, time, kCC + controller,
                           std::min(1.0f, static_cast<float>(value * 128) / 16256.0f));
        }
    }

    // The hold pedal sustains the voices whichever module makes their gate;
    // it reaches the voices by the same road as the notes.
    if ((controller == 64 || controller == 69) && voiceMessage)
    {
        if (fromMidiCv)
            vst_Automation(container, time, kCC + controller, static_cast<float>(value) / 127.0f);
        if (container)
            static_cast<IVoiceControl*>(container)->setHold(time, value > 63);
    }

    if ((controller == 120 || controller == 123) && voiceMessage)
    {
        for (int key = 0; key < kKeyCount; ++key)
        {
            vst_Automation(container, time, kVelocityKeyOff + key, 64.0f / 127.0f);
            vst_Automation(container, time, kVoiceGate + key, 0.0f);
        }
    }
}

void DspPatchManager::OnSysex(ug_container* container, int64_t time, const unsigned char* bytes, int size,
                              bool fromMidiCv)
{
    const bool voiceMessage = midiCvVoiceControl_ == fromMidiCv;
    if (size >= 20 && bytes[1] == 0x7F && bytes[2] == 0 && bytes[3] == 0x70 && bytes[4] == 0)
    {
        OnPerVoiceSysex(container, time, bytes, fromMidiCv);
        return;
    }
    if (size < 2)
        return;
    int manufacturer = bytes[1];
    if (manufacturer == 0)
        manufacturer = size >= 4 ? (bytes[2] << 8) | bytes[3] : -1;
    if (manufacturer == 0x41)
    {
        // The value is the third-last byte.
        if (size >= 4)
            vst_Automation(container, time, kSysex, static_cast<float>(bytes[size - 3]) / 255.0f);
        return;
    }
    if (manufacturer != 0x7F || !voiceMessage || size < 5)
        return;
    const int subId = bytes[3];
    if (subId == 0x0A)
    {
        if (size < 9)
            return;
        const int key = bytes[6] & 0x7F;
        const int controller = bytes[7];
        const float value = static_cast<float>(bytes[8] & 0x7F) / 127.0f;
        int code = -1;
        switch (controller)
        {
        case 7:
            code = kPerVoiceControl + (0 << 16);
            break;
        case 10:
            code = kPerVoiceControl + (1 << 16);
            break;
        case 1:
            code = kPerVoiceControl + (4 << 16);
            break;
        case 74:
            code = kPerVoiceControl + (5 << 16);
            break;
        case 77:
            code = kPerVoiceControl + (3 << 16);
            break;
        case 65:
            code = kPortamentoEnable;
            break;
        case 120:
            if (container)
                static_cast<IVoiceControl*>(container)->killVoice(time, key);
            return;
        default:
            return;
        }
        vst_Automation(container, time, code + key, value);
        return;
    }
    if (subId == 0x08)
    {
        tuningContainer_ = container_;
        OnMidiTuneMessage(time, bytes, size);
    }
}

void DspPatchManager::OnPerVoiceSysex(ug_container* container, int64_t time, const unsigned char* bytes,
                                      bool fromMidiCv)
{
    const bool voiceMessage = midiCvVoiceControl_ == fromMidiCv;
    const auto word1 = static_cast<uint32_t>(ReadInt32(bytes + 8));
    const auto word2 = static_cast<uint32_t>(ReadInt32(bytes + 12));
    const int status = static_cast<int>(word1 & 0xF0);
    const int key = static_cast<int>((word1 >> 16) & 0xFF);
    const auto value12 = static_cast<int>(word2 >> 20);
    switch (status)
    {
    case 0x90:
        if (voiceMessage && key < kKeyCount)
            NoteOn(container, time, key, static_cast<float>(value12) / 4095.0f);
        break;
    case 0x80:
        if (voiceMessage && key < kKeyCount)
            NoteOff(container, time, key, static_cast<float>(value12) / 4095.0f);
        break;
    case 0xB0:
    {
        const int controller = value12;
        const float value = static_cast<float>(word2 & 0xFFFFF) / 1048575.0f;
        if (key == 0xFF)
        {
            if (!fromMidiCv)
                vst_Automation(container, time, kCC + (controller & 0x7F), value);
            break;
        }
        if (!voiceMessage || key >= kKeyCount)
            break;
        if (controller == 300)
        {
            const int handle = container ? container->handle_ : -1;
            const int32_t raw = static_cast<int32_t>(word2 & 0xFFFFF);
            for (dsp_patch_parameter_base* parameter : polyphonicParameters_)
            {
                if (parameter->getAutomation() == kUserControl2 && parameter->getContainerHandle() == handle)
                    parameter->vst_automate2(time, key & 0x7F, &raw, sizeof(raw), true);
            }
            break;
        }
        // Only the per-voice controllers that exist (one byte of controller number).
        if (controller < 256)
            vst_Automation(container, time, kPerVoiceControl + controller * 65536 + key, value);
        break;
    }
    default:
        break;
    }
}
