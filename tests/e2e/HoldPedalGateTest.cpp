// The hold pedal sustains a voice whatever makes its gate: here the envelope
// takes its gate straight from the per-key "Voice/Gate" parameter. A key released under the pedal sounds
// on and is released at the pedal's own sample, exactly as if its key had
// gone up there.
#include <gtest/gtest.h>

#include <string>

#include "engine/graph/ug_container.h"
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

// The demo instrument with its ADSR gated by the "Voice/Gate" parameter
// (handle 113) instead of by the gate output of "Midi to CV", which is left
// as the voice's note source.
std::string GateFromParameter()
{
    std::string document = kvtest::ReadPatchFile(KV_DEMO_SYNTH_DOCUMENT);
    document = Replace(document, "<Line From=\"11\" FromPin=\"3\" To=\"13\" ToPin=\"0\"/>", "");
    return Replace(document, "<Plug Idx=\"1\" Parameter=\"101\"/>",
                   "<Plug Idx=\"0\" Parameter=\"113\"/><Plug Idx=\"1\" Parameter=\"101\"/>");
}

// The demo instrument with its ADSR in a section of each voice oversampled
// twice: the gate and the velocity enter it, the envelope leaves it.
std::string EnvelopeInOversampledSection()
{
    std::string text = kvtest::ReadPatchFile(KV_DEMO_SYNTH_DOCUMENT);
    const size_t at = text.find("<Module Type=\"ADSR\" Id=\"13\">");
    const size_t end = text.find("</Module>", at) + std::string("</Module>").size();
    const std::string section =
        "<Module Type=\"Container\" Id=\"30\" ExpandInline=\"0\" Oversample=\"2\"><Plugs>"
        "<Plug Direction=\"0\" Datatype=\"5\"/><Plug Direction=\"0\" Datatype=\"5\"/>"
        "<Plug Direction=\"1\" Datatype=\"5\"/></Plugs><Modules><Module Type=\"IO Mod\" Id=\"31\"><Plugs>"
        "<Plug Direction=\"1\" Datatype=\"5\" TiedTo=\"30\" TiedToPinIdx=\"0\"/>"
        "<Plug Direction=\"1\" Datatype=\"5\" TiedTo=\"30\" TiedToPinIdx=\"1\"/>"
        "<Plug Direction=\"0\" Datatype=\"5\" TiedTo=\"30\" TiedToPinIdx=\"2\"/></Plugs></Module>" +
        text.substr(at, end - at) +
        "</Modules><Lines><Line From=\"31\" FromPin=\"0\" To=\"13\" ToPin=\"0\"/>"
        "<Line From=\"31\" FromPin=\"1\" To=\"13\" ToPin=\"5\"/>"
        "<Line From=\"13\" FromPin=\"6\" To=\"31\" ToPin=\"2\"/></Lines></Module>";
    text.replace(at, end - at, section);
    text = Replace(text, "<Line From=\"11\" FromPin=\"3\" To=\"13\" ToPin=\"0\"/>",
                   "<Line From=\"11\" FromPin=\"3\" To=\"30\" ToPin=\"0\"/>");
    text = Replace(text, "<Line From=\"11\" FromPin=\"5\" To=\"13\" ToPin=\"5\"/>",
                   "<Line From=\"11\" FromPin=\"5\" To=\"30\" ToPin=\"1\"/>");
    return Replace(text, "<Line From=\"13\" FromPin=\"6\" To=\"14\" ToPin=\"1\"/>",
                   "<Line From=\"30\" FromPin=\"2\" To=\"14\" ToPin=\"1\"/>");
}

// Every voice released, silent and given back.
bool AllVoicesAsleep(DemoSynthRig& rig)
{
    auto* voices = dynamic_cast<ug_container*>(rig.Master().HandleToObject(10));
    if (!voices)
        return false;
    for (int voice = 0; voice < voices->getPhysicalVoiceCount(); ++voice)
    {
        if (voices->VoiceAt(voice)->state_ != VS_OFF)
            return false;
    }
    return true;
}
} // namespace

