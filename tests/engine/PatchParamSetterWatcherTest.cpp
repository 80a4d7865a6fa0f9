// The parameter setter and watcher modules made from pin bindings in the
// patch document: outputs shared per host control, one per parameter-bound
// pin, watcher entries kept in step with its inputs, and loops through a
// watcher moved to the secondary setter.
#include <gtest/gtest.h>

#include <string>

#include "core/HostControls.h"
#include "engine/PatchRig.h"
#include "engine/parameters/ug_patch_param_setter.h"
#include "engine/parameters/ug_patch_param_watcher.h"

using kvtest::PatchRig;

namespace
{
std::string Document(const std::string& modules, const std::string& lines = "")
{
    return "<DSP><Container Id=\"1\"><PatchManager><Parameters>"
           "<P DataType=\"22\" Handle=\"100\" Index=\"0\" RangeMaximum=\"10\"><p>2.5</p></P>"
           "<P DataType=\"22\" Handle=\"101\" HostControl=\"18\"><p>120</p></P>"
           "<P DataType=\"22\" Handle=\"102\"><p>0</p></P>"
           "</Parameters></PatchManager><Modules>"
           "<Module Type=\"Container\" Id=\"2\" ExpandInline=\"0\"><Modules>" +
           modules + "</Modules><Lines>" + lines + "</Lines></Module></Modules></Container></DSP>";
}

std::string RecorderModule(int id, const std::string& binding)
{
    return "<Module Type=\"KV Test Recorder\" Id=\"" + std::to_string(id) + "\"><Plugs><Plug Idx=\"1\" " + binding +
           "/></Plugs></Module>";
}

std::string SourceModule(int id, const std::string& binding)
{
    return "<Module Type=\"KV Test Source\" Id=\"" + std::to_string(id) + "\"><Plugs><Plug Idx=\"1\" " + binding +
           "/></Plugs></Module>";
}

kvtest::Recorder* RecorderAt(PatchRig& rig, int handle)
{
    return dynamic_cast<kvtest::Recorder*>(rig.master()->HandleToObject(handle));
}
} // namespace

TEST(PatchParamSetter, PinsOfOneHostControlShareAnOutputAndPinsOfOneParameterGetOneEach)
{
    PatchRig rig(Document(RecorderModule(10, "HostControl=\"18\"") + RecorderModule(11, "HostControl=\"18\"") +
                          RecorderModule(12, "Parameter=\"100\"") + RecorderModule(13, "Parameter=\"100\"")));
    ASSERT_TRUE(rig.built);
    ug_patch_param_setter* setter = rig.master()->MainContainer()->ParameterSetterIfAny();
    ASSERT_NE(setter, nullptr);
    EXPECT_EQ(setter->ParameterIds(), (std::vector<int32_t>{18, 100, 100}));
    EXPECT_EQ(rig.parameter(101)->ConnectedPins().size(), 1u);
    EXPECT_EQ(rig.parameter(100)->ConnectedPins().size(), 2u);

    rig.Run(512);
    EXPECT_FLOAT_EQ(RecorderAt(rig, 10)->floatIn_, 120.0f);
    EXPECT_FLOAT_EQ(RecorderAt(rig, 11)->floatIn_, 120.0f);
    EXPECT_FLOAT_EQ(RecorderAt(rig, 12)->floatIn_, 2.5f);
    EXPECT_FLOAT_EQ(RecorderAt(rig, 13)->floatIn_, 2.5f);
    rig.master()->setParameterNormalizedDsp(0, 0, 0.1f);
    rig.Run(512);
    EXPECT_FLOAT_EQ(RecorderAt(rig, 12)->floatIn_, 1.0f);
    EXPECT_FLOAT_EQ(RecorderAt(rig, 13)->floatIn_, 1.0f);
}

