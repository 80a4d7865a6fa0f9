// A processor and a controller made by one factory and connected to each
// other, as a host connects them: values cross in both directions through
// the messages and through the state chunk.

#include <gtest/gtest.h>

#include <tinyxml.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <vector>

#include "ShellUnitSupport.h"
#include "core/ParameterFieldType.h"
#include "core/RawConversions.h"
#include "shell/ADelayController.h"
#include "shell/ADelayProcessor.h"
#include "shell/KvHostParameter.h"
#include "tools/kvhost/HostParameterChanges.h"

using namespace shell_test;
using namespace shell_unit;
using namespace Steinberg;
using namespace Steinberg::Vst;

namespace
{
const char* kDsp = R"(<DSP><Container Id="1"><PatchManager><Parameters>
  <P DataType="22" Handle="100" Index="0" RangeMinimum="0" RangeMaximum="10"><patch>2.5</patch></P>
  <P DataType="20" Handle="102"><patch>start</patch></P>
</Parameters></PatchManager><Modules><Module Type="Container" Id="2" ExpandInline="0"/></Modules></Container></DSP>)";

const char* kParameters = R"(<Document><C><Parameters>
  <Parameter Name="Level" Handle="100" Index="0" RangeMinimum="0" RangeMaximum="10"><patch-list>2.5</patch-list></Parameter>
  <Parameter Name="Label" Handle="102" ValueType="1"><patch-list>start</patch-list></Parameter>
</Parameters></C></Document>)";

// One parameter of every type the host carries, each with a range or a list
// of values beyond 0..1 and the engine parameter that plays it; handle 100 +
// host id.
const char* kTypesDsp = R"(<DSP><Container Id="1"><PatchManager><Parameters>
  <P DataType="21" Handle="100" Index="0" MetaData="Off=0,Low=5,Mid=9,High=12"><patch>0</patch></P>
  <P DataType="24" Handle="101" Index="1" RangeMinimum="-5" RangeMaximum="27"><patch>0</patch></P>
  <P DataType="22" Handle="102" Index="2" RangeMinimum="-100" RangeMaximum="100"><patch>0</patch></P>
  <P DataType="23" Handle="103" Index="3"><patch>0</patch></P>
  <P DataType="22" Handle="104" Index="4" RangeMinimum="-20" RangeMaximum="108"><patch>0</patch></P>
  <P DataType="24" Handle="105" Index="5" RangeMinimum="10" RangeMaximum="138"><patch>10</patch></P>
  <P DataType="21" Handle="106" Index="6" MetaData="A=2,B=4,C=8,D=16"><patch>2</patch></P>
  <P DataType="24" Handle="107" Index="7" RangeMinimum="-1000" RangeMaximum="1048"><patch>0</patch></P>
  <P DataType="21" Handle="108" Index="8" MetaData="range 3,12"><patch>3</patch></P>
</Parameters></PatchManager><Modules><Module Type="Container" Id="2" ExpandInline="0"/></Modules></Container></DSP>)";
const char* kTypesParameters = R"(<Document><C><Parameters>
  <Parameter Name="Enum" Handle="100" Index="0" ValueType="0" MetaData="Off=0,Low=5,Mid=9,High=12"><patch-list>0</patch-list></Parameter>
  <Parameter Name="Enum range" Handle="101" Index="1" ValueType="0" RangeMinimum="-5" RangeMaximum="27"><patch-list>0</patch-list></Parameter>
  <Parameter Name="Double" Handle="102" Index="2" ValueType="3" RangeMinimum="-100" RangeMaximum="100"><patch-list>0</patch-list></Parameter>
  <Parameter Name="Bool" Handle="103" Index="3" ValueType="4"><patch-list>0</patch-list></Parameter>
  <Parameter Name="Float" Handle="104" Index="4" ValueType="6" RangeMinimum="-20" RangeMaximum="108"><patch-list>0</patch-list></Parameter>
  <Parameter Name="Int" Handle="105" Index="5" ValueType="8" RangeMinimum="10" RangeMaximum="138"><patch-list>10</patch-list></Parameter>
  <Parameter Name="List" Handle="106" Index="6" ValueType="8" MetaData="A=2,B=4,C=8,D=16"><patch-list>2</patch-list></Parameter>
  <Parameter Name="Long" Handle="107" Index="7" ValueType="9" RangeMinimum="-1000" RangeMaximum="1048"><patch-list>0</patch-list></Parameter>
  <Parameter Name="Enum steps" Handle="108" Index="8" ValueType="0" RangeMinimum="3" RangeMaximum="12"><patch-list>3</patch-list></Parameter>
