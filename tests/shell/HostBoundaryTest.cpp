// What a host or a bundle author can hand the plug-in at its boundary: values
// outside 0..1, absurd ranges and texts, saved states with values no
// parameter can take, calls in the wrong state, and exceptions thrown inside
// a call. None of them may crash, corrupt memory or be played and saved back.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <stdexcept>

#include "DemoSynthSession.h"
#include "ShellUnitSupport.h"
#include "shell/ADelayController.h"
#include "shell/KvGuarded.h"
#include "tools/kvhost/HostMemoryStream.h"
#include "tools/kvhost/HostParameterChanges.h"

using namespace demo_synth_test;
using namespace shell_unit;

namespace
{
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

std::u16string Text(const char16* text)
{
    return std::u16string(reinterpret_cast<const char16_t*>(text));
}

// The state text a processor saves.
std::string SavedText(IComponent* component)
{
    HostMemoryStream out;
    EXPECT_EQ(component->getState(&out), kResultOk);
    if (out.bytes().size() < 4)
        return {};
    return std::string(out.bytes().begin() + 4, out.bytes().end());
}

// The val attribute of the Param with that id in a state text.
std::string SavedValue(const std::string& text, int id)
{
    const std::string key = "id=\"" + std::to_string(id) + "\"";
    const std::size_t at = text.find(key);
    const std::size_t val = text.find("val=\"", at);
    if (at == std::string::npos || val == std::string::npos)
        return "<none>";
    const std::size_t end = text.find('"', val + 5);
    return text.substr(val + 5, end - val - 5);
}

// A host stream that throws from inside the plug-in's read.
class ThrowingStream : public HostMemoryStream
{
public:
    tresult PLUGIN_API read(void*, int32, int32*) override { throw std::runtime_error("host stream broke"); }
};

// Host parameter changes that throw when the processor reads them.
class ThrowingChanges : public HostParameterChanges
{
public:
    int32 PLUGIN_API getParameterCount() override { throw std::logic_error("bad queue"); }
};
} // namespace

TEST(HostBoundary, NormalisedValuesOutsideZeroToOneAreRefusedOrClampedAndTheirTextsAreSafe)
{
    SynthSession session;
    ASSERT_TRUE(session.instance);
    IEditController* controller = session.instance->controller();
    // The waveform list and the attack range.
    for (ParamID id : {kWaveform, kAttack})
    {
        const double before = controller->getParamNormalized(id);
        for (double bad : {kNaN, kInf, -kInf})
        {
            EXPECT_EQ(controller->setParamNormalized(id, bad), kResultFalse) << id << " " << bad;
            EXPECT_EQ(controller->getParamNormalized(id), before) << id << " " << bad;
            String128 text{};
            EXPECT_EQ(controller->getParamStringByValue(id, bad, text), kResultFalse);
        }
        for (auto [given, kept] : {std::pair{-1.0, 0.0}, std::pair{1e30, 1.0}})
        {
            EXPECT_EQ(controller->setParamNormalized(id, given), kResultOk);
            EXPECT_EQ(controller->getParamNormalized(id), kept) << id << " " << given;
            String128 text{};
            EXPECT_EQ(controller->getParamStringByValue(id, controller->getParamNormalized(id), text), kResultOk);
            EXPECT_EQ(controller->getParamStringByValue(id, given, text), kResultOk);
        }
    }
    String128 text{};
    ASSERT_EQ(controller->getParamStringByValue(kWaveform, 1.0, text), kResultOk);
    EXPECT_EQ(Narrow(text), "Pink Noise");
    ASSERT_EQ(controller->getParamStringByValue(kAttack, 1e300, text), kResultOk);
    EXPECT_EQ(Narrow(text), "10.000");
}

