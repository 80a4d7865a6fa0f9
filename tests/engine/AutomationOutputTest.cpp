// The MIDI echo of automated parameters: controllers, (N)RPN, SysEx from a
// template, bender, pressure and notes, with repeats suppressed per parameter.
#include <gtest/gtest.h>

#include "engine/AutomatorRig.h"
#include "engine/GraphRig.h"
#include "engine/parameters/ug_midi_automator.h"
#include "engine/parameters/ug_patch_automator.h"

using kvtest::GraphRig;
using kvtest::MidiLogger;
using Bytes = std::vector<unsigned char>;

namespace
{
struct OutputRig
{
    OutputRig()
    {
        out = static_cast<ug_patch_automator_out*>(
            CModuleFactory::Instance()->GetById(L"MIDI Automator Output")->BuildSynthOb());
        g.top->AddUG(out);
        out->SetupWithoutCug();
        logger = g.Add<MidiLogger>();
        ug_base::connect(out->GetPlug(ug_patch_automator_out::PN_MIDI_OUT), logger->plugs_[0]);
        g.BuildAndOpen();
    }
    // Lets the posted messages arrive.
    std::vector<Bytes> Delivered()
    {
        g.Run(g.master.BlockSize());
        return logger->messages;
    }
    void Send(float value, int code, int* last, int key = 0, const wchar_t* sysex = nullptr)
    {
        out->SendAutomation2(value, key, code, sysex, false, last);
    }

    GraphRig g;
    ug_patch_automator_out* out;
    MidiLogger* logger;
};
} // namespace

TEST(AutomationOutput, TheSameControllerValueIsSentOnceButEachParameterKeepsItsOwnLast)
{
    OutputRig r;
    int lastA = -1;
    int lastB = -1;
    r.Send(0.5f, 0x02000007, &lastA);
    r.Send(0.5f, 0x02000007, &lastA);
    r.Send(0.5f, 0x02000007, &lastB);
    const auto got = r.Delivered();
    ASSERT_EQ(got.size(), 2u);
    const int v = static_cast<int>(127 * 0.5f + 0.5f);
    EXPECT_EQ(got[0], (Bytes{0xB0, 7, static_cast<unsigned char>(v)}));
    EXPECT_EQ(got[1], got[0]);
}

TEST(AutomationOutput, AnRpnSendsItsNumberOnceThenOnlyTheDataEntryPair)
{
    OutputRig r;
    int last = -1;
    const int number = 0x0123;
    r.Send(0.25f, 0x03000000 | number, &last);
    r.Send(1.0f, 0x03000000 | number, &last);
    const auto got = r.Delivered();
    ASSERT_EQ(got.size(), 6u);
    const int v1 = static_cast<int>(16383 * 0.25f + 0.5f);
    EXPECT_EQ(got[0], (Bytes{0xB0, 101, number >> 7}));
    EXPECT_EQ(got[1], (Bytes{0xB0, 100, number & 127}));
    EXPECT_EQ(got[2], (Bytes{0xB0, 6, static_cast<unsigned char>(v1 >> 7)}));
    EXPECT_EQ(got[3], (Bytes{0xB0, 38, static_cast<unsigned char>(v1 & 127)}));
    EXPECT_EQ(got[4], (Bytes{0xB0, 6, 127}));
    EXPECT_EQ(got[5], (Bytes{0xB0, 38, 127}));
}

TEST(AutomationOutput, ASysexChecksumMakesTheBytesFromTheSixthOnSumToAMultipleOf128)
{
    OutputRig r;
    int last = -1;
    r.out->setMidiChannel(3);
    r.Send(0.8f, 0x05000000, &last, 0, L"F0 41 1m 42 12 40 00 7F v SS F7");
    r.Send(0.8f, 0x05000000, &last, 0, L"F0 41 1m 42 12 40 00 7F v SS F7");
    const auto got = r.Delivered();
    ASSERT_EQ(got.size(), 1u);
    const Bytes& m = got[0];
    ASSERT_EQ(m.size(), 11u);
    EXPECT_EQ(m[0], 0xF0);
    EXPECT_EQ(m[2], 0x13);
    EXPECT_EQ(m[8], static_cast<int>(127 * 0.8f + 0.5f));
    int sum = 0;
    for (size_t i = 5; i < 10; ++i)
        sum += m[i];
    EXPECT_EQ(sum % 128, 0);
    EXPECT_EQ(m[10], 0xF7);
}

TEST(AutomationOutput, ChannelAllSendsOnChannelOneAndProgramChangesIgnoreTheChannel)
{
    OutputRig r;
    int last = -1;
    r.out->setMidiChannel(-1);
    r.Send(1.0f, 0x02000001, &last);
    r.out->setMidiChannel(5);
    r.out->sendProgramChange(9);
    const auto got = r.Delivered();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0], (Bytes{0xB0, 1, 127}));
    EXPECT_EQ(got[1], (Bytes{0xC0, 9, 0}));
}

TEST(AutomationOutput, BenderPressureAndNotesCarryTheirScaledValues)
{
    OutputRig r;
    int last = -1;
    int lastPressure = -1;
    int lastAfter = -1;
    r.out->setMidiChannel(1);
    r.Send(0.5f, 0x06000000, &last);
    r.Send(0.5f, 0x07000000, &lastPressure);
    r.Send(64 / 127.0f, 0x13000000, nullptr, 40);
    r.Send(0.75f, 0x15000000, nullptr, 40);
    r.Send(1.0f, 0x14000000, nullptr, 40);
    r.Send(0.0f, 0x14000000, nullptr, 40);
    r.Send(0.5f, 0x17000000, &lastAfter, 41);
    r.Send(1.0f, 0x14000000, nullptr, 500);
    const auto got = r.Delivered();
    ASSERT_EQ(got.size(), 5u);
    const int bend = static_cast<int>(16383 * 0.5f + 0.5f);
    EXPECT_EQ(got[0], (Bytes{0xE1, static_cast<unsigned char>(bend & 127), static_cast<unsigned char>(bend >> 7)}));
    EXPECT_EQ(got[1], (Bytes{0xD1, 64, 0}));
    EXPECT_EQ(got[2], (Bytes{0x91, 64, static_cast<unsigned char>(127 * 0.75f + 0.5f)}));
    EXPECT_EQ(got[3], (Bytes{0x81, 64, 64}));
    EXPECT_EQ(got[4], (Bytes{0xA1, 41, 64}));
}

TEST(AutomationOutput, SendAllOnlyGoesOutWhenTheAutomatorAsksForIt)
{
    OutputRig r;
    int last = -1;
    r.out->SendAutomation2(1.0f, 0, 0x02000002, nullptr, true, &last);
    r.out->SendAutomation2(1.0f, 0, 0x01000002, nullptr, false, &last);
    r.out->SendAutomation2(1.0f, 0, 0x18000002, nullptr, false, &last);
    EXPECT_TRUE(r.Delivered().empty());
}
