// The patch manager: the preset state document written and read back, MIDI
// turned into automation (notes, controllers, RPN and NRPN, learn, tuning,
// system exclusive), programs and the editor's channel and program messages.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "core/QueMessage.h"
#include "core/StagingMemoryBuffer.h"
#include "engine/PatchRig.h"

using kvtest::PatchDocument;
using kvtest::PatchRig;

namespace
{
// Per-key parameters of the top container (handle 1) for the voice controls,
// and plain ones for RPN 0, NRPN 5 and controllers 38, 70 and 102.
const char* kVoiceParameters =
    "<P DataType=\"22\" Handle=\"100\" Index=\"0\" RangeMaximum=\"10\"/>"
    "<P DataType=\"22\" Handle=\"200\" isPolyphonic=\"1\" VoiceCount=\"128\" PatchCount=\"1\" ContainerHandle=\"1\" "
    "RangeMaximum=\"1\" Automation=\"335544320\"/>"
    "<P DataType=\"22\" Handle=\"201\" isPolyphonic=\"1\" VoiceCount=\"128\" PatchCount=\"1\" ContainerHandle=\"1\" "
    "RangeMaximum=\"1\" Automation=\"369098752\"/>"
    "<P DataType=\"22\" Handle=\"202\" isPolyphonic=\"1\" VoiceCount=\"128\" PatchCount=\"1\" ContainerHandle=\"1\" "
    "RangeMaximum=\"1\" Automation=\"318767104\"/>"
    "<P DataType=\"22\" Handle=\"203\" RangeMaximum=\"1\" Automation=\"50331648\"/>"
    "<P DataType=\"22\" Handle=\"204\" RangeMaximum=\"1\" Automation=\"67108869\"/>"
    "<P DataType=\"22\" Handle=\"205\" RangeMaximum=\"1\" Automation=\"33554470\"/>"
    "<P DataType=\"22\" Handle=\"206\" RangeMaximum=\"1\" Automation=\"33554502\"/>"
    "<P DataType=\"22\" Handle=\"207\" RangeMaximum=\"1\" Automation=\"33554534\"/>"
    "<P DataType=\"22\" Handle=\"208\" RangeMaximum=\"1\" Automation=\"83886080\"/>";

float Value(PatchRig& rig, int handle, int key = 0)
{
    return rig.typed<dsp_patch_parameter_float>(handle)->GetValue(key);
}

void Midi(PatchRig& rig, std::vector<unsigned char> bytes)
{
    rig.manager()->OnMidi(nullptr, rig.master()->SampleClock(), bytes.data(), static_cast<int>(bytes.size()), false);
}

// The signal value of a tuning in 1/16384 semitones: 69 semitones is 0.5.
float Pitch(double tuneUnits)
{
    return static_cast<float>((tuneUnits / 16384.0 / 12.0 - 0.75) * 0.1);
}
} // namespace

TEST(PresetState, TheDocumentListsEveryParameterWithHandleIndexAndValue)
{
    PatchRig rig;
    ASSERT_TRUE(rig.built);
    std::string text;
    rig.manager()->getPresetState(text);
    // A patch of several programs names the one that plays.
    EXPECT_EQ(text, "<?xml version=\"1.0\" ?>\n"
                    "<Parameters program=\"0\">\n"
                    " <Param id=\"100\" index=\"0\" val=\"2.5\" />\n"
                    " <Param id=\"101\" index=\"1\" val=\"0\" />\n"
                    " <Param id=\"102\" val=\"hello world\" />\n"
                    " <Param id=\"103\" index=\"2\" val=\"0\" />\n"
                    " <Param id=\"104\" index=\"3\" val=\"0\" />\n"
                    " <Param id=\"105\" index=\"4\" val=\"0\" />\n"
                    " <Param id=\"106\" val=\"AQID\" />\n"
                    "</Parameters>\n");
}

