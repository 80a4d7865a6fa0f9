// Nested containers and oversampled sections inside the demo's voice
// container: each voice gets its own copy, so a chord sounds as it does
// without the nesting, and released voices retire and sleep as before.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>

#include "engine/voices/Voice.h"
#include "engine/graph/ug_container.h"
#include "engine/oversampling/ug_oversampler.h"
#include "tests/e2e/DemoSynthRig.h"

using kvtest::DemoSynthRig;

namespace
{
constexpr int kVoiceContainer = 10;
constexpr int kSection = 30;

void Replace(std::string& text, const std::string& from, const std::string& to)
{
    const size_t at = text.find(from);
    ASSERT_NE(at, std::string::npos) << from;
    text.replace(at, from.size(), to);
}

// The demo with its per-voice amplifier (VCA 14) moved into a nested
// container of the voice container, with `attributes` (oversampling or none).
DemoSynthRig::Text DemoWithSection(const std::string& attributes)
{
    std::string text = kvtest::ReadPatchFile(KV_DEMO_SYNTH_DOCUMENT);
    const std::string vca = "<Module Type=\"VCA\" Id=\"14\">";
    const size_t at = text.find(vca);
    const size_t end = text.find("</Module>", at) + std::string("</Module>").size();
    const std::string section =
        "<Module Type=\"Container\" Id=\"30\" ExpandInline=\"0\" " + attributes +
        "><Plugs><Plug Direction=\"0\" Datatype=\"5\"/><Plug Direction=\"0\" Datatype=\"5\"/>"
        "<Plug Direction=\"1\" Datatype=\"5\"/></Plugs><Modules><Module Type=\"IO Mod\" Id=\"31\"><Plugs>"
        "<Plug Direction=\"1\" Datatype=\"5\" TiedTo=\"30\" TiedToPinIdx=\"0\"/>"
        "<Plug Direction=\"1\" Datatype=\"5\" TiedTo=\"30\" TiedToPinIdx=\"1\"/>"
        "<Plug Direction=\"0\" Datatype=\"5\" TiedTo=\"30\" TiedToPinIdx=\"2\"/></Plugs></Module>" +
        text.substr(at, end - at) +
        "</Modules><Lines><Line From=\"31\" FromPin=\"0\" To=\"14\" ToPin=\"0\"/>"
        "<Line From=\"31\" FromPin=\"1\" To=\"14\" ToPin=\"1\"/>"
        "<Line From=\"14\" FromPin=\"2\" To=\"31\" ToPin=\"2\"/></Lines></Module>";
    text.replace(at, end - at, section);
    Replace(text, "<Line From=\"12\" FromPin=\"3\" To=\"14\" ToPin=\"0\"/>",
            "<Line From=\"12\" FromPin=\"3\" To=\"30\" ToPin=\"0\"/>");
    Replace(text, "<Line From=\"13\" FromPin=\"6\" To=\"14\" ToPin=\"1\"/>",
            "<Line From=\"13\" FromPin=\"6\" To=\"30\" ToPin=\"1\"/>");
    Replace(text, "<Line From=\"14\" FromPin=\"2\" To=\"20\" ToPin=\"0\"/>",
            "<Line From=\"30\" FromPin=\"2\" To=\"20\" ToPin=\"0\"/>");
    return {text};
}

// Three keys, the last released early; all released at 30000.
void ScheduleChord(DemoSynthRig& rig)
{
    rig.NoteOn(100, 60);
    rig.NoteOn(1337, 64);
    rig.NoteOn(2500, 67);
    rig.NoteOff(12000, 67);
    rig.NoteOff(30000, 60);
    rig.NoteOff(30000, 64);
}

void PlayChord(DemoSynthRig& rig)
{
    ScheduleChord(rig);
    rig.RunTo(90000, {512, 77});
}

// The section's copy in each voice: containers with its handle, or their oversamplers.
template <class T>
std::set<T*> SectionCopies(DemoSynthRig& rig)
{
    std::set<T*> copies;
    auto* voices = dynamic_cast<ug_container*>(rig.Master().HandleToObject(kVoiceContainer));
    for (int v = 0; voices && v < voices->getPhysicalVoiceCount(); ++v)
    {
        for (ug_base* module : voices->VoiceAt(v)->modules_)
        {
            if constexpr (std::is_same_v<T, ug_oversampler>)
            {
                if (auto* os = dynamic_cast<ug_oversampler*>(module); os && os->Child()->handle_ == kSection)
                    copies.insert(os);
            }
            else if (auto* c = dynamic_cast<ug_container*>(module); c && c->handle_ == kSection)
                copies.insert(c);
        }
    }
    return copies;
}

double Rms(const std::vector<float>& x, size_t from, size_t to)
{
    double sum = 0.0;
    for (size_t i = from; i < to; ++i)
        sum += static_cast<double>(x[i]) * x[i];
    return std::sqrt(sum / static_cast<double>(to - from));
}
} // namespace

