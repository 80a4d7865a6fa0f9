// The processor driven as a host drives it, on graphs built from patch
// documents: buses, audio, parameter changes and notes as MIDI, MIDI
// controllers back to the host, transport, state and controller messages.

#include "shell/ADelayProcessor.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>

#include "ShellUnitSupport.h"
#include "engine/runtime/KvAudioMaster.h"
#include "engine/hostio/MidiOutputBuffer.h"
#include "pluginterfaces/vst/ivstevents.h"
#include "pluginterfaces/vst/ivstprocesscontext.h"
#include "tools/kvhost/HostEventList.h"
#include "tools/kvhost/HostParameterChanges.h"

using namespace shell_test;
using namespace shell_unit;
using namespace Steinberg;
using namespace Steinberg::Vst;

namespace
{
constexpr int32 kBlock = 64;

// A main container whose IO Mod has `ins` audio outputs, `outs` audio inputs
// and MIDI through; input channel i feeds output channel i where both exist.
std::string ThroughPatch(int ins, int outs)
{
    std::string plugs;
    std::string ioPlugs;
    std::string lines;
    int pin = 0;
    for (int i = 0; i < ins; ++i, ++pin)
    {
        plugs += "<Plug Direction=\"0\" Datatype=\"5\"/>";
        ioPlugs += "<Plug Direction=\"1\" Datatype=\"5\" TiedTo=\"2\" TiedToPinIdx=\"" + std::to_string(pin) + "\"/>";
    }
    for (int i = 0; i < outs; ++i, ++pin)
    {
        plugs += "<Plug Direction=\"1\" Datatype=\"5\"/>";
        ioPlugs += "<Plug Direction=\"0\" Datatype=\"5\" TiedTo=\"2\" TiedToPinIdx=\"" + std::to_string(pin) + "\"/>";
        if (i < ins)
            lines += "<Line From=\"3\" FromPin=\"" + std::to_string(i) + "\" To=\"3\" ToPin=\"" +
                     std::to_string(ins + i) + "\"/>";
    }
    plugs += "<Plug Direction=\"0\" Datatype=\"2\"/><Plug Direction=\"1\" Datatype=\"2\"/>";
    ioPlugs += "<Plug Direction=\"1\" Datatype=\"2\" TiedTo=\"2\" TiedToPinIdx=\"" + std::to_string(pin) + "\"/>";
    ioPlugs += "<Plug Direction=\"0\" Datatype=\"2\" TiedTo=\"2\" TiedToPinIdx=\"" + std::to_string(pin + 1) + "\"/>";
    lines += "<Line From=\"3\" FromPin=\"" + std::to_string(ins + outs) + "\" To=\"3\" ToPin=\"" +
             std::to_string(ins + outs + 1) + "\"/>";
    return "<DSP><Container Id=\"1\" Type=\"Container\"><Modules><Module Type=\"Container\" Id=\"2\" "
           "ExpandInline=\"0\"><Plugs>" + plugs + "</Plugs><Modules><Module Type=\"IO Mod\" Id=\"3\"><Plugs>" +
           ioPlugs + "</Plugs></Module></Modules><Lines>" + lines + "</Lines></Module></Modules></Container></DSP>";
}

struct ProcessorFixture
{
    ProcessorFixture(int ins, int outs, const std::string& pluginAttributes, const std::string& parameters = "")
        : factory(MakeBundle(scratch, "P",
                             {{"factory.kv.xml", FactoryXml("Name=\"P\" " + pluginAttributes)},
                              {"dsp.kv.xml", ThroughPatch(ins, outs)},
                              {"parameters.kv.xml", parameters}})),
          processor(owned(new ADelayProcessor(&factory)))
    {
        factory.initialize();
        processor->setInstrument(pluginAttributes.find("Instrument") != std::string::npos);
        EXPECT_EQ(processor->initialize(&host), kResultOk);
        ProcessSetup setup{kRealtime, kSample32, kBlock, 48000.0};
        EXPECT_EQ(processor->setupProcessing(setup), kResultOk);
        EXPECT_EQ(processor->setActive(true), kResultOk);
        processor->setProcessing(true);
        data.numSamples = kBlock;
        data.symbolicSampleSize = kSample32;
        data.inputParameterChanges = &inputChanges;
        data.outputParameterChanges = &outputChanges;
        data.inputEvents = &events;
    }
    ~ProcessorFixture()
    {
        processor->setProcessing(false);
        processor->setActive(false);
        processor->terminate();
    }

