// Cost of an oversampled section when nothing plays through it. The demo
// instrument's voice sum passes a section of three one-pole low-passes run at
// four times the rate before the master amplifier. With no note held the
// section's input goes static: its border modules settle, everything inside
// sleeps and the oversampler leaves the block loop, so the quiet section
// should cost about what the quiet instrument costs without it. A held note
// keeps the section streaming, which is what it cost in every block before
// sections could sleep.
#include <benchmark/benchmark.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "engine/runtime/KvAudioMaster.h"
#include "engine/runtime/SynthRuntime.h"

namespace
{
constexpr int kRate = 48000;
constexpr int kHostBlock = 512;
// Long enough for the filters' once-a-second checks to have run out.
constexpr int kSettleBlocks = 3 * kRate / kHostBlock;

std::string DemoDocument(bool withSection, int factor = 4)
{
    std::ifstream file(KV_DEMO_SYNTH_DOCUMENT);
    std::stringstream text;
    text << file.rdbuf();
    std::string document = text.str();
    if (!withSection)
        return document;
    const std::string sum = "<Line From=\"14\" FromPin=\"2\" To=\"20\" ToPin=\"0\"/>";
    document.replace(document.find(sum), sum.size(),
                     "<Line From=\"14\" FromPin=\"2\" To=\"40\" ToPin=\"0\"/>"
                     "<Line From=\"40\" FromPin=\"1\" To=\"20\" ToPin=\"0\"/>");
    std::string section =
        "<Module Type=\"Container\" Id=\"40\" ExpandInline=\"0\" Oversample=\"" + std::to_string(factor) +
        "\"><Plugs>"
        "<Plug Direction=\"0\" Datatype=\"5\"/><Plug Direction=\"1\" Datatype=\"5\"/></Plugs><Modules>"
        "<Module Type=\"IO Mod\" Id=\"41\"><Plugs>"
        "<Plug Direction=\"1\" Datatype=\"5\" TiedTo=\"40\" TiedToPinIdx=\"0\"/>"
        "<Plug Direction=\"0\" Datatype=\"5\" TiedTo=\"40\" TiedToPinIdx=\"1\"/></Plugs></Module>";
    for (int id : {42, 43, 44})
        section += "<Module Type=\"1 Pole LP\" Id=\"" + std::to_string(id) +
                   "\"><Plugs><Plug Idx=\"1\" Default=\"9\"/></Plugs></Module>";
    section += "</Modules><Lines><Line From=\"41\" FromPin=\"0\" To=\"42\" ToPin=\"0\"/>"
               "<Line From=\"42\" FromPin=\"2\" To=\"43\" ToPin=\"0\"/>"
               "<Line From=\"43\" FromPin=\"2\" To=\"44\" ToPin=\"0\"/>"
               "<Line From=\"44\" FromPin=\"2\" To=\"41\" ToPin=\"1\"/></Lines></Module>";
    const std::string master = "<Module Type=\"VCA\" Id=\"20\">";
    document.insert(document.find(master), section);
    return document;
}

// Per host block of 512 samples at 48 kHz, after the settling time; with
// `held` a note sounds throughout.
void RunDemo(benchmark::State& state, bool withSection, bool held, int factor = 4)
{
    SynthRuntime runtime;
    if (!runtime.initialize(kRate, kHostBlock, DemoDocument(withSection, factor).c_str()))
    {
        state.SkipWithError("the document did not build");
        return;
    }
    KvAudioMaster* master = runtime.AudioMaster();
    std::vector<float> left(kHostBlock), right(kHostBlock);
    float* outputs[2] = {left.data(), right.data()};
    if (held)
    {
        const unsigned char on[3] = {0x90, 57, 100};
        master->MidiIn(0, on, 3);
    }
    for (int b = 0; b < kSettleBlocks; ++b)
        master->DoProcess(kHostBlock, nullptr, outputs, 0, 2);
    for (auto _ : state)
    {
        master->DoProcess(kHostBlock, nullptr, outputs, 0, 2);
        benchmark::DoNotOptimize(left.data());
    }
    state.SetItemsProcessed(state.iterations() * kHostBlock);
}

void BM_QuietDemoWithoutSection(benchmark::State& state)
{
    RunDemo(state, false, false);
}

void BM_QuietDemoWithOversampledSection(benchmark::State& state)
{
    RunDemo(state, true, false);
}

void BM_PlayingDemoWithOversampledSection(benchmark::State& state)
{
    RunDemo(state, true, true);
}

// The same with the section at a larger factor (the cost grows with it).
void BM_PlayingDemoWithSectionAtFactor(benchmark::State& state)
{
    RunDemo(state, true, true, static_cast<int>(state.range(0)));
}
} // namespace

BENCHMARK(BM_QuietDemoWithoutSection);
BENCHMARK(BM_QuietDemoWithOversampledSection);
BENCHMARK(BM_PlayingDemoWithOversampledSection);
BENCHMARK(BM_PlayingDemoWithSectionAtFactor)->Arg(8)->Arg(32);
