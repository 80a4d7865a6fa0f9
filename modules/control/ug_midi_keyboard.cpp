#include "modules/control/ug_midi_keyboard.h"

#include "core/CModuleFactory.h"
#include "core/EPlugFlags.h"
#include "core/InterfaceObject.h"
#include "core/Module_Info.h"
#include "core/UnitClass.h"

namespace
{
constexpr unsigned kKeyDownVelocity = 0x5A;
constexpr unsigned kKeyUpVelocity = 0x40;
} // namespace

ug_midi_keyboard::ug_midi_keyboard()
{
    SetProcessFunction(&ug_midi_keyboard::sub_process);
}

void ug_midi_keyboard::ListInterface2(std::vector<InterfaceObject*>& pins)
{
    pins.push_back(new InterfaceObject(&channel_, L"Channel", DR_IN, DT_ENUM, L"0",
                                       L"All=-1,1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16",
                                       IO_POLYPHONIC_ACTIVE | IO_IGNORE_PATCH_CHANGE, L"MIDI Channel"));
    pins.push_back(new InterfaceObject(nullptr, L"MIDI Out", DR_OUT, DT_MIDI2, L"", L"", 0));
}

void ug_midi_keyboard::OnUiNotify(int code, int key)
{
    if (code != NOTIFY_KEY_DOWN && code != NOTIFY_KEY_UP)
    {
        ug_base::OnUiNotify(code, key);
        return;
    }
    if (code == NOTIFY_KEY_UP && key < 0)
        return;

    Wake();
    SetProcessFunction(&ug_midi_keyboard::sub_process);
    const unsigned channel = channel_ < 0 ? 0u : static_cast<unsigned>(channel_ & 0x0F);
    const unsigned status = (code == NOTIFY_KEY_DOWN ? 0x90u : 0x80u) | channel;
    const unsigned velocity = code == NOTIFY_KEY_DOWN ? kKeyDownVelocity : kKeyUpVelocity;
    OnMidiData(status | (static_cast<unsigned>(key & 0x7F) << 8) | (velocity << 16), 0);
}

void ug_midi_keyboard::OnMidiData(unsigned message, long long /*time*/)
{
    if (count_ == kQueueCapacity)
        return;
    pending_[static_cast<size_t>((head_ + count_) % kQueueCapacity)] = message;
    ++count_;
}

void ug_midi_keyboard::sub_process(int /*start*/, int /*count*/)
{
    while (count_ > 0)
    {
        const uint32_t packed = pending_[static_cast<size_t>(head_)];
        head_ = (head_ + 1) % kQueueCapacity;
        --count_;
        const unsigned char message[3] = {static_cast<unsigned char>(packed & 0xFF),
                                          static_cast<unsigned char>((packed >> 8) & 0xFF),
                                          static_cast<unsigned char>((packed >> 16) & 0xFF)};
        plugs_[PN_MIDI_OUT]->Transmit(sampleClock_, 3, message);
    }
    SleepMode();
}

namespace
{
[[maybe_unused]] const bool registered = CModuleFactory::Instance()->RegisterModule(
    new Module_Info(L"KeyBoard", 464, 32828, nullptr, &UnitClassOf<ug_midi_keyboard>::value, 384));
}