    // Buffers for every channel of every bus.
    void AttachBuffers()
    {
        auto make = [&](BusDirection direction, std::vector<AudioBusBuffers>& buses) {
            const int32 count = processor->getBusCount(kAudio, direction);
            for (int32 b = 0; b < count; ++b)
            {
                BusInfo info{};
                processor->getBusInfo(kAudio, direction, b, info);
                AudioBusBuffers bus{};
                bus.numChannels = info.channelCount;
                auto& pointers = channelPointers.emplace_back();
                for (int32 c = 0; c < info.channelCount; ++c)
                    pointers.push_back(storage.emplace_back(static_cast<std::size_t>(kBlock), 0.0f).data());
                bus.channelBuffers32 = pointers.data();
                buses.push_back(bus);
            }
        };
        storage.reserve(256);
        channelPointers.reserve(64);
        make(kInput, inputs);
        make(kOutput, outputs);
        data.inputs = inputs.data();
        data.numInputs = static_cast<int32>(inputs.size());
        data.outputs = outputs.data();
        data.numOutputs = static_cast<int32>(outputs.size());
    }

    void Process()
    {
        outputChanges.clear();
        EXPECT_EQ(processor->process(data), kResultOk);
        inputChanges.clear();
        events.clear();
    }

    // The MIDI the graph passed to the host output module, read from its ring.
    std::vector<std::vector<unsigned char>> TakeMidi()
    {
        std::vector<std::vector<unsigned char>> messages;
        MidiOutputBuffer* ring = processor->Runtime().AudioMaster()->getMidiOutputBuffer();
        int64_t time = 0;
        unsigned char bytes[16];
        int32_t n = 0;
        while (ring && ring->Read(time, bytes, 16, n))
            messages.emplace_back(bytes, bytes + std::min(n, 16));
        return messages;
    }

    void AddNote(int32 type, int16 pitch, float velocity, int32 offset)
    {
        Event event{};
        event.type = static_cast<uint16>(type);
        event.sampleOffset = offset;
        if (type == Event::kNoteOnEvent)
        {
            event.noteOn.pitch = pitch;
            event.noteOn.velocity = velocity;
        }
        else
        {
            event.noteOff.pitch = pitch;
            event.noteOff.velocity = velocity;
        }
        events.addEvent(event);
    }

    ScratchFolder scratch;
    MyVstPluginFactory factory;
    KvHostApplication host;
    IPtr<ADelayProcessor> processor;
    ProcessData data;
    HostParameterChanges inputChanges;
    HostParameterChanges outputChanges;
    HostEventList events;
    std::vector<std::vector<float>> storage;
    std::vector<std::vector<float*>> channelPointers;
    std::vector<AudioBusBuffers> inputs;
    std::vector<AudioBusBuffers> outputs;
};

std::string BusName(ADelayProcessor& processor, BusDirection direction, int32 index)
{
    BusInfo info{};
    processor.getBusInfo(kAudio, direction, index, info);
    std::string name;
    for (const char16* p = info.name; *p; ++p)
        name += static_cast<char>(*p);
    return name + "/" + std::to_string(info.channelCount);
}
} // namespace

