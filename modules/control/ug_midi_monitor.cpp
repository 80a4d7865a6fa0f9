#include "modules/control/ug_midi_monitor.h"

#include <algorithm>
#include <charconv>
#include <cstdio>

#include "core/CModuleFactory.h"
#include "core/EPlugFlags.h"
#include "core/InterfaceObject.h"
#include "core/Module_Info.h"
#include "core/UnitClass.h"
#include "core/conversion.h"
#include "core/midi_defs.h"
#include "core/my_streams.h"
#include "engine/runtime/IKvAudioMaster.h"
#include "engine/runtime/IKvShellDsp.h"
#include "engine/events/KorvaneEvent.h"

namespace
{
constexpr int kBreakColumn = 40;
constexpr int kContinuationIndent = 28;
constexpr int kSysexBytesShown = 10;
constexpr int kControllerNameMax = 20;

// Byte i of the message, 0 past its end.
unsigned char At(int size, const unsigned char* data, int i)
{
    return i < size ? data[i] : 0;
}

void AppendSysex(int size, const unsigned char* data, ug_midi_monitor::Line& line)
{
    line.Append("SYSEX");
    for (int i = 0; i < std::min(size, kSysexBytesShown); ++i)
    {
        line.AppendChar(L' ');
        line.AppendHex(data[i]);
    }
    if (size > kSysexBytesShown)
        line.Append("...");
}

// MIDI Tuning Standard: true when the message was shown as a tuning line.
bool AppendTuning(int size, const unsigned char* data, ug_midi_monitor::Line& line)
{
    if (size < 5 || (data[1] & 0xFE) != 0x7E || data[3] != 8)
        return false;
    int first = -1; // index of the key byte of a single-note change
    switch (data[4])
    {
    case 1:
    case 4:
        line.Append("TUNE (BULK)");
        return true;
    case 2:
        if (size < 7)
            return false;
        if (data[6] > 1)
        {
            line.Append("TUNE (BULK)");
            return true;
        }
        first = 7;
        break;
    case 7:
        if (size < 8)
            return false;
        if (data[7] > 1)
        {
            line.Append("TUNE (BULK)");
            return true;
        }
        first = 8;
        break;
    default:
        return false;
    }
    if (size < first + 4)
        return false;
    const int key = data[first] & 0x7F;
    const int xx = data[first + 1] & 0x7F;
    const int yy = data[first + 2] & 0x7F;
    const int zz = data[first + 3] & 0x7F;
    line.Append("TUNE: k");
    line.AppendInt(key);
    line.AppendChar(L' ');
    line.AppendFloat(static_cast<double>((yy << 7) + (xx << 14) + zz) * 0.000061035156);
    return true;
}

void AppendSystem(int size, const unsigned char* data, ug_midi_monitor::Line& line)
{
    switch (data[0])
    {
    case 0xF0:
        if (!AppendTuning(size, data, line))
            AppendSysex(size, data, line);
        break;
    case 0xF1:
        line.Append("F1 ");
        line.AppendHex(At(size, data, 1));
        line.Append(" (MTC QF)");
        break;
    case 0xF2:
        line.Append("F2 ");
        line.AppendHex(At(size, data, 1));
        line.AppendHex(At(size, data, 2));
        line.Append(" (SPP)");
        break;
    case 0xF3:
        line.Append("F3 ");
        line.AppendHex(At(size, data, 1));
        line.Append(" (SS)");
        break;
    case 0xF6: line.Append("F6 - Tune Request"); break;
    case 0xF8: line.Append("F8 - CLOCK"); break;
    case 0xFA: line.Append("FA - CLOCK - Start"); break;
    case 0xFB: line.Append("FB - CLOCK - Continue"); break;
    case 0xFC: line.Append("FC - CLOCK - Stop"); break;
    case 0xFE: line.Append("FE - Active Sensing"); break;
    case 0xFF: line.Append("FF - System Reset"); break;
    default:
        line.Append("SYSTEM (");
        line.AppendHex(At(size, data, 1));
        line.AppendChar(L')');
        break;
    }
}

void AppendControllerName(int number, ug_midi_monitor::Line& line)
{
    if (number >= static_cast<int>(CONTROLLER_DESCRIPTION.size()))
        return;
    const std::wstring& description = CONTROLLER_DESCRIPTION[static_cast<size_t>(number)];
    const size_t dash = description.find(L'-');
    if (dash == std::wstring::npos)
    {
        line.Append(description.data(), static_cast<int>(description.size()));
        return;
    }
    const int count = std::min(kControllerNameMax, static_cast<int>(description.size() - dash));
    line.Append(description.data() + dash, count);
}

void AppendChannelMessage(int size, const unsigned char* data, ug_midi_monitor::Line& line)
{
    const int d1 = At(size, data, 1) & 0x7F;
    const int d2 = At(size, data, 2) & 0x7F;
    int kind = data[0] & 0xF0;
    if (kind == 0x90 && d2 == 0)
        kind = 0x80;

    line.AppendChar(L'C');
    line.AppendInt((data[0] & 0x0F) + 1);
    line.AppendChar(L' ');
    const auto pair = [&](const char* name) {
        line.Append(name);
        line.AppendInt(d1);
        line.AppendChar(L',');
        line.AppendInt(d2);
        line.AppendChar(L')');
    };
    switch (kind)
    {
    case 0x80: pair("Note Off  ("); break;
    case 0x90: pair("Note On  ("); break;
    case 0xA0: pair("Aftertouch  ("); break;
    case 0xB0:
        line.Append("CC");
        line.AppendInt(d1);
        line.AppendChar(L':');
        line.AppendInt(d2, 3);
        line.AppendChar(L' ');
        AppendControllerName(d1, line);
        break;
    case 0xC0:
        line.Append("Prg change  (");
        line.AppendInt(d1 + 1);
        line.AppendChar(L')');
        break;
    case 0xD0:
        line.Append("Channel Pressure  (");
        line.AppendInt(d1);
        line.AppendChar(L')');
        break;
    case 0xE0:
    {
        const int bend = ((d2 << 7) | d1) - 8192;
        line.Append("Bender  (");
        line.AppendInt(bend);
        line.Append(") ");
        line.AppendFloat(bend * 0.00012207031);
        break;
    }
    case 0x00: line.Append("Zeros bytes!"); break;
    default:
        // A data byte where a status byte was expected.
        line.Append("Byte = ");
        line.AppendHex(static_cast<unsigned>(kind));
        line.AppendChar(L' ');
        line.AppendHex(static_cast<unsigned>(d1));
        line.AppendChar(L' ');
        line.AppendHex(static_cast<unsigned>(d2));
        break;
    }
}
} // namespace

