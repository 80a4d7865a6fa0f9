#include "modules/control/ug_midi_controllers.h"

#include <algorithm>

#include "core/CModuleFactory.h"
#include "core/InterfaceObject.h"
#include "core/Module_Info.h"
#include "core/UnitClass.h"
#include "core/midi_defs.h"
#include "engine/runtime/IKvAudioMaster.h"
#include "engine/graph/USampBlock.h"

namespace
{
constexpr float kBendScale = 1.0f / 8192.0f;
constexpr float kFourteenBitFullScale = 16256.0f; // MSB 127, LSB 0
constexpr int kLsbOffset = 32;
constexpr int kFirstNonPairedController = 64;
} // namespace

ug_midi_controllers::ug_midi_controllers()
{
    SetProcessFunction(&ug_midi_controllers::sub_process);
}

void ug_midi_controllers::ListInterface2(std::vector<InterfaceObject*>& pins)
{
    pins.push_back(new InterfaceObject(nullptr, L"MIDI In", DR_IN, DT_MIDI2, L"0", L"", 0));
    pins.push_back(new InterfaceObject(&channel_, L"Channel", DR_IN, DT_ENUM, L"-1",
                                       L"All=-1,1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16",
                                       IO_POLYPHONIC_ACTIVE | IO_IGNORE_PATCH_CHANGE, L"MIDI Channel"));
    const wchar_t* defaults[kControllerCount] = {L"1", L"2", L"3", L"4"};
    for (int n = 0; n < kControllerCount; ++n)
    {
        pins.push_back(new InterfaceObject(&type_[static_cast<size_t>(n)], L"Type", DR_IN, DT_ENUM, defaults[n],
                                           CONTROLLER_ENUM_LIST, IO_POLYPHONIC_ACTIVE,
                                           L"Choose which MIDI controller you want converted to a Voltage output"));
    }
    pins.push_back(new InterfaceObject(nullptr, L"Aftertouch", DR_OUT, DT_FSAMPLE, L"", L"", 0, L"",
                                       &outputBuffers_[OUT_AFTERTOUCH]));
    pins.push_back(new InterfaceObject(nullptr, L"Bender", DR_OUT, DT_FSAMPLE, L"", L"", 0, L"",
                                       &outputBuffers_[OUT_BENDER]));
    for (int n = 0; n < kControllerCount; ++n)
    {
        pins.push_back(new InterfaceObject(nullptr, L"Controller", DR_OUT, DT_FSAMPLE, L"", L"", 0, L"",
                                           &outputBuffers_[static_cast<size_t>(OUT_CONTROLLER0 + n)]));
    }
}

int ug_midi_controllers::Open()
{
    ug_midi_device::Open();

    const int blockSize = audioMaster_->BlockSize();
    // Every change ramps over a sixtieth of a second.
    rampLength_ = std::max(1, static_cast<int>(SampleRate()) / 60);

    // Made here, never on the audio thread.
    outputs_.assign(OUT_COUNT, smart_output());
    for (int i = 0; i < OUT_COUNT; ++i)
    {
        smart_output& out = outputs_[static_cast<size_t>(i)];
        out.plug_ = plugs_[static_cast<size_t>(PN_AFTERTOUCH + i)];
        out.buffer_ = outputBuffers_[static_cast<size_t>(i)];
        out.staticCountdown_ = blockSize;
        out.isStatic_ = false; // the first run writes 0 and announces it static
        out.curve_ = smart_output::CURVE_LINEAR;
    }
    value_.fill(0);

    SetProcessFunction(&ug_midi_controllers::sub_process);
    return 0;
}

void ug_midi_controllers::Resume(int64_t time)
{
    ug_midi_device::Resume(time);
    const int blockSize = audioMaster_ ? audioMaster_->BlockSize() : 0;
    for (smart_output& out : outputs_)
    {
        if (out.staticCountdown_ > 0)
            out.staticCountdown_ = blockSize;
    }
}

void ug_midi_controllers::OnMidiData(int size, unsigned char* data)
{
    if (size < 2 || !data)
        return;
    // Data bytes have their top bit clear; anything else is not a channel message.
    const int d1 = data[1];
    const int d2 = size >= 3 ? data[2] : 0;
    if (d1 > 0x7F || d2 > 0x7F)
        return;

    switch (data[0] & 0xF0)
    {
    case 0xE0:
        if (size >= 3)
            ChangeOutput(sampleClock_, plugs_[PN_BENDER], static_cast<float>((d2 << 7) + d1 - 8192) * kBendScale);
        break;
    case 0xD0:
        ChangeOutput(sampleClock_, plugs_[PN_AFTERTOUCH], static_cast<float>(d1) / 127.0f);
        break;
    case 0xB0:
        if (size >= 3)
            OnController(d1, d2);
        break;
    default:
        break;
    }
}

void ug_midi_controllers::OnController(int number, int data)
{
    for (int n = 0; n < kControllerCount; ++n)
    {
        const auto i = static_cast<size_t>(n);
        UPlug* pin = plugs_[static_cast<size_t>(PN_CONTROLLER0 + n)];
        if (type_[i] == number)
        {
            cntrl_update_msb(value_[i], static_cast<short>(data));
            ChangeOutput(sampleClock_, pin, static_cast<float>(value_[i]) / kFourteenBitFullScale);
        }
        // Controllers 0 to 31 take their fine part from number + 32.
        if (number < kFirstNonPairedController && type_[i] >= 0 && type_[i] + kLsbOffset == number)
        {
            cntrl_update_lsb(value_[i], static_cast<short>(data));
            ChangeOutput(sampleClock_, pin, static_cast<float>(value_[i]) / kFourteenBitFullScale);
        }
    }
}

void ug_midi_controllers::ChangeOutput(int64_t time, UPlug* pin, float value)
{
    SetProcessFunction(&ug_midi_controllers::sub_process);
    for (smart_output& out : outputs_)
    {
        if (out.plug_ != pin)
            continue;
        out.Set(time, value, rampLength_);
        out.staticCountdown_ = audioMaster_->BlockSize();
        return;
    }
}

void ug_midi_controllers::sub_process(int start, int count)
{
    bool working = false;
    for (smart_output& out : outputs_)
    {
        if (!out.isStatic_)
        {
            working = true;
            if (!out.process(start, count))
            {
                out.isStatic_ = true;
                out.staticCountdown_ = audioMaster_->BlockSize();
            }
        }
        else if (out.staticCountdown_ > 0)
        {
            working = true;
            std::fill(out.buffer_ + start, out.buffer_ + start + std::min(out.staticCountdown_, count), out.value_);
            out.staticCountdown_ -= count;
        }
    }
    if (!working)
        SetProcessFunction(&ug_base::process_sleep);
}

namespace
{
[[maybe_unused]] const bool registered = CModuleFactory::Instance()->RegisterModule(
    new Module_Info(L"Controllers", 431, 292, nullptr, &UnitClassOf<ug_midi_controllers>::value, 256));
}
