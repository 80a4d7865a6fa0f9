// What a host saves of the plug-in (the processor's state and the
// controller's) and loads back, through the VST3 interfaces of every bundle
// the build makes: the bypass switched in a block without samples survives
// a preset saved and loaded as the SDK's preset file does it; every host
// parameter set by a host comes back in a fresh instance; a state keeps the
// form older builds read, and a state of that form loads with the bypass off.

#include <gtest/gtest.h>

#include <tinyxml.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "DemoSynthSession.h"
#include "public.sdk/source/vst/vstpresetfile.h"
#include "tools/kvhost/HostMemoryStream.h"
#include "tools/kvhost/HostParameterChanges.h"
#include "tests/shell/BlockEventList.h"

using namespace demo_synth_test;

namespace
{
constexpr int32 kHostBlock = 256;
constexpr float kDry = 0.25f;

std::vector<std::string> AllBundles()
{
    std::vector<std::string> bundles;
    std::stringstream list(KV_ALL_BUNDLES);
    for (std::string bundle; std::getline(list, bundle, '|');)
        bundles.push_back(bundle);
    return bundles;
}

// One instance of a bundle, active and processing, as a host holds it.
struct Host
{
    explicit Host(const std::string& bundle)
    {
        std::string error;
        module = PluginModule::Load(bundle, error);
        EXPECT_TRUE(module) << bundle << ": " << error;
        if (module)
            instance = PluginInstance::Create(module, InstanceSetup(), error);
        EXPECT_TRUE(instance) << bundle << ": " << error;
    }

    IComponent* component() const { return instance->component(); }
    IEditController* controller() const { return instance->controller(); }

    // The parameter flagged as the given kind, if any.
    std::optional<ParameterInfo> Flagged(int32 flag) const
    {
        for (int32 i = 0; controller() && i < controller()->getParameterCount(); ++i)
        {
            ParameterInfo info{};
            if (controller()->getParameterInfo(i, info) == kResultOk && (info.flags & flag))
                return info;
        }
        return std::nullopt;
    }

    // One block of `samples` with the given changes at its start, a note on
    // key 69 when asked, and kDry on every input; every output sample.
    std::vector<float> Block(int32 samples, const std::vector<std::pair<ParamID, double>>& changes = {},
                             bool note = false)
    {
        HostParameterChanges in;
        for (const auto& [id, value] : changes)
            in.add(id, 0, value);
        Event on{};
        on.type = Event::kNoteOnEvent;
        on.noteOn.pitch = 69;
        on.noteOn.velocity = 1.0f;
        BlockEventList events(note ? std::vector<Event>{on} : std::vector<Event>{});
        const auto room = static_cast<std::size_t>(std::max(samples, 1));
        auto buses = [&](const std::vector<int32>& counts, std::vector<std::vector<float>>& store,
                         std::vector<std::vector<float*>>& pointers, std::vector<AudioBusBuffers>& out, float fill) {
            for (int32 count : counts)
            {
                pointers.emplace_back();
                for (int32 c = 0; c < count; ++c)
                {
                    store.emplace_back(room, fill);
                    pointers.back().push_back(store.back().data());
                }
            }
            for (std::size_t b = 0; b < counts.size(); ++b)
            {
                AudioBusBuffers bus{};
                bus.numChannels = counts[b];
                bus.channelBuffers32 = pointers[b].data();
                out.push_back(bus);
            }
        };
        std::vector<std::vector<float>> inStore, outStore;
        inStore.reserve(64);
        outStore.reserve(64);
        std::vector<std::vector<float*>> inPointers, outPointers;
        std::vector<AudioBusBuffers> inputs, outputs;
        buses(instance->inputChannels(), inStore, inPointers, inputs, kDry);
        buses(instance->outputChannels(), outStore, outPointers, outputs, 0.0f);
        ProcessData data{};
        data.processMode = kRealtime;
        data.symbolicSampleSize = kSample32;
        data.numSamples = samples;
        data.numInputs = static_cast<int32>(inputs.size());
        data.inputs = inputs.empty() ? nullptr : inputs.data();
        data.numOutputs = static_cast<int32>(outputs.size());
        data.outputs = outputs.empty() ? nullptr : outputs.data();
        data.inputParameterChanges = &in;
        data.inputEvents = instance->hasEventInput() ? &events : nullptr;
        EXPECT_EQ(instance->processor()->process(data), kResultOk);
        std::vector<float> all;
        for (const auto& channel : outStore)
            all.insert(all.end(), channel.begin(), channel.begin() + samples);
        return all;
    }