</Parameters></C></Document>)";

struct Connected
{
    explicit Connected(const char* dsp = kDsp, const char* parameters = kParameters)
        : factory(MakeBundle(scratch, "K",
                             {{"factory.kv.xml", FactoryXml(std::string("ProcessorId=\"") + kProcessorId + "\"")},
                              {"dsp.kv.xml", dsp},
                              {"parameters.kv.xml", parameters}})),
          processor(owned(new ADelayProcessor(&factory))), controller(owned(new ADelayController(&factory)))
    {
        processor->initialize(&host);
        controller->initialize(&host);
        controller->setComponentHandler(&handler);
        processor->connect(controller);
        controller->connect(processor);
        ProcessSetup setup{kRealtime, kSample32, 512, 48000.0};
        processor->setupProcessing(setup);
        processor->setActive(true);
        processor->setProcessing(true);
        data.numSamples = 512;
        data.inputParameterChanges = &changes;
    }
    ~Connected()
    {
        processor->setProcessing(false);
        processor->setActive(false);
        controller->disconnect(processor);
        processor->disconnect(controller);
        controller->terminate();
        processor->terminate();
    }

    // A quarter of a second: the engine serves the editor side about twenty times a second.
    void Run()
    {
        for (int block = 0; block < 24; ++block)
        {
            processor->process(data);
            changes.clear();
        }
    }

    // The saved state's value texts by handle, read while the audio thread
    // rests (no hand-over to wait for).
    std::map<int, std::string> SavedValues()
    {
        processor->setProcessing(false);
        const std::string state = State();
        processor->setProcessing(true);
        std::map<int, std::string> values;
        TiXmlDocument document;
        document.Parse(state.c_str());
        for (const TiXmlElement* param = document.RootElement() ? document.RootElement()->FirstChildElement("Param")
                                                                 : nullptr;
             param; param = param->NextSiblingElement("Param"))
        {
            const char* id = param->Attribute("id");
            const char* val = param->Attribute("val");
            if (id && val)
                values[std::atoi(id)] = val;
        }
        return values;
    }

    std::string State()
    {
        HostMemoryStream stream;
        processor->getState(&stream);
        return std::string(stream.bytes().begin() + 4, stream.bytes().end());
    }

    ScratchFolder scratch;
    MyVstPluginFactory factory;
    KvHostApplication host;
    HostComponentHandler handler;
    IPtr<ADelayProcessor> processor;
    IPtr<ADelayController> controller;
    ProcessData data;
    HostParameterChanges changes;
};
} // namespace

TEST(ShellConnected, AnEditorValueReachesTheEngineAndItsState)
{
    Connected c;
    c.Run();
    const std::wstring text = L"new label";
    c.controller->setParameterFromGui(102, FT_VALUE, static_cast<int>(text.size() * 4), text.data());
    c.Run();
    EXPECT_NE(c.State().find("val=\"new label\""), std::string::npos) << c.State();
}

TEST(ShellConnected, TheProcessorStateReachesTheController)
{
    Connected c;
    c.Run();
    HostMemoryStream saved;
    const std::string state = R"(<?xml version="1.0" ?><Parameters><Param id="100" index="0" val="4" /><Param id="102" val="x" /></Parameters>)";
    HostMemoryStream in(Chunk(state));
    ASSERT_EQ(c.processor->setState(&in), kResultOk);
    in.rewind();
    ASSERT_EQ(c.controller->setComponentState(&in), kResultOk);
    EXPECT_DOUBLE_EQ(c.controller->getParamNormalized(0), 0.4);
    std::string text;
    ASSERT_TRUE(c.controller->getParameterValue(102, FT_VALUE, text));
    EXPECT_EQ(text, ParseToRaw(1, std::string("x")));
    c.Run();
    EXPECT_NE(c.State().find("val=\"4\""), std::string::npos) << c.State();
}

