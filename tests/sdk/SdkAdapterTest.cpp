// Modules of external bundles in a running engine: sample-accurate pin
// events, sleep, MIDI, messages both ways, and bad bundles, bad module XML and
// misbehaving modules that must not take the patch down.
#include "SdkRig.h"

#include <algorithm>

#include "core/Module_Info.h"
#include "engine/sdkadapter/SdkFaultLog.h"
#include "engine/graph/USampBlock.h"

using namespace sdk_test;

namespace
{
// Message ids of the test gain module (tests/sdk/modules/SdkTestGain.cpp).
constexpr int32_t kGainEvents = 1, kMidi = 2, kEcho = 10, kEchoed = 11, kThrow = 20, kThrowLater = 21, kAbuse = 30,
                  kAbused = 31, kClones = 40, kCloned = 41, kBeforeOpen = 50;

void FillRamp(SdkRig& rig)
{
    for (int i = 0; i < SdkRig::kBlock; ++i)
    {
        rig.inputs[0][i] = 0.001f * static_cast<float>(i + 1);
        rig.inputs[1][i] = -0.002f * static_cast<float>(i + 1);
    }
}
} // namespace

TEST(SdkModules, BundleModulesPlayWhileBrokenOnesAreSkippedWithDiagnostics)
{
    const int faultsBefore = SdkFaultLog::Count();
    SdkRig rig;
    ASSERT_TRUE(rig.built);
    FillRamp(rig);
    for (int block = 0; block < 3; ++block)
        rig.Run(SdkRig::kBlock);

    // Left: gain 1, plus silence from the gains that failed to open; right:
    // inverted, plus twice the input from the gain set by its own parameter.
    for (int i = 0; i < SdkRig::kBlock; ++i)
    {
        EXPECT_EQ(rig.outputs[0][i], rig.inputs[0][i]) << i;
        EXPECT_EQ(rig.outputs[1][i], rig.inputs[1][i]) << i;
    }
    ASSERT_NE(rig.Module(12), nullptr);
    EXPECT_TRUE(rig.Module(12)->Faulted());
    ASSERT_NE(rig.Module(14), nullptr);
    EXPECT_TRUE(rig.Module(14)->Faulted());
    EXPECT_FALSE(rig.Module(10)->Faulted());
    EXPECT_EQ(SdkFaultLog::Count(), faultsBefore + 2);
    // The adapter's own check of a pin against the module XML.
    EXPECT_EQ(rig.Module(10)->verifyPinMatchesXml(2, DR_IN, DT_FLOAT), 0);
    EXPECT_EQ(rig.Module(14)->verifyPinMatchesXml(2, DR_IN, DT_FLOAT), -1);
    EXPECT_EQ(rig.Module(10)->verifyPinMatchesXml(1, DR_IN, DT_FSAMPLE), -1);
    EXPECT_EQ(rig.Module(10)->verifyPinMatchesXml(99, DR_IN, DT_FLOAT), -1);

    // Every broken type is left out with a reason; the same reason each time it is asked for.
    const struct
    {
        int handle;
        const wchar_t* diagnostic;
    } broken[] = {
        {15, L"Fail to instansiate module audio class (KV Test SDK Refuses)"},
        {16, L"Fail to instansiate module audio class (KV Test SDK Faceless)"},
        {17, L"Fail to instansiate module audio class (KV Test SDK Unregistered)"},
        {18, L"Couldn't create bundle reference"},
        {19, L"KvNotElf.kvm): "},
        {20, L"KvWrongClass.kvm): "},
        {21, L"KvWrongMachine.kvm): "},
        {22, L"Couldn't get a pointer to plugin's main() (KvNoEntry.kvm)"},
        {23, L"MP_GetFactory of KvNullFactory.kvm gave no factory"},
        {24, L"Fail to instansiate module audio class (KV Test SDK Not Factory)"},
        {25, L"Couldn't make URL reference for plugin (../KvTestModules.kvm)"},
    };
    const auto& log = rig.master()->BuildMessages();
    EXPECT_NE(std::find_if(log.begin(), log.end(),
                           [](const std::string& line) {
                               return line.find("module type \"KV Test SDK Refuses\" could not be made") !=
                                      std::string::npos;
                           }),
              log.end());
    for (const auto& entry : broken)
    {
        EXPECT_EQ(rig.master()->HandleToObject(entry.handle), nullptr) << entry.handle;
        EXPECT_TRUE(AnyDiagnosticContains(entry.diagnostic)) << entry.handle;
    }
}

TEST(SdkModules, PinEventsWithinABlockReachProcessAsOneListAtTheirOffsets)
{
    SdkRig rig;
    ASSERT_TRUE(rig.built);
    FillRamp(rig);
    rig.Run(SdkRig::kBlock);
    rig.TakeMessages();

    rig.master()->setParameterNormalizedDsp(10, 0, 0.2f);
    rig.master()->setParameterNormalizedDsp(20, 0, 0.3f);
    rig.Run(SdkRig::kBlock);

    const auto reports = rig.MessagesWithId(kGainEvents);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].handle, 10);
    EXPECT_EQ(reports[0].Ints(), (std::vector<int32_t>{2, 10, 20}));
    for (int i = 0; i < SdkRig::kBlock; ++i)
    {
        const float gain = i < 10 ? 1.0f : i < 20 ? 2.0f : 3.0f;
        EXPECT_FLOAT_EQ(rig.outputs[0][i], rig.inputs[0][i] * gain) << i;
    }
}

