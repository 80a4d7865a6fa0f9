#pragma once
// What the shell's fuzzers share: a bundle in a temporary folder holding a
// parameters document with one parameter of every kind, a factory for it, a
// host context, and a controller built from it.

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "pluginterfaces/vst/ivstmessage.h"
#include "shell/ADelayController.h"
#include "shell/MyVstPluginFactory.h"
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

// A folder made once per process, left for the system to clean.
inline const std::string& Folder()
{
    static const std::string folder = [] {
        std::string pattern = (std::filesystem::temp_directory_path() / "kv-fuzz-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            std::abort();
        const auto bundle = std::filesystem::path(pattern) / "F.vst3";
        std::filesystem::create_directories(bundle / "Contents" / "Resources");
        std::filesystem::create_directories(bundle / "Contents" / "x86_64-linux");
        std::ofstream(bundle / "Contents" / "Resources" / "parameters.kv.xml") << kParameters;
        return pattern;
    }();
    return folder;
}

inline MyVstPluginFactory& Factory()
{
    static MyVstPluginFactory factory(BundleInfo::FromModulePath(Folder() + "/F.vst3/Contents/x86_64-linux/F.so"));
    return factory;
}

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
} // namespace fuzz_shell
