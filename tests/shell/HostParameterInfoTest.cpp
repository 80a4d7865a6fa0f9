// Host parameters as hosts read them, through the VST3 interfaces of bundles
// loaded as a host loads them: every parameter's unit is one the controller
// lists, an on/off parameter is a switch of one step whose text and saved
// state keep their meaning, and a host that writes back every value of a
// state it read changes nothing that plays.

#include <gtest/gtest.h>

#include <tinyxml.h>

#include <cmath>
#include <filesystem>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "DemoSynthSession.h"
#include "HostModel.h"
#include "pluginterfaces/vst/ivstunits.h"

using namespace demo_synth_test;

namespace
{
// The host ids of the bundle's on/off parameters, from its parameters document.
std::set<ParamID> OnOffIds(const std::string& bundle)
{
    std::set<ParamID> ids;
    TiXmlDocument document((bundle + "/Contents/Resources/parameters.kv.xml").c_str());
    if (!document.LoadFile() || !document.RootElement() || !document.RootElement()->FirstChildElement())
        return ids;
    const TiXmlElement* list = document.RootElement()->FirstChildElement()->FirstChildElement("Parameters");
    for (const TiXmlElement* p = list ? list->FirstChildElement("Parameter") : nullptr; p;
         p = p->NextSiblingElement("Parameter"))
    {
        int type = 6, index = -1, hidden = 0;
        p->QueryIntAttribute("ValueType", &type);
        p->QueryIntAttribute("Index", &index);
        p->QueryIntAttribute("Private", &hidden);
        if (type == 4 && index >= 0 && hidden == 0)
            ids.insert(static_cast<ParamID>(index));
    }
    return ids;
}

std::unique_ptr<PluginInstance> Load(const std::string& bundle, std::shared_ptr<PluginModule>& module)
{
    std::string error;
    module = PluginModule::Load(bundle, error);
    EXPECT_TRUE(module) << bundle << ": " << error;
    std::unique_ptr<PluginInstance> instance;
    if (module)
        instance = PluginInstance::Create(module, InstanceSetup(), error);
    EXPECT_TRUE(instance) << bundle << ": " << error;
    return instance;
}

std::string Text(IEditController& controller, ParamID id, double value)
{
    String128 text{};
    controller.getParamStringByValue(id, value, text);
    return Narrow(text);
}

// The text of the value a saved state holds for the patch parameter `handle`.
std::string SavedValue(const std::vector<char>& chunk, int handle)
{
    const std::string text(chunk.begin(), chunk.end());
    const std::regex param("<Param id=\"" + std::to_string(handle) + "\"[^>]*val=\"([^\"]*)\"");
    std::smatch found;
    return std::regex_search(text, found, param) ? found[1].str() : "(none)";
}

// The MIDI controllers that the bundle's patch parameters are bound to
// (automation codes of kind 2, from its graph document).
std::set<int> BoundControllers(const TiXmlNode& node, std::set<int> found = {})
{
    for (const TiXmlElement* e = node.FirstChildElement(); e; e = e->NextSiblingElement())
    {
        int code = 0;
        if (e->ValueStr() == "Parameter" && e->QueryIntAttribute("Automation", &code) == TIXML_SUCCESS &&
            (code >> 24) == 2)
            found.insert(code & 0x7F);
        found = BoundControllers(*e, std::move(found));
    }
    return found;
}

// Whether writing back a host value of the parameter `id` leaves a sounding
// note as it is: all but the channel-mode controllers (120-127), which end it.
bool KeepsTheNote(ParamID id)
{
    return id < 10120 || id > 10127;
}

std::vector<float> Render(PluginInstance& instance, const Score& score)
{
    CaptureSink sink;
    RenderSettings settings;
    settings.seconds = 0.5;
    RenderResult result;
    std::string error;
    Renderer renderer(instance);
    EXPECT_TRUE(renderer.render(score.performance, settings, &sink, result, error)) << error;
    return sink.channelCount() > 0 ? sink.channel(0) : std::vector<float>();
}
} // namespace