TEST(ADelayProcessorBuses, StereoPairsThenMonoBusesNamedByTheirFirstChannel)
{
    ProcessorFixture f(2, 3, "outputsAsStereoPairs=\"true\" outputNames=\"Main,x,Solo\" subCategories=\"Instrument\"");
    ASSERT_EQ(f.processor->getBusCount(kAudio, kInput), 1);
    EXPECT_EQ(BusName(*f.processor, kInput, 0), "AudioInput/2");
    ASSERT_EQ(f.processor->getBusCount(kAudio, kOutput), 2);
    EXPECT_EQ(BusName(*f.processor, kOutput, 0), "Main/2");
    EXPECT_EQ(BusName(*f.processor, kOutput, 1), "Solo/1");
    EXPECT_EQ(f.processor->getBusCount(kEvent, kInput), 1);

    ProcessorFixture mono(2, 2, "subCategories=\"Fx\"");
    EXPECT_EQ(mono.processor->getBusCount(kAudio, kInput), 2);
    EXPECT_EQ(BusName(*mono.processor, kOutput, 1), "AudioOutput/1");
    EXPECT_EQ(mono.processor->getBusCount(kEvent, kInput), 0);
}

TEST(ADelayProcessorBuses, OnlyTheArrangementsItHasAreAccepted)
{
    ProcessorFixture f(2, 2, "outputsAsStereoPairs=\"true\"");
    SpeakerArrangement stereo = SpeakerArr::kStereo;
    SpeakerArrangement mono = SpeakerArr::kMono;
    // Buses are arranged while inactive only.
    EXPECT_EQ(f.processor->setBusArrangements(&stereo, 1, &stereo, 1), kResultFalse);
    f.processor->setProcessing(false);
    ASSERT_EQ(f.processor->setActive(false), kResultOk);
    EXPECT_EQ(f.processor->setBusArrangements(&stereo, 1, &stereo, 1), kResultOk);
    EXPECT_EQ(f.processor->setBusArrangements(&mono, 1, &mono, 1), kResultFalse);
    EXPECT_EQ(f.processor->setBusArrangements(&stereo, 1, nullptr, 0), kResultFalse);
    EXPECT_EQ(f.processor->setBusArrangements(nullptr, 1, &stereo, 1), kInvalidArgument);
    SpeakerArrangement arrangement = 0;
    f.processor->getBusArrangement(kOutput, 0, arrangement);
    EXPECT_EQ(arrangement, SpeakerArr::kStereo);
}

TEST(ADelayProcessorBuses, MoreThanThirtyTwoChannelsAreCutToThirtyTwo)
{
    ProcessorFixture f(0, 40, "");
    EXPECT_EQ(f.processor->NumOutputs(), 32);
    EXPECT_EQ(f.processor->getBusCount(kAudio, kOutput), 32);
    f.AttachBuffers();
    f.Process();
}

TEST(ADelayProcessorAudio, AudioPassesThroughAndMissingBuffersAreSafe)
{
    ProcessorFixture f(2, 2, "outputsAsStereoPairs=\"true\"");
    f.AttachBuffers();
    for (int i = 0; i < kBlock; ++i)
    {
        f.inputs[0].channelBuffers32[0][i] = 0.01f * static_cast<float>(i);
        f.inputs[0].channelBuffers32[1][i] = -0.5f;
    }
    for (int block = 0; block < 3; ++block)
        f.Process();
    EXPECT_FLOAT_EQ(f.outputs[0].channelBuffers32[0][10], 0.1f);
    EXPECT_FLOAT_EQ(f.outputs[0].channelBuffers32[1][10], -0.5f);

    // One channel of two, a null input table, no buses at all: no crash, and
    // the channel the host did give is written.
    f.outputs[0].numChannels = 1;
    f.inputs[0].channelBuffers32 = nullptr;
    f.outputs[0].channelBuffers32[0][5] = 9.0f;
    f.Process();
    EXPECT_FLOAT_EQ(f.outputs[0].channelBuffers32[0][5], 0.0f);
    f.data.numInputs = 0;
    f.data.numOutputs = 0;
    f.data.inputs = nullptr;
    f.data.outputs = nullptr;
    f.Process();
    // Longer than promised and without buffers: silence, not a write past scratch.
    f.data.numSamples = kBlock * 4;
    f.Process();
    f.data.processContext = nullptr;
    f.data.inputParameterChanges = nullptr;
    f.data.inputEvents = nullptr;
    f.data.outputParameterChanges = nullptr;
    f.Process();
}