TEST(HoldPedalGate, AKeyReleasedUnderThePedalSoundsUntilItLiftsAndIsThenReleasedThere)
{
    {
        const std::string document = GateFromParameter();

        // The key goes up at 30000 ...
        DemoSynthRig plain(DemoSynthRig::Text{document});
        ASSERT_TRUE(plain.built);
        plain.NoteOn(100, 69);
        plain.NoteOff(30000, 69);
        plain.RunTo(60000, {100, 37});
        ASSERT_GT(kvtest::ToneAmplitude(plain.out, 6000, 20000, 440.0, 48000), 0.1);

        // ... or at 5000 under the pedal, which lifts at 30000.
        DemoSynthRig held(DemoSynthRig::Text{document});
        held.NoteOn(100, 69);
        held.Midi(1000, 0xB0, 64, 127);
        held.NoteOff(5000, 69);
        held.Midi(30000, 0xB0, 64, 0);
        held.RunTo(60000, {100, 37});
        for (int64_t n = 1000; n < 60000; ++n)
            ASSERT_NEAR(held.out[static_cast<size_t>(n)], plain.out[static_cast<size_t>(n)], 1e-6) << n;
        EXPECT_EQ(held.Peak(45000, 60000), 0.0f);
        EXPECT_TRUE(AllVoicesAsleep(held));

        // Struck again and released under the pedal: it sounds on until the
        // pedal lifts, and then dies away.
        DemoSynthRig again(DemoSynthRig::Text{document});
        again.NoteOn(100, 69);
        again.Midi(1000, 0xB0, 64, 127);
        again.NoteOff(5000, 69);
        again.NoteOn(10000, 69);
        again.NoteOff(12000, 69);
        again.Midi(30000, 0xB0, 64, 0);
        again.RunTo(60000, {100, 37});
        EXPECT_GT(kvtest::ToneAmplitude(again.out, 14000, 16000, 440.0, 48000), 0.1);
        EXPECT_GT(again.Peak(29900, 30000), 0.1f);
        EXPECT_EQ(again.Peak(45000, 60000), 0.0f);
        EXPECT_TRUE(AllVoicesAsleep(again));
    }
}

TEST(HoldPedalGate, AVoiceStolenWithItsGateUpStartsItsNextNoteFromSilence)
{
    // Nine keys held on six voices and three in reserve: three voices are
    // stolen with their gates up. Single notes afterwards go round every
    // voice; none may start from what its voice was playing when stolen.
    for (bool gateFromParameter : {false, true})
    {
        SCOPED_TRACE(gateFromParameter ? "gate from Voice/Gate" : "gate from Midi to CV");
        DemoSynthRig rig = gateFromParameter ? DemoSynthRig(DemoSynthRig::Text{GateFromParameter()})
                                             : DemoSynthRig();
        ASSERT_TRUE(rig.built);
        for (int k = 0; k < 9; ++k)
        {
            rig.NoteOn(100 + 10 * k, 50 + 3 * k);
            rig.NoteOff(20000, 50 + 3 * k);
        }
        for (int n = 0; n < 9; ++n)
        {
            rig.NoteOn(80000 + 20000 * n, 69);
            rig.NoteOff(82000 + 20000 * n, 69);
        }
        rig.RunTo(270000, {100, 37});
        for (int n = 0; n < 9; ++n)
        {
            const int64_t start = 80000 + 20000 * n;
            const float before = rig.Peak(start - 2000, start);
            // Before the gate rises, and in the first millisecond of the attack.
            EXPECT_LT(rig.Peak(start, start + 3), before + 1e-3f) << n;
            EXPECT_LT(rig.Peak(start, start + 50), before + 0.04f) << n;
        }
    }
}

TEST(HoldPedalGate, AReusedVoiceStartsItsNewNoteOnTheNotesOwnSample)
{
    // Voices stolen with their gate up, then reused one after the other with
    // the note anywhere in a block: nothing of the voice is heard before its
    // gate rises (3 samples after the key from Midi to CV, at once from
    // Voice/Gate), and then its note begins as a fresh voice's would. An
    // envelope in an oversampled section sees its gate through the section's
    // filter, which still rings a little (-100 dB) from the gate that was up.
    struct Variant
    {
        const char* name;
        std::string document;
        int64_t gateDelay;
        float beforeGate;
    };
    const Variant variants[] = {
        {"Midi to CV", kvtest::ReadPatchFile(KV_DEMO_SYNTH_DOCUMENT), 3, 0.0f},
        {"Voice/Gate", GateFromParameter(), 0, 0.0f},
        {"oversampled envelope", EnvelopeInOversampledSection(), 3, 1e-4f},
    };
    const std::vector<std::vector<int>> hostBlocks = {{100, 37}, {64}, {512}};
    for (const Variant& variant : variants)
    {
        for (const auto& blocks : hostBlocks)
        {
            SCOPED_TRACE(variant.name + std::string(", block ") + std::to_string(blocks[0]));
            DemoSynthRig rig(DemoSynthRig::Text{variant.document});
            ASSERT_TRUE(rig.built);
            const int64_t gateDelay = variant.gateDelay;
            for (int k = 0; k < 9; ++k)
            {
                rig.NoteOn(100 + 10 * k, 50 + 3 * k);
                rig.NoteOff(20000, 50 + 3 * k);
            }
            std::vector<int64_t> starts;
            for (int n = 0; n < 12; ++n)
            {
                starts.push_back(80000 + 20000 * n + 7 * n);
                rig.NoteOn(starts.back(), 69);
                rig.NoteOff(starts.back() + 2000, 69);
            }
            rig.RunTo(starts.back() + 20000, blocks);
            for (int64_t start : starts)
            {
                const int64_t gate = start + gateDelay;
                EXPECT_LE(rig.Peak(start - 10000, gate), variant.beforeGate) << start;
                EXPECT_GT(rig.Peak(gate, gate + 50), 1e-4f) << start;
                EXPECT_LT(rig.Peak(gate, gate + 50), 0.04f) << start;
            }
        }
    }
}
