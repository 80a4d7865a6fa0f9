// Values that reach the sound from the patch rather than from a module's own
// signal: a polyphonic parameter on an audio input, a list value from
// "KV Parameter Enum In", and the snapshot manager's value on the pins bound
// to "SnapModulation" (with a test module standing in for the manager).
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "core/CModuleFactory.h"
#include "core/InterfaceObject.h"
#include "core/Module_Info.h"
#include "core/UnitClass.h"
#include "engine/graph/ug_base.h"
#include "tests/e2e/DemoSynthRig.h"

using kvtest::DemoSynthRig;

namespace
{
std::string Replace(std::string text, const std::string& from, const std::string& to)
{
    const size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos)
        text.replace(at, from.size(), to);
    return text;
}

// A container of the given modules and lines whose two audio outputs go to
// the host (module 3 is its IO Mod).
std::string TwoOutputPatch(const std::string& modules, const std::string& lines)
{
    return "<DSP><Container Id=\"1\"><Modules><Module Type=\"Container\" Id=\"2\" ExpandInline=\"0\">"
           "<Plugs><Plug Direction=\"1\" Datatype=\"5\"/><Plug Direction=\"1\" Datatype=\"5\"/></Plugs><Modules>"
           "<Module Type=\"IO Mod\" Id=\"3\"><Plugs>"
           "<Plug Direction=\"0\" Datatype=\"5\" TiedTo=\"2\" TiedToPinIdx=\"0\"/>"
           "<Plug Direction=\"0\" Datatype=\"5\" TiedTo=\"2\" TiedToPinIdx=\"1\"/></Plugs></Module>" +
           modules + "</Modules><Lines>" + lines + "</Lines></Module></Modules></Container></DSP>";
}

// Stands in for the external snapshot manager: hands the value of its
// "Snapshot" input out on pin 1; "Feed" lets a patch send audio into it.
class SnapshotStandIn : public ug_base
{
public:
    ug_base* Create() override { return new SnapshotStandIn(); }
    void ListInterface2(std::vector<InterfaceObject*>& pins) override
    {
        pins.push_back(new InterfaceObject(&snapshot_, L"Snapshot", DR_IN, DT_INT, L"0", L"", 0));
        pins.push_back(new InterfaceObject(&out_, L"Out", DR_OUT, DT_INT, L"0", L"", 0));
        pins.push_back(new InterfaceObject(nullptr, L"Feed", DR_IN, DT_FSAMPLE, L"0", L"", 0, L"", &feed_));
    }
    void onSetPin(int64_t time, UPlug* pin, state_type /*state*/) override
    {
        if (pin->index_ != 0)
            return;
        out_ = snapshot_;
        SendPinsCurrentValue(time, plugs_[1]);
    }

private:
    int32_t snapshot_ = 0;
    int32_t out_ = 0;
    float* feed_ = nullptr;
};

// A snapshot client: its "Snap" input as a level in tenths of a volt.
class SnapLevel : public ug_base
{
public:
    SnapLevel() { SetProcessFunction(&SnapLevel::process_level); }
    ug_base* Create() override { return new SnapLevel(); }
    void ListInterface2(std::vector<InterfaceObject*>& pins) override
    {
        pins.push_back(new InterfaceObject(&snap_, L"Snap", DR_IN, DT_INT, L"0", L"", 0));
        pins.push_back(new InterfaceObject(nullptr, L"Level", DR_OUT, DT_FSAMPLE, L"0", L"", 0, L"", &out_));
    }
    void process_level(int start, int count)
    {
        std::fill(out_ + start, out_ + start + count, 0.01f * static_cast<float>(snap_));
    }

private:
    int32_t snap_ = 0;
    float* out_ = nullptr;
};

void RegisterSnapshotModules()
{
    static const bool registered = [] {
        CModuleFactory::Instance()->RegisterModule(
            new Module_Info(L"BL SnapshotManager", 0, 0, nullptr, &UnitClassOf<SnapshotStandIn>::value, 8));
        CModuleFactory::Instance()->RegisterModule(
            new Module_Info(L"KV Test Snap Level", 0, 0, nullptr, &UnitClassOf<SnapLevel>::value, 8));
        return true;
    }();
    (void)registered;
}
} // namespace