TEST(ADelayProcessorMidi, HostParametersBecomeMidiAndControllersComeBack)
{
    ProcessorFixture f(2, 2, "outputsAsStereoPairs=\"true\" subCategories=\"Instrument\"");
    f.AttachBuffers();
    int32 index = 0;
    IParamValueQueue* queue = f.inputChanges.addParameterData(10007, index);
    queue->addPoint(0, 1.0, index);
    queue->addPoint(10, 0.0, index);
    queue->addPoint(20, 0.5, index);
    f.inputChanges.add(10001, 3, 1.0);
    // Collected over two blocks: the patch may hand MIDI on a block later.
    std::map<ParamID, std::vector<double>> back;
    for (int block = 0; block < 2; ++block)
    {
        f.Process();
        for (int32 q = 0; q < f.outputChanges.getParameterCount(); ++q)
        {
            IParamValueQueue* out = f.outputChanges.getParameterData(q);
            for (int32 p = 0; p < out->getPointCount(); ++p)
            {
                int32 offset = 0;
                ParamValue value = 0;
                out->getPoint(p, offset, value);
                EXPECT_GE(offset, 0);
                EXPECT_LT(offset, kBlock);
                back[out->getParameterId()].push_back(value);
            }
        }
    }
    // 0.5 * 127 + 0.5 = 64: only the queue's last point is sent.
    ASSERT_EQ(back[10007].size(), 1u);
    EXPECT_NEAR(back[10007][0], 64.0 / 127.0, 1e-9);
    ASSERT_EQ(back[10001].size(), 1u);
    EXPECT_NEAR(back[10001][0], 1.0, 1e-9);
}

TEST(ADelayProcessorMidi, BendPressureAndNotesReachTheEngineAsMidiBytes)
{
    ProcessorFixture f(0, 2, "subCategories=\"Instrument\"");
    f.AttachBuffers();
    f.data.outputParameterChanges = nullptr; // the ring is then left for the test
    f.inputChanges.add(10129, 0, 1.0);
    f.inputChanges.add(10128, 0, 1.0);
    f.inputChanges.add(20000, 0, 1.0);
    f.AddNote(Event::kNoteOnEvent, 60, 0.001f, 1);
    f.AddNote(Event::kNoteOnEvent, 200, 1.0f, 2);
    f.AddNote(Event::kNoteOffEvent, 60, 0.5f, 3);
    std::vector<std::vector<unsigned char>> midi;
    for (int block = 0; block < 2; ++block)
    {
        f.Process();
        for (auto& message : f.TakeMidi())
            midi.push_back(message);
    }
    const std::vector<std::vector<unsigned char>> expected = {
        {0xE0, 127, 127}, {0xD0, 127}, {0x90, 60, 1}, {0x80, 60, 63}};
    EXPECT_EQ(midi, expected);
}