TEST(HostParameterInfo, EveryParameterOfEveryBundleNamesAListedUnitAndEachOnOffParameterIsASwitch)
{
    const std::vector<std::string> bundles = AllBundles();
    ASSERT_GE(bundles.size(), 10u);
    std::size_t switches = 0;
    for (const std::string& bundle : bundles)
    {
        std::shared_ptr<PluginModule> module;
        std::unique_ptr<PluginInstance> instance = Load(bundle, module);
        if (!instance || !instance->controller())
            continue;
        IEditController& controller = *instance->controller();
        // Without IUnitInfo the root unit is the only one.
        std::set<UnitID> units = {kRootUnitId};
        FUnknownPtr<IUnitInfo> unitInfo(&controller);
        if (unitInfo)
        {
            units.clear();
            for (int32 i = 0; i < unitInfo->getUnitCount(); ++i)
            {
                UnitInfo unit{};
                ASSERT_EQ(unitInfo->getUnitInfo(i, unit), kResultOk) << bundle;
                units.insert(unit.id);
            }
        }
        const std::set<ParamID> onOff = OnOffIds(bundle);
        std::set<ParamID> seen;
        for (int32 i = 0; i < controller.getParameterCount(); ++i)
        {
            ParameterInfo info{};
            ASSERT_EQ(controller.getParameterInfo(i, info), kResultOk) << bundle;
            EXPECT_TRUE(units.count(info.unitId)) << bundle << ": parameter " << info.id << " names unit "
                                                  << info.unitId;
            if (!onOff.count(info.id))
                continue;
            seen.insert(info.id);
            EXPECT_EQ(info.stepCount, 1) << bundle << ": parameter " << info.id;
            // A host's step (the normalised value times two, at most 1) says what the text says.
            for (double value : {0.0, 0.25, 0.49, 0.5, 0.6, 1.0})
                EXPECT_EQ(Text(controller, info.id, value), std::min(1.0, std::floor(value * 2)) == 1 ? "On" : "Off")
                    << bundle << ": parameter " << info.id << " at " << value;
        }
        EXPECT_EQ(seen, onOff) << bundle;
        switches += seen.size();
    }
    EXPECT_GE(switches, 2u);
}