TEST(PresetState, ValuesWrittenAndReadBackAreTheSameBitForBit)
{
    PatchRig first;
    ASSERT_TRUE(first.built);
    const float awkward = 0.1234567f * 3.0f;
    first.typed<dsp_patch_parameter_float>(100)->SetValue(awkward, 0, 0);
    first.typed<dsp_patch_parameter_float>(101)->SetValue(1.0e-7f, 0, 0);
    first.typed<dsp_patch_parameter_text>(102)->SetValue(L"\u00e9t\u00e9 <&> \"x\"", 0, 0);
    first.typed<dsp_patch_parameter_int>(103)->SetValue(7, 0, 0);
    first.typed<dsp_patch_parameter_enum>(104)->SetValue(2, 0, 0);
    first.typed<dsp_patch_parameter_bool>(105)->SetValue(true, 0, 0);
    first.typed<dsp_patch_parameter_blob>(106)->SetValue(MpBlob(5, "\x00\xff\x10\x20\x30"), 0, 0);
    std::string text;
    first.manager()->getPresetState(text);

    PatchRig second;
    ASSERT_TRUE(second.built);
    second.manager()->setPresetState(text);
    const float a = second.typed<dsp_patch_parameter_float>(100)->GetValue(0);
    const float b = second.typed<dsp_patch_parameter_float>(101)->GetValue(0);
    EXPECT_EQ(std::memcmp(&a, &awkward, 4), 0);
    const float tiny = 1.0e-7f;
    EXPECT_EQ(std::memcmp(&b, &tiny, 4), 0);
    EXPECT_EQ(second.typed<dsp_patch_parameter_text>(102)->GetValue(0), L"\u00e9t\u00e9 <&> \"x\"");
    EXPECT_EQ(second.typed<dsp_patch_parameter_int>(103)->GetValue(0), 7);
    EXPECT_EQ(second.typed<dsp_patch_parameter_enum>(104)->GetValue(0), 2);
    EXPECT_TRUE(second.typed<dsp_patch_parameter_bool>(105)->GetValue(0));
    const MpBlob blob = second.typed<dsp_patch_parameter_blob>(106)->GetValue(0);
    ASSERT_EQ(blob.getSize(), 5);
    EXPECT_EQ(std::memcmp(blob.getData(), "\x00\xff\x10\x20\x30", 5), 0);
    std::string again;
    second.manager()->getPresetState(again);
    EXPECT_EQ(again, text);

    // The restored value reaches the module.
    second.Run(512);
    EXPECT_EQ(second.recorder()->floatIn_, awkward);
}

TEST(PresetState, TextsComeBackWithEveryBlankAndCharacterTheyWereSavedWith)
{
    // Runs and ends of blanks, line ends, tabs, character references and a
    // text longer than the graph's text room, which is cut to it.
    const std::vector<std::wstring> texts = {L"a  b",     L"  lead",   L"trail  ", L"\t",         L"\n\r\n",
                                             L" ",        L"",         L"x]]>  y", L"&#x41;&amp;", L"'q  '  ",
                                             std::wstring(1500, L'w')};
    for (const std::wstring& saved : texts)
    {
        PatchRig first;
        ASSERT_TRUE(first.built);
        auto* parameter = first.typed<dsp_patch_parameter_text>(102);
        parameter->SetValue(saved, 0, 0);
        std::string text;
        first.manager()->getPresetState(text);

        PatchRig second;
        ASSERT_TRUE(second.built);
        second.manager()->setPresetState(text);
        const std::wstring kept = saved.substr(0, static_cast<size_t>(second.master()->TextRoom()));
        EXPECT_EQ(second.typed<dsp_patch_parameter_text>(102)->GetValue(0), kept) << text;
        // What the module gets is the same text.
        second.Run(512);
        second.Run(512);
        EXPECT_EQ(second.recorder()->textIn_, saved.substr(0, static_cast<size_t>(second.master()->TextRoom())));
    }
}

TEST(PresetState, WithAProgramOtherThanZeroTheStateCarriesWhatIsHeard)
{
    PatchRig first;
    ASSERT_TRUE(first.built);
    first.manager()->setProgramDspThread(1);
    std::string text;
    first.manager()->getPresetState(text);
    EXPECT_NE(text.find("<Param id=\"100\" index=\"0\" val=\"7.5\" />"), std::string::npos);

    PatchRig second(PatchDocument(kvtest::kStandardParameters, " Program=\"2\""));
    ASSERT_TRUE(second.built);
    ASSERT_EQ(second.manager()->getProgram(), 2);
    second.manager()->setPresetState(text);
    second.Run(512);
    EXPECT_FLOAT_EQ(second.recorder()->floatIn_, 7.5f);
    // Other programs keep their own values.
    EXPECT_FLOAT_EQ(second.typed<dsp_patch_parameter_float>(100)->GetValue(0, 0), 2.5f);
}