    std::vector<char> ProcessorState() const
    {
        HostMemoryStream out;
        EXPECT_EQ(component()->getState(&out), kResultOk);
        return out.bytes();
    }
    std::vector<char> ControllerState() const
    {
        HostMemoryStream out;
        EXPECT_EQ(controller()->getState(&out), kResultOk);
        return out.bytes();
    }
    // As hosts restore a project: the processor, the controller from the
    // processor's state, then the controller's own.
    void Restore(const std::vector<char>& processor, const std::vector<char>& own) const
    {
        HostMemoryStream component(processor);
        EXPECT_EQ(this->component()->setState(&component), kResultOk);
        HostMemoryStream shown(processor);
        EXPECT_EQ(controller()->setComponentState(&shown), kResultOk);
        HostMemoryStream mine(own);
        EXPECT_EQ(controller()->setState(&mine), kResultOk);
    }

    std::shared_ptr<PluginModule> module;
    std::unique_ptr<PluginInstance> instance;
};

std::string Text(const std::vector<char>& chunk)
{
    return chunk.size() > 4 ? std::string(chunk.begin() + 4, chunk.end()) : std::string();
}

// The values of a processor state as builds before the program and the
// bypass were saved read them: the Params of the Parameters element, by
// handle, whatever else the document holds.
std::map<int, std::string> OlderReaderValues(const std::string& text)
{
    std::map<int, std::string> values;
    TiXmlDocument document;
    document.Parse(text.c_str());
    const TiXmlElement* root = document.FirstChildElement("Parameters");
    for (const TiXmlElement* p = root ? root->FirstChildElement("Param") : nullptr; p;
         p = p->NextSiblingElement("Param"))
    {
        int id = -1;
        p->QueryIntAttribute("id", &id);
        if (const char* val = p->Attribute("val"))
            values[id] = val;
    }
    return values;
}

bool Bypassed(const Host& host, const std::vector<float>& out)
{
    // An instrument is silent, an effect passes its dry input.
    const float dry = host.instance->inputChannels().empty() ? 0.0f : kDry;
    return std::all_of(out.begin(), out.end(), [&](float v) { return v == dry; });
}
} // namespace

TEST(SavedState, TheBypassOfEveryBundleSurvivesAPresetSavedAndLoadedAsTheSdkDoes)
{
    const Steinberg::FUID kClass(0x4b760001, 0x00000002, 0x00000003, 0x00000004);
    int tried = 0;
    for (const std::string& bundle : AllBundles())
    {
        SCOPED_TRACE(bundle);
        Host host(bundle);
        ASSERT_TRUE(host.instance);
        const std::optional<ParameterInfo> bypass = host.Flagged(ParameterInfo::kIsBypass);
        if (!bypass)
            continue;
        ++tried;
        const ParamID id = bypass->id;
        IComponent* component = host.component();
        IEditController* controller = host.controller();
        host.Block(kHostBlock);
        // On in a block without samples and on the controller, then saved.
        host.Block(0, {{id, 1.0}});
        controller->setParamNormalized(id, 1.0);
        HostMemoryStream preset;
        ASSERT_TRUE(Steinberg::Vst::PresetFile::savePreset(&preset, kClass, component, controller));
        // Off again, then the preset loaded.
        host.Block(0, {{id, 0.0}});
        controller->setParamNormalized(id, 0.0);
        ASSERT_TRUE(preset.seek(0, IBStream::kIBSeekSet, nullptr) == kResultOk);
        ASSERT_TRUE(Steinberg::Vst::PresetFile::loadPreset(&preset, kClass, component, controller));
        EXPECT_EQ(controller->getParamNormalized(id), 1.0);
        // It plays bypassed once its ramp has run: a note is not heard.
        host.Block(kHostBlock);
        EXPECT_TRUE(Bypassed(host, host.Block(kHostBlock, {}, true)));
        EXPECT_TRUE(Bypassed(host, host.Block(kHostBlock)));
    }
    EXPECT_GE(tried, 8);
}