TEST(HostBoundary, ParameterTextsStayInsideTheHostBufferAndAbsurdRangesAreLimited)
{
    ScratchFolder scratch;
    MyVstPluginFactory factory(MakeBundle(
        scratch, "R",
        {{"parameters.kv.xml", R"(<Document><C><Parameters>
            <Parameter Name="Huge" Handle="1" Index="0" RangeMinimum="-1e300" RangeMaximum="1e300"/>
            <Parameter Name="Level" Handle="2" Index="1"><patch-list>2</patch-list></Parameter>
            <Parameter Name="Steps" Handle="3" Index="2" ValueType="8" RangeMinimum="0" RangeMaximum="1e12"/>
            <Parameter Name="Mode" Handle="4" Index="3" ValueType="8" MetaData="Off,Low,High"/>
            </Parameters></C></Document>)"}}));
    KvHostApplication host;
    auto controller = owned(new ADelayController(&factory));
    ASSERT_EQ(controller->initialize(&host), kResultOk);

    EXPECT_EQ(controller->normalizedParamToPlain(0, 1.0), 1e9);
    EXPECT_EQ(controller->normalizedParamToPlain(0, 0.0), -1e9);
    // Each text fits a String128 with its terminator; nothing past it is written.
    for (ParamID id : {0u, 1u, 2u, 3u, 10000u})
    {
        for (double n : {0.0, 0.5, 1.0, 1e300, -1e300})
        {
            char16 buffer[200];
            std::fill(std::begin(buffer), std::end(buffer), char16(0x7777));
            EXPECT_EQ(controller->getParamStringByValue(id, n, buffer), kResultOk) << id << " " << n;
            EXPECT_LT(Text(buffer).size(), 128u) << id << " " << n;
            for (int i = 128; i < 200; ++i)
                ASSERT_EQ(buffer[i], 0x7777) << id << " " << n;
        }
    }

    // Any text is read safely: numbers within the range, names of the list.
    std::u16string unterminated(300, u'9');
    const std::pair<ParamID, std::u16string> refused[] = {
        {1, u""}, {1, u"abc"}, {1, u"nan"}, {1, u"inf"}, {1, u"5x"}, {1, u"1e400"}, {3, u"Medium"}, {3, u"1"}};
    for (const auto& [id, given] : refused)
    {
        std::u16string copy = given;
        ParamValue n = 0.25;
        EXPECT_EQ(controller->getParamValueByString(id, reinterpret_cast<TChar*>(copy.data()), n), kResultFalse);
        EXPECT_EQ(n, 0.25);
    }
    const std::tuple<ParamID, std::u16string, double> read[] = {
        {1, u" 2.5 ", 0.25}, {1, u"-40", 0.0}, {1, u"1e30", 1.0}, {3, u"High", 1.0}, {1, unterminated, 1.0}};
    for (auto [id, given, expected] : read)
    {
        given.push_back(0);
        ParamValue n = -1.0;
        EXPECT_EQ(controller->getParamValueByString(id, reinterpret_cast<TChar*>(given.data()), n), kResultOk);
        EXPECT_DOUBLE_EQ(n, expected);
    }
    controller->terminate();
}

TEST(HostBoundary, ASavedStateIsBroughtIntoRangeOrRefusedAndProcessorAndControllerAgree)
{
    SynthSession session;
    ASSERT_TRUE(session.instance);
    IComponent* component = session.instance->component();
    IEditController* controller = session.instance->controller();
    const std::string valid = SavedText(component);
    ASSERT_EQ(SavedValue(valid, 105), "1.6");

    // Volume past its maximum, and values that are no number at all.
    const std::string bad = R"(<?xml version="1.0" ?><Parameters>
        <Param id="100" index="0" val="9" /><Param id="101" index="1" val="nan" />
        <Param id="102" index="2" val="inf" /><Param id="103" index="3" val="1e308" />
        <Param id="104" index="4" val="abc" /><Param id="105" index="5" val="20" /></Parameters>)";
    HostMemoryStream in(Chunk(bad));
    ASSERT_EQ(component->setState(&in), kResultOk);
    in.rewind();
    ASSERT_EQ(controller->setComponentState(&in), kResultOk);

    const std::string saved = SavedText(component);
    const std::pair<int, const char*> expected[] = {{100, "0"}, {101, "0"}, {102, "3"}, {103, "10"}, {104, "3"},
                                                    {105, "10"}};
    for (const auto& [id, value] : expected)
        EXPECT_EQ(SavedValue(saved, id), value) << "parameter " << id;
    // The controller shows what plays.
    const std::pair<ParamID, double> shown[] = {{kWaveform, 0.0}, {kAttack, 0.0}, {2, 0.3}, {kSustain, 1.0},
                                                {4, 0.3}, {kVolume, 1.0}};
    for (const auto& [id, n] : shown)
        EXPECT_NEAR(controller->getParamNormalized(id), n, 1e-6) << "parameter " << id;

    // A valid state returns bit for bit.
    HostMemoryStream again(Chunk(valid));
    ASSERT_EQ(component->setState(&again), kResultOk);
    EXPECT_EQ(SavedText(component), valid);
}

TEST(HostBoundary, SetupAndBusesChangeOnlyWhileInactiveAndActivationTwiceChangesNothing)
{
    SynthSession session;
    ASSERT_TRUE(session.instance);
    IAudioProcessor* processor = session.instance->processor();
    IComponent* component = session.instance->component();
    ProcessSetup faster{kRealtime, kSample32, kBlock, 96000.0};
    EXPECT_EQ(processor->setupProcessing(faster), kResultFalse);
    SpeakerArrangement stereo = SpeakerArr::kStereo;
    EXPECT_EQ(processor->setBusArrangements(nullptr, 0, &stereo, 1), kResultFalse);
    EXPECT_EQ(component->activateBus(kAudio, kOutput, 0, false), kResultFalse);
    EXPECT_EQ(component->setActive(true), kResultOk);

    // A host that cycles activation keeps the rate it set up.
    processor->setProcessing(false);
    ASSERT_EQ(component->setActive(false), kResultOk);
    EXPECT_EQ(component->setActive(false), kResultOk);
    ASSERT_EQ(component->setActive(true), kResultOk);
    processor->setProcessing(true);
    const auto out = session.Play(Score().On(100, 69).performance, 0.75);
    EXPECT_NEAR(MeasureFrequency(out, 12000, 36000), 440.0, 0.5);
}

TEST(HostBoundary, AnExceptionInsideACallBecomesAResultCodeAndSilence)
{
    ScratchFolder scratch;
    MyVstPluginFactory factory(MakeBundle(
        scratch, "G",
        {{"factory.kv.xml", FactoryXml(std::string("Name=\"G\" ProcessorId=\"") + kProcessorId + "\"")},
         {"dsp.kv.xml", ""}}));
    KvHostApplication host;
    IComponent* raw = nullptr;
    PClassInfo processorClass{};
    ASSERT_EQ(factory.getClassInfo(0, &processorClass), kResultOk);
    ASSERT_EQ(factory.createInstance(processorClass.cid, IComponent::iid, reinterpret_cast<void**>(&raw)),
              kResultOk);
    IPtr<IComponent> component = owned(raw);
    ASSERT_EQ(component->initialize(&host), kResultOk);
    ThrowingStream stream;
    EXPECT_EQ(component->setState(&stream), kInternalError);

    FUnknownPtr<IAudioProcessor> processor(component);
    ASSERT_TRUE(processor);
    ProcessSetup setup{kRealtime, kSample32, 64, 48000.0};
    ASSERT_EQ(processor->setupProcessing(setup), kResultOk);
    ASSERT_EQ(component->setActive(true), kResultOk);
    ThrowingChanges changes;
    std::vector<float> left(64, 0.5f);
    float* channels[1] = {left.data()};
    AudioBusBuffers output{};
    output.numChannels = 1;
    output.channelBuffers32 = channels;
    ProcessData data{};
    data.numSamples = 64;
    data.numOutputs = 1;
    data.outputs = &output;
    data.inputParameterChanges = &changes;
    EXPECT_EQ(processor->process(data), kInternalError);
    EXPECT_EQ(left, std::vector<float>(64, 0.0f));
    EXPECT_EQ(component->setActive(false), kResultOk);
    component->terminate();
}
