// A program chosen in a block, as the processor takes it: a key held across
// the change ends at its note-off. A patch written from the document
// formats, driven through process() as a host drives it.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numeric>

#include "BlockEventList.h"
#include "ShellUnitSupport.h"
#include "shell/ADelayProcessor.h"
#include "tools/kvhost/HostParameterChanges.h"

using namespace Steinberg;
using namespace Steinberg::Vst;
using namespace shell_unit;

namespace
{
constexpr int32 kBlock = 256;
constexpr double kRate = 48000.0;
constexpr ParamID kProgramChange = 10130;

// Two voices of a saw through an envelope whose sustain (host id 0) each of
// three programs sets: 3, 5 and 8 V.
const char* kVoiceDsp = R"(<DSP><Container Id="1"><Modules>
<Module Type="Container" Id="2" ExpandInline="0">
  <PatchManager><Parameters>
    <Parameter DataType="22" Index="0" Handle="120" PatchCount="3" RangeMinimum="0" RangeMaximum="10"><p>3 5 8</p></Parameter>
    <Parameter DataType="20" Handle="121" PatchCount="3" HostControl="4"><p>One Two Three</p></Parameter>
    <Parameter DataType="22" Handle="110" ContainerHandle="10" isPolyphonic="1" HostControl="7" Automation="318767104" VoiceCount="128"/>
    <Parameter DataType="22" Handle="111" ContainerHandle="10" isPolyphonic="1" HostControl="8" Automation="352321536" VoiceCount="128"/>
    <Parameter DataType="22" Handle="113" ContainerHandle="10" isPolyphonic="1" isPolyphonicGate="1" HostControl="6" Automation="335544320" VoiceCount="128"/>
    <Parameter DataType="22" Handle="114" ContainerHandle="10" isPolyphonic="1" HostControl="5" Automation="402653184" VoiceCount="128"/>
  </Parameters></PatchManager>
  <Plugs><Plug Direction="0" Datatype="2"/><Plug Direction="1" Datatype="5"/></Plugs>
  <Modules>
    <Module Type="IO Mod" Id="3"><Plugs>
      <Plug Direction="1" Datatype="2" TiedTo="2" TiedToPinIdx="0"/>
      <Plug Direction="0" Datatype="5" TiedTo="2" TiedToPinIdx="1"/></Plugs></Module>
    <Module Type="Container" Id="10" ExpandInline="0" Polyphonic="1" VoiceCount="2" VoiceReserveCount="3"><Modules>
      <Module Type="Midi to CV" Id="11"><Plugs>
        <Plug Idx="18" HostControl="6"/><Plug Idx="19" HostControl="5"/>
        <Plug Idx="20" HostControl="8"/><Plug Idx="21" HostControl="7"/></Plugs></Module>
      <Module Type="Oscillator" Id="12"/>
      <Module Type="ADSR" Id="13"><Plugs><Plug Idx="3" Parameter="120"/><Plug Idx="4" Default="3"/></Plugs></Module>
      <Module Type="VCA" Id="14"><Plugs><Plug Idx="3" Default="2"/></Plugs></Module>
    </Modules><Lines>
      <Line From="11" FromPin="4" To="12" ToPin="0"/><Line From="11" FromPin="3" To="13" ToPin="0"/>
      <Line From="12" FromPin="3" To="14" ToPin="0"/><Line From="13" FromPin="6" To="14" ToPin="1"/>
    </Lines></Module>
  </Modules>
  <Lines><Line From="3" FromPin="0" To="11" ToPin="0"/><Line From="14" FromPin="2" To="3" ToPin="1"/></Lines>
</Module></Modules></Container></DSP>)";

const char* kVoiceParameters = R"(<Document><Controller><Parameters>
  <Parameter Name="Sustain" Handle="120" Index="0" ValueType="6" RangeMinimum="0" RangeMaximum="10"><patch-list>3 5 8</patch-list></Parameter>
  <Parameter Name="ProgramName" Handle="121" ValueType="1" HostControl="4"><patch-list>One Two Three</patch-list></Parameter>
</Parameters></Controller></Document>)";