TEST(PresetState, BrokenOrForeignDocumentsChangeNothing)
{
    PatchRig rig;
    ASSERT_TRUE(rig.built);
    std::string before;
    rig.manager()->getPresetState(before);
    rig.manager()->setPresetState("<Parameters><Param id=\"100\" val=\"9\"");
    rig.manager()->setPresetState("");
    rig.manager()->setPresetState("<Other><Param id=\"100\" val=\"9\"/></Other>");
    rig.manager()->setPresetState("<Parameters><Param id=\"999\" val=\"9\"/><Param id=\"100\"/>"
                                  "<Param val=\"9\"/></Parameters>");
    std::string after;
    rig.manager()->getPresetState(after);
    EXPECT_EQ(after, before);
}

TEST(PresetState, PolyphonicParametersAreWrittenButNotRead)
{
    PatchRig rig(PatchDocument(kVoiceParameters));
    ASSERT_TRUE(rig.built);
    std::string text;
    rig.manager()->getPresetState(text);
    EXPECT_NE(text.find("<Param id=\"200\" val=\"0\" />"), std::string::npos);
    rig.manager()->setPresetState("<Parameters><Param id=\"200\" val=\"1\"/></Parameters>");
    EXPECT_FLOAT_EQ(Value(rig, 200, 0), 0.0f);
}

TEST(PatchManagerMidi, NotesDriveTheVoiceControlsAndVelocityZeroIsANoteOff)
{
    PatchRig rig(PatchDocument(kVoiceParameters));
    ASSERT_TRUE(rig.built);
    Midi(rig, {0x90, 69, 100});
    EXPECT_FLOAT_EQ(Value(rig, 200, 69), 1.0f);
    EXPECT_FLOAT_EQ(Value(rig, 202, 69), 0.5f);
    Midi(rig, {0x90, 69, 0});
    EXPECT_FLOAT_EQ(Value(rig, 200, 69), 0.0f);
    EXPECT_FLOAT_EQ(Value(rig, 201, 69), 0.0f);
    Midi(rig, {0x90, 60, 90});
    Midi(rig, {0x80, 60, 64});
    EXPECT_FLOAT_EQ(Value(rig, 201, 60), 64.0f / 127.0f);
    // Truncated messages are ignored.
    Midi(rig, {0x90, 61});
    EXPECT_FLOAT_EQ(Value(rig, 200, 61), 0.0f);
}

TEST(PatchManagerMidi, DataEntryFollowsTheSelectedRpnOrNrpn)
{
    PatchRig rig(PatchDocument(kVoiceParameters));
    ASSERT_TRUE(rig.built);
    Midi(rig, {0xB0, 101, 0});
    Midi(rig, {0xB0, 100, 0});
    Midi(rig, {0xB0, 6, 2});
    EXPECT_FLOAT_EQ(Value(rig, 203), 2.0f * 128.0f / 16383.0f);
    Midi(rig, {0xB0, 38, 5});
    EXPECT_FLOAT_EQ(Value(rig, 203), (2.0f * 128.0f + 5.0f) / 16383.0f);

    // Selecting an NRPN clears the RPN.
    Midi(rig, {0xB0, 99, 0});
    Midi(rig, {0xB0, 98, 5});
    Midi(rig, {0xB0, 6, 64});
    EXPECT_FLOAT_EQ(Value(rig, 204), 64.0f * 128.0f / 16383.0f);
    EXPECT_FLOAT_EQ(Value(rig, 203), (2.0f * 128.0f + 5.0f) / 16383.0f);
}

