// Reading the DSP patch document: attribute defaults and limits, and texts
// damaged in every way, which must build what they can and never crash.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "engine/runtime/KvAudioMaster.h"
#include "engine/runtime/SynthRuntime.h"
#include "engine/graph/ug_container.h"
#include "engine/oversampling/ug_oversampler.h"

namespace
{
std::string ReadPatch(const std::string& name)
{
    std::ifstream file(std::string(KV_TEST_DATA_DIR) + "/patches/" + name);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

// A main container holding `inner`, with one audio output from its IO Mod.
std::string MainWith(const std::string& mainAttributes, const std::string& inner)
{
    return "<DSP><Container Id=\"1\"><Modules><Module Type=\"Container\" Id=\"2\" ExpandInline=\"0\" " +
           mainAttributes +
           "><Plugs><Plug Direction=\"1\" Datatype=\"5\"/></Plugs><Modules>"
           "<Module Type=\"IO Mod\" Id=\"3\"><Plugs><Plug Direction=\"0\" Datatype=\"5\" TiedTo=\"2\" "
           "TiedToPinIdx=\"0\"/></Plugs></Module>" +
           inner + "</Modules></Module></Modules></Container></DSP>";
}

int CountMessages(KvAudioMaster* master, const std::string& part)
{
    int n = 0;
    for (const auto& message : master->BuildMessages())
        n += message.find(part) != std::string::npos ? 1 : 0;
    return n;
}

void RunSome(KvAudioMaster* master)
{
    std::vector<float> a(300, 0.1f), b(300, 0.2f), c(300), d(300);
    float* in[2] = {a.data(), b.data()};
    float* out[2] = {c.data(), d.data()};
    const unsigned char note[3] = {0x90, 60, 100};
    master->MidiIn(5, note, 3);
    master->DoProcess(300, in, out, 2, 2);
    master->DoProcess(77, in, out, 1, 1);
}
} // namespace

TEST(DspPatchDocument, AContainerModuleWithoutExpandInlineLendsItsVoiceCountsToTheEnclosingContainer)
{
    SynthRuntime runtime;
    ASSERT_TRUE(runtime.initialize(
        44100, 512, MainWith("VoiceCount=\"4\" VoiceReserveCount=\"1\"", "<Module Type=\"Container\" Id=\"7\"/>").c_str()));
    ug_container* main = runtime.AudioMaster()->MainContainer();
    // The inline container's defaults, 6 and 3, are applied after the main one's own.
    EXPECT_EQ(main->VoiceCount(), 6);
    EXPECT_EQ(main->VoiceReserveCount(), 3);
}

TEST(DspPatchDocument, AModuleWithAVoiceCountSetsItsContainerWithAReserveOfZero)
{
    SynthRuntime runtime;
    ASSERT_TRUE(runtime.initialize(44100, 512, MainWith("", "<Module Type=\"IO Mod\" Id=\"8\" VoiceCount=\"8\"/>").c_str()));
    ug_container* main = runtime.AudioMaster()->MainContainer();
    EXPECT_EQ(main->VoiceCount(), 8);
    EXPECT_EQ(main->VoiceReserveCount(), 0);
}

TEST(DspPatchDocument, OversamplingIsAskedForOnlyWhenTheFactorRuleGivesTwoOrMore)
{
    struct Case { int rate; const char* oversample; bool asked; };
    const Case cases[] = {{44100, "4", true}, {96000, "4", true}, {192000, "4", false},
                          {44100, "1", false}, {44100, "-9", false}, {44100, "x", false}};
    for (const Case& c : cases)
    {
        SynthRuntime runtime;
        const std::string child = std::string("<Module Type=\"Container\" Id=\"9\" ExpandInline=\"0\" Oversample=\"") +
                                  c.oversample + "\"/>";
        ASSERT_TRUE(runtime.initialize(c.rate, 512, MainWith("", child).c_str()));
        int oversamplers = 0;
        for (ug_base* module : runtime.AudioMaster()->MainContainer()->Modules())
            oversamplers += dynamic_cast<ug_oversampler*>(module) ? 1 : 0;
        EXPECT_EQ(oversamplers, c.asked ? 1 : 0) << c.rate << " " << c.oversample;
        EXPECT_EQ(CountMessages(runtime.AudioMaster(), "the container runs at the enclosing rate"), 0);
    }
}

TEST(DspPatchDocument, DamagedTextsBuildWhatTheyCanAndNeverCrash)
{
    const std::string sources[] = {ReadPatch("stereo_thru.dsp.kv.xml"), ReadPatch("sum_and_default.dsp.kv.xml"),
                                   ReadPatch("broken_parts.dsp.kv.xml")};
    const char* replacements[] = {"-1", "0", "5", "2", "99999999", "-2147483648", "abc", "", "Container", "IO Mod"};
    std::mt19937 random(1234);
    int built = 0;
    int refused = 0;
    for (int round = 0; round < 1000; ++round)
    {
        std::string text = sources[static_cast<size_t>(round) % 3];
        const int edits = 1 + static_cast<int>(random() % 6);
        for (int e = 0; e < edits; ++e)
        {
            // Replace one quoted attribute value, drop a stretch, or flip a byte.
            const size_t at = random() % text.size();
            const int kind = static_cast<int>(random() % 3);
            if (kind == 0)
            {
                const size_t open = text.find('"', at);
                const size_t close = open == std::string::npos ? open : text.find('"', open + 1);
                if (close != std::string::npos)
                    text.replace(open + 1, close - open - 1, replacements[random() % 10]);
            }
            else if (kind == 1)
            {
                text.erase(at, random() % 40);
            }
            else
            {
                text[at] = static_cast<char>(random() % 256);
            }
        }
        SynthRuntime runtime;
        const bool ok = runtime.initialize(44100, 441, text.c_str());
        KvAudioMaster* master = runtime.AudioMaster();
        ASSERT_EQ(ok, runtime.HasGraph());
        if (ok)
            ++built;
        else
            ++refused;
        if (!ok)
        {
            ASSERT_EQ(master->getNumOutputs(), 0);
            ASSERT_FALSE(master->BuildMessages().empty());
        }
        RunSome(master);
    }
    // The damage leaves both kinds of text.
    EXPECT_GT(built, 100);
    EXPECT_GT(refused, 100);
}

TEST(DspPatchDocument, RandomlyWiredNestedContainersBuildAndRunWithoutFault)
{
    std::mt19937 random(99);
    const auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    int withOutputs = 0;
    for (int round = 0; round < 200; ++round)
    {
        // Containers 2..5 side by side, expanded or not, each with an IO Mod (id + 10)
        // whose pins are tied to random pins of random containers.
        std::string text = "<DSP><Container Id=\"1\"><Modules>";
        std::string lines;
        for (int c = 2; c <= 5; ++c)
        {
            text += "<Module Type=\"Container\" Id=\"" + std::to_string(c) + "\" ExpandInline=\"" +
                    std::to_string(pick(2)) + "\"><Plugs>";
            for (int p = 0; p < 3; ++p)
                text += "<Plug Direction=\"" + std::to_string(pick(2)) + "\" Datatype=\"" +
                        (pick(4) == 0 ? "2" : "5") + "\" Default=\"" + std::to_string(pick(10)) + "\"/>";
            text += "</Plugs><Modules><Module Type=\"IO Mod\" Id=\"" + std::to_string(c + 10) + "\"><Plugs>";
            for (int p = 0; p < 4; ++p)
                text += "<Plug Direction=\"" + std::to_string(pick(2)) + "\" Datatype=\"" +
                        (pick(4) == 0 ? "2" : "5") + "\" TiedTo=\"" + std::to_string(2 + pick(4)) +
                        "\" TiedToPinIdx=\"" + std::to_string(pick(4)) + "\"/>";
            text += "</Plugs></Module></Modules>";
            text += "<Lines>";
            for (int l = 0; l < 5; ++l)
                text += "<Line From=\"" + std::to_string(10 + 2 + pick(4)) + "\" FromPin=\"" + std::to_string(pick(4)) +
                        "\" To=\"" + std::to_string(10 + 2 + pick(4)) + "\" ToPin=\"" + std::to_string(pick(4)) + "\"/>";
            text += "</Lines></Module>";
        }
        for (int l = 0; l < 6; ++l)
            lines += "<Line From=\"" + std::to_string(2 + pick(14)) + "\" FromPin=\"" + std::to_string(pick(4)) +
                     "\" To=\"" + std::to_string(2 + pick(14)) + "\" ToPin=\"" + std::to_string(pick(4)) + "\"/>";
        text += "</Modules><Lines>" + lines + "</Lines></Container></DSP>";

        SynthRuntime runtime;
        ASSERT_TRUE(runtime.initialize(48000, 256, text.c_str()));
        KvAudioMaster* master = runtime.AudioMaster();
        ASSERT_LE(master->getNumOutputs(), 3);
        withOutputs += master->getNumOutputs() > 0 ? 1 : 0;
        RunSome(master);
        std::vector<float> out(64);
        float* outputs[1] = {out.data()};
        master->DoProcess(64, nullptr, outputs, 0, 1);
        for (float v : out)
            ASSERT_TRUE(std::isfinite(v));
    }
    EXPECT_GT(withOutputs, 50);
}
