// The note-source settings and the voice allocation word, and the redirect
// companion that "Midi to CV" places in its container.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include <tinyxml.h>

#include "engine/GraphRig.h"
#include "engine/graph/ug_container.h"
#include "modules/control/ug_midi_to_cv.h"
#include "modules/control/ug_midi_to_cv_redirect.h"

namespace
{
class ChannelWatcher : public ug_notesource
{
public:
    ug_base* Create() override { return new ChannelWatcher(); }
    void OnChangeChannel() override { ++changes; }
    int changes = 0;
};

struct HeardMidi
{
    ug_container* container;
    int64_t time;
    std::vector<unsigned char> bytes;
    bool fromMidiCv;
};

class FakePatchManager : public IDspPatchManager
{
public:
    explicit FakePatchManager(std::vector<HeardMidi>& heard, bool& midiCv) : heard_(heard), midiCv_(midiCv) {}
    void getPresetState(std::string& /*out*/) override {}
    void setPresetState(const std::string& /*text*/) override {}
    void setParameterNormalized(int64_t /*time*/, int /*id*/, double /*value*/) override {}
    void OnUiMsg(int /*id*/, my_input_stream& /*stream*/) override {}
    void OnMidi(VoiceControlState* state, int64_t time, const unsigned char* bytes, int size, bool fromMidiCv) override
    {
        heard_.push_back({state->container, time, std::vector<unsigned char>(bytes, bytes + size), fromMidiCv});
    }
    void setMidiCvVoiceControl() override { midiCv_ = true; }

private:
    std::vector<HeardMidi>& heard_;
    bool& midiCv_;
};

ug_midi_to_cv* AddMidiToCv(kvtest::GraphRig& rig)
{
    auto* module = static_cast<ug_midi_to_cv*>(CModuleFactory::Instance()->GetById(L"Midi to CV")->BuildSynthOb());
    rig.top->AddUG(module);
    module->Setup(&rig.master, nullptr);
    return module;
}

ug_midi_to_cv_redirect* FindRedirect(ug_container& container)
{
    for (ug_base* m : container.Modules())
    {
        if (auto* r = dynamic_cast<ug_midi_to_cv_redirect*>(m))
            return r;
    }
    return nullptr;
}
} // namespace

TEST(NoteSource, TheAllocationWordFollowsTheMonoAndPolyphonySettings)
{
    ug_notesource s;
    s.polyphonyMode_ = 1;
    EXPECT_EQ(s.getVoiceAllocationMode(), 1);
    s.monoMode_ = 1;
    s.retrigger_ = 1;
    s.monoNotePriority_ = 3;
    EXPECT_EQ(s.getVoiceAllocationMode(), 0x305);
    s.portamentoRate_ = 1;
    EXPECT_EQ(s.getVoiceAllocationMode(), 0x40305);
    EXPECT_EQ(s.OverrideWord(), 0x305);
    s.monoNotePriority_ = 0;
    EXPECT_EQ(s.OverrideWord(), 5);
    // Values outside their lists take the pins' usual choices.
    s.monoNotePriority_ = 300;
    EXPECT_EQ(s.OverrideWord(), 0x305);
    s.monoMode_ = 0;
    s.polyphonyMode_ = 77;
    EXPECT_EQ(s.OverrideWord(), 1);
}

TEST(NoteSource, OverriddenPolyphonyModeLeavesTheContainersOwnWordWhateverMonoModeSays)
{
    kvtest::GraphRig rig;
    ug_midi_to_cv* module = AddMidiToCv(rig);
    rig.top->SetHostAllocationMode(2);
    module->monoMode_ = 1;
    module->polyphonyMode_ = ug_notesource::kContainerMode;
    module->updateVoiceAllocationMode();
    EXPECT_EQ(module->OverrideWord(), -1);
    EXPECT_EQ(module->getVoiceAllocationMode(), 2);
    EXPECT_EQ(rig.top->CurrentAllocationMode(), 2);

    module->polyphonyMode_ = 0;
    module->retrigger_ = 0;
    module->monoNotePriority_ = 1;
    module->updateVoiceAllocationMode();
    EXPECT_EQ(rig.top->CurrentAllocationMode(), 0x104);
}

TEST(NoteSource, OnlyTheModuleItselfReactsToAChannelChange)
{
    ChannelWatcher source;
    ChannelWatcher clone;
    clone.cloneOf_ = &source;
    UPlug pin(&source, DR_IN, DT_ENUM);
    pin.index_ = ug_notesource::PN_CHANNEL;
    for (ChannelWatcher* s : {&source, &clone})
    {
        s->channel_ = -1;
        s->onSetPin(0, &pin, ST_STATIC); // "All" at start: nothing changed
        s->channel_ = 3;
        s->onSetPin(0, &pin, ST_STATIC);
        s->onSetPin(1, &pin, ST_STATIC);
    }
    EXPECT_EQ(source.changes, 1);
    EXPECT_EQ(clone.changes, 0);
}