TEST(PatchManagerMidi, ControllersBeyondTheTableOfThirtyTwoAreSafe)
{
    PatchRig rig(PatchDocument(kVoiceParameters));
    ASSERT_TRUE(rig.built);
    // 38 without a selected parameter number is the LSB of controller 6's
    // 14-bit value.
    Midi(rig, {0xB0, 38, 100});
    EXPECT_FLOAT_EQ(Value(rig, 205), 100.0f / 16383.0f);
    Midi(rig, {0xB0, 70, 127});
    EXPECT_FLOAT_EQ(Value(rig, 206), 1.0f);
    Midi(rig, {0xB0, 102, 64});
    EXPECT_FLOAT_EQ(Value(rig, 207), std::min(1.0f, 64.0f * 128.0f / 16256.0f));
}

TEST(PatchManagerMidi, LearnBindsTheNextControllerAndTellsTheEditor)
{
    PatchRig rig(PatchDocument(kVoiceParameters));
    ASSERT_TRUE(rig.built);
    rig.runtime.ServiceDspRingBuffers();
    rig.sender.batches.clear();
    dsp_patch_parameter_base* level = rig.parameter(100);
    rig.manager()->vst_setAutomationId(level, -2);
    EXPECT_EQ(rig.manager()->LearnParameter(), level);
    Midi(rig, {0xB0, 21, 127});
    EXPECT_EQ(level->getAutomation(), 0x02000015);
    EXPECT_EQ(rig.manager()->LearnParameter(), nullptr);
    // The learning message itself already moves the parameter.
    EXPECT_FLOAT_EQ(Value(rig, 100), 10.0f);
    rig.runtime.ServiceDspRingBuffers();
    bool found = false;
    for (const auto& batch : rig.sender.batches)
    {
        for (size_t at = 0; at + 16 <= batch.size(); ++at)
        {
            int32_t header[4];
            std::memcpy(header, batch.data() + at, 16);
            found = found || (header[0] == 100 && header[1] == QueMessageId::lern && header[2] == 4 &&
                              header[3] == 0x02000015);
        }
    }
    EXPECT_TRUE(found);
}

TEST(PatchManagerMidi, ASingleNoteTuningChangeRetunesThatKey)
{
    PatchRig rig(PatchDocument(kVoiceParameters));
    ASSERT_TRUE(rig.built);
    Midi(rig, {0x90, 60, 100});
    EXPECT_FLOAT_EQ(Value(rig, 202, 60), Pitch(60 * 16384.0));
    // Key 60 to 61 semitones plus 8192/16384.
    Midi(rig, {0xF0, 0x7F, 0x7F, 0x08, 0x02, 0x00, 0x01, 60, 61, 64, 0, 0xF7});
    EXPECT_FLOAT_EQ(Value(rig, 202, 60), Pitch(61 * 16384.0 + 64 * 128.0));
    // A change message that claims more entries than it holds stops at its end.
    Midi(rig, {0xF0, 0x7F, 0x7F, 0x08, 0x02, 0x00, 0x7F, 62, 62});
    EXPECT_EQ(rig.manager()->KeyTune(62), 62 * 16384);
}

TEST(PatchManagerMidi, ShortOrUnknownSystemExclusiveIsIgnored)
{
    PatchRig rig(PatchDocument(kVoiceParameters));
    ASSERT_TRUE(rig.built);
    Midi(rig, {0xF0});
    Midi(rig, {0xF0, 0x41});
    Midi(rig, {0xF0, 0x7F, 0x7F, 0x0A});
    Midi(rig, {0xF0, 0x7F, 0x7F, 0x08, 0x01, 0x00});
    Midi(rig, {0xF0, 0x00, 0x00});
    EXPECT_FLOAT_EQ(Value(rig, 208), 0.0f);
    // Manufacturer 0x41: the third-last byte over 255.
    Midi(rig, {0xF0, 0x41, 0x10, 0x42, 0x12, 200, 0x00, 0xF7});
    EXPECT_FLOAT_EQ(Value(rig, 208), 200.0f / 255.0f);
}