TEST(ADelayProcessorMidi, EveryHostValueOfAMidiParameterReachesTheEngineAlsoWhenItRepeats)
{
    // Values equal to the parameters' defaults (controllers and pressure 0,
    // bend in the middle), the same again, a value the engine reported to
    // the host written back, and values after a reactivation: each one is a
    // message, in the host's order.
    ProcessorFixture f(0, 2, "subCategories=\"Instrument\"");
    f.AttachBuffers();
    using Midi = std::vector<std::vector<unsigned char>>;
    const auto play = [&](const std::vector<std::pair<ParamID, double>>& values) {
        f.data.outputParameterChanges = nullptr; // the ring is then left for the test
        for (const auto& [id, value] : values)
            f.inputChanges.add(id, 0, value);
        Midi midi;
        for (int block = 0; block < 2; ++block)
        {
            f.Process();
            for (auto& message : f.TakeMidi())
                midi.push_back(message);
        }
        return midi;
    };
    const std::vector<std::pair<ParamID, double>> defaults = {
        {10007, 0.0}, {10120, 0.0}, {10123, 0.0}, {10101, 0.0}, {10006, 0.0}, {10128, 0.0}, {10129, 0.5}};
    const Midi atDefaults = {{0xB0, 7, 0}, {0xB0, 120, 0}, {0xB0, 123, 0}, {0xB0, 101, 0},
                             {0xB0, 6, 0}, {0xD0, 0},       {0xE0, 0, 64}};
    EXPECT_EQ(play(defaults), atDefaults);
    EXPECT_EQ(play(defaults), atDefaults);

    // Controller 9 at 100, as the engine reports it to the host, written back.
    f.data.outputParameterChanges = &f.outputChanges;
    MidiOutputBuffer* ring = f.processor->Runtime().AudioMaster()->getMidiOutputBuffer();
    const unsigned char reported[3] = {0xB0, 9, 100};
    ASSERT_TRUE(ring->Write(f.processor->Runtime().AudioMaster()->SampleClock() + 1, reported, 3));
    f.Process();
    ASSERT_EQ(f.outputChanges.getParameterCount(), 1);
    EXPECT_EQ(f.outputChanges.getParameterData(0)->getParameterId(), 10009u);
    EXPECT_EQ(play({{10009, 100 / 127.0}}), (Midi{{0xB0, 9, 100}}));

    // Activated again: a bend back to rest reaches the new engine too.
    f.processor->setActive(false);
    f.processor->setActive(true);
    EXPECT_EQ(play({{10007, 0.0}, {10129, 0.5}}), (Midi{{0xB0, 7, 0}, {0xE0, 0, 64}}));
}

TEST(ADelayProcessorMidi, TheProgramChangeParameterSelectsThePatchsProgramsInTheirSteps)
{
    // Three programs: the host's program list steps by a half; a patch of
    // one program keeps the 127 steps of MIDI program numbers.
    const std::string three = "<Document><Controller><Parameters><Parameter Name=\"A\" Handle=\"1\" Index=\"0\">"
                              "<patch-list>1 2 3</patch-list></Parameter></Parameters></Controller></Document>";
    const struct
    {
        std::string parameters;
        double value;
        unsigned char program;
    } cases[] = {{three, 0.5, 1}, {three, 1.0, 2}, {"", 1.0, 127}, {"", 3.0 / 127.0, 3}};
    for (const auto& c : cases)
    {
        ProcessorFixture f(0, 2, "subCategories=\"Instrument\"", c.parameters);
        f.AttachBuffers();
        f.data.outputParameterChanges = nullptr;
        f.inputChanges.add(10130, 0, c.value);
        std::vector<std::vector<unsigned char>> midi;
        for (int block = 0; block < 2; ++block)
        {
            f.Process();
            for (auto& message : f.TakeMidi())
                midi.push_back(message);
        }
        const std::vector<std::vector<unsigned char>> expected = {{0xC0, c.program}};
        EXPECT_EQ(midi, expected) << c.value;
    }
}

TEST(ADelayProcessorMidi, AnEmptyBlockAppliesParametersAndNothingElse)
{
    ProcessorFixture f(0, 2, "subCategories=\"Instrument\"");
    f.AttachBuffers();
    f.data.outputParameterChanges = nullptr;
    f.inputChanges.add(10002, 0, 1.0);
    f.AddNote(Event::kNoteOnEvent, 60, 1.0f, 0);
    f.data.numSamples = 0;
    f.Process();
    f.data.numSamples = kBlock;
    std::vector<std::vector<unsigned char>> midi;
    for (int block = 0; block < 2; ++block)
    {
        f.Process();
        for (auto& message : f.TakeMidi())
            midi.push_back(message);
    }
    const std::vector<std::vector<unsigned char>> expected = {{0xB0, 2, 127}};
    EXPECT_EQ(midi, expected);
}

