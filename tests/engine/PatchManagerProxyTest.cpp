// An oversampled container without a patch manager of its own works through
// a proxy: its parameters, host values and state are the enclosing manager's.
#include <gtest/gtest.h>

#include "core/parameter_description.h"
#include "engine/parameters/DspPatchManagerProxy.h"
#include "engine/PatchRig.h"
#include "engine/oversampling/ug_oversampler.h"

using kvtest::PatchRig;

namespace
{
std::string Oversampled(std::string document)
{
    const std::string main = "Id=\"2\" ExpandInline=\"0\"";
    document.replace(document.find(main), main.size(), main + " Oversample=\"2\"");
    return document;
}
} // namespace

TEST(PatchManagerProxy, AnOversampledChildWithoutAManagerHandsItsParametersAndStateToTheEnclosingOne)
{
    PatchRig rig(Oversampled(kvtest::PatchDocument(kvtest::kStandardParameters)));
    ASSERT_TRUE(rig.built);
    auto* child = dynamic_cast<ug_container*>(rig.master()->HandleToObject(2));
    ASSERT_NE(child, nullptr);
    auto* os = dynamic_cast<ug_oversampler*>(child->audioMaster_);
    ASSERT_NE(os, nullptr);
    auto* proxy = dynamic_cast<DspPatchManagerProxy*>(child->get_patch_manager());
    ASSERT_NE(proxy, nullptr);
    EXPECT_EQ(proxy->Target(), rig.manager());
    // Automation modules stay with the enclosing container.
    EXPECT_EQ(child->PatchAutomator(), nullptr);

    // A parameter made through the proxy is the enclosing manager's.
    const size_t before = rig.manager()->Parameters().size();
    parameter_description description;
    description.datatype = DT_FLOAT;
    description.default_value = L"0.5";
    dsp_patch_parameter_base* made = proxy->createPatchParameter(&description, nullptr);
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(rig.manager()->Parameters().size(), before + 1);

    // A host value reaches the module inside at the oversampled time.
    rig.Run(1024);
    rig.recorder()->changes.clear();
    const int64_t outerTime = rig.master()->SampleClock() + 10;
    rig.master()->setParameterNormalizedDsp(10, 0, 0.5f);
    rig.Run(512);
    ASSERT_FALSE(rig.recorder()->changes.empty());
    EXPECT_EQ(rig.recorder()->changes.back().time, os->ToInner(outerTime));
    EXPECT_FLOAT_EQ(rig.recorder()->floatIn_, 5.0f);

    // The engine's state is the enclosing manager's, through the proxy too.
    std::string direct;
    std::string throughProxy;
    rig.manager()->getPresetState(direct);
    proxy->getPresetState(throughProxy);
    EXPECT_EQ(throughProxy, direct);
    std::string fromEngine;
    rig.master()->getPresetState_UI_THREAD(fromEngine, false);
    EXPECT_EQ(fromEngine, direct);
}
