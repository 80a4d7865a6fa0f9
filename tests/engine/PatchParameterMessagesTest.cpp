// The records a patch parameter exchanges with the editor: values from the
// editor for the current and other patches, bad records, "ppc" records of
// dirty values, learn codes, SysEx templates and metadata.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "core/QueMessage.h"
#include "core/StagingMemoryBuffer.h"
#include "core/my_streams.h"
#include "core/parameter_description.h"
#include "engine/PatchRig.h"

using kvtest::Payload;
using kvtest::PatchDocument;
using kvtest::PatchRig;
using kvtest::Record;
using kvtest::RecordsFor;

TEST(PatchParameterMessages, MidiAutomationIsReportedToTheEditorOnce)
{
    PatchRig rig;
    ASSERT_TRUE(rig.built);
    rig.Run(512);
    rig.runtime.ServiceDspRingBuffers();
    rig.sender.batches.clear();

    // Controller 7 drives the int parameter of range 0..10.
    const unsigned char cc[3] = {0xB0, 7, 64};
    rig.manager()->OnMidi(nullptr, rig.master()->SampleClock(), cc, 3, false);
    const int expectedValue = static_cast<int>(10.0f * std::min(1.0f, 64.0f * 128.0f / 16256.0f));
    EXPECT_EQ(rig.typed<dsp_patch_parameter_int>(103)->GetValue(0), expectedValue);
    rig.runtime.ServiceDspRingBuffers();
    const auto records = RecordsFor(rig.sender, 103, QueMessageId::ppc);
    ASSERT_EQ(records.size(), 1u);
    Payload expected;
    // A move of its own, which the host hears of too.
    expected << QueMessageId::kOwnMove << int32_t{0} << int32_t{0} << int32_t{expectedValue} << int32_t{-1};
    EXPECT_EQ(records[0].payload, expected.data);
    rig.sender.batches.clear();
    rig.runtime.ServiceDspRingBuffers();
    EXPECT_TRUE(RecordsFor(rig.sender, 103, QueMessageId::ppc).empty());
}

TEST(PatchParameterMessages, AnEditorValueForTheCurrentPatchReachesThePinAndIsNotEchoed)
{
    PatchRig rig;
    ASSERT_TRUE(rig.built);
    rig.Run(512);
    Record record;
    record << static_cast<uint8_t>(0) << int32_t{0} << 4.0f;
    record.SendTo(rig.runtime, 100, QueMessageId::ppc);
    rig.sender.batches.clear();
    rig.runtime.ServiceDspRingBuffers();
    rig.Run(512);
    EXPECT_FLOAT_EQ(rig.recorder()->floatIn_, 4.0f);
    rig.runtime.ServiceDspRingBuffers();
    EXPECT_TRUE(RecordsFor(rig.sender, 100, QueMessageId::ppc).empty());
}

TEST(PatchParameterMessages, AnEditorValueForAnotherPatchIsStoredAndHeardAfterTheProgramChange)
{
    PatchRig rig;
    ASSERT_TRUE(rig.built);
    rig.Run(512);
    Record record;
    record << static_cast<uint8_t>(0) << int32_t{3} << 6.0f;
    record.SendTo(rig.runtime, 100, QueMessageId::ppc);
    rig.runtime.ServiceDspRingBuffers();
    rig.Run(512);
    EXPECT_FLOAT_EQ(rig.recorder()->floatIn_, 2.5f);
    EXPECT_FLOAT_EQ(rig.typed<dsp_patch_parameter_float>(100)->GetValue(0, 3), 6.0f);

    const size_t before = rig.recorder()->changes.size();
    rig.manager()->setProgramDspThread(2);
    rig.Run(512);
    // Patch 2 holds 1.0, patch 3 holds 1.0 for the host index parameter too.
    EXPECT_FLOAT_EQ(rig.recorder()->floatIn_, 1.0f);
    EXPECT_GT(rig.recorder()->changes.size(), before);
    rig.manager()->setProgramDspThread(3);
    rig.Run(512);
    EXPECT_FLOAT_EQ(rig.recorder()->floatIn_, 6.0f);
}