// Gains in series run one after another with no event due, and one with
// events in the middle of its chain still takes them at their offsets: each
// output sample is the input times every gain in force at that sample.
TEST(SdkModules, ChainsOfModulesPlayEverySampleWithTheGainsInForceThen)
{
    SdkRig rig(KV_TEST_DATA_DIR "/patches/sdk_gain_chain.dsp.kv.xml");
    ASSERT_TRUE(rig.built);
    FillRamp(rig);
    rig.Run(SdkRig::kBlock);
    rig.master()->setParameterNormalizedDsp(10, 0, 0.2f);
    rig.master()->setParameterNormalizedDsp(20, 0, 0.3f);
    for (int block = 0; block < 2; ++block)
    {
        rig.Run(SdkRig::kBlock);
        for (int i = 0; i < SdkRig::kBlock; ++i)
        {
            const float middle = block > 0 || i >= 20 ? 3.0f : i >= 10 ? 2.0f : 1.0f;
            EXPECT_FLOAT_EQ(rig.outputs[0][i], rig.inputs[0][i] * 2.0f * middle * 0.5f) << block << " " << i;
            EXPECT_FLOAT_EQ(rig.outputs[1][i], rig.inputs[1][i]) << block << " " << i;
        }
    }
}

TEST(SdkModules, ModuleWithoutInputSleepsAfterOneBlockAndWakesForMessages)
{
    SdkRig rig;
    ASSERT_TRUE(rig.built);
    // Gain 13's input is a constant: one block of run-out, then it rests.
    rig.Run(SdkRig::kBlock);
    EXPECT_EQ(rig.Module(13)->sleeping_, 1);
    for (int block = 0; block < 4; ++block)
        rig.Run(SdkRig::kBlock);
    EXPECT_EQ(rig.Module(13)->sleeping_, 1);
    EXPECT_EQ(rig.Module(10)->sleeping_, 0);

    rig.TakeMessages();
    rig.SendToModule(13, kEcho, {7});
    rig.Run(SdkRig::kBlock);
    rig.Run(SdkRig::kBlock);
    const auto echoed = rig.MessagesWithId(kEchoed);
    ASSERT_EQ(echoed.size(), 1u);
    EXPECT_EQ(echoed[0].handle, 13);
    EXPECT_EQ(rig.Module(13)->sleeping_, 1);
}

TEST(SdkModules, MidiAndEditorMessagesReachTheModuleAndItsRepliesReachTheEditor)
{
    SdkRig rig;
    ASSERT_TRUE(rig.built);
    rig.Run(SdkRig::kBlock);

    // Host services asked for before open answered with failure, harmlessly.
    const auto beforeOpen = rig.TakeMessages();
    bool reported = false;
    for (const auto& message : beforeOpen)
    {
        if (message.id == kBeforeOpen && message.handle == 10)
        {
            reported = true;
            EXPECT_EQ(message.Ints(), (std::vector<int32_t>{-1, -1, -1, -1}));
        }
    }
    EXPECT_TRUE(reported);

    const unsigned char noteOn[3] = {0x90, 60, 100};
    rig.master()->MidiIn(5, noteOn, 3);
    rig.Run(SdkRig::kBlock);
    const auto midi = rig.MessagesWithId(kMidi);
    ASSERT_EQ(midi.size(), 1u);
    EXPECT_EQ(midi[0].handle, 10);
    EXPECT_EQ(midi[0].data, (std::vector<unsigned char>{0x90, 60, 100}));

    const std::vector<unsigned char> text = {'h', 'e', 'l', 'l', 'o'};
    rig.SendToModule(10, kEcho, text);
    rig.Run(SdkRig::kBlock);
    const auto echoed = rig.MessagesWithId(kEchoed);
    ASSERT_EQ(echoed.size(), 1u);
    EXPECT_EQ(echoed[0].handle, 10);
    EXPECT_EQ(echoed[0].data, text);

    // Truncated records and records for no module change nothing.
    WriteQueMessage(rig.runtime.QueueFromGui(), 10, QueMessageId::sdk, text.data(), 5);
    rig.SendToModule(999, kEcho, text);
    rig.Run(SdkRig::kBlock);
    EXPECT_TRUE(rig.MessagesWithId(kEchoed).empty());
}

