#include "core/midi_defs.h"

#include "core/it_enum_list.h"

#include <cstdio>
#include <mutex>

namespace
{
struct ControllerXmlName
{
    const char* name;
    int kind;
};

const ControllerXmlName controllerInfo[] = {
    {"CC", ControllerType::CC},
    {"RPN", ControllerType::RPN},
    {"NRPN", ControllerType::NRPN},
    {"Voice/Trigger", ControllerType::Trigger},
    {"Voice/Gate", ControllerType::Gate},
    {"Voice/Pitch", ControllerType::VoicePitch},
    {"Voice/VelocityKeyOn", ControllerType::VelocityKeyOn},
    {"Voice/VelocityKeyOff", ControllerType::VelocityKeyOff},
    {"Voice/Aftertouch", ControllerType::PolyAftertouch},
    {"Voice/Active", ControllerType::Active},
    {"Bender", ControllerType::Bender},
    {"ChannelPressure", ControllerType::ChannelPressure},
    {"GlideStartPitch", ControllerType::GlideStartPitch},
};
} // namespace

bool XmlStringToController(const std::string& text, int& kind)
{
    kind = ControllerType::None;
    if (text.empty())
        return true;
    for (const auto& row : controllerInfo)
    {
        if (text == row.name)
        {
            kind = row.kind;
            return true;
        }
    }
    return false;
}

std::string XmlStringFromController(int kind)
{
    for (const auto& row : controllerInfo)
    {
        if (row.kind == kind)
            return row.name;
    }
    return {};
}

const wchar_t* const CONTROLLER_ENUM_LIST =
    L"<none>=-1,0 - Bank Select,1 - Mod Wheel,2 - Breath,3,4 - Foot pedal,5 - Portamento Time,6 - Data Entry Slider,7 - Volume,8 - Balance,9,10 - Pan,11 - Expression,12 - Effect 1 Control,13 - Effect 2 Control,14,15,16 - General Purpose Slider,17 - General Purpose Slider,18 - General Purpose Slider,19 - General Purpose Slider,20,21,22,23,24,25,26,27,28,29,30,31,32,33 - Mod Wheel LSB=33,34 - Breath LSB,35 - LSB,36 - Foot LSB,37 - Portamento Time LSB,38 - Data Entry Slider LSB,39 - Volume LSB,40 - Balance LSB,41,42 - Pan LSB=42,43 - Expression LSB,44 - Effect 1 LSB,45 - Effect 2 LSB,46,47,48 - General Purpose LSB=48,49 - General Purpose LSB,50 - General Purpose LSB,51 - General Purpose LSB,52,53,54,55,56,57,58,59,60,61,62,63,64 - Hold Pedal=64,65 - Portamento,66 - Sustenuto,67 - Soft pedal,68 - Legato,69 - Hold 2 Pedal,70 - Sound Variation,71 - Sound Timbre,72 - Release Time,73 - Attack Time,74 - Sound Brightness,75 - Sound Control,76 - Sound Control,77 - Sound Control,78 - Sound Control,79 - Sound Control,80 - General Purpose button,81 - General Purpose button,82 - General Purpose button,83 - General Purpose button,84,85,86,87,88,89,90,91 - Effects Level,92 - Tremelo Level,93 - Chorus Level,94 - Celeste level,95 - phaser level,96 - Data button Increment,97 - data button decrement,98 - NRPN LO,98/99 - NRPN HI,100 - RPN LO,100/101 - RPN HI,102=102,103,104,105,106,107,108,109,110,111,112,113,114,115,116,117,118,119,120 - All sound off,121 - All controllers off,122 - local keybord on/off,123 - All notes off,124 - Omni Off,125 - Omni on,126 - Monophonic,127 - Polyphonic";

std::vector<std::wstring> CONTROLLER_DESCRIPTION;

void init_controller_descriptions()
{
    // Modules of several plug-in instances may open at once: fill exactly once.
    static std::once_flag once;
    std::call_once(once, [] {
        constexpr int count = 128;
        if (CONTROLLER_DESCRIPTION.size() == count)
            return;
        CONTROLLER_DESCRIPTION.assign(count, std::wstring());

        it_enum_list items(CONTROLLER_ENUM_LIST);
        for (items.First(); !items.IsDone(); items.Next())
        {
            const int value = items.CurrentItem()->value;
            if (value >= 0 && value < count)
                CONTROLLER_DESCRIPTION[value] = items.CurrentItem()->text;
        }

        for (int i = 0; i < count; ++i)
        {
            if (CONTROLLER_DESCRIPTION[i].empty())
            {
                wchar_t text[8];
                std::swprintf(text, 8, L"CC%3d", i);
                CONTROLLER_DESCRIPTION[i] = text;
            }
        }
    });
}

void cntrl_update_lsb(unsigned short& value, short lsb)
{
    value = static_cast<unsigned short>((value & 0x3F80) + lsb);
}

void cntrl_update_msb(unsigned short& value, short msb)
{
    value = static_cast<unsigned short>((msb << 7) | (value & 0x7F));
}

void cntrl_update_lsb(short& value, short lsb)
{
    value = static_cast<short>((value & 0x3F80) + lsb);
}

void cntrl_update_msb(short& value, short msb)
{
    value = static_cast<short>((msb << 7) | (value & 0x7F));
}

float cntrl_to_fsample(short value)
{
    return static_cast<float>(value / 16256.0);
}