TEST(SavedState, EveryHostParameterOfEveryBundleSetByAHostComesBackInAFreshInstance)
{
    int tried = 0;
    for (const std::string& bundle : AllBundles())
    {
        SCOPED_TRACE(bundle);
        Host host(bundle);
        ASSERT_TRUE(host.instance);
        // The plug-in's own bundles: the test plug-in of the platform layer
        // (no bypass) keeps no state.
        if (!host.Flagged(ParameterInfo::kIsBypass))
            continue;
        ++tried;
        IEditController* controller = host.controller();
        // As a host sets them: on the controller, and to the processor with
        // a block. The program first: choosing it moves the values.
        struct Set
        {
            ParamID id;
            int32 steps;
            double value;
        };
        std::vector<Set> set;
        const auto choose = [&](const ParameterInfo& info) {
            const double now = controller->getParamNormalized(info.id);
            double value = now < 0.5 ? now + 0.37 : now - 0.37;
            if (info.stepCount > 0)
            {
                const auto step = (std::lround(now * info.stepCount) + 1) % (info.stepCount + 1);
                value = static_cast<double>(step) / info.stepCount;
            }
            controller->setParamNormalized(info.id, value);
            set.push_back({info.id, info.stepCount, value});
            return std::make_pair(info.id, value);
        };
        if (const std::optional<ParameterInfo> program = host.Flagged(ParameterInfo::kIsProgramChange))
            host.Block(kHostBlock, {choose(*program)});
        std::vector<std::pair<ParamID, double>> changes;
        for (int32 i = 0; i < controller->getParameterCount(); ++i)
        {
            ParameterInfo info{};
            ASSERT_EQ(controller->getParameterInfo(i, info), kResultOk);
            const bool patch = info.id < 10000 && !(info.flags & ParameterInfo::kIsReadOnly);
            if (patch || (info.flags & ParameterInfo::kIsBypass))
                changes.push_back(choose(info));
        }
        host.Block(kHostBlock, changes);
        host.Block(kHostBlock);
        const std::vector<char> processor = host.ProcessorState();
        const std::vector<char> own = host.ControllerState();

        Host fresh(bundle);
        ASSERT_TRUE(fresh.instance);
        fresh.Restore(processor, own);
        for (const Set& s : set)
        {
            SCOPED_TRACE(s.id);
            const double read = fresh.controller()->getParamNormalized(s.id);
            if (s.steps > 0)
                EXPECT_EQ(std::lround(read * s.steps), std::lround(s.value * s.steps));
            else
                EXPECT_NEAR(read, s.value, 1e-6);
        }
        // What plays is what was saved.
        fresh.Block(kHostBlock);
        EXPECT_EQ(Text(fresh.ProcessorState()), Text(processor));
    }
    EXPECT_GE(tried, 8);
}

TEST(SavedState, AnOlderReaderTakesTheValuesOfANewStateAndAStateOfTheOlderFormLoadsWithTheBypassOff)
{
    Host host(KV_DEMO_SYNTH_BUNDLE);
    ASSERT_TRUE(host.instance);
    const ParamID bypass = host.Flagged(ParameterInfo::kIsBypass)->id;
    host.Block(kHostBlock);
    // One program, the bypass off: the form older builds wrote.
    const std::string plain = Text(host.ProcessorState());
    EXPECT_NE(plain.find("\n<Parameters>\n"), std::string::npos) << plain;
    host.Block(0, {{bypass, 1.0}});
    const std::string on = Text(host.ProcessorState());
    // Only the root's attributes tell them apart; an older reader takes
    // the same values from both.
    std::string stripped = on;
    const std::size_t root = stripped.find("<Parameters ");
    ASSERT_NE(root, std::string::npos) << on;
    stripped.erase(root + 11, stripped.find('>', root) - root - 11);
    EXPECT_EQ(stripped, plain);
    EXPECT_FALSE(OlderReaderValues(on).empty());
    EXPECT_EQ(OlderReaderValues(on), OlderReaderValues(plain));

    // The older form, loaded while the bypass is on, turns it off.
    host.Block(kHostBlock);
    host.controller()->setParamNormalized(bypass, 1.0);
    std::vector<char> old(4);
    const auto count = static_cast<int32_t>(plain.size());
    std::copy_n(reinterpret_cast<const char*>(&count), 4, old.begin());
    old.insert(old.end(), plain.begin(), plain.end());
    host.Restore(old, {});
    EXPECT_EQ(host.controller()->getParamNormalized(bypass), 0.0);
    EXPECT_EQ(Text(host.ProcessorState()), plain);
    host.Block(kHostBlock);
    const std::vector<float> note = host.Block(kHostBlock, {}, true);
    EXPECT_GT(*std::max_element(note.begin(), note.end()), 0.0f);
}