TEST(ADelayProcessorMidi, NotesAndPointsPastTheBlockLandOnItsLastSampleAndBeforeItOnItsFirst)
{
    ProcessorFixture f(0, 2, "subCategories=\"Instrument\"");
    f.AttachBuffers();
    f.data.outputParameterChanges = nullptr;
    const struct
    {
        int32 samples;
        int32 offset;
        int64_t expected; // from the block's start
    } cases[] = {{kBlock, 1 << 30, kBlock - 1}, {17, 17, 16}, {kBlock, INT32_MAX, kBlock - 1},
                 {kBlock, -5, 0},          {1, 1000, 0},   {kBlock, 20, 20}};
    for (const auto& c : cases)
    {
        f.data.numSamples = c.samples;
        const int64_t start = f.processor->Runtime().AudioMaster()->SampleClock();
        f.AddNote(Event::kNoteOnEvent, 60, 1.0f, c.offset);
        f.inputChanges.add(10007, c.offset, 1.0);
        f.Process();
        // MIDI through the patch reaches its ring stamped with its time.
        std::vector<std::pair<int64_t, unsigned char>> seen;
        MidiOutputBuffer* ring = f.processor->Runtime().AudioMaster()->getMidiOutputBuffer();
        int64_t time = 0;
        unsigned char bytes[4] = {};
        int32_t n = 0;
        while (ring->Read(time, bytes, 4, n))
            seen.emplace_back(time - start, bytes[0]);
        const std::vector<std::pair<int64_t, unsigned char>> expected = {{c.expected, 0xB0}, {c.expected, 0x90}};
        EXPECT_EQ(seen, expected) << c.samples << " " << c.offset;
    }
}

TEST(ADelayProcessorMidi, OnlyWholeChannelOneControllersGoBackAndLateOnesWait)
{
    ProcessorFixture f(0, 2, "");
    f.AttachBuffers();
    f.Process();
    MidiOutputBuffer* ring = f.processor->Runtime().AudioMaster()->getMidiOutputBuffer();
    ASSERT_NE(ring, nullptr);
    const int64_t now = f.processor->Runtime().AudioMaster()->SampleClock();
    const unsigned char channelTwo[3] = {0xB1, 7, 100};
    const unsigned char shortOne[2] = {0xB0, 7};
    const unsigned char good[3] = {0xB0, 7, 127};
    const unsigned char late[3] = {0xB0, 8, 0};
    ASSERT_TRUE(ring->Write(now + 1, channelTwo, 3));
    ASSERT_TRUE(ring->Write(now + 2, shortOne, 2));
    ASSERT_TRUE(ring->Write(now + 5, good, 3));
    ASSERT_TRUE(ring->Write(now + kBlock + 30, late, 3));
    f.Process();
    ASSERT_EQ(f.outputChanges.getParameterCount(), 1);
    IParamValueQueue* queue = f.outputChanges.getParameterData(0);
    EXPECT_EQ(queue->getParameterId(), 10007u);
    int32 offset = -1;
    ParamValue value = 0;
    ASSERT_EQ(queue->getPointCount(), 1);
    queue->getPoint(0, offset, value);
    EXPECT_EQ(offset, 5);
    EXPECT_DOUBLE_EQ(value, 1.0);

    f.Process();
    ASSERT_EQ(f.outputChanges.getParameterCount(), 1);
    queue = f.outputChanges.getParameterData(0);
    EXPECT_EQ(queue->getParameterId(), 10008u);
    queue->getPoint(0, offset, value);
    EXPECT_EQ(offset, 30);

    // A record that runs over the end of the ring is read whole.
    ring->readIndex = ring->writeIndex = MidiOutputBuffer::kSize - 8;
    ASSERT_TRUE(ring->Write(f.processor->Runtime().AudioMaster()->SampleClock() + 1, good, 3));
    f.Process();
    ASSERT_EQ(f.outputChanges.getParameterCount(), 1);
    EXPECT_EQ(f.outputChanges.getParameterData(0)->getParameterId(), 10007u);
}

