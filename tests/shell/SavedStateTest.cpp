// What a host saves of the plug-in (the processor's state and the
// controller's) and loads back, through the VST3 interfaces of every bundle
// the build makes.

#include <gtest/gtest.h>

#include <tinyxml.h>

#include <sstream>

#include "HostModel.h"
#include "public.sdk/source/vst/vstpresetfile.h"

using namespace host_model;

namespace
{
constexpr int32 kBlock = 256;

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
    for (const TiXmlElement* p = root ? root->FirstChildElement("Param") : nullptr; p; p = p->NextSiblingElement("Param"))
        if (int id = -1; p->QueryIntAttribute("id", &id) == TIXML_SUCCESS && p->Attribute("val"))
            values[id] = p->Attribute("val");
    return values;
}

// Whether a block played bypassed: an instrument silent, an effect its dry input.
bool Bypassed(const Plugin& plugin, const std::vector<float>& out)
{
    const float dry = plugin.instance->inputChannels().empty() ? 0.0f : Plugin::kDry;
    return std::all_of(out.begin(), out.end(), [&](float v) { return v == dry; });
}
} // namespace

TEST(SavedState, TheBypassOfEveryBundleSurvivesAPresetAndAStateOfTheOlderFormTurnsItOff)
{
    // The bypass switched on in a block without samples and on the
    // controller, a preset saved and loaded as the SDK's preset file does it
    // with the bypass off in between: it reads 1 and plays bypassed. The
    // state an older build's reader takes the same values from; and one of
    // the older form (no attributes on its root) turns the bypass off.
    const FUID kClass(0x4b760001, 0x00000002, 0x00000003, 0x00000004);
    int tried = 0, heardOnes = 0, valued = 0;
    for (const std::string& bundle : AllBundles())
    {
        SCOPED_TRACE(bundle);
        Plugin plugin(bundle);
        ASSERT_TRUE(plugin.instance);
        const std::optional<ParameterInfo> bypass = plugin.Flagged(ParameterInfo::kIsBypass);
        if (!bypass)
            continue;
        ++tried;
        const ParamID id = bypass->id;
        IEditController* controller = plugin.controller();
        plugin.Block(kBlock);
        const std::vector<char> off = plugin.ProcessorState();
        plugin.Block(0, {{id, 1.0}});
        controller->setParamNormalized(id, 1.0);
        HostMemoryStream preset;
        ASSERT_TRUE(PresetFile::savePreset(&preset, kClass, plugin.component(), controller));
        const std::string on = Text(plugin.ProcessorState());
        EXPECT_EQ(OlderReaderValues(on), OlderReaderValues(Text(off)));
        valued += OlderReaderValues(on).empty() ? 0 : 1;

        plugin.Block(0, {{id, 0.0}});
        controller->setParamNormalized(id, 0.0);
        preset.rewind();
        ASSERT_TRUE(PresetFile::loadPreset(&preset, kClass, plugin.component(), controller));
        EXPECT_EQ(controller->getParamNormalized(id), 1.0);
        // Once its ramp has run, a note is not heard.
        plugin.Block(kBlock);
        EXPECT_TRUE(Bypassed(plugin, plugin.Block(kBlock, {}, true)));
        EXPECT_TRUE(Bypassed(plugin, plugin.Block(kBlock)));

        std::string old = on;
        const std::size_t root = old.find("<Parameters ");
        ASSERT_NE(root, std::string::npos) << on;
        old.erase(root + 11, old.find_first_of("/>", root) - root - 11);
        const auto count = static_cast<int32_t>(old.size());
        old.insert(0, reinterpret_cast<const char*>(&count), 4);
        plugin.Restore(std::vector<char>(old.begin(), old.end()), {});
        EXPECT_EQ(controller->getParamNormalized(id), 0.0);
        plugin.Block(kBlock);
        // A note is heard, if a fresh instance lets one be heard.
        Plugin fresh(bundle);
        fresh.Block(kBlock);
        const bool heard = !Bypassed(fresh, fresh.Block(kBlock, {}, true));
        heardOnes += heard ? 1 : 0;
        EXPECT_EQ(!Bypassed(plugin, plugin.Block(kBlock, {}, true)), heard);
        EXPECT_EQ(Text(plugin.ProcessorState()), Text(off));
    }
    EXPECT_GE(tried, 8);
    EXPECT_GE(heardOnes, 5);
    EXPECT_GE(valued, 5);
}

TEST(SavedState, EveryHostParameterOfEveryBundleSetByAHostComesBackInAFreshInstance)
{
    int tried = 0;
    for (const std::string& bundle : AllBundles())
    {
        SCOPED_TRACE(bundle);
        Plugin plugin(bundle);
        ASSERT_TRUE(plugin.instance);
        // The test plug-in of the platform layer (no bypass) keeps no state.
        if (!plugin.Flagged(ParameterInfo::kIsBypass))
            continue;
        ++tried;
        IEditController* controller = plugin.controller();
        // As a host sets them: on the controller, and to the processor with
        // a block. The program first: choosing it moves the values.
        std::vector<std::pair<ParameterInfo, double>> set;
        const auto choose = [&](const ParameterInfo& info) {
            const double now = controller->getParamNormalized(info.id);
            double value = now < 0.5 ? now + 0.37 : now - 0.37;
            if (info.stepCount > 0)
                value = static_cast<double>((std::lround(now * info.stepCount) + 1) % (info.stepCount + 1)) /
                        info.stepCount;
            controller->setParamNormalized(info.id, value);
            set.emplace_back(info, value);
            return Change{info.id, value};
        };
        if (const std::optional<ParameterInfo> program = plugin.Flagged(ParameterInfo::kIsProgramChange))
            plugin.Block(kBlock, {choose(*program)});
        std::vector<Change> changes;
        for (int32 i = 0; i < controller->getParameterCount(); ++i)
        {
            ParameterInfo info{};
            ASSERT_EQ(controller->getParameterInfo(i, info), kResultOk);
            if ((info.id < 10000 && !(info.flags & ParameterInfo::kIsReadOnly)) || (info.flags & ParameterInfo::kIsBypass))
                changes.push_back(choose(info));
        }
        plugin.Block(kBlock, changes);
        plugin.Block(kBlock);
        const std::vector<char> processor = plugin.ProcessorState();

        Plugin fresh(bundle);
        ASSERT_TRUE(fresh.instance);
        fresh.Restore(processor, plugin.ControllerState());
        for (const auto& [info, value] : set)
        {
            const double read = fresh.controller()->getParamNormalized(info.id);
            if (info.stepCount > 0)
                EXPECT_EQ(std::lround(read * info.stepCount), std::lround(value * info.stepCount)) << info.id;
            else
                EXPECT_NEAR(read, value, 1e-6) << info.id;
        }
        // What plays is what was saved.
        fresh.Block(kBlock);
        EXPECT_EQ(Text(fresh.ProcessorState()), Text(processor));
    }
    EXPECT_GE(tried, 8);
}