TEST(HostParameterInfo, WritingBackEveryValueAFreshInstanceReportsChangesNothingThatPlays)
{
    // Each bundle of ours, the demo among them, plays a note three times: as
    // it is; with every value it reported when fresh written back while the
    // note sounds, as by a host that writes back every parameter (pressure,
    // bend, RPN selection, data entry and controllers bound to patch
    // parameters among them) but the channel-mode controllers, which end the
    // note, to the controller first, then to the processor; and on a fresh
    // instance given every value of another before the note (a host copying
    // the whole patch). The sound and the values the host then reads are
    // the same.
    const Score note = Score().On(1000, 69).Off(15000, 69);
    std::size_t played = 0;
    std::size_t boundAndSet = 0;
    for (const std::string& bundle : AllBundles())
    {
        if (!std::filesystem::exists(bundle + "/Contents/Resources/parameters.kv.xml"))
            continue;
        std::shared_ptr<PluginModule> module;
        std::unique_ptr<PluginInstance> plain = Load(bundle, module);
        std::unique_ptr<PluginInstance> restored = Load(bundle, module);
        std::unique_ptr<PluginInstance> copied = Load(bundle, module);
        ASSERT_TRUE(plain && restored && copied);
        IEditController& controller = *restored->controller();
        TiXmlDocument dsp((bundle + "/Contents/Resources/dsp.kv.xml").c_str());
        dsp.LoadFile();
        for (const int bound : BoundControllers(dsp))
            boundAndSet += controller.getParamNormalized(static_cast<ParamID>(10000 + bound)) > 0.0 ? 1 : 0;
        Score written = note;
        Score copy = note;
        std::vector<ParamID> ids;
        for (int32 i = 0; i < controller.getParameterCount(); ++i)
        {
            ParameterInfo info{};
            ASSERT_EQ(controller.getParameterInfo(i, info), kResultOk);
            const double value = controller.getParamNormalized(info.id);
            EXPECT_EQ(copied->controller()->setParamNormalized(info.id, value), kResultOk) << bundle << ": " << info.id;
            copy.Param(0, info.id, value);
            if (!KeepsTheNote(info.id))
                continue;
            EXPECT_EQ(controller.setParamNormalized(info.id, value), kResultOk) << bundle << ": " << info.id;
            written.Param(6000, info.id, value);
            ids.push_back(info.id);
        }
        EXPECT_EQ(controller.getParamNormalized(10129), 0.5) << bundle;
        const std::vector<float> expected = Render(*plain, note);
        for (const auto& [instance, score] : {std::pair{restored.get(), &written}, std::pair{copied.get(), &copy}})
        {
            const std::vector<float> output = Render(*instance, *score);
            ASSERT_EQ(output.size(), expected.size()) << bundle;
            std::size_t differing = 0;
            for (std::size_t i = 0; i < output.size(); ++i)
                differing += output[i] != expected[i];
            EXPECT_EQ(differing, 0u) << bundle << (instance == copied.get() ? ", copied" : ", written back");
        }
        for (ParamID id : ids)
        {
            EXPECT_EQ(controller.getParamNormalized(id), plain->controller()->getParamNormalized(id))
                << bundle << ": " << id;
            EXPECT_EQ(copied->controller()->getParamNormalized(id), plain->controller()->getParamNormalized(id))
                << bundle << ", copied: " << id;
        }
        played += !expected.empty() && Peak(expected, 2000, 12000) > 0.01;
    }
    // The instruments sound, and a patch parameter answering to a controller
    // stands away from 0.
    EXPECT_GE(played, 5u);
    EXPECT_GE(boundAndSet, 1u);
}

TEST(HostParameterInfo, AnOnOffValueKeepsItsMeaningAndItsSavedStateRestoresByteForByte)
{
    // "Gate" (id 4) starts off, "Hold" (id 11) on. A host value recorded
    // before the switch had one step (0.6 was a step of five) still means on.
    const std::string bundle = KV_VALUE_TYPES_BUNDLE;
    constexpr ParamID kGate = 4;
    constexpr ParamID kHold = 11;
    std::shared_ptr<PluginModule> module;
    std::unique_ptr<PluginInstance> first = Load(bundle, module);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->controller()->getParamNormalized(kGate), 0.0);
    EXPECT_EQ(first->controller()->getParamNormalized(kHold), 1.0);
    Render(*first, Score().Param(0, kGate, 0.6).Param(0, kHold, 0.4));
    EXPECT_EQ(Text(*first->controller(), kGate, first->controller()->getParamNormalized(kGate)), "On");
    EXPECT_EQ(Text(*first->controller(), kHold, first->controller()->getParamNormalized(kHold)), "Off");
    std::vector<char> saved;
    std::string error;
    ASSERT_TRUE(first->saveState(saved, error)) << error;
    EXPECT_EQ(SavedValue(saved, 5), "1");
    EXPECT_EQ(SavedValue(saved, 13), "0");

    std::unique_ptr<PluginInstance> second = Load(bundle, module);
    ASSERT_TRUE(second);
    ASSERT_TRUE(second->loadState(saved, error)) << error;
    EXPECT_EQ(second->controller()->getParamNormalized(kGate), 1.0);
    EXPECT_EQ(second->controller()->getParamNormalized(kHold), 0.0);
    std::vector<char> again;
    ASSERT_TRUE(second->saveState(again, error)) << error;
    EXPECT_EQ(again, saved);
}