TEST(PatchParameterMessages, BadEditorRecordsChangeNothingAndTheQueueStaysInStep)
{
    PatchRig rig;
    ASSERT_TRUE(rig.built);
    rig.Run(512);
    Record truncated;
    truncated << static_cast<uint8_t>(0) << int32_t{0} << static_cast<uint16_t>(0x4040);
    truncated.SendTo(rig.runtime, 100, QueMessageId::ppc);
    Record badPatch;
    badPatch << static_cast<uint8_t>(0) << int32_t{4} << 9.0f;
    badPatch.SendTo(rig.runtime, 100, QueMessageId::ppc);
    Record negativePatch;
    negativePatch << static_cast<uint8_t>(0) << int32_t{-1} << 9.0f;
    negativePatch.SendTo(rig.runtime, 100, QueMessageId::ppc);
    Record hugeText;
    hugeText << static_cast<uint8_t>(0) << int32_t{0} << int32_t{0x7FFFFFFF} << int32_t{65};
    hugeText.SendTo(rig.runtime, 102, QueMessageId::ppc);
    Record good;
    good << static_cast<uint8_t>(0) << int32_t{0} << 3.0f << int32_t{12345};
    good.SendTo(rig.runtime, 100, QueMessageId::ppc);
    rig.runtime.ServiceDspRingBuffers();
    rig.Run(512);

    auto* level = rig.typed<dsp_patch_parameter_float>(100);
    EXPECT_FLOAT_EQ(level->GetValue(0, 0), 3.0f);
    for (int p = 1; p < 4; ++p)
        EXPECT_NE(level->GetValue(0, p), 9.0f);
    EXPECT_EQ(rig.typed<dsp_patch_parameter_text>(102)->GetValue(0, 0), L"hello world");
    EXPECT_FLOAT_EQ(rig.recorder()->floatIn_, 3.0f);
}

TEST(PatchParameterMessages, DirtyPatchesAreReportedHighestFirstAndSpreadOverBatchesWhenShort)
{
    PatchRig rig;
    ASSERT_TRUE(rig.built);
    auto* level = rig.typed<dsp_patch_parameter_float>(100);
    level->Storage(0)->setDirty(1, true);
    level->Storage(0)->setDirty(3, true);
    // flag + end + two entries of key, patch and 4 bytes.
    EXPECT_EQ(level->queryQueMessageLength(9988), 5 + 2 * 12);
    EXPECT_EQ(level->queryQueMessageLength(5 + 12), 17);

    StagingMemoryBuffer buffer;
    StagingMemoryBufferOutputStream out(&buffer);
    level->getQueMessage(out, 17);
    Payload expected;
    expected << int32_t{100} << QueMessageId::ppc << int32_t{17} << static_cast<uint8_t>(1) << int32_t{0}
             << int32_t{3} << 1.0f << int32_t{-1};
    ASSERT_EQ(buffer.used_, expected.data.size());
    EXPECT_EQ(std::vector<unsigned char>(buffer.data_, buffer.data_ + buffer.used_), expected.data);
    // Patch 1 is still to come.
    EXPECT_TRUE(level->Storage(0)->isDirty(1));
    EXPECT_FALSE(level->Storage(0)->isDirty(3));
    EXPECT_EQ(level->queryQueMessageLength(9988), 17);

    auto* text = rig.typed<dsp_patch_parameter_text>(102);
    text->SetValue(L"ab", 0, 0);
    text->Storage(0)->setDirty(0, true);
    EXPECT_EQ(text->queryQueMessageLength(9988), 5 + 8 + 4 + 8);
}

