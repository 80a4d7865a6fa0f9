// The patch automator: MIDI to the patch manager, host tempo and transport to
// the timing host controls, and the timer that services the editor queues.
#include <gtest/gtest.h>

#include <cmath>

#include "engine/AutomatorRig.h"
#include "engine/GraphRig.h"
#include "engine/runtime/my_VstTimeInfo.h"
#include "engine/parameters/ug_patch_automator.h"

using kvtest::CountPending;
using kvtest::GraphRig;
using kvtest::LoggingManager;

namespace
{
int64_t TimerTime(const ug_patch_automator& automator)
{
    for (KorvaneEvent* e = automator.FirstEvent(); e; e = automator.NextEvent(e))
    {
        if (e->eventType == UET_GUI_QUE_TIMER)
            return e->sampleTime;
    }
    return -1;
}

ug_patch_automator* MakeAutomator(ug_container* container)
{
    auto* automator = static_cast<ug_patch_automator*>(
        CModuleFactory::Instance()->GetById(L"KV Patch Automator")->BuildSynthOb());
    container->AddUG(automator);
    automator->SetupWithoutCug();
    return automator;
}

struct AutomatorRig
{
    explicit AutomatorRig(int blockSize = 64) : g(blockSize)
    {
        manager = new LoggingManager();
        g.top->setPatchManager(manager);
        automator = MakeAutomator(g.top.get());
        g.BuildAndOpen();
        automator->setTempoTransmit();
    }
    my_VstTimeInfo Info(double tempo, double position, bool playing)
    {
        my_VstTimeInfo info;
        info.tempo = tempo;
        info.ppqPos = position;
        info.barStartPos = 4.0;
        info.timeSigNumerator = 3;
        info.timeSigDenominator = 4;
        info.flags = playing ? 2 : 0;
        return info;
    }

    GraphRig g;
    LoggingManager* manager;
    ug_patch_automator* automator;
};
} // namespace

TEST(PatchAutomator, TheTopAutomatorServicesTheEditorQueuesAboutTwentyTimesASecond)
{
    AutomatorRig r(64);
    // 44100 / (64 x 20) = 34 blocks.
    EXPECT_EQ(r.automator->TimerPeriod(), 34 * 64);
    ASSERT_EQ(CountPending(*r.automator, UET_GUI_QUE_TIMER), 1);
    EXPECT_EQ(TimerTime(*r.automator), 34 * 64);
    r.g.Run(34 * 64 + 64);
    ASSERT_EQ(CountPending(*r.automator, UET_GUI_QUE_TIMER), 1);
    EXPECT_EQ(TimerTime(*r.automator), 2 * 34 * 64);

    // A block longer than a twentieth of a second: every block.
    AutomatorRig slow(4096);
    EXPECT_EQ(slow.automator->TimerPeriod(), 4096);
}

TEST(PatchAutomator, OneAutomatorOfTheEngineRunsTheTimerEvenInANestedContainer)
{
    // Alone in a nested container (the patch manager on an inner container),
    // the automator still services the editor queues.
    GraphRig g;
    auto* nested = static_cast<ug_container*>(CModuleFactory::Instance()->GetById(L"Container")->BuildSynthOb());
    g.top->AddUG(nested);
    nested->Setup(&g.master, nullptr);
    ug_patch_automator* inner = MakeAutomator(nested);
    g.BuildAndOpen();
    EXPECT_GT(inner->TimerPeriod(), 0);
    EXPECT_EQ(CountPending(*inner, UET_GUI_QUE_TIMER), 1);

    // Beside another one, only one of the two runs a timer.
    GraphRig both;
    auto* nested2 = static_cast<ug_container*>(CModuleFactory::Instance()->GetById(L"Container")->BuildSynthOb());
    both.top->AddUG(nested2);
    nested2->Setup(&both.master, nullptr);
    ug_patch_automator* top = MakeAutomator(both.top.get());
    ug_patch_automator* second = MakeAutomator(nested2);
    both.BuildAndOpen();
    EXPECT_EQ(CountPending(*top, UET_GUI_QUE_TIMER) + CountPending(*second, UET_GUI_QUE_TIMER), 1);
}