TEST(ShellConnected, EveryHostTypeRoundTripsFromTheEditorThroughHostEngineAndStateWhateverItsRange)
{
    const struct
    {
        int handle;
        std::string written; // the editor's raw value
        double normalized;   // what the host is told
        double plain;        // what the engine plays and saves
    } cases[] = {
        {100, Bytes(int32_t{9}), 2.0 / 3.0, 9.0},   {101, Bytes(int32_t{17}), 22.0 / 32.0, 17.0},
        {102, Bytes(37.5), 0.6875, 37.5},           {103, std::string(1, '\1'), 1.0, 1.0},
        {104, Bytes(76.0f), 0.75, 76.0},            {105, Bytes(int32_t{100}), 90.0 / 128.0, 100.0},
        {106, Bytes(int32_t{8}), 2.0 / 3.0, 8.0},   {107, Bytes(int64_t{250}), 1250.0 / 2048.0, 250.0},
    };
    Connected c(kTypesDsp, kTypesParameters);
    c.Run();
    for (const auto& k : cases)
    {
        SCOPED_TRACE(k.handle);
        const auto id = static_cast<ParamID>(k.handle - 100);
        c.controller->setParameterFromGui(k.handle, FT_VALUE, static_cast<int>(k.written.size()), k.written.data());
        // The host hears the edit and delivers it to the processor.
        const auto edits = c.handler.takeEdits();
        ASSERT_EQ(edits.size(), 1u);
        EXPECT_EQ(edits[0].first, id);
        EXPECT_NEAR(edits[0].second, k.normalized, 1e-9);
        c.changes.add(id, 0, edits[0].second);
        c.Run();
        // The engine plays and saves the plain value.
        const std::string state = c.State();
        TiXmlDocument document;
        document.Parse(state.c_str());
        const TiXmlElement* param = document.RootElement() ? document.RootElement()->FirstChildElement("Param") : nullptr;
        while (param && std::atoi(param->Attribute("id") ? param->Attribute("id") : "") != k.handle)
            param = param->NextSiblingElement("Param");
        ASSERT_NE(param, nullptr) << state;
        const char* val = param->Attribute("val");
        ASSERT_NE(val, nullptr);
        EXPECT_DOUBLE_EQ(std::strtod(val, nullptr), k.plain) << val;
        // The editor reads back what it wrote, also after the host moved
        // away and the saved state, or a preset file, brought it back.
        std::string read;
        ASSERT_TRUE(c.controller->getParameterValue(k.handle, FT_VALUE, read));
        EXPECT_EQ(read, k.written);
        c.controller->setParamNormalized(id, k.normalized > 0.5 ? 0.0 : 1.0);
        HostMemoryStream saved(Chunk(state));
        ASSERT_EQ(c.controller->setComponentState(&saved), kResultOk);
        ASSERT_TRUE(c.controller->getParameterValue(k.handle, FT_VALUE, read));
        EXPECT_EQ(read, k.written);
        // And through a user preset file.
        const std::string preset = c.scratch.file("p" + std::to_string(k.handle) + ".preset.xml");
        ASSERT_TRUE(c.controller->ExportPresetXml(preset));
        c.controller->setParamNormalized(id, k.normalized > 0.5 ? 0.0 : 1.0);
        ASSERT_TRUE(c.controller->ImportPresetXml(preset));
        ASSERT_TRUE(c.controller->getParameterValue(k.handle, FT_VALUE, read));
        EXPECT_EQ(read, k.written);
        c.handler.takeEdits();
    }
}