TEST(PatchParameterMessages, EditorMessagesSetAutomationSysexTemplateAndMetadata)
{
    PatchRig rig;
    ASSERT_TRUE(rig.built);
    Record ccid;
    ccid << int32_t{0x02000010};
    ccid.SendTo(rig.runtime, 100, QueMessageId::CCID);
    Record ccsx;
    ccsx << int32_t{2} << static_cast<int32_t>(L'F') << static_cast<int32_t>(L'0');
    ccsx.SendTo(rig.runtime, 100, QueMessageId::CCSX);
    Record meta;
    meta << -2.0f << 2.0f;
    meta.SendTo(rig.runtime, 100, QueMessageId::meta);
    Record enumMeta;
    enumMeta << int32_t{3} << static_cast<int32_t>(L'x') << static_cast<int32_t>(L',') << static_cast<int32_t>(L'y');
    enumMeta.SendTo(rig.runtime, 104, QueMessageId::meta);
    rig.runtime.ServiceDspRingBuffers();

    auto* level = rig.typed<dsp_patch_parameter_float>(100);
    EXPECT_EQ(level->getAutomation(), 0x02000010);
    EXPECT_EQ(level->getAutomationSysex(), L"F0");
    EXPECT_FLOAT_EQ(level->getRangeMinimum(), -2.0f);
    EXPECT_FLOAT_EQ(level->getRangeMaximum(), 2.0f);
    EXPECT_EQ(rig.typed<dsp_patch_parameter_enum>(104)->getEnumList(), L"x,y");
    // The new binding works: controller 16 moves the parameter.
    const unsigned char cc[3] = {0xB0, 16, 127};
    rig.manager()->OnMidi(nullptr, rig.master()->SampleClock(), cc, 3, false);
    EXPECT_FLOAT_EQ(level->GetValue(0), 2.0f);
}

TEST(PatchParameterMessages, ALearnCodeFromTheEditorArmsLearningAndMinusOneUnbinds)
{
    PatchRig rig;
    ASSERT_TRUE(rig.built);
    Record learn;
    learn << int32_t{-2};
    learn.SendTo(rig.runtime, 100, QueMessageId::CCID);
    rig.runtime.ServiceDspRingBuffers();
    const unsigned char cc[3] = {0xB0, 30, 127};
    rig.manager()->OnMidi(nullptr, rig.master()->SampleClock(), cc, 3, false);
    auto* level = rig.typed<dsp_patch_parameter_float>(100);
    EXPECT_EQ(level->getAutomation(), 0x0200001E);
    EXPECT_FLOAT_EQ(level->GetValue(0), 10.0f);

    Record unbind;
    unbind << int32_t{-1};
    unbind.SendTo(rig.runtime, 100, QueMessageId::CCID);
    rig.runtime.ServiceDspRingBuffers();
    const unsigned char low[3] = {0xB0, 30, 0};
    rig.manager()->OnMidi(nullptr, rig.master()->SampleClock(), low, 3, false);
    EXPECT_FLOAT_EQ(level->GetValue(0), 10.0f);
}

// The engine's own timer drains the editor queue wherever the patch manager
// sits: on the top container or, as in the demo instrument, on an inner one.
TEST(PatchParameterMessages, EditorValuesArriveByTheQueueTimerWhereverThePatchManagerSits)
{
    const std::string modules =
        "<Module Type=\"KV Test Recorder\" Id=\"10\"><Plugs><Plug Idx=\"1\" Parameter=\"100\"/></Plugs></Module>";
    const std::string manager = std::string("<PatchManager><Parameters>") + kvtest::kStandardParameters +
                                "</Parameters></PatchManager>";
    const std::string documents[] = {
        PatchDocument(kvtest::kStandardParameters),
        "<DSP><Container Id=\"1\"><Modules><Module Type=\"Container\" Id=\"2\" ExpandInline=\"0\">" + manager +
            "<Modules>" + modules + "</Modules></Module></Modules></Container></DSP>",
    };
    for (const std::string& document : documents)
    {
        PatchRig rig(document);
        ASSERT_TRUE(rig.built);
        rig.Run(512);
        Record record;
        record << static_cast<uint8_t>(0) << int32_t{0} << 4.0f;
        record.SendTo(rig.runtime, 100, QueMessageId::ppc);
        // A tenth of a second covers two periods of the queue timer.
        for (int i = 0; i < 9; ++i)
            rig.Run(512);
        ASSERT_NE(rig.recorder(), nullptr);
        EXPECT_FLOAT_EQ(rig.recorder()->floatIn_, 4.0f) << document;
    }
}