TEST(PatchAutomator, MidiInReachesThePatchManagerNotAsMidiCv)
{
    AutomatorRig r;
    const unsigned char note[3] = {0x90, 60, 100};
    r.automator->SetPinValue(10, ug_patch_automator::PN_MIDI_IN, DT_MIDI2, note, 3);
    r.g.Run(64);
    ASSERT_EQ(r.manager->midi.size(), 1u);
    EXPECT_EQ(r.manager->midi[0].bytes, (std::vector<unsigned char>{0x90, 60, 100}));
    EXPECT_EQ(r.manager->midi[0].time, 10);
    EXPECT_FALSE(r.manager->midi[0].fromMidiCv);
}

TEST(PatchAutomator, TheFirstTempoUpdateSendsEveryTimingValueAndLaterOnlyChanges)
{
    AutomatorRig r;
    my_VstTimeInfo info = r.Info(120.0, 0.0, false);
    r.automator->UpdateTempo(&info);
    ASSERT_EQ(r.manager->WithCode(0x08000000).size(), 1u);
    EXPECT_FLOAT_EQ(r.manager->WithCode(0x08000000)[0]->value, 120.0f);
    ASSERT_EQ(r.manager->WithCode(0x1D000000).size(), 1u);
    EXPECT_EQ(r.manager->WithCode(0x1D000000)[0]->intValue, 3);
    EXPECT_EQ(r.manager->WithCode(0x1E000000)[0]->intValue, 4);
    ASSERT_EQ(r.manager->WithCode(0x1C000000).size(), 1u);
    EXPECT_FLOAT_EQ(r.manager->WithCode(0x1C000000)[0]->value, 4.0f);
    ASSERT_EQ(r.manager->WithCode(0x09000000).size(), 1u);
    EXPECT_FLOAT_EQ(r.manager->WithCode(0x09000000)[0]->value, 0.0f);

    const size_t before = r.manager->sent.size();
    info.ppqPos = 0.0005;
    r.automator->UpdateTempo(&info);
    EXPECT_EQ(r.manager->sent.size(), before);

    // A loop back is reported at once, and alone.
    info.ppqPos = -8.0;
    r.automator->UpdateTempo(&info);
    ASSERT_EQ(r.manager->sent.size(), before + 1);
    EXPECT_EQ(r.manager->sent.back().code, 0x0A000000);
    EXPECT_FLOAT_EQ(r.manager->sent.back().value, -8.0f);
}

TEST(PatchAutomator, WhilePlayingTheSongPositionAdvancesInWholeQuarterNotesAtTheirSample)
{
    AutomatorRig r;
    my_VstTimeInfo info = r.Info(120.0, 0.0, true);
    r.automator->UpdateTempo(&info);
    const auto playing = r.manager->WithCode(0x09000000);
    ASSERT_EQ(playing.size(), 1u);
    EXPECT_FLOAT_EQ(playing[0]->value, 1.0f);

    // 120 beats a minute at 44100 Hz: a quarter note every 22050 samples.
    const int64_t start = r.g.master.NextGlobalStartClock();
    r.g.Run(64 * 700);
    const auto positions = r.manager->WithCode(0x0A000000);
    ASSERT_EQ(positions.size(), 2u);
    EXPECT_FLOAT_EQ(positions[0]->value, 1.0f);
    EXPECT_NEAR(static_cast<double>(positions[0]->time - start), 22050.0, 1.0);
    EXPECT_FLOAT_EQ(positions[1]->value, 2.0f);
    EXPECT_NEAR(static_cast<double>(positions[1]->time - start), 44100.0, 1.0);

    // Stopping reports the transport and the exact host position.
    info = r.Info(120.0, 2.03, false);
    r.automator->UpdateTempo(&info);
    EXPECT_FLOAT_EQ(r.manager->WithCode(0x09000000).back()->value, 0.0f);
    EXPECT_FLOAT_EQ(r.manager->WithCode(0x0A000000).back()->value, 2.03f);
}

TEST(PatchAutomator, WithoutTempoTransmitOrWithANonsenseTempoNothingBreaks)
{
    AutomatorRig r;
    GraphRig g;
    auto* quiet = MakeAutomator(g.top.get());
    g.top->setPatchManager(new LoggingManager());
    g.BuildAndOpen();
    my_VstTimeInfo info = r.Info(0.0, 0.0, true);
    quiet->UpdateTempo(&info);
    quiet->UpdateTempo(nullptr);

    r.automator->UpdateTempo(&info);
    r.g.Run(64 * 10);
    EXPECT_TRUE(r.manager->WithCode(0x0A000000).empty());
}
