// Patch parameters read from the patch document: stored values, their route
// to the bound module pins, normalised values, host automation, program
// changes and parameters made from module descriptions.
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

TEST(PatchParameter, DocumentValuesFillPatchesAndTheCurrentOneReachesTheBoundPin)
{
    PatchRig rig;
    ASSERT_TRUE(rig.built);
    auto* level = rig.typed<dsp_patch_parameter_float>(100);
    ASSERT_NE(level, nullptr);
    EXPECT_EQ(level->PatchCount(), 4);
    EXPECT_FLOAT_EQ(level->GetValue(0, 0), 2.5f);
    EXPECT_FLOAT_EQ(level->GetValue(0, 1), 7.5f);
    auto* text = rig.typed<dsp_patch_parameter_text>(102);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->GetValue(0, 0), L"hello world");
    EXPECT_EQ(text->GetValue(0, 3), L"d");
    auto* blob = rig.typed<dsp_patch_parameter_blob>(106);
    ASSERT_NE(blob, nullptr);
    const MpBlob bytes = blob->GetValue(0, 0);
    ASSERT_EQ(bytes.getSize(), 3);
    EXPECT_EQ(bytes.getData()[2], 3);

    rig.Run(512);
    ASSERT_NE(rig.recorder(), nullptr);
    EXPECT_FLOAT_EQ(rig.recorder()->floatIn_, 2.5f);
    EXPECT_EQ(rig.recorder()->textIn_, L"hello world");
}

TEST(PatchParameter, NormalisedValuesFollowTheRangeAndClampToZeroAndOne)
{
    PatchRig rig;
    ASSERT_TRUE(rig.built);
    auto* level = rig.typed<dsp_patch_parameter_float>(100);
    const int patch = level->EffectivePatch();
    level->SetValue(2.5f, 0, patch);
    EXPECT_FLOAT_EQ(level->GetValueNormalised(0), 0.25f);
    level->SetValue(12.0f, 0, patch);
    EXPECT_FLOAT_EQ(level->GetValueNormalised(0), 1.0f);
    level->SetValue(-1.0f, 0, patch);
    EXPECT_FLOAT_EQ(level->GetValueNormalised(0), 0.0f);
    // A range of zero width never divides into a value outside 0..1.
    level->setMetadataRangeMinimum(5.0);
    level->setMetadataRangeMaximum(5.0);
    level->SetValue(6.0f, 0, patch);
    EXPECT_FLOAT_EQ(level->GetValueNormalised(0), 1.0f);
    level->SetValue(4.0f, 0, patch);
    EXPECT_FLOAT_EQ(level->GetValueNormalised(0), 0.0f);
    level->SetValue(5.0f, 0, patch);
    EXPECT_FLOAT_EQ(level->GetValueNormalised(0), 0.0f);

    auto* count = rig.typed<dsp_patch_parameter_int>(103);
    // Whole steps as the host reads them: floor(n × 11) of 0..10.
    count->setValueNormalised(0.99f);
    EXPECT_EQ(count->GetValue(0), 10);
    count->setValueNormalised(0.9f);
    EXPECT_EQ(count->GetValue(0), 9);
    auto* flag = rig.typed<dsp_patch_parameter_bool>(105);
    flag->setValueNormalised(0.5f);
    EXPECT_TRUE(flag->GetValue(0));
    flag->setValueNormalised(0.4999f);
    EXPECT_FALSE(flag->GetValue(0));
    auto* choice = rig.typed<dsp_patch_parameter_enum>(104);
    choice->setValueNormalised(0.5f);
    EXPECT_EQ(choice->GetValue(0), 1);
    EXPECT_FLOAT_EQ(choice->GetValueNormalised(0), 0.5f);
    // Text and blob have no normalised form.
    auto* text = rig.typed<dsp_patch_parameter_text>(102);
    text->setValueNormalised(1.0f);
    EXPECT_EQ(text->GetValue(0), L"hello world");
    EXPECT_FLOAT_EQ(text->GetValueNormalised(0), 0.0f);
}

TEST(PatchParameter, HostAutomationReachesThePinAtItsOffsetWithoutARecordToTheEditor)
{
    PatchRig rig;
    ASSERT_TRUE(rig.built);
    rig.Run(512);
    rig.runtime.ServiceDspRingBuffers();
    rig.sender.batches.clear();

    const int64_t start = rig.master()->SampleClock();
    rig.master()->setParameterNormalizedDsp(40, 0, 0.75f);
    rig.Run(512);
    const kvtest::Recorder& recorder = *rig.recorder();
    ASSERT_FALSE(recorder.changes.empty());
    EXPECT_EQ(recorder.changes.back().time, start + 40);
    EXPECT_FLOAT_EQ(recorder.changes.back().floatValue, 7.5f);
    // The host told the controller itself.
    rig.runtime.ServiceDspRingBuffers();
    EXPECT_TRUE(RecordsFor(rig.sender, 100, QueMessageId::ppc).empty());
}

TEST(PatchParameter, HostIndicesOutsideTheTableAreRefused)
{
    PatchRig rig;
    ASSERT_TRUE(rig.built);
    rig.Run(512);
    const size_t before = rig.recorder()->changes.size();
    rig.master()->setParameterNormalizedDsp(0, -1, 1.0f);
    rig.master()->setParameterNormalizedDsp(0, 10000, 1.0f);
    rig.master()->setParameterNormalizedDsp(0, 9999, 1.0f);
    rig.master()->setParameterNormalizedDsp(0, 7, 1.0f);
    rig.Run(512);
    EXPECT_EQ(rig.recorder()->changes.size(), before);
    EXPECT_FLOAT_EQ(rig.recorder()->floatIn_, 2.5f);
}