TEST(SdkModules, HostServicesRefuseBadArgumentsAndOversizedMessages)
{
    SdkRig rig;
    ASSERT_TRUE(rig.built);
    rig.Run(SdkRig::kBlock);
    rig.TakeMessages();
    rig.SendToModule(10, kAbuse, {});
    rig.Run(SdkRig::kBlock);
    const auto results = rig.MessagesWithId(kAbused);
    // Only the report: the 20000-byte message did not fit the batch and was dropped whole.
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].Ints(), (std::vector<int32_t>{-1, -1, -1, -1, -1, -1, -1, -1, 0}));
    FillRamp(rig);
    rig.Run(SdkRig::kBlock);
    EXPECT_EQ(rig.outputs[0][7], rig.inputs[0][7]);
}

TEST(SdkModules, AnInputGivenAnotherSourceBlockIsReadFromThatBlock)
{
    // Gain 10 reads the left input; given the old inverter's output block (the
    // right input negated) in its place, it plays that from the next block on.
    SdkRig rig;
    ASSERT_TRUE(rig.built);
    FillRamp(rig);
    rig.Run(SdkRig::kBlock);
    EXPECT_FLOAT_EQ(rig.outputs[0][5], rig.inputs[0][5]);

    UPlug* inverted = rig.Module(11)->GetPlug(1);
    UPlug* gainIn = rig.Module(10)->GetPlug(0);
    ASSERT_TRUE(inverted && gainIn);
    EXPECT_TRUE(rig.Module(10)->BypassPin(inverted, gainIn));
    rig.Run(SdkRig::kBlock);
    for (const int i : {0, 31, SdkRig::kBlock - 1})
        EXPECT_FLOAT_EQ(rig.outputs[0][i], -rig.inputs[1][i]) << i;
}

TEST(SdkModules, ModuleThatThrowsIsSilencedAndLoggedOnceWhileThePatchPlays)
{
    for (const int32_t message : {kThrow, kThrowLater})
    {
        SCOPED_TRACE(message);
        SdkRig rig;
        ASSERT_TRUE(rig.built);
        FillRamp(rig);
        rig.Run(SdkRig::kBlock);
        const int faultsBefore = SdkFaultLog::Count();
        rig.SendToModule(10, message, {});
        rig.Run(SdkRig::kBlock);
        rig.Run(SdkRig::kBlock);
        rig.SendToModule(10, kThrow, {});
        rig.Run(SdkRig::kBlock);
        rig.Run(SdkRig::kBlock);

        EXPECT_TRUE(rig.Module(10)->Faulted());
        EXPECT_EQ(SdkFaultLog::Count(), faultsBefore + 1);
        const auto entries = SdkFaultLog::Entries();
        ASSERT_FALSE(entries.empty());
        EXPECT_NE(entries.back().find("KV Test SDK Gain"), std::string::npos) << entries.back();
        for (int i = 0; i < SdkRig::kBlock; ++i)
        {
            EXPECT_EQ(rig.outputs[0][i], 0.0f) << i;
            EXPECT_EQ(rig.outputs[1][i], rig.inputs[1][i]) << i;
        }
    }
}

TEST(SdkModules, VoiceClonesEachGetTheirOwnObjectAndTheEditorsMessages)
{
    SdkRig rig(KV_TEST_DATA_DIR "/sdk/bundle/KvSdkSynth/dsp.kv.xml", 96);
    ASSERT_TRUE(rig.built);
    rig.Run(96);
    rig.TakeMessages();
    rig.SendToModule(15, kClones, {});
    rig.Run(96);
    auto cloned = rig.MessagesWithId(kCloned);
    ASSERT_GE(cloned.size(), 6u);
    for (const auto& message : cloned)
    {
        EXPECT_EQ(message.handle, 15);
        EXPECT_EQ(message.Ints(), (std::vector<int32_t>{1, static_cast<int32_t>(cloned.size())}));
    }
    rig.SendToModule(15, kEcho, {1, 2, 3});
    rig.Run(96);
    EXPECT_EQ(rig.MessagesWithId(kEchoed).size(), cloned.size());
}

TEST(SdkModules, MidiOfAModuleClonedPerVoiceGoesThroughTheRedirectPlacedInFrontOfIt)
{
    SdkRig rig;
    ASSERT_TRUE(rig.built);
    rig.Run(SdkRig::kBlock);
    ug_plugin3Base* source = rig.Module(27);
    ASSERT_NE(source, nullptr);
    EXPECT_FALSE(source->Faulted());
    // The module's MIDI comes from the redirect, and the line drawn to it ends at the redirect.
    ASSERT_EQ(source->plugs_[0]->connections_.size(), 1u);
    ug_base* redirect = source->plugs_[0]->connections_[0]->owner_;
    ASSERT_NE(redirect->moduleType, nullptr);
    EXPECT_EQ(redirect->moduleType->UniqueId(), L"KV MIDICVRedirect");
    ASSERT_EQ(redirect->plugs_[0]->connections_.size(), 1u);
    EXPECT_EQ(redirect->plugs_[0]->connections_[0], rig.Module(10)->plugs_[3]->connections_[0]);
    EXPECT_EQ(source->plugs_[1]->proxy_, redirect->plugs_[1]);
    EXPECT_EQ(source->plugs_[2]->GetSampleBlock()->GetBlock()[5], 0.25f);
}
