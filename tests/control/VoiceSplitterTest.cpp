// "VoiceSplitter": each voice's clone copies its input to the output of its
// own voice number.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "core/CModuleFactory.h"
#include "core/Module_Info.h"
#include "engine/TestGraph.h"
#include "modules/control/ug_voice_splitter.h"

using kvtest::Recorder;
using kvtest::TestSource;

namespace
{
constexpr int kOutputs = 3;

// One clone for `voice` with three outputs, each to a recorder.
struct SplitterRig
{
    explicit SplitterRig(int voice)
    {
        splitter = static_cast<ug_voice_splitter*>(CModuleFactory::Instance()->GetById(L"VoiceSplitter")->BuildSynthOb());
        splitter->Setup(&graph.master, nullptr);
        splitter->sortOrder_ = 5;
        splitter->voiceNumber_ = voice;
        graph.modules.emplace_back(splitter);
        source = graph.Add<TestSource>(10);
        ug_base::connect(source->plugs_[TestSource::PN_AUDIO], splitter->plugs_[ug_voice_splitter::PN_INPUT]);
        for (int k = 0; k < kOutputs; ++k)
        {
            auto* pin = new UPlug(splitter, DR_OUT, DT_FSAMPLE);
            pin->CreateBuffer();
            splitter->AddPlug(pin);
            recorders.push_back(graph.Add<Recorder>(1));
            ug_base::connect(pin, recorders.back()->plugs_[Recorder::PN_AUDIO]);
        }
        graph.OpenAll();
    }

    kvtest::TestGraph graph;
    ug_voice_splitter* splitter = nullptr;
    TestSource* source = nullptr;
    std::vector<Recorder*> recorders;
};

float Signal(int64_t t)
{
    return 0.001f * static_cast<float>(t % 500) - 0.2f;
}
} // namespace

TEST(VoiceSplitter, EachVoiceReachesItsOwnOutputAndAVoiceBeyondThemReachesNone)
{
    for (int voice = 0; voice < 4; ++voice)
    {
        SplitterRig rig(voice);
        EXPECT_EQ(rig.splitter->OutputCount(), kOutputs);
        rig.source->Stream(Signal);
        rig.graph.Run(300);
        for (int k = 0; k < kOutputs; ++k)
        {
            const auto& out = rig.recorders[static_cast<size_t>(k)]->audio;
            ASSERT_EQ(out.size(), 300u);
            for (size_t t = 0; t < out.size(); ++t)
            {
                const float expected = k == voice ? Signal(static_cast<int64_t>(t)) : 0.0f;
                ASSERT_FLOAT_EQ(out[t], expected) << "voice " << voice << " output " << k << " t " << t;
            }
        }
        EXPECT_EQ(rig.splitter->SelectedOutput(), voice < kOutputs ? voice : -1);
    }
}

TEST(VoiceSplitter, AStaticInputIsCopiedForOneBlockThenTheSplitterSleeps)
{
    SplitterRig rig(1);
    rig.source->Stream(Signal);
    rig.graph.Run(200);
    rig.source->HoldConstant(0.7f);
    rig.graph.Run(500);
    EXPECT_FLOAT_EQ(rig.recorders[1]->audio.back(), 0.7f);
    EXPECT_TRUE(rig.splitter->GetProcessFunction() == &ug_base::process_sleep);
    bool announcedStatic = false;
    for (const auto& change : rig.recorders[1]->changes)
        announcedStatic = announcedStatic || change.state == ST_STATIC;
    EXPECT_TRUE(announcedStatic);
}