struct Timed
{
    int32 offset;
    ParamID id;
    double value;
};

// A host of one mono output running the processor block by block.
struct BlockHost
{
    BlockHost()
        : factory(MakeBundle(scratch, "P",
                             {{"factory.kv.xml", FactoryXml("Name=\"P\" subCategories=\"Instrument\"")},
                              {"dsp.kv.xml", kVoiceDsp},
                              {"parameters.kv.xml", kVoiceParameters}})),
          processor(owned(new ADelayProcessor(&factory)))
    {
        factory.initialize();
        processor->setInstrument(true);
        EXPECT_EQ(processor->initialize(&host), kResultOk);
        ProcessSetup setup{kRealtime, kSample32, kBlock, kRate};
        EXPECT_EQ(processor->setupProcessing(setup), kResultOk);
        EXPECT_EQ(processor->setActive(true), kResultOk);
        processor->setProcessing(true);
        bus.numChannels = 1;
        bus.channelBuffers32 = &channel;
        data.numSamples = kBlock;
        data.numOutputs = 1;
        data.outputs = &bus;
        data.inputParameterChanges = &changes;
        data.inputEvents = &events;
    }
    ~BlockHost()
    {
        processor->setProcessing(false);
        processor->setActive(false);
        processor->terminate();
    }
    // One block with these notes and values; its samples.
    std::vector<float> Block(std::vector<Event> notes = {}, const std::vector<Timed>& values = {})
    {
        events.events = std::move(notes);
        for (const Timed& value : values)
            changes.add(value.id, value.offset, value.value);
        EXPECT_EQ(processor->process(data), kResultOk);
        changes.clear();
        events.events.clear();
        return std::vector<float>(samples, samples + kBlock);
    }
    // The loudest sample of `seconds` of blocks without input.
    float Peak(double seconds)
    {
        float peak = 0.0f;
        for (int i = 0; i < static_cast<int>(seconds * kRate / kBlock); ++i)
            for (float s : Block())
                peak = std::max(peak, std::fabs(s));
        return peak;
    }

    shell_test::ScratchFolder scratch;
    MyVstPluginFactory factory;
    KvHostApplication host;
    IPtr<ADelayProcessor> processor;
    float samples[kBlock] = {};
    float* channel = samples;
    AudioBusBuffers bus{};
    HostParameterChanges changes;
    BlockEventList events;
    ProcessData data;
};

Event Note(bool on, int16 key, int32 offset)
{
    Event event{};
    event.sampleOffset = offset;
    event.type = on ? Event::kNoteOnEvent : Event::kNoteOffEvent;
    if (on)
    {
        event.noteOn.pitch = key;
        event.noteOn.velocity = 0.8f;
    }
    else
    {
        event.noteOff.pitch = key;
    }
    return event;
}
} // namespace

TEST(ProgramBlock, AKeyHeldAcrossAProgramChangeEndsAtItsNoteOff)
{
    // No change, a change to each other program, and one in the note-off's own block.
    struct Case
    {
        int program;
        bool withNoteOff;
    };
    for (const Case& c : {Case{-1, false}, Case{1, false}, Case{2, false}, Case{2, true}})
    {
        SCOPED_TRACE("program " + std::to_string(c.program) + (c.withNoteOff ? " with the note-off" : ""));
        BlockHost session;
        session.Block({Note(true, 60, 10)});
        EXPECT_GT(session.Peak(0.2), 0.01f) << "the key does not sound";
        std::vector<Timed> change;
        if (c.program >= 0)
            change.push_back({5, kProgramChange, c.program / 2.0});
        std::vector<Event> noteOff;
        if (c.withNoteOff)
            noteOff.push_back(Note(false, 60, 100));
        session.Block(noteOff, change);
        if (!c.withNoteOff)
        {
            // The new program's sustain sounds while the key is held.
            EXPECT_GT(session.Peak(0.2), 0.01f) << "the key stopped before its note-off";
            session.Block({Note(false, 60, 0)});
        }
        // The release (3 V) is over well within a second.
        session.Peak(1.0);
        EXPECT_LT(session.Peak(0.25), 1e-4f) << "the note hangs";
    }
}
