#include "shell/AudioEffect.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "pluginterfaces/base/ustring.h"

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace
{
// Two stereo inputs, one stereo output and an event input.
IPtr<AudioEffect> MakeEffect()
{
    IPtr<AudioEffect> effect = owned(new AudioEffect());
    effect->initialize(nullptr);
    effect->addAudioInput(STR16("In 1"), SpeakerArr::kStereo);
    effect->addAudioInput(STR16("In 2"), SpeakerArr::kStereo, kAux, 0);
    effect->addAudioOutput(STR16("Out"), SpeakerArr::kStereo);
    effect->addEventInput(STR16("Notes"), 1);
    return effect;
}
} // namespace

TEST(AudioEffect, BusesAreReportedToTheHostInTheOrderAdded)
{
    auto effect = MakeEffect();
    EXPECT_EQ(effect->getBusCount(kAudio, kInput), 2);
    EXPECT_EQ(effect->getBusCount(kAudio, kOutput), 1);
    EXPECT_EQ(effect->getBusCount(kEvent, kInput), 1);
    EXPECT_EQ(effect->getBusCount(kEvent, kOutput), 0);

    BusInfo info{};
    ASSERT_EQ(effect->getBusInfo(kAudio, kInput, 1, info), kResultTrue);
    EXPECT_EQ(info.channelCount, 2);
    EXPECT_EQ(info.busType, kAux);
    EXPECT_EQ(info.flags, 0u);
    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(info.name)), u"In 2");
    ASSERT_EQ(effect->getBusInfo(kEvent, kInput, 0, info), kResultTrue);
    EXPECT_EQ(info.channelCount, 1);
    EXPECT_EQ(info.flags, static_cast<uint32>(BusInfo::kDefaultActive));

    EXPECT_NE(effect->getAudioOutput(0), nullptr);
    EXPECT_EQ(effect->getAudioOutput(1), nullptr);
    EXPECT_EQ(effect->getAudioInput(-1), nullptr);
    EXPECT_EQ(effect->getEventOutput(0), nullptr);
    effect->terminate();
}

TEST(AudioEffect, BusArrangementsChangeAllTogetherOrNotAtAll)
{
    auto effect = MakeEffect();
    SpeakerArrangement inputs[2] = {SpeakerArr::kMono, SpeakerArr::k51};
    SpeakerArrangement outputs[2] = {SpeakerArr::kMono, SpeakerArr::kMono};

    // More output arrangements than output buses: refused, nothing changes.
    EXPECT_EQ(effect->setBusArrangements(inputs, 2, outputs, 2), kResultFalse);
    SpeakerArrangement arrangement = 0;
    ASSERT_EQ(effect->getBusArrangement(kInput, 0, arrangement), kResultTrue);
    EXPECT_EQ(arrangement, SpeakerArr::kStereo);

    EXPECT_EQ(effect->setBusArrangements(inputs, 2, outputs, 1), kResultTrue);
    effect->getBusArrangement(kInput, 1, arrangement);
    EXPECT_EQ(arrangement, SpeakerArr::k51);
    effect->getBusArrangement(kOutput, 0, arrangement);
    EXPECT_EQ(arrangement, SpeakerArr::kMono);
    BusInfo info{};
    effect->getBusInfo(kAudio, kInput, 1, info);
    EXPECT_EQ(info.channelCount, 6);

    EXPECT_EQ(effect->setBusArrangements(nullptr, 1, outputs, 1), kInvalidArgument);
    EXPECT_EQ(effect->setBusArrangements(inputs, -1, outputs, 1), kInvalidArgument);
    EXPECT_EQ(effect->getBusArrangement(kOutput, 1, arrangement), kInvalidArgument);
    effect->terminate();
}

TEST(AudioEffect, Only32BitSamplesAreProcessed)
{
    auto effect = MakeEffect();
    EXPECT_EQ(effect->canProcessSampleSize(kSample32), kResultTrue);
    EXPECT_EQ(effect->canProcessSampleSize(kSample64), kResultFalse);
    ProcessSetup setup{kRealtime, kSample64, 256, 48000.0};
    EXPECT_EQ(effect->setupProcessing(setup), kResultFalse);
    effect->terminate();
}

TEST(AudioEffect, SetupStartsAtTheDefaultsAndRefusesNonsenseKeepingTheLastGoodOne)
{
    auto effect = MakeEffect();
    EXPECT_EQ(effect->getProcessSetup().sampleRate, 44100.0);
    EXPECT_EQ(effect->getProcessSetup().maxSamplesPerBlock, 1024);

    ProcessSetup good{kOffline, kSample32, 333, 96000.0};
    ASSERT_EQ(effect->setupProcessing(good), kResultOk);

    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (ProcessSetup bad : {ProcessSetup{kRealtime, kSample32, 0, 48000.0}, ProcessSetup{kRealtime, kSample32, 64, 0.0},
                             ProcessSetup{kRealtime, kSample32, 64, nan}, ProcessSetup{7, kSample32, 64, 48000.0},
                             ProcessSetup{kRealtime, kSample32, 64, 1e12}, ProcessSetup{kRealtime, kSample32, 64, 0.5},
                             ProcessSetup{kRealtime, kSample32, 1 << 30, 48000.0}})
        EXPECT_NE(effect->setupProcessing(bad), kResultOk);

    EXPECT_EQ(effect->getProcessSetup().sampleRate, 96000.0);
    EXPECT_EQ(effect->getProcessSetup().maxSamplesPerBlock, 333);
    EXPECT_EQ(effect->getProcessSetup().processMode, kOffline);
    effect->terminate();
}

TEST(AudioEffect, HostFindsTheProcessorAndItsContextRequirements)
{
    auto effect = MakeEffect();
    effect->setProcessContextRequirements(IProcessContextRequirements::kNeedTempo |
                                          IProcessContextRequirements::kNeedTimeSignature);
    FUnknownPtr<IAudioProcessor> processor(static_cast<IComponent*>(effect.get()));
    FUnknownPtr<IProcessContextRequirements> requirements(static_cast<IComponent*>(effect.get()));
    FUnknownPtr<IConnectionPoint> connection(static_cast<IComponent*>(effect.get()));
    ASSERT_TRUE(processor);
    ASSERT_TRUE(requirements);
    EXPECT_TRUE(connection);
    EXPECT_EQ(requirements->getProcessContextRequirements(),
              static_cast<uint32>(IProcessContextRequirements::kNeedTempo | IProcessContextRequirements::kNeedTimeSignature));
    EXPECT_EQ(processor->getLatencySamples(), 0u);
    EXPECT_EQ(processor->getTailSamples(), kNoTail);

    EXPECT_EQ(processor->setProcessing(true), kResultOk);
    EXPECT_TRUE(effect->isProcessing());
    processor->setProcessing(false);
    EXPECT_FALSE(effect->isProcessing());
    effect->terminate();
}