TEST(PatchManagerPrograms, ProgramsBeyondThePatchCountAreRefusedAndTheEditorHearsTheCurrentOne)
{
    PatchRig rig;
    ASSERT_TRUE(rig.built);
    rig.manager()->setProgramDspThread(3);
    EXPECT_EQ(rig.manager()->getProgram(), 3);
    rig.manager()->setProgramDspThread(4);
    rig.manager()->setProgramDspThread(-1);
    EXPECT_EQ(rig.manager()->getProgram(), 3);
    Midi(rig, {0xC0, 100});
    EXPECT_EQ(rig.manager()->getProgram(), 3);
    Midi(rig, {0xC0, 1});
    EXPECT_EQ(rig.manager()->getProgram(), 1);
    rig.runtime.ServiceDspRingBuffers();
    int pat2 = 0;
    for (const auto& batch : rig.sender.batches)
    {
        for (size_t at = 0; at + 16 <= batch.size(); at += 16)
        {
            int32_t header[4];
            std::memcpy(header, batch.data() + at, 16);
            pat2 += header[1] == QueMessageId::pat2 ? 1 : 0;
        }
    }
    EXPECT_EQ(pat2, 5);
}

TEST(PatchManagerPrograms, EditorChannelAndProgramMessagesAreApplied)
{
    PatchRig rig;
    ASSERT_TRUE(rig.built);
    const int32_t channel = 5;
    const int32_t program = 2;
    const int32_t badProgram = 400;
    WriteQueMessage(rig.runtime.QueueFromGui(), 1, QueMessageId::setc, &channel, 4);
    WriteQueMessage(rig.runtime.QueueFromGui(), 1, QueMessageId::setp, &badProgram, 4);
    WriteQueMessage(rig.runtime.QueueFromGui(), 1, QueMessageId::setp, &program, 2);
    rig.runtime.QueueFromGui().Send();
    rig.runtime.ServiceDspRingBuffers();
    EXPECT_EQ(rig.manager()->getMidiChannel(), 5);
    EXPECT_EQ(rig.manager()->getProgram(), 0);

    rig.manager()->OnUiMsg(QueMessageId::setp, *std::make_unique<StagingMemoryBufferInputStream>(&program, 4));
    EXPECT_EQ(rig.manager()->getProgram(), 2);
}

TEST(PatchManagerMidi, PerVoiceSystemExclusiveStartsAndEndsNotesOnItsKey)
{
    PatchRig rig(PatchDocument(kVoiceParameters));
    ASSERT_TRUE(rig.built);
    auto message = [](uint32_t word1, uint32_t word2) {
        std::vector<unsigned char> bytes(20, 0);
        bytes[0] = 0xF0;
        bytes[1] = 0x7F;
        bytes[3] = 0x70;
        std::memcpy(bytes.data() + 8, &word1, 4);
        std::memcpy(bytes.data() + 12, &word2, 4);
        bytes[19] = 0xF7;
        return bytes;
    };
    Midi(rig, message(0x90u | (64u << 16), 2048u << 20));
    EXPECT_FLOAT_EQ(Value(rig, 200, 64), 1.0f);
    Midi(rig, message(0x80u | (64u << 16), 1024u << 20));
    EXPECT_FLOAT_EQ(Value(rig, 200, 64), 0.0f);
    EXPECT_FLOAT_EQ(Value(rig, 201, 64), 1024.0f / 4095.0f);
    // A key beyond 127 is refused; one byte short is not this message.
    Midi(rig, message(0x90u | (200u << 16), 4095u << 20));
    auto shortMessage = message(0x90u | (65u << 16), 4095u << 20);
    shortMessage.pop_back();
    Midi(rig, shortMessage);
    EXPECT_FLOAT_EQ(Value(rig, 200, 65), 0.0f);
}

TEST(PatchManagerMidi, AllNotesOffReleasesEveryKey)
{
    PatchRig rig(PatchDocument(kVoiceParameters));
    ASSERT_TRUE(rig.built);
    Midi(rig, {0x90, 10, 100});
    Midi(rig, {0x90, 127, 100});
    Midi(rig, {0xB0, 123, 0});
    EXPECT_FLOAT_EQ(Value(rig, 200, 10), 0.0f);
    EXPECT_FLOAT_EQ(Value(rig, 200, 127), 0.0f);
    EXPECT_FLOAT_EQ(Value(rig, 201, 127), 64.0f / 127.0f);
}