TEST(MidiToCvRedirect, JoinsLinesDrawnToMidiToCvAndHandsMidiOfItsChannelToThePatchManager)
{
    kvtest::GraphRig rig;
    std::vector<HeardMidi> heard;
    bool midiCv = false;
    rig.top->setPatchManager(new FakePatchManager(heard, midiCv));
    ug_midi_to_cv* module = AddMidiToCv(rig);
    ug_midi_to_cv_redirect* redirect = FindRedirect(*rig.top);
    ASSERT_NE(redirect, nullptr);
    const auto& fed = module->plugs_[ug_notesource::PN_MIDI_IN]->connections_;
    ASSERT_EQ(fed.size(), 1u);
    EXPECT_EQ(fed[0], redirect->plugs_[ug_midi_to_cv_redirect::PN_MIDI_OUT]);
    UPlug midiOut(module, DR_OUT, DT_MIDI2);
    ug_base::connect(&midiOut, module->plugs_[ug_notesource::PN_MIDI_IN]);
    const auto& joined = redirect->plugs_[ug_midi_to_cv_redirect::PN_MIDI_IN]->connections_;
    EXPECT_NE(std::find(joined.begin(), joined.end(), &midiOut), joined.end());
    midiOut.DeleteConnectors();

    redirect->channel_ = 1;
    ASSERT_EQ(redirect->Open(), 0);
    EXPECT_TRUE(midiCv);
    const unsigned char noteOn[3] = {0x91, 69, 100};
    const unsigned char otherChannel[3] = {0x92, 60, 100};
    redirect->SetPinValue(20, ug_midi_to_cv_redirect::PN_MIDI_IN, DT_MIDI2, otherChannel, 3);
    redirect->SetPinValue(30, ug_midi_to_cv_redirect::PN_MIDI_IN, DT_MIDI2, noteOn, 3);
    rig.Run(96);
    ASSERT_EQ(heard.size(), 1u);
    EXPECT_EQ(heard[0].container, rig.top.get());
    EXPECT_EQ(heard[0].time, 30);
    EXPECT_EQ(heard[0].bytes, std::vector<unsigned char>(noteOn, noteOn + 3));
    EXPECT_TRUE(heard[0].fromMidiCv);
}

TEST(MidiToCvRedirect, TheChannelADocumentGivesMidiToCvIsTheOneTheRedirectListensOn)
{
    kvtest::GraphRig rig;
    TiXmlDocument document;
    document.Parse("<Module Type=\"Midi to CV\" Id=\"5\"><Plugs><Plug Idx=\"1\" Default=\"2\"/></Plugs></Module>");
    auto* module = static_cast<ug_midi_to_cv*>(CModuleFactory::Instance()->GetById(L"Midi to CV")->BuildSynthOb());
    rig.top->AddUG(module);
    module->Setup(&rig.master, document.RootElement());
    rig.BuildAndOpen();
    rig.Run(96);
    ug_midi_to_cv_redirect* redirect = FindRedirect(*rig.top);
    ASSERT_NE(redirect, nullptr);
    EXPECT_EQ(redirect->channel_, 2);
}

TEST(MidiToCvRedirect, EveryVoiceGetsItsOwnMidiToCvAndOnlyTheRedirectHearsMidi)
{
    kvtest::GraphRig rig;
    rig.top->setVoiceCount(3);
    rig.top->setVoiceReserveCount(0);
    ug_midi_to_cv* module = AddMidiToCv(rig);
    auto* consumer = rig.Add<kvtest::Recorder>();
    ug_base::connect(module->plugs_[ug_midi_to_cv::PN_GATE], consumer->plugs_[kvtest::Recorder::PN_AUDIO]);
    rig.BuildAndOpen();
    rig.Run(96);
    int clones = 0;
    for (ug_base* m : rig.top->Modules())
    {
        if (dynamic_cast<ug_midi_to_cv*>(m) && m != module)
        {
            ++clones;
            EXPECT_EQ(m->CloneOf(), module);
            EXPECT_TRUE(m->plugs_[ug_notesource::PN_MIDI_IN]->connections_.empty());
        }
    }
    EXPECT_EQ(clones, 2);
    EXPECT_EQ(FindRedirect(*rig.top)->plugs_[ug_midi_to_cv_redirect::PN_MIDI_OUT]->connections_.size(), 1u);
}
