// "MIDI Monitor": the text line of each MIDI message and its record to the editor.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "core/CModuleFactory.h"
#include "core/Module_Info.h"
#include "core/StagingMemoryBuffer.h"
#include "core/conversion.h"
#include "engine/runtime/AudioMasterBase.h"
#include "engine/runtime/IKvShellDsp.h"
#include "modules/control/ug_midi_monitor.h"

namespace
{
class BatchShell : public IKvShellDsp
{
public:
    my_output_stream* MessageQueToGui() override { return &stream; }
    void ServiceDspRingBuffers() override {}
    void RequestQue(QueClient*, bool) override {}
    void NeedTempo() override {}
    std::wstring ResolveFilename(const std::wstring& name, const std::wstring&) override { return name; }
    std::wstring getDefaultPath(const std::wstring&) override { return {}; }

    StagingMemoryBuffer buffer;
    StagingMemoryBufferOutputStream stream{&buffer};
};

struct MonitorRig
{
    MonitorRig() : master(44100.0f, &shell)
    {
        master.SetBlockSize(32);
        master.ResetBlockLoop();
        monitor.reset(static_cast<ug_midi_monitor*>(
            CModuleFactory::Instance()->GetById(L"MIDI Monitor")->BuildSynthOb()));
        monitor->Setup(&master, nullptr);
        monitor->Open();
    }
    ~MonitorRig() { monitor.reset(); }

    // Every record in the batch as its text, checking each record's fields.
    std::vector<std::wstring> Lines() const
    {
        std::vector<std::wstring> lines;
        const unsigned char* p = shell.buffer.data_;
        uint32_t at = 0;
        const auto next = [&] {
            int32_t v = 0;
            std::memcpy(&v, p + at, 4);
            at += 4;
            return v;
        };
        while (at + 16 <= shell.buffer.used_)
        {
            EXPECT_EQ(next(), monitor->handle_);
            EXPECT_EQ(next(), 0x70726E74);
            const int32_t length = next();
            const int32_t count = next();
            EXPECT_EQ(length, 4 + 4 * count);
            std::wstring text;
            for (int i = 0; i < count && at + 4 <= shell.buffer.used_; ++i)
                text.push_back(static_cast<wchar_t>(next()));
            lines.push_back(text);
        }
        EXPECT_EQ(at, shell.buffer.used_);
        return lines;
    }
    // The line shown for one message.
    std::wstring Show(std::vector<unsigned char> bytes)
    {
        shell.buffer.Clear();
        monitor->SetPinValue(master.SampleClock(), ug_midi_monitor::PN_MIDI_IN, DT_MIDI2, bytes.data(),
                             static_cast<int>(bytes.size()));
        master.DoProcessVST(32);
        const auto lines = Lines();
        return lines.size() == 1 ? lines[0] : L"<" + std::to_wstring(lines.size()) + L" records>";
    }

    BatchShell shell;
    AudioMasterBase master;
    std::unique_ptr<ug_midi_monitor> monitor;
};
} // namespace

TEST(MidiMonitor, OpeningSendsSoundOnAndSleeps)
{
    MonitorRig rig;
    EXPECT_EQ(rig.Lines(), std::vector<std::wstring>{L"Sound ON"});
    EXPECT_EQ(rig.monitor->GetProcessFunction(), static_cast<ug_base::process_func_ptr>(&ug_base::process_sleep));
}

TEST(MidiMonitor, ChannelMessagesShowTheirChannelKindAndData)
{
    MonitorRig rig;
    EXPECT_EQ(rig.Show({0x99, 36, 0}), L"C10 Note Off  (36,0)\n");
    EXPECT_EQ(rig.Show({0x90, 60, 100}), L"C1 Note On  (60,100)\n");
    EXPECT_EQ(rig.Show({0xA1, 60, 30}), L"C2 Aftertouch  (60,30)\n");
    EXPECT_EQ(rig.Show({0xB0, 7, 5}), L"C1 CC7:  5 - Volume\n");
    EXPECT_EQ(rig.Show({0xB0, 1, 64}), L"C1 CC1: 64 - Mod Wheel\n");
    EXPECT_EQ(rig.Show({0xBF, 3, 127}), L"C16 CC3:127 3\n");
    EXPECT_EQ(rig.Show({0xB0, 16, 1}), L"C1 CC16:  1 - General Purpose Sl\n");
    EXPECT_EQ(rig.Show({0xC0, 0}), L"C1 Prg change  (1)\n");
    EXPECT_EQ(rig.Show({0xD2, 100}), L"C3 Channel Pressure  (100)\n");
    EXPECT_EQ(rig.Show({0xE0, 0x00, 0x40}), L"C1 Bender  (0) 0\n");
    EXPECT_EQ(rig.Show({0xE0, 0x00, 0x00}), L"C1 Bender  (-8192) -1\n");
    EXPECT_EQ(rig.Show({0xE0, 0x7F, 0x7F}), L"C1 Bender  (8191) 0.999878\n");
    EXPECT_EQ(rig.Show({0x05, 1, 2}), L"C6 Zeros bytes!\n");
    EXPECT_EQ(rig.Show({0x35, 0x12, 0x7F}), L"C6 Byte = 30 12 7f\n");
}

