// A plug-in bundle whose instrument uses an external module bundle from its
// Contents/PlugIns/, loaded and played by the headless host as a DAW would.
// It is the demo instrument with a cloned SDK gain (gain 1) in every voice
// and an older-interface SDK inverter on the output, so it must play the demo
// instrument's output exactly, negated.
#include "shell/DemoSynthSession.h"

using namespace demo_synth_test;

namespace
{
std::vector<float> Render(const std::string& bundle, const Performance& performance, double seconds)
{
    InstanceSetup setup;
    setup.maxBlockSize = kBlock;
    std::string error;
    auto module = PluginModule::Load(bundle, error);
    EXPECT_TRUE(module) << error;
    if (!module)
        return {};
    auto instance = PluginInstance::Create(module, setup, error);
    EXPECT_TRUE(instance) << error;
    if (!instance)
        return {};
    CaptureSink sink;
    RenderSettings settings;
    settings.seconds = seconds;
    RenderResult result;
    Renderer renderer(*instance);
    EXPECT_TRUE(renderer.render(performance, settings, &sink, result, error)) << error;
    return sink.channelCount() == 2 ? sink.channel(0) : std::vector<float>();
}
} // namespace

TEST(SdkBundleHost, InstrumentWithExternalModulesPlaysThroughTheHeadlessHost)
{
    // Overlapping notes: several voices, so several clones of the SDK gain, play at once.
    // Both at the volume of the demo's phrase.
    Score score;
    score.Param(0, kVolume, kPhraseVolume);
    score.On(100, 60).On(4000, 64).On(9000, 67).Off(30000, 60).Off(31000, 64).Off(32000, 67);
    const std::vector<float> demo = Render(kSynthBundle, score.performance, 1.0);
    const std::vector<float> sdk = Render(KV_SDK_SYNTH_BUNDLE, score.performance, 1.0);
    ASSERT_EQ(sdk.size(), demo.size());
    ASSERT_FALSE(sdk.empty());
    EXPECT_GT(Peak(sdk, 0, sdk.size()), 0.05);
    size_t differing = 0;
    for (size_t i = 0; i < sdk.size(); ++i)
        differing += sdk[i] != -demo[i];
    EXPECT_EQ(differing, 0u);
}
