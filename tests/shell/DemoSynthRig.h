#pragma once
// The demo instrument's processor (or another's, from the folder of its
// dsp.kv.xml) as a host runs it, in-process: its bundle
// laid out in a scratch folder from the instrument's source folder, and the
// processor made by the bundle's factory, active and processing blocks of a
// fixed size into one stereo output bus.

#include <filesystem>
#include <string>
#include <vector>

#include "tests/TempFolder.h"
#include "shell/ADelayProcessor.h"
#include "shell/BundleInfo.h"
#include "shell/MyVstPluginFactory.h"
#include "tools/kvhost/HostContext.h"

namespace demo_synth_rig
{
class DemoSynthRig
{
public:
    explicit DemoSynthRig(Steinberg::int32 block, const std::string& tag = "rig",
                          const std::string& document = KV_DEMO_SYNTH_DOCUMENT)
        : folder_("demo-" + tag), factory(LayOut(folder_.path(), document)), left(static_cast<std::size_t>(block)), right(static_cast<std::size_t>(block))
    {
        using namespace Steinberg::Vst;
        factory.initialize();
        processor = Steinberg::owned(new ADelayProcessor(&factory));
        processor->setInstrument(true);
        processor->initialize(&host);
        ProcessSetup setup{kRealtime, kSample32, block, 48000.0};
        processor->setupProcessing(setup);
        processor->setActive(true);
        processor->setProcessing(true);
        channels[0] = left.data();
        channels[1] = right.data();
        bus.numChannels = 2;
        bus.channelBuffers32 = channels;
        data.numSamples = block;
        data.symbolicSampleSize = kSample32;
        data.outputs = &bus;
        data.numOutputs = 1;
    }
    ~DemoSynthRig()
    {
        processor->setProcessing(false);
        processor->setActive(false);
        processor->terminate();
        processor = nullptr;
    }
    DemoSynthRig(const DemoSynthRig&) = delete;
    DemoSynthRig& operator=(const DemoSynthRig&) = delete;

private:
    static BundleInfo LayOut(const std::filesystem::path& folder, const std::filesystem::path& document)
    {
        namespace fs = std::filesystem;
        const fs::path bundle = folder / "KorvaneDemoSynth.vst3";
        fs::create_directories(bundle / "Contents" / "Resources");
        fs::create_directories(bundle / "Contents" / "x86_64-linux");
        for (const char* name : {"factory.kv.xml", "dsp.kv.xml", "parameters.kv.xml"})
            fs::copy_file(document.parent_path() / name,
                          bundle / "Contents" / "Resources" / name, fs::copy_options::overwrite_existing);
        return BundleInfo::FromModulePath((bundle / "Contents" / "x86_64-linux" / "KorvaneDemoSynth.so").string());
    }

    kv_test::TempFolder folder_;

public:
    MyVstPluginFactory factory;
    KvHostApplication host;
    Steinberg::IPtr<ADelayProcessor> processor;
    std::vector<float> left;
    std::vector<float> right;
    float* channels[2] = {};
    Steinberg::Vst::AudioBusBuffers bus{};
    Steinberg::Vst::ProcessData data;
};
} // namespace demo_synth_rig
