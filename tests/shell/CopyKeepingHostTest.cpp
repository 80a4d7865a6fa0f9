// A host that keeps a copy of the values as JUCE-framework hosts do
// (pedalboard, DawDreamer): refreshed only by the plug-in's restart and
// performEdit, a run loop offered that never turns, no lock of its own. It
// loads a preset file as the SDK's PresetFile::loadPreset does and chooses
// programs through their parameter; the three-program bundle
// (tests/patches/KvProgramSynth), driven through its VST3 interfaces.

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "HostCopy.h"
#include "pluginterfaces/gui/iplugview.h"
#include "public.sdk/source/vst/vstpresetfile.h"
#include "tools/kvhost/HostMemoryStream.h"
#include "tools/kvhost/PluginModule.h"

using namespace Steinberg;
using namespace Steinberg::Vst;
using namespace host_copy;

namespace
{
const std::string kBundle = KV_PROGRAM_SYNTH_BUNDLE;
const char* kProcessorClass = "{8E21B4C7-3A5D-4F60-B1C2-7D9E0F3A5B01}";

void ExpectValues(const Values& got, const Values& expected, const char* what)
{
    for (const auto& [id, value] : expected)
        EXPECT_NEAR(got.at(id), value, 1e-6) << what << ", id " << id;
}

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
class CopyKeepingHost : public HostComponentHandler, public Linux::IRunLoop, public HostCopy
{
public:
    tresult PLUGIN_API restartComponent(int32 flags) override
    {
        if ((flags & kParamValuesChanged) && controller)
            Reread(*controller, false);
        return kResultOk;
    }
    tresult PLUGIN_API performEdit(ParamID id, ParamValue value) override
    {
        copy[id] = value;
        pending[id] = value;
        return kResultOk;
    }
    // Offered, as the framework's host context does, and never turned.
    tresult PLUGIN_API registerEventHandler(Linux::IEventHandler*, Linux::FileDescriptor) override
    {
        return kResultOk;
    }
    tresult PLUGIN_API unregisterEventHandler(Linux::IEventHandler*) override { return kResultOk; }
    tresult PLUGIN_API registerTimer(Linux::ITimerHandler*, Linux::TimerInterval) override { return kResultOk; }
    tresult PLUGIN_API unregisterTimer(Linux::ITimerHandler*) override { return kResultOk; }
    tresult PLUGIN_API queryInterface(const TUID queried, void** obj) override
    {
        if (FUnknownPrivate::iidEqual(queried, Linux::IRunLoop::iid))
        {
            *obj = static_cast<Linux::IRunLoop*>(this);
            return kResultOk;
        }
        return HostComponentHandler::queryInterface(queried, obj);
    }
    uint32 PLUGIN_API addRef() override { return 1; }
    uint32 PLUGIN_API release() override { return 1; }

    IEditController* controller = nullptr;
};
#pragma GCC diagnostic pop

// An instance of the bundle in this host, which reads every value once.
struct Session
{
    Session()
    {
        std::string error;
        module = PluginModule::Load(kBundle, error);
        EXPECT_TRUE(module) << error;
        InstanceSetup setup;
        setup.hostName = "pedalboard";
        if (module)
            instance = PluginInstance::Create(module, setup, error);
        EXPECT_TRUE(instance) << error;
        if (!instance)
            return;
        host.controller = instance->controller();
        host.controller->setComponentHandler(&host);
        host.Reread(*host.controller, false);
    }
    ~Session()
    {
        if (instance)
            instance->controller()->setComponentHandler(&instance->componentHandler());
    }
    std::vector<float> Render(int blocks, Values first = {})
    {
        std::vector<float> played;
        for (int i = 0; i < blocks; ++i)
        {
            const std::vector<float> block = Block(*instance, i == 0 ? first : Values{});
            played.insert(played.end(), block.begin(), block.end());
        }
        return played;
    }

    std::shared_ptr<PluginModule> module;
    std::unique_ptr<PluginInstance> instance;
    CopyKeepingHost host;
};
} // namespace

TEST(CopyKeepingHost, APresetFileAndEachProgramReachItsCopyBeforeItsNextCallAndARecreatedInstancePlaysThem)
{
    FUID processorClass;
    ASSERT_TRUE(processorClass.fromRegistryString(kProcessorClass));

    // A preset made elsewhere: the third program with its level turned to 3.
    IPtr<HostMemoryStream> file = owned(new HostMemoryStream());
    Values preset = kPrograms[2];
    preset[2] = 0.3;
    {
        Session maker;
        ASSERT_TRUE(maker.instance);
        Block(*maker.instance, {{kProgramChange, 1.0}});
        maker.instance->controller()->setParamNormalized(2, 0.3);
        Block(*maker.instance, {{2, 0.3}});
        ASSERT_TRUE(PresetFile::savePreset(file, processorClass, maker.instance->component(),
                                           maker.instance->controller()));
    }

    // Loaded as the SDK loads it: the copy holds the preset before the host's next call.
    Session session;
    ASSERT_TRUE(session.instance);
    ExpectValues(session.host.Of(kIds), kPrograms[0], "before the preset");
    file->rewind();
    ASSERT_TRUE(PresetFile::loadPreset(file, processorClass, session.instance->component(),
                                       session.instance->controller()));
    ExpectValues(session.host.Of(kIds), preset, "the preset, in the copy");

    // pedalboard's render: the state saved, the copy read, a new instance
    // given the state and then every value of the copy, as the controller's
    // and as the first block's. It plays what an instance that only loaded
    // the state plays, sample for sample.
    std::vector<char> state;
    std::string error;
    ASSERT_TRUE(session.instance->saveState(state, error)) << error;
    const Values copy = session.host.copy;
    Session recreated;
    ASSERT_TRUE(recreated.instance);
    ASSERT_TRUE(recreated.instance->loadState(state, error)) << error;
    for (const auto& [id, value] : copy)
        recreated.instance->controller()->setParamNormalized(id, value);
    const std::vector<float> played = recreated.Render(40, copy);
    Session reference;
    ASSERT_TRUE(reference.instance);
    ASSERT_TRUE(reference.instance->loadState(state, error)) << error;
    const std::vector<float> expected = reference.Render(40);
    ASSERT_EQ(played.size(), expected.size());
    EXPECT_GT(Rms(expected), 0.01);
    std::size_t differ = 0;
    for (std::size_t i = 0; i < played.size(); ++i)
        differ += played[i] != expected[i] ? 1 : 0;
    EXPECT_EQ(differ, 0u) << "samples that differ from the preset's";

    // Each program chosen through its parameter (controller, then the
    // block), on an instance as it comes: in the copy before the host's
    // next call, and what the block reports keeps it.
    Session chooser;
    ASSERT_TRUE(chooser.instance);
    for (const int program : {1, 0, 2, 1})
    {
        SCOPED_TRACE("program " + std::to_string(program));
        const double value = program / 2.0;
        ASSERT_EQ(chooser.instance->controller()->setParamNormalized(kProgramChange, value), kResultOk);
        ExpectValues(chooser.host.Of(kIds), kPrograms[static_cast<std::size_t>(program)], "the copy");
        Values reported;
        Block(*chooser.instance, {{kProgramChange, value}}, &reported);
        for (const auto& [id, v] : reported)
            chooser.host.copy[id] = v;
        ExpectValues(chooser.host.Of(kIds), kPrograms[static_cast<std::size_t>(program)], "after the block");
        ExpectValues(Values{{kProgramChange, chooser.instance->controller()->getParamNormalized(kProgramChange)}},
                     Values{{kProgramChange, value}}, "the program parameter");
    }
}