TEST(PerVoiceSections, ANestedContainerIsCopiedPerVoiceAndTheChordSoundsAsWithoutIt)
{
    DemoSynthRig flat;
    ASSERT_TRUE(flat.built);
    PlayChord(flat);

    DemoSynthRig nested(DemoWithSection(""));
    ASSERT_TRUE(nested.built);
    EXPECT_EQ(SectionCopies<ug_container>(nested).size(), 9u);
    PlayChord(nested);

    ASSERT_EQ(nested.out.size(), flat.out.size());
    double worst = 0.0;
    for (size_t i = 0; i < flat.out.size(); ++i)
        worst = std::max(worst, static_cast<double>(std::fabs(nested.out[i] - flat.out[i])));
    EXPECT_LT(worst, 1e-6);
    EXPECT_GT(Rms(nested.out, 4000, 12000), 0.05);
    // Released voices fall silent and retire, their sections with them.
    EXPECT_EQ(nested.Peak(80000, 90000), 0.0f);
    auto* voices = dynamic_cast<ug_container*>(nested.Master().HandleToObject(kVoiceContainer));
    for (int v = 0; v < voices->getPhysicalVoiceCount(); ++v)
        EXPECT_EQ(voices->VoiceAt(v)->state_, VS_OFF) << v;
}

TEST(PerVoiceSections, AnOversampledSectionRunsOncePerSoundingVoiceAndSleepsWithIt)
{
    DemoSynthRig flat;
    PlayChord(flat);

    DemoSynthRig oversampled(DemoWithSection("Oversample=\"2\""));
    ASSERT_TRUE(oversampled.built);
    const std::set<ug_oversampler*> copies = SectionCopies<ug_oversampler>(oversampled);
    ASSERT_EQ(copies.size(), 9u);
    for (ug_oversampler* os : copies)
        EXPECT_FLOAT_EQ(os->SampleRate(), 96000.0f);

    // Before any note no section costs anything.
    const auto idle = [](ug_oversampler* os) {
        return os->ug_base::sleeping_ || (os->ug_base::flags_ & ug_base::UGF_SUSPENDED);
    };
    oversampled.RunTo(8000);
    EXPECT_TRUE(std::all_of(copies.begin(), copies.end(), idle));

    DemoSynthRig played(DemoWithSection("Oversample=\"2\""));
    ScheduleChord(played);
    played.RunTo(8000, {512, 77});
    const std::set<ug_oversampler*> during = SectionCopies<ug_oversampler>(played);
    EXPECT_EQ(std::count_if(during.begin(), during.end(), [&](ug_oversampler* os) { return !idle(os); }), 3);
    played.RunTo(90000, {512, 77});
    // Each voice through its own section: the chord keeps its level (the
    // section's filters shift the phase a little, not the level).
    for (auto [from, to] : {std::pair<size_t, size_t>{4000, 11000}, {14000, 28000}})
    {
        const double expected = Rms(flat.out, from, to);
        EXPECT_NEAR(Rms(played.out, from, to), expected, expected * 0.03) << from;
    }
    EXPECT_LT(played.Peak(80000, 90000), 1e-6f);
    const std::set<ug_oversampler*> after = SectionCopies<ug_oversampler>(played);
    EXPECT_TRUE(std::all_of(after.begin(), after.end(), idle));
}
