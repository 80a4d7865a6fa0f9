#pragma once
// What the shell's fuzzers share: a bundle in a temporary folder holding a
// parameters document with one parameter of every kind and a graph that
// plays them, a factory for it, one for a copy whose parameters document a
// fuzzer writes (and, where the build names its folder, one for the demo
// instrument), a host context, and a controller built from it.

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include <tinyxml.h>

#include <algorithm>
#include <cmath>

#include "core/ValueRule.h"
#include "core/it_enum_list.h"
#include "pluginterfaces/vst/ivstmessage.h"
#include "shell/ADelayController.h"
#include "shell/MyVstPluginFactory.h"
#include "tests/TempFolder.h"
#include "tools/kvhost/HostContext.h"

namespace fuzz_shell
{
inline const char* kParameters = R"(<Document><C><Parameters>
  <Parameter Name="F" Handle="1" Index="0"><patch-list>1</patch-list></Parameter>
  <Parameter Name="T" Handle="2" ValueType="1"><patch-list>'a b'</patch-list></Parameter>
  <Parameter Name="I" Handle="3" Index="2" ValueType="8" RangeMinimum="0" RangeMaximum="127"/>
  <Parameter Name="L" Handle="4" Index="3" ValueType="8" MetaData="A,B=4,C"/>
  <Parameter Name="D" Handle="5" ValueType="3" Private="1"/>
  <Parameter Name="B" Handle="6" ValueType="10"/>
  <Parameter Name="Q" Handle="7" ValueType="4" Index="4"/>
  <Parameter Name="G" Handle="8" ValueType="9" Index="5"/>
  <Parameter Name="M" Handle="9" ValueType="2"/>
  <Parameter Name="P" Handle="10" Private="1" RangeMinimum="1" RangeMaximum="1"/>
</Parameters></C></Document>)";

// The engine side of the same parameters: a saw through a low-pass whose
// cutoff is F and whose waveform is L, with I, T, Q and B kept in the state.
inline const char* kDsp = R"(<DSP><Container Id="1" Type="Container"><Modules>
 <Module Type="Container" Id="2" ExpandInline="0">
  <PatchManager><Parameters>
   <Parameter DataType="22" Index="0" Handle="1" RangeMinimum="0" RangeMaximum="10"><p>1</p></Parameter>
   <Parameter DataType="20" Handle="2"><p>'a b'</p></Parameter>
   <Parameter DataType="24" Index="2" Handle="3" RangeMinimum="0" RangeMaximum="127"><p>0</p></Parameter>
   <Parameter DataType="21" Index="3" Handle="4" MetaData="A,B=4,C"><p>0</p></Parameter>
   <Parameter DataType="28" Handle="6"/>
   <Parameter DataType="23" Index="4" Handle="7"><p>0</p></Parameter>
  </Parameters></PatchManager>
  <Plugs><Plug Direction="1" Datatype="5"/><Plug Direction="1" Datatype="5"/><Plug Direction="0" Datatype="2"/></Plugs>
  <Modules>
   <Module Type="IO Mod" Id="3"><Plugs>
    <Plug Direction="0" Datatype="5" TiedTo="2" TiedToPinIdx="0"/>
    <Plug Direction="0" Datatype="5" TiedTo="2" TiedToPinIdx="1"/>
    <Plug Direction="1" Datatype="2" TiedTo="2" TiedToPinIdx="2"/>
   </Plugs></Module>
   <Module Type="Oscillator" Id="4"><Plugs><Plug Idx="0" Default="4"/><Plug Idx="2" Parameter="4"/></Plugs></Module>
   <Module Type="1 Pole LP" Id="5"><Plugs><Plug Idx="1" Parameter="1"/></Plugs></Module>
  </Modules>
  <Lines>
   <Line From="4" FromPin="3" To="5" ToPin="0"/>
   <Line From="5" FromPin="2" To="3" ToPin="0"/>
   <Line From="5" FromPin="2" To="3" ToPin="1"/>
  </Lines>
 </Module></Modules></Container></DSP>)";

inline const char* kFactory = R"(<Factory><Vendor Name="K" Url="u" Email="e"/><Plugins>
 <Plugin Name="F" Version="1" ProcessorId="{0F0F0F0F-1111-2222-3333-444444444444}"
  ControllerId="{0F0F0F0F-5555-6666-7777-888888888888}" subCategories="Instrument" outputsAsStereoPairs="true"/>
</Plugins></Factory>)";