TEST(PatchParamWatcher, AnUnknownParameterKeepsItsEntrySoLaterPinsStayInStep)
{
    PatchRig rig(Document(SourceModule(20, "Parameter=\"555\"") + SourceModule(21, "Parameter=\"102\"")));
    ASSERT_TRUE(rig.built);
    ug_patch_param_watcher* watcher = rig.master()->MainContainer()->ParameterWatcherIfAny();
    ASSERT_NE(watcher, nullptr);
    ASSERT_EQ(watcher->Parameters().size(), 2u);
    EXPECT_EQ(watcher->Parameters()[0], nullptr);
    EXPECT_EQ(watcher->Parameters()[1], rig.parameter(102));

    rig.Run(512);
    auto* unknown = dynamic_cast<kvtest::TestSource*>(rig.master()->HandleToObject(20));
    auto* known = dynamic_cast<kvtest::TestSource*>(rig.master()->HandleToObject(21));
    unknown->floatOut_ = 8.0f;
    unknown->SendPinsCurrentValue(rig.master()->SampleClock(), unknown->GetPlug(kvtest::TestSource::PN_FLOAT));
    known->floatOut_ = 4.5f;
    known->SendPinsCurrentValue(rig.master()->SampleClock(), known->GetPlug(kvtest::TestSource::PN_FLOAT));
    rig.Run(512);
    EXPECT_FLOAT_EQ(rig.typed<dsp_patch_parameter_float>(102)->GetValue(0), 4.5f);
}

TEST(PatchParamSetter, AnOutputThatLoopsBackThroughTheWatcherMovesToTheSecondarySetterAndArrivesABlockLater)
{
    // Parameter 100 feeds a recorder; a source's output is watched by
    // parameter 102. Without a path between them there is no loop.
    const std::string modules = RecorderModule(10, "Parameter=\"100\"") + SourceModule(20, "Parameter=\"102\"");
    PatchRig rig(Document(modules));
    ASSERT_TRUE(rig.built);
    ug_container* main = rig.master()->MainContainer();
    ug_patch_param_setter* setter = main->ParameterSetterIfAny();
    ASSERT_NE(setter, nullptr);
    // Without a loop nothing moves. The watcher's voice id pin is fed too.
    EXPECT_EQ(setter->ParameterIds(), (std::vector<int32_t>{100, HC_VOICE_VIRTUAL_VOICE_ID}));

    // The source feeds the watcher; make the setter's output feed the source
    // too, and ask the container to sort the loop out.
    auto* source = dynamic_cast<kvtest::TestSource*>(rig.master()->HandleToObject(20));
    auto* extra = new UPlug(source, DR_IN, DT_FLOAT);
    source->AddPlug(extra);
    extra->CreateBuffer();
    UPlug* output = setter->GetPlug(ug_patch_param_setter::kFixedPinCount);
    ug_base::connect(output, extra);
    main->SetupSecondaryPatchParameterSetter();

    EXPECT_EQ(setter->ParameterIds(), (std::vector<int32_t>{HC_VOICE_VIRTUAL_VOICE_ID}));
    EXPECT_EQ(setter->GetPlug(ug_patch_param_setter::kFixedPinCount)->index_, ug_patch_param_setter::kFixedPinCount);
    ug_patch_param_setter* secondary = main->GetParameterSetterSecondary();
    EXPECT_EQ(secondary->ParameterIds(), (std::vector<int32_t>{100}));
    EXPECT_EQ(output->owner_, secondary);
    EXPECT_EQ(output->plugFlags_ & kPlugDelayedOneBlock, kPlugDelayedOneBlock);

    rig.Run(512);
    const kvtest::Recorder* recorder = RecorderAt(rig, 10);
    const int64_t now = rig.master()->SampleClock();
    const size_t before = recorder->changes.size();
    rig.master()->setParameterNormalizedDsp(0, 0, 0.5f);
    rig.Run(512);
    ASSERT_GT(recorder->changes.size(), before);
    EXPECT_EQ(recorder->changes.back().time, now + rig.master()->BlockSize());
    EXPECT_FLOAT_EQ(recorder->changes.back().floatValue, 5.0f);
}
