// The kvhost command end to end: a render to a WAV file with state saved and
// restored, and clear failures for bad input and for a plug-in that fails
// any of the calls a host makes.

#include <gtest/gtest.h>

#include <sstream>

#include "ShellTestSupport.h"
#include "tools/kvhost/CommandLine.h"

using namespace shell_test;

namespace
{
struct Outcome
{
    int code;
    std::string out;
    std::string err;
};

Outcome RunKvHost(const std::vector<std::string>& arguments)
{
    std::ostringstream out;
    std::ostringstream err;
    const int code = RunHostCommand(arguments, out, err);
    return {code, out.str(), err.str()};
}

std::string SmallMidiFile()
{
    // Format 0, 96 ticks a quarter, 120 bpm: A4 for one quarter (0.5 s).
    const unsigned char bytes[] = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0, 96,
                                   'M', 'T', 'r', 'k', 0, 0, 0, 12,
                                   0x00, 0x90, 69, 127, 0x60, 0x80, 69, 0, 0x00, 0xFF, 0x2F, 0x00};
    return std::string(reinterpret_cast<const char*>(bytes), sizeof(bytes));
}
} // namespace

TEST(KvHostCommand, RendersANoteListToAWavFileAndReportsItsLevels)
{
    ScratchFolder scratch;
    WriteText(scratch.path() / "notes.txt", "0 note_on 69 127\n0.5 note_off 69\n");
    const auto wav = scratch.file("out.wav");
    const auto result = RunKvHost({kTestSineBundle, "--notes", scratch.file("notes.txt"), "--out", wav, "--rate", "44100",
                             "--block", "100", "--tail", "0.5", "--format", "pcm16"});
    ASSERT_EQ(result.code, kHostOk) << result.err;
    EXPECT_NE(result.out.find(wav), std::string::npos);
    // Gain 0.5 for half of one second: peak 0.5 (-6.02 dBFS), RMS 0.5 / 2.
    EXPECT_NE(result.out.find("peak -6.0"), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("RMS -12.0"), std::string::npos) << result.out;
    // 44100 frames of two 16-bit channels after a 44-byte header.
    EXPECT_EQ(fs::file_size(wav), 44u + 44100u * 2 * 2);
}

TEST(KvHostCommand, PlaysAMidiFile)
{
    ScratchFolder scratch;
    WriteText(scratch.path() / "a.mid", SmallMidiFile());
    const auto result = RunKvHost({kTestSineBundle, "--midi", scratch.file("a.mid"), "--out", scratch.file("a.wav"),
                             "--tail", "0"});
    ASSERT_EQ(result.code, kHostOk) << result.err;
    EXPECT_NE(result.out.find("0.500 s"), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("peak -6.0"), std::string::npos) << result.out;
}

TEST(KvHostCommand, SavedStateLoadsBackUnchanged)
{
    ScratchFolder scratch;
    WriteText(scratch.path() / "notes.txt", "0 param 0 0.3\n");
    const auto first = RunKvHost({kTestSineBundle, "--notes", scratch.file("notes.txt"), "--save-state",
                            scratch.file("one.state"), "--seconds", "0.01"});
    ASSERT_EQ(first.code, kHostOk) << first.err;
    EXPECT_NE(first.out.find("(no output file)"), std::string::npos);
    const auto second = RunKvHost({kTestSineBundle, "--load-state", scratch.file("one.state"), "--save-state",
                             scratch.file("two.state"), "--seconds", "0", "--connect", "controller-first"});
    ASSERT_EQ(second.code, kHostOk) << second.err;
    EXPECT_EQ(ReadText(scratch.path() / "one.state"), ReadText(scratch.path() / "two.state"));
    EXPECT_EQ(ReadText(scratch.path() / "one.state").size(), 8u);
}