TEST(ADelayProcessorTransport, TheHostContextIsCopiedWhenTheEngineAsksForTempo)
{
    ProcessorFixture f(0, 2, "");
    f.AttachBuffers();
    ProcessContext context{};
    context.state = ProcessContext::kPlaying;
    context.tempo = 90.0;
    context.projectTimeMusic = std::numeric_limits<double>::infinity();
    context.barPositionMusic = 4.0;
    context.timeSigNumerator = 3;
    context.timeSigDenominator = 8;
    f.data.processContext = &context;
    f.Process();
    EXPECT_EQ(f.processor->TimeInfo().tempo, 0.0); // not asked for yet
    EXPECT_TRUE(f.processor->getProcessContextRequirements() & IProcessContextRequirements::kNeedTempo);

    f.processor->Runtime().NeedTempo();
    f.Process();
    const my_VstTimeInfo& info = f.processor->TimeInfo();
    EXPECT_EQ(info.tempo, 90.0);
    EXPECT_EQ(info.ppqPos, 0.0);
    EXPECT_EQ(info.barStartPos, 4.0);
    EXPECT_EQ(info.timeSigNumerator, 3);
    EXPECT_EQ(info.timeSigDenominator, 8);
    EXPECT_EQ(info.sampleRate, 48000.0);
    EXPECT_EQ(info.flags, 0x2E03);

    // Without a context the last transport stays.
    f.data.processContext = nullptr;
    f.Process();
    EXPECT_EQ(f.processor->TimeInfo().tempo, 90.0);
}

TEST(ADelayProcessorState, BadChunksAreRefusedAndWhatTheGraphLacksIsNotSavedBack)
{
    ProcessorFixture f(0, 2, "");
    const std::string document = R"(<?xml version="1.0" ?><Parameters><Param id="1" val="2"/></Parameters>)";
    std::string deep;
    for (int i = 0; i < 45000; ++i)
        deep += "<Parameters>";
    for (const auto& bytes : {Chunk(document, -4), Chunk(document, static_cast<int>(document.size()) + 10),
                              Chunk(deep), Chunk("<Preset/>"), Chunk(std::string("<Parameters/>\0x", 15)),
                              Chunk("<Parameters a=\"\xDA\xDA\xF0"),
                              std::vector<char>{1}})
    {
        HostMemoryStream stream(bytes);
        EXPECT_EQ(f.processor->setState(&stream), kResultFalse);
    }

    HostMemoryStream in(Chunk(document));
    EXPECT_EQ(f.processor->setState(&in), kResultOk);
    // The graph has no parameter 1: what is saved is what plays.
    HostMemoryStream out;
    EXPECT_EQ(f.processor->getState(&out), kResultOk);
    const std::string saved(out.bytes().begin(), out.bytes().end());
    EXPECT_EQ(saved.find("id=\"1\""), std::string::npos) << saved;

    HostMemoryStream empty(Chunk(""));
    EXPECT_EQ(f.processor->setState(&empty), kResultOk);
}

TEST(ADelayProcessorMessages, OnlyWellFormedRecordsEnterTheEngineQueue)
{
    ProcessorFixture f(0, 2, "");
    auto good = BinaryMessage(f.host, Record(5, QueMessageId::ppc, std::string(9, '\0')));
    EXPECT_EQ(f.processor->notify(good), kResultOk);
    auto bad = BinaryMessage(f.host, Record(5, QueMessageId::ppc, std::string(9, '\0')).substr(0, 15));
    EXPECT_EQ(f.processor->notify(bad), kResultFalse);
    EXPECT_EQ(f.processor->notify(nullptr), kInvalidArgument);
    f.AttachBuffers();
    f.Process();
}