// A folder made once per process, removed when the fuzzer exits.
inline const std::string& Folder()
{
    static const kv_test::TempFolder temporary("fuzz");
    static const std::string folder = [] {
        const std::string pattern = temporary.path().string();
        if (pattern.empty())
            std::abort();
        const auto bundle = std::filesystem::path(pattern) / "F.vst3";
        std::filesystem::create_directories(bundle / "Contents" / "Resources");
        std::filesystem::create_directories(bundle / "Contents" / "x86_64-linux");
        std::ofstream(bundle / "Contents" / "Resources" / "parameters.kv.xml") << kParameters;
        std::ofstream(bundle / "Contents" / "Resources" / "dsp.kv.xml") << kDsp;
        std::ofstream(bundle / "Contents" / "Resources" / "factory.kv.xml") << kFactory;
        // The same bundle, its parameters document written by each input.
        const auto written = std::filesystem::path(pattern) / "P.vst3";
        std::filesystem::create_directories(written / "Contents" / "x86_64-linux");
        std::filesystem::copy(bundle / "Contents" / "Resources", written / "Contents" / "Resources");
#ifdef KV_DEMO_SYNTH_DIR
        // The demo instrument's resources, as its bundle holds them.
        const auto demo = std::filesystem::path(pattern) / "D.vst3";
        std::filesystem::create_directories(demo / "Contents" / "x86_64-linux");
        std::filesystem::copy(KV_DEMO_SYNTH_DIR, demo / "Contents" / "Resources");
#endif
        return pattern;
    }();
    return folder;
}

inline MyVstPluginFactory& Factory()
{
    static MyVstPluginFactory factory(BundleInfo::FromModulePath(Folder() + "/F.vst3/Contents/x86_64-linux/F.so"));
    return factory;
}

// The fuzz bundle with `parameters` as its parameters document, read afresh
// by the processor and the controller each time they are initialised.
inline MyVstPluginFactory& WrittenFactory(const std::string& parameters)
{
    static MyVstPluginFactory factory(BundleInfo::FromModulePath(Folder() + "/P.vst3/Contents/x86_64-linux/P.so"));
    std::ofstream(Folder() + "/P.vst3/Contents/Resources/parameters.kv.xml", std::ios::binary | std::ios::trunc)
        << parameters;
    return factory;
}

#ifdef KV_DEMO_SYNTH_DIR
inline MyVstPluginFactory& DemoFactory()
{
    static MyVstPluginFactory factory(BundleInfo::FromModulePath(Folder() + "/D.vst3/Contents/x86_64-linux/D.so"));
    return factory;
}
#endif

inline KvHostApplication& Host()
{
    static KvHostApplication host;
    return host;
}

// A fresh controller each run, so no input depends on an earlier one.
inline Steinberg::IPtr<ADelayController> NewController()
{
    auto controller = Steinberg::owned(new ADelayController(&Factory()));
    if (controller->initialize(&Host()) != Steinberg::kResultOk)
        std::abort();
    return controller;
}
// True when each Param of a saved state that names a host parameter holds a
// value that parameter can take: a finite number inside its range, or a value
// of its list. Ranges and lists are the controller's records.
inline bool StateValuesInRange(const std::string& text, const std::map<int, KvParameter>& records)
{
    if (text.empty())
        return true;
    TiXmlDocument document;
    document.Parse(text.c_str());
    const TiXmlElement* root = document.RootElement();
    if (document.Error() || root == nullptr)
        return false;
    for (const TiXmlElement* param = root->FirstChildElement("Param"); param;
         param = param->NextSiblingElement("Param"))
    {
        int index = -1;
        const char* val = param->Attribute("val");
        if (param->QueryIntAttribute("index", &index) != TIXML_SUCCESS || val == nullptr)
            continue;
        for (const auto& [handle, record] : records)
        {
            if (record.index != index || record.index < 0)
                continue;
            const int type = record.valueType;
            if (type != 3 && type != 6 && type != 8 && type != 4)
                break;
            double v = 0.0;
            if (!ValueRule::ParseNumber(val, v))
                return false;
            if (type == 8 && !record.enumList.empty())
            {
                if (!it_enum_list::IsValidValue(record.enumList, static_cast<int>(v)))
                    return false;
            }
            else if (type != 4)
            {
                const double low = std::min(record.rangeMinimum, record.rangeMaximum);
                const double high = std::max(record.rangeMinimum, record.rangeMaximum);
                // Saved floats are the nearest float to the bound at most.
                const double slack = type == 6 ? 1e-6 * std::max(1.0, std::fabs(high) + std::fabs(low)) : 0.0;
                if (v < low - slack || v > high + slack)
                    return false;
            }
            break;
        }
    }
    return true;
}

inline bool StateValuesInRange(const std::string& text)
{
    static const std::map<int, KvParameter> records = NewController()->Parameters();
    return StateValuesInRange(text, records);
}
} // namespace fuzz_shell