TEST(KvHostCommand, BadInputFailsClearlyBeforeAnythingIsRendered)
{
    ScratchFolder scratch;
    WriteText(scratch.path() / "cut.txt", "0 note_on 60 100\n0.5 note_off");
    std::string midi = SmallMidiFile();
    WriteText(scratch.path() / "cut.mid", midi.substr(0, midi.size() - 5));
    WriteText(scratch.path() / "junk.mid", "this is not MIDI at all");

    const std::pair<std::vector<std::string>, const char*> cases[] = {
        {{scratch.file("Missing.vst3")}, "no such plug-in"},
        {{KV_NO_FACTORY_MODULE}, "GetPluginFactory"},
        {{kTestSineBundle, "--notes", scratch.file("cut.txt")}, "line 2"},
        {{kTestSineBundle, "--midi", scratch.file("cut.mid")}, "truncated"},
        {{kTestSineBundle, "--midi", scratch.file("junk.mid")}, "no MThd"},
        {{kTestSineBundle, "--notes", scratch.file("none.txt")}, "none.txt"},
        {{kTestSineBundle, "--load-state", scratch.file("none.state")}, "none.state"},
        {{kTestSineBundle, "--out", scratch.file("no/such/folder.wav")}, "cannot create"},
        {{kTestSineBundle, "--load-state", scratch.file("cut.txt")}, "setState"},
    };
    for (const auto& [arguments, expected] : cases)
    {
        const auto result = RunKvHost(arguments);
        EXPECT_EQ(result.code, kHostFailed) << expected;
        EXPECT_NE(result.err.find(expected), std::string::npos) << expected << " -> " << result.err;
    }
}

TEST(KvHostCommand, ACommandLineItCannotReadGivesUsage)
{
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{}, {"--rate"}, {"b.vst3", "--rate", "0"}, {"b.vst3", "--block", "-4"},
          {"b.vst3", "--format", "mp3"}, {"b.vst3", "--bogus"}, {"a.vst3", "b.vst3"},
          {"b.vst3", "--notes", "n", "--midi", "m"}, {"b.vst3", "--rate", "44100,5"}})
    {
        const auto result = RunKvHost(arguments);
        EXPECT_EQ(result.code, kHostUsage);
        EXPECT_NE(result.err.find("usage: kvhost"), std::string::npos);
    }
    EXPECT_EQ(RunKvHost({"--help"}).code, kHostOk);
}

TEST(KvHostCommand, APluginThatFailsAnyHostCallGivesAClearFailure)
{
    ScratchFolder scratch;
    const std::pair<const char*, const char*> cases[] = {
        {"entry", "ModuleEntry"},
        {"createProcessor", "creating the processor"},
        {"nullInstance", "no object"},
        {"initialize", "processor initialize"},
        {"createController", "creating the controller"},
        {"controllerInitialize", "controller initialize"},
        {"connect", "connecting processor and controller"},
        {"getState", "getState"},
        {"setComponentState", "setComponentState"},
        {"setupProcessing", "setupProcessing"},
        {"setActive", "setActive"},
        {"setProcessing", "setProcessing"},
        {"process", "process failed"},
    };
    int count = 0;
    for (const auto& [call, expected] : cases)
    {
        const auto bundle =
            MakeTestSineBundle(scratch.path(), "Fail" + std::to_string(count++), TestSineFactoryXml("V", call));
        const auto result = RunKvHost({bundle, "--seconds", "0.01"});
        EXPECT_EQ(result.code, kHostFailed) << call;
        EXPECT_NE(result.err.find(expected), std::string::npos) << call << " -> " << result.err;
    }

    // A state the plug-in refuses on restore.
    const auto bundle = MakeTestSineBundle(scratch.path(), "FailSetState", TestSineFactoryXml("V", "setState"));
    const auto saved = RunKvHost({kTestSineBundle, "--seconds", "0", "--save-state", scratch.file("good.state")});
    ASSERT_EQ(saved.code, kHostOk) << saved.err;
    const auto result = RunKvHost({bundle, "--load-state", scratch.file("good.state")});
    EXPECT_EQ(result.code, kHostFailed);
    EXPECT_NE(result.err.find("setState failed"), std::string::npos) << result.err;
}
