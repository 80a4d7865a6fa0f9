// A processor and a controller made by one factory and connected to each
// other, as a host connects them: values cross in both directions through
// the messages and through the state chunk.

#include <gtest/gtest.h>

#include "ShellUnitSupport.h"
#include "core/ParameterFieldType.h"
#include "core/RawConversions.h"
#include "shell/ADelayController.h"
#include "shell/ADelayProcessor.h"
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

struct Connected
{
    Connected()
        : factory(MakeBundle(scratch, "K",
                             {{"factory.kv.xml", FactoryXml(std::string("ProcessorId=\"") + kProcessorId + "\"")},
                              {"dsp.kv.xml", kDsp},
                              {"parameters.kv.xml", kParameters}})),
          processor(owned(new ADelayProcessor(&factory))), controller(owned(new ADelayController(&factory)))
    {
        processor->initialize(&host);
        controller->initialize(&host);
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

    std::string State()
    {
        HostMemoryStream stream;
        processor->getState(&stream);
        return std::string(stream.bytes().begin() + 4, stream.bytes().end());
    }

    ScratchFolder scratch;
    MyVstPluginFactory factory;
    KvHostApplication host;
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
    EXPECT_EQ(c.controller->Parameters().at(102).value, ParseToRaw(1, std::string("x")));
    c.Run();
    EXPECT_NE(c.State().find("val=\"4\""), std::string::npos) << c.State();
}