TEST(ShellConnected, EveryHostTypeShowsAndConvertsEachHostValueToWhatTheEnginePlaysAndSaves)
{
    // Host ids 0-8 of the type table: the host's steps (0 continuous) and, for
    // lists, the choices in their order.
    const struct
    {
        ParamID id;
        int steps;
        std::vector<std::pair<int, std::string>> choices;
    } parameters[] = {
        {0, 3, {{0, "Off"}, {5, "Low"}, {9, "Mid"}, {12, "High"}}},
        {1, 32, {}},
        {2, 0, {}},
        {3, 5, {}},
        {4, 0, {}},
        {5, 128, {}},
        {6, 3, {{2, "A"}, {4, "B"}, {8, "C"}, {16, "D"}}},
        {7, 2048, {}},
        {8, 9, {}},
    };
    Connected c(kTypesDsp, kTypesParameters);
    c.Run();
    // Host values between the steps (0, 0.05 ... 1), then on them: every
    // step of the shorter ranges, and the first, last and a few inner ones
    // of the longer.
    std::vector<std::vector<double>> probes;
    for (const auto& p : parameters)
    {
        std::vector<double> values;
        for (int i = 0; i <= 20; ++i)
            values.push_back(i / 20.0);
        for (int k = 0; p.steps > 0 && k <= p.steps; k += p.steps > 40 ? p.steps / 7 : 1)
            values.push_back(static_cast<double>(k) / p.steps);
        if (p.steps > 0)
            values.push_back(static_cast<double>(p.steps - 1) / p.steps);
        probes.push_back(values);
    }
    std::size_t rounds = 0;
    for (const auto& values : probes)
        rounds = std::max(rounds, values.size());

    for (std::size_t round = 0; round < rounds; ++round)
    {
        // Every parameter moves in one block, each to its own host value.
        std::vector<double> sent;
        for (std::size_t i = 0; i < std::size(parameters); ++i)
        {
            sent.push_back(probes[i][round % probes[i].size()]);
            c.changes.add(parameters[i].id, 0, sent.back());
        }
        c.processor->process(c.data);
        c.changes.clear();
        const auto saved = c.SavedValues();
        for (std::size_t i = 0; i < std::size(parameters); ++i)
        {
            const auto& p = parameters[i];
            const double n = sent[i];
            SCOPED_TRACE("id " + std::to_string(p.id) + " at " + std::to_string(n));
            const auto found = saved.find(static_cast<int>(100 + p.id));
            ASSERT_NE(found, saved.end());
            const double engine = std::strtod(found->second.c_str(), nullptr);
            String128 wide{};
            ASSERT_EQ(c.controller->getParamStringByValue(p.id, n, wide), kResultOk);
            const std::string text = KvHostParameter::Narrow(wide);
            const double plain = c.controller->normalizedParamToPlain(p.id, n);
            // What the host shows and converts to names what plays and is saved.
            char expected[64];
            if (!p.choices.empty())
            {
                // A list: the host counts positions and shows the choice's name.
                ASSERT_GE(plain, 0.0);
                ASSERT_LT(plain, static_cast<double>(p.choices.size()));
                const auto& choice = p.choices[static_cast<std::size_t>(plain)];
                EXPECT_EQ(choice.first, engine);
                EXPECT_EQ(choice.second, text);
                continue;
            }
            if (p.id == 3)
            {
                EXPECT_EQ(plain, engine);
                EXPECT_EQ(text, engine != 0.0 ? "On" : "Off");
            }
            else if (p.steps == 0)
            {
                EXPECT_EQ(static_cast<float>(plain), static_cast<float>(engine));
                std::snprintf(expected, sizeof(expected), "%.3f", engine);
                EXPECT_EQ(text, expected);
            }
            else
            {
                EXPECT_EQ(plain, engine);
                std::snprintf(expected, sizeof(expected), "%.0f", engine);
                EXPECT_EQ(text, expected);
            }
            // The value the engine reports back stands for itself on the host.
            EXPECT_NEAR(c.controller->normalizedParamToPlain(p.id, c.controller->plainParamToNormalized(p.id, engine)),
                        engine, p.steps == 0 ? 1e-4 : 0.0);
        }
    }
}