TEST(ParameterPaths, APolyphonicParameterOnAnAudioInputGivesEachVoiceItsOwnValue)
{
    // The demo with its oscillators' pitch taken straight from the per-key
    // "Voice/Pitch" parameter (handle 110) instead of from "Midi to CV".
    std::string document = kvtest::ReadPatchFile(KV_DEMO_SYNTH_DOCUMENT);
    document = Replace(document, "<Line From=\"11\" FromPin=\"4\" To=\"12\" ToPin=\"0\"/>", "");
    document = Replace(document, "<Plug Idx=\"2\" Parameter=\"100\"/>",
                       "<Plug Idx=\"2\" Parameter=\"100\"/><Plug Idx=\"0\" Parameter=\"110\"/>");

    DemoSynthRig rig(DemoSynthRig::Text{document});
    ASSERT_TRUE(rig.built);
    rig.NoteOn(100, 57);
    rig.NoteOn(100, 64);
    rig.NoteOff(30000, 57);
    rig.NoteOn(30000, 69);
    rig.RunTo(60000, {100, 37});

    const double low = kvtest::ToneAmplitude(rig.out, 6000, 20000, kvtest::PitchToHz(kvtest::KeyPitch(57)), 48000);
    const double high = kvtest::ToneAmplitude(rig.out, 6000, 20000, kvtest::PitchToHz(kvtest::KeyPitch(64)), 48000);
    EXPECT_GT(low, 0.05);
    EXPECT_NEAR(high / low, 1.0, 0.05);
    // A later key on a freed voice gets its own pitch; the held key keeps its.
    EXPECT_NEAR(kvtest::ToneAmplitude(rig.out, 40000, 20000, 440.0, 48000), low, 0.05 * low);
    EXPECT_NEAR(kvtest::ToneAmplitude(rig.out, 40000, 20000, kvtest::PitchToHz(kvtest::KeyPitch(64)), 48000), low,
                0.05 * low);
}

TEST(ParameterPaths, TheEnumInModulesListValueChoosesTheWaveformItFeeds)
{
    const std::string oscillator = "<Module Type=\"Oscillator\" Id=\"5\"/>";
    const std::string outputs = "<Line From=\"5\" FromPin=\"3\" To=\"3\" ToPin=\"0\"/>"
                                "<Line From=\"5\" FromPin=\"3\" To=\"3\" ToPin=\"1\"/>";
    // Second and third harmonic against the fundamental: none for a sine, a
    // ninth (third only) for a triangle, a half and a third for the
    // oscillator's own default, the saw.
    const struct
    {
        const char* listValue;
        double second;
        double third;
    } cases[] = {{"0", 0.0, 0.0}, {"3", 0.0, 1.0 / 9.0}, {nullptr, 0.5, 1.0 / 3.0}};
    for (const auto& c : cases)
    {
        std::string modules = oscillator;
        std::string lines = outputs;
        if (c.listValue)
        {
            modules += std::string("<Module Type=\"KV Parameter Enum In\" Id=\"4\"><Plugs><Plug Idx=\"0\" Default=\"") +
                       c.listValue + "\"/></Plugs></Module>";
            lines += "<Line From=\"4\" FromPin=\"0\" To=\"5\" ToPin=\"2\"/>";
        }
        DemoSynthRig rig(DemoSynthRig::Text{TwoOutputPatch(modules, lines)});
        ASSERT_TRUE(rig.built);
        rig.RunTo(24000);
        // The oscillator's pitch input rests at 5 V: 440 Hz.
        const double first = kvtest::ToneAmplitude(rig.out, 4800, 19200, 440.0, 48000);
        ASSERT_GT(first, 0.1) << (c.listValue ? c.listValue : "none");
        EXPECT_NEAR(kvtest::ToneAmplitude(rig.out, 4800, 19200, 880.0, 48000) / first, c.second, 0.02);
        EXPECT_NEAR(kvtest::ToneAmplitude(rig.out, 4800, 19200, 1320.0, 48000) / first, c.third, 0.02);
    }
}

TEST(ParameterPaths, TheSnapshotManagersValueReachesEverySnapModulationPinEvenAroundALoop)
{
    RegisterSnapshotModules();
    // Client 5 is heard on the left; client 6 is heard on the right and also
    // feeds the manager, so it is fed through a delay instead of in a loop.
    const std::string clients = "<Module Type=\"KV Test Snap Level\" Id=\"5\"><Plugs><Plug Idx=\"0\" HostControl=\"39\"/>"
                                "</Plugs></Module>"
                                "<Module Type=\"KV Test Snap Level\" Id=\"6\"><Plugs><Plug Idx=\"0\" HostControl=\"39\"/>"
                                "</Plugs></Module>";
    const std::string manager =
        "<Module Type=\"BL SnapshotManager\" Id=\"4\"><Plugs><Plug Idx=\"0\" Default=\"40\"/></Plugs></Module>";
    const std::string lines = "<Line From=\"5\" FromPin=\"1\" To=\"3\" ToPin=\"0\"/>"
                              "<Line From=\"6\" FromPin=\"1\" To=\"3\" ToPin=\"1\"/>";
    const std::string loop = "<Line From=\"6\" FromPin=\"1\" To=\"4\" ToPin=\"2\"/>";

    for (bool withManager : {true, false})
    {
        DemoSynthRig rig(DemoSynthRig::Text{TwoOutputPatch(clients + (withManager ? manager : ""),
                                                          lines + (withManager ? loop : ""))});
        ASSERT_TRUE(rig.built);
        rig.RunTo(4096);
        const float expected = withManager ? 0.4f : 0.0f;
        EXPECT_FLOAT_EQ(rig.out.back(), expected) << "manager " << withManager;
        EXPECT_FLOAT_EQ(rig.outRight.back(), expected) << "manager " << withManager;
    }
}