TEST(MidiMonitor, SystemMessagesShowWithoutAChannel)
{
    MonitorRig rig;
    EXPECT_EQ(rig.Show({0xF8}), L"F8 - CLOCK\n");
    EXPECT_EQ(rig.Show({0xFC}), L"FC - CLOCK - Stop\n");
    EXPECT_EQ(rig.Show({0xF1, 0x23}), L"F1 23 (MTC QF)\n");
    EXPECT_EQ(rig.Show({0xF2, 0x01, 0x2A}), L"F2 12a (SPP)\n");
    EXPECT_EQ(rig.Show({0xF5}), L"SYSTEM (0)\n");
    EXPECT_EQ(rig.Show({0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0x5A, 0xF7}),
              L"SYSEX f0 41 10 42 12 40 0 7f 0 41...\n");
    EXPECT_EQ(rig.Show({0xF0, 0x7D, 0xF7}), L"SYSEX f0 7d f7\n");
}

TEST(MidiMonitor, TuningMessagesShowTheKeyAndSemitonesOrBulk)
{
    MonitorRig rig;
    EXPECT_EQ(rig.Show({0xF0, 0x7F, 0x00, 0x08, 0x02, 0x00, 0x01, 60, 60, 64, 0, 0xF7}), L"TUNE: k60 60.5\n");
    EXPECT_EQ(rig.Show({0xF0, 0x7E, 0x00, 0x08, 0x07, 0x00, 0x00, 0x01, 61, 61, 0, 64, 0xF7}),
              L"TUNE: k61 61.0039\n");
    EXPECT_EQ(rig.Show({0xF0, 0x7E, 0x00, 0x08, 0x01, 0x00, 0x01, 0x02, 0xF7}), L"TUNE (BULK)\n");
    EXPECT_EQ(rig.Show({0xF0, 0x7F, 0x00, 0x08, 0x02, 0x00, 0x02, 60, 60, 64, 0, 61, 0, 0, 0, 0xF7}),
              L"TUNE (BULK)\n");
    // Too short for the change it announces, or of an unknown kind: shown as raw bytes.
    EXPECT_EQ(rig.Show({0xF0, 0x7F, 0x00, 0x08, 0x02, 0x00, 0x01, 60, 0xF7}), L"SYSEX f0 7f 0 8 2 0 1 3c f7\n");
    EXPECT_EQ(rig.Show({0xF0, 0x7E, 0x00, 0x08, 0x03, 0x00, 0xF7}), L"SYSEX f0 7e 0 8 3 0 f7\n");
}

TEST(MidiMonitor, ALineLongerThanFortyCharactersIsBrokenOnceAndIndented)
{
    ug_midi_monitor::Line raw;
    for (int i = 0; i < 100; ++i)
        raw.AppendChar(static_cast<wchar_t>(L'a' + i % 26));
    ug_midi_monitor::Line line;
    ug_midi_monitor::BreakLongLine(raw, line);
    const std::wstring text(line.text, static_cast<size_t>(line.length));
    const std::wstring whole(raw.text, static_cast<size_t>(raw.length));
    EXPECT_EQ(text, whole.substr(0, 40) + L"\n" + std::wstring(28, L' ') + whole.substr(40) + L"\n");

    raw.length = 40;
    ug_midi_monitor::BreakLongLine(raw, line);
    EXPECT_EQ(std::wstring(line.text, static_cast<size_t>(line.length)), whole.substr(0, 40) + L"\n");
}

TEST(MidiMonitor, ARecordThatDoesNotFitIsLeftOutWhole)
{
    MonitorRig rig;
    rig.shell.buffer.Clear();
    // Room for the header but not for the text.
    rig.shell.buffer.used_ = StagingMemoryBuffer::kCapacity - 30;
    const unsigned char note[3] = {0x90, 60, 100};
    rig.monitor->SetPinValue(0, ug_midi_monitor::PN_MIDI_IN, DT_MIDI2, note, 3);
    rig.master.DoProcessVST(32);
    EXPECT_EQ(rig.shell.buffer.used_, StagingMemoryBuffer::kCapacity - 30);
    // A short record still fits the room that is left, a second one does not.
    EXPECT_TRUE(rig.monitor->Print(L"x", 1));
    EXPECT_EQ(rig.shell.buffer.used_, StagingMemoryBuffer::kCapacity - 10);
    EXPECT_FALSE(rig.monitor->Print(L"x", 1));
    EXPECT_EQ(rig.shell.buffer.used_, StagingMemoryBuffer::kCapacity - 10);
}