TEST(ADelayProcessorMessages, TheEnginesBatchesWaitForAUserInterfaceCallAndLeaveInOrder)
{
    ProcessorFixture f(0, 2, "");
    RecordingPeer peer;
    // The controller's poll: a message of its own id, carrying nothing.
    IMessage* made = nullptr;
    TUID iid;
    std::memcpy(iid, IMessage::iid, sizeof(iid));
    f.host.createInstance(iid, iid, reinterpret_cast<void**>(&made));
    IPtr<IMessage> poll = owned(made);
    ASSERT_TRUE(poll);
    poll->setMessageID("KvPollBatches");
    auto push = [&](const std::string& batch) {
        return f.processor->SendDspToGuiBatch(reinterpret_cast<const unsigned char*>(batch.data()),
                                              static_cast<int>(batch.size()));
    };
    EXPECT_TRUE(f.processor->SendDspToGuiBatch(nullptr, 0));

    // Unconnected, batches wait rather than go nowhere.
    const std::string first = Record(100, QueMessageId::ppc, "abcde");
    EXPECT_TRUE(push(first));
    EXPECT_EQ(f.processor->notify(poll), kResultOk);
    f.processor->connect(&peer);
    EXPECT_TRUE(peer.messages.empty()) << "nothing leaves on the audio thread's call";

    // The ring holds at least its set number of full batches; then one is
    // refused (the engine keeps it) until the user-interface thread takes them.
    std::vector<std::string> batches{first};
    const std::string refused = Record(7, QueMessageId::ppc, std::string(9988, 'z'));
    for (int n = 1; n < 100; ++n)
    {
        const std::string batch = Record(100 + n, QueMessageId::ppc, std::string(9988, static_cast<char>('a' + n)));
        if (!push(batch))
            break;
        batches.push_back(batch);
    }
    EXPECT_GE(batches.size(), static_cast<std::size_t>(ADelayProcessor::kQueuedBatches));
    EXPECT_FALSE(push(refused));
    EXPECT_TRUE(peer.messages.empty());

    // They leave together, in order: one message.
    EXPECT_EQ(f.processor->notify(poll), kResultOk);
    std::string joined;
    for (const std::string& batch : batches)
        joined += batch;
    EXPECT_EQ(peer.messages, std::vector<std::string>{joined});
    ASSERT_FALSE(peer.ids.empty());
    EXPECT_EQ(peer.ids[0], "BinaryMessage");

    // The host's other user-interface calls send what waits too.
    EXPECT_TRUE(push(refused));
    HostMemoryStream state;
    EXPECT_EQ(f.processor->getState(&state), kResultOk);
    ASSERT_EQ(peer.messages.size(), 2u);
    EXPECT_EQ(peer.messages.back(), refused);
    f.processor->disconnect(&peer);

    // A controller that answers while it reads (a host that delivers at
    // once): the nested call sends nothing in the middle of a batch, and the
    // running pass sends what came meanwhile, after it, in order.
    struct AnsweringPeer : RecordingPeer
    {
        Steinberg::tresult PLUGIN_API notify(IMessage* message) override
        {
            if (std::string(message->getMessageID()) == "KvPatchStore")
                return kResultOk;
            const std::size_t before = messages.size();
            RecordingPeer::notify(message);
            if (answer && !answered)
            {
                answered = true;
                answer();
            }
            nested = nested || messages.size() != before + 1;
            return kResultOk;
        }
        std::function<void()> answer;
        bool answered = false;
        bool nested = false;
    } answering;
    f.processor->connect(&answering);
    const std::string second = Record(8, QueMessageId::ppc, "second");
    answering.answer = [&] {
        EXPECT_TRUE(push(second));
        EXPECT_EQ(f.processor->notify(poll), kResultOk);
    };
    EXPECT_TRUE(push(first));
    EXPECT_EQ(f.processor->notify(poll), kResultOk);
    EXPECT_FALSE(answering.nested);
    EXPECT_EQ(answering.messages, (std::vector<std::string>{first, second}));
    f.processor->disconnect(&answering);
}