TEST(PatchParameter, AProgramChangeToAnEqualValueSendsNothingToThePins)
{
    PatchRig rig;
    ASSERT_TRUE(rig.built);
    rig.manager()->setProgramDspThread(2);
    rig.Run(512);
    const size_t before = rig.recorder()->changes.size();
    rig.manager()->setProgramDspThread(3);
    rig.Run(512);
    size_t floatChanges = 0;
    for (size_t i = before; i < rig.recorder()->changes.size(); ++i)
        floatChanges += rig.recorder()->changes[i].pin == kvtest::Recorder::PN_FLOAT ? 1 : 0;
    EXPECT_EQ(floatChanges, 0u);
}

TEST(PatchParameter, ValuesFromAWatchedOutputAreStoredAndReported)
{
    PatchRig rig;
    ASSERT_TRUE(rig.built);
    rig.Run(512);
    rig.runtime.ServiceDspRingBuffers();
    rig.sender.batches.clear();
    kvtest::TestSource* source = rig.source();
    ASSERT_NE(source, nullptr);
    source->floatOut_ = 3.25f;
    source->SendPinsCurrentValue(rig.master()->SampleClock(), source->GetPlug(kvtest::TestSource::PN_FLOAT));
    rig.Run(512);
    auto* watched = rig.typed<dsp_patch_parameter_float>(101);
    EXPECT_FLOAT_EQ(watched->GetValue(0), 3.25f);
    rig.runtime.ServiceDspRingBuffers();
    EXPECT_EQ(RecordsFor(rig.sender, 101, QueMessageId::ppc).size(), 1u);
}

TEST(PatchParameter, AModuleOwnedParameterNeverMarksValuesForTheEditor)
{
    PatchRig rig;
    ASSERT_TRUE(rig.built);
    parameter_description description;
    description.datatype = DT_FLOAT;
    description.default_value = L"0.5";
    dsp_patch_parameter_base* owned = rig.manager()->createPatchParameter(&description, nullptr);
    ASSERT_NE(owned, nullptr);
    EXPECT_TRUE(owned->isModuleOwned());
    EXPECT_LE(owned->Handle(), -20);
    EXPECT_EQ(owned->PatchCount(), 128);
    owned->setValueNormalised(0.9f);
    owned->vst_automate(0, 0, 0.1f, true);
    EXPECT_FALSE(owned->EngineChangePending());
    EXPECT_FALSE(owned->isQueued());
    EXPECT_FALSE(owned->Storage(0)->isDirty(0));

    parameter_description blobDescription;
    blobDescription.datatype = DT_BLOB;
    blobDescription.default_value = L"AQID";
    blobDescription.flags = 0x2;
    auto* blob = dynamic_cast<dsp_patch_parameter_blob*>(rig.manager()->createPatchParameter(&blobDescription, nullptr));
    ASSERT_NE(blob, nullptr);
    EXPECT_EQ(blob->PatchCount(), 1);
    EXPECT_EQ(blob->GetValue(0).getSize(), 0);
    EXPECT_FLOAT_EQ(blob->GetValueNormalised(0), 0.0f);
}

TEST(PatchParameter, OutOfRangeCountsAndIndicesInTheDocumentAreBoundedOrRefused)
{
    const std::string parameters =
        "<P DataType=\"22\" Handle=\"100\" Index=\"10000\" PatchCount=\"2000000000\" VoiceCount=\"1\">"
        "<a>1 2 3</a><b>9</b></P>"
        "<P DataType=\"22\" Handle=\"101\" Index=\"-5\" PatchCount=\"-3\" VoiceCount=\"99999\" isPolyphonic=\"1\"/>"
        "<P DataType=\"77\" Handle=\"102\"/>"
        "<P DataType=\"22\" Handle=\"103\" Index=\"9999\" PatchCount=\"2\"><a>4 5 6 7</a></P>";
    PatchRig rig(PatchDocument(parameters));
    ASSERT_TRUE(rig.built);
    dsp_patch_parameter_base* big = rig.parameter(100);
    ASSERT_NE(big, nullptr);
    EXPECT_EQ(big->getIndex(), -1);
    EXPECT_EQ(big->PatchCount(), dsp_patch_parameter_base::kMaxPatchCount);
    EXPECT_EQ(big->VoiceEntryCount(), 1);
    EXPECT_FLOAT_EQ(rig.typed<dsp_patch_parameter_float>(100)->GetValue(0, 2), 3.0f);

    dsp_patch_parameter_base* wide = rig.parameter(101);
    EXPECT_EQ(wide->getIndex(), -1);
    EXPECT_EQ(wide->PatchCount(), 1);
    EXPECT_EQ(wide->VoiceEntryCount(), dsp_patch_parameter_base::kKeyCount);

    EXPECT_EQ(rig.parameter(102), nullptr);
    auto* last = rig.typed<dsp_patch_parameter_float>(103);
    EXPECT_EQ(last->getIndex(), 9999);
    EXPECT_FLOAT_EQ(last->GetValue(0, 1), 5.0f);
    rig.master()->setParameterNormalizedDsp(0, 9999, 0.5f);
    EXPECT_FLOAT_EQ(last->GetValue(0), 5.0f);
}
