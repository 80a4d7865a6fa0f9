// A "Slider" driven by its patch parameter through the engine's parameter setter.
#include <gtest/gtest.h>

#include <string>

#include "engine/PatchRig.h"
#include "modules/control/ug_slider.h"

namespace
{
// Recorder 10 listens to the "Signal Out" of slider 20, whose patchValue is parameter 100.
std::string SliderDocument()
{
    return "<DSP><Container Id=\"1\"><PatchManager><Parameters>"
           "<P DataType=\"22\" Handle=\"100\" Index=\"0\" RangeMinimum=\"0\" RangeMaximum=\"10\" PatchCount=\"4\">"
           "<patch>2.5 7.5 1 1</patch></P>"
           "</Parameters></PatchManager><Modules>"
           "<Module Type=\"Container\" Id=\"2\" ExpandInline=\"0\"><Modules>"
           "<Module Type=\"KV Test Recorder\" Id=\"10\"/>"
           "<Module Type=\"Slider\" Id=\"20\"><Plugs><Plug Idx=\"12\" Parameter=\"100\"/></Plugs></Module>"
           "</Modules><Lines><Line From=\"20\" FromPin=\"6\" To=\"10\" ToPin=\"0\"/></Lines>"
           "</Module></Modules></Container></DSP>";
}
} // namespace

TEST(SliderPatchParameter, TheStartingValueArrivesAtOnceAndHostChangesGlide)
{
    kvtest::PatchRig rig(SliderDocument());
    ASSERT_TRUE(rig.built);
    rig.Run(512);
    const auto& audio = rig.recorder()->audio;
    ASSERT_EQ(audio.size(), 512u);
    EXPECT_FLOAT_EQ(audio[0], 0.25f);
    EXPECT_FLOAT_EQ(audio[511], 0.25f);

    // 7.5 V: three quarters of the parameter's 0 to 10 V range.
    rig.master()->setParameterNormalizedDsp(40, 0, 0.75f);
    rig.Run(512);
    const int n = 44100 / 32;
    EXPECT_FLOAT_EQ(audio[512 + 39], 0.25f);
    EXPECT_NEAR(audio[512 + 40], 0.25f + 0.5f / static_cast<float>(n), 1e-5f);
    EXPECT_NEAR(audio[512 + 40 + 99], 0.25f + 0.5f * 100.0f / static_cast<float>(n), 1e-5f);
    rig.Run(2048);
    EXPECT_FLOAT_EQ(audio.back(), 0.75f);
}