void ug_midi_monitor::Line::Append(const char* chars)
{
    while (*chars && length < kCapacity)
        text[length++] = static_cast<wchar_t>(static_cast<unsigned char>(*chars++));
}

void ug_midi_monitor::Line::Append(const wchar_t* chars, int count)
{
    for (int i = 0; i < count && length < kCapacity; ++i)
        text[length++] = chars[i];
}

void ug_midi_monitor::Line::AppendChar(wchar_t c)
{
    if (length < kCapacity)
        text[length++] = c;
}

void ug_midi_monitor::Line::AppendInt(int value, int width)
{
    char digits[24];
    std::snprintf(digits, sizeof(digits), "%*d", width, value);
    Append(digits);
}

void ug_midi_monitor::Line::AppendHex(unsigned value)
{
    char digits[24];
    std::snprintf(digits, sizeof(digits), "%x", value);
    Append(digits);
}

void ug_midi_monitor::Line::AppendFloat(double value)
{
    // Six significant digits, shortest form, with a decimal point whatever the host's locale.
    char digits[32];
    const auto written = std::to_chars(digits, digits + sizeof(digits) - 1, value, std::chars_format::general, 6);
    *(written.ec == std::errc() ? written.ptr : digits) = '\0';
    Append(digits);
}

void ug_midi_monitor::ListInterface2(std::vector<InterfaceObject*>& pins)
{
    pins.push_back(new InterfaceObject(nullptr, L"MIDI In", DR_IN, DT_MIDI2, L"", L"", 0, L"MIDI Input Plug"));
    pins.push_back(new InterfaceObject(&channel_, L"Channel", DR_IN, DT_ENUM, L"-1",
                                       L"All=-1,1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16",
                                       IO_POLYPHONIC_ACTIVE | IO_IGNORE_PATCH_CHANGE, L"MIDI Channel"));
}

int ug_midi_monitor::Open()
{
    ug_base::Open();
    init_controller_descriptions();
    static constexpr wchar_t kSoundOn[] = L"Sound ON";
    Print(kSoundOn, static_cast<int>(std::size(kSoundOn)) - 1);
    SetProcessFunction(&ug_base::process_sleep);
    return 0;
}

void ug_midi_monitor::HandleEvent(KorvaneEvent* event)
{
    if (event->eventType != UET_EVENT_MIDI)
    {
        ug_base::HandleEvent(event);
        return;
    }
    const int size = event->arg2;
    if (size > 4)
    {
        if (event->heapData)
            OnMidiData(size, reinterpret_cast<const unsigned char*>(event->heapData));
    }
    else if (size > 0)
    {
        OnMidiData(size, reinterpret_cast<const unsigned char*>(&event->arg3));
    }
}

void ug_midi_monitor::FormatMessage(int size, const unsigned char* data, Line& line)
{
    Line raw;
    if (data[0] >= 0xF0)
        AppendSystem(size, data, raw);
    else
        AppendChannelMessage(size, data, raw);

    BreakLongLine(raw, line);
}

void ug_midi_monitor::BreakLongLine(const Line& raw, Line& line)
{
    // A long line is broken once, the rest indented.
    line.length = 0;
    if (raw.length > kBreakColumn)
    {
        line.Append(raw.text, kBreakColumn);
        line.AppendChar(L'\n');
        for (int i = 0; i < kContinuationIndent; ++i)
            line.AppendChar(L' ');
        line.Append(raw.text + kBreakColumn, raw.length - kBreakColumn);
    }
    else
    {
        line.Append(raw.text, raw.length);
    }
    line.AppendChar(L'\n');
}

void ug_midi_monitor::OnMidiData(int size, const unsigned char* data)
{
    if (size < 1 || !data)
        return;
    Line line;
    FormatMessage(size, data, line);
    Print(line.text, line.length);
}

bool ug_midi_monitor::Print(const wchar_t* text, int count)
{
    IKvShellDsp* application = audioMaster_ ? audioMaster_->Application() : nullptr;
    my_output_stream* out = application ? application->MessageQueToGui() : nullptr;
    if (!out)
        return false;
    // The record reaches the batch whole or not at all.
    out->BeginRecord();
    *out << static_cast<int32_t>(handle_) << id_to_long("prnt") << static_cast<int32_t>(4 + 4 * count)
         << static_cast<int32_t>(count);
    for (int i = 0; i < count; ++i)
        *out << static_cast<int32_t>(text[i]);
    return out->EndRecord();
}

namespace
{
[[maybe_unused]] const bool registered = CModuleFactory::Instance()->RegisterModule(
    new Module_Info(L"MIDI Monitor", 477, 150, nullptr, &UnitClassOf<ug_midi_monitor>::value, 384));
}
