// The host input and output modules on a bare master, and the MIDI ring.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "core/CModuleFactory.h"
#include "engine/graph/EngineModules.h"
#include "engine/hostio/MidiOutputBuffer.h"
#include "engine/TestGraph.h"
#include "engine/hostio/ug_vst_out.h"

namespace
{
struct FadeCountingMaster : AudioMasterBase
{
    using AudioMasterBase::AudioMasterBase;
    void onFadeOutComplete() override { ++fades; }
    int fades = 0;
};

// A source feeding `channels` audio pins of a host output module.
struct OutputRig
{
    explicit OutputRig(int channels, float sampleRate = 48000.0f) : master(sampleRate)
    {
        RegisterEngineModules();
        master.SetBlockSize(96);
        master.ResetBlockLoop();
        source.reset(static_cast<kvtest::TestSource*>(kvtest::TestRecord<kvtest::TestSource>().BuildSynthOb()));
        source->Setup(&master, nullptr);
        source->sortOrder_ = 1;
        out.reset(static_cast<ug_vst_out*>(CModuleFactory::Instance()->GetById(L"VST Output")->BuildSynthOb()));
        out->Setup(&master, nullptr);
        out->sortOrder_ = 0;
        for (int c = 0; c < channels; ++c)
        {
            auto* pin = new UPlug(out.get(), DR_IN, DT_FSAMPLE);
            pin->CreateBuffer();
            out->AddPlug(pin);
            ug_base::connect(source->plugs_[kvtest::TestSource::PN_AUDIO], pin);
        }
        source->Open();
        out->Open();
        source->HoldConstant(1.0f);
        buffers.assign(static_cast<size_t>(channels), std::vector<float>());
    }

    // Runs n samples into fresh host buffers, appended to `buffers`.
    void Run(int n)
    {
        std::vector<std::vector<float>> block(buffers.size(), std::vector<float>(static_cast<size_t>(n), -1.0f));
        std::vector<float*> pointers;
        for (auto& b : block)
            pointers.push_back(b.data());
        out->setOutputs(pointers.data(), static_cast<int>(pointers.size()));
        master.DoProcessVST(n);
        for (size_t c = 0; c < block.size(); ++c)
            buffers[c].insert(buffers[c].end(), block[c].begin(), block[c].end());
    }

    FadeCountingMaster master;
    std::unique_ptr<kvtest::TestSource> source;
    std::unique_ptr<ug_vst_out> out;
    std::vector<std::vector<float>> buffers;
};
} // namespace

TEST(HostOutput, WithGainAndTargetAtOneTheOutputEqualsTheInput)
{
    OutputRig rig(1);
    rig.source->Stream([](int64_t t) { return 0.001f * static_cast<float>(t % 1000); });
    rig.Run(500);
    for (size_t t = 0; t < 500; ++t)
        ASSERT_FLOAT_EQ(rig.buffers[0][t], 0.001f * static_cast<float>(t));
}

TEST(HostOutput, AFadeOutReachesSilenceIn50MillisecondsAndIsReportedOnce)
{
    OutputRig rig(1);
    rig.out->StartFadeOut(true);
    for (int i = 0; i < 40; ++i)
        rig.Run(128);
    const auto& out = rig.buffers[0];
    const float step = 1000.0f / (48000.0f * 50.0f);
    for (size_t t = 0; t < 2300; t += 50)
        ASSERT_NEAR(out[t], 1.0f - step * static_cast<float>(t), 1e-4f) << t;
    for (size_t t = 2402; t < out.size(); ++t)
        ASSERT_EQ(out[t], 0.0f) << t;
    EXPECT_EQ(rig.master.fades, 1);

    // Fading in again climbs back and then copies unchanged.
    rig.out->StartFadeOut(false);
    for (int i = 0; i < 40; ++i)
        rig.Run(128);
    EXPECT_FLOAT_EQ(rig.buffers[0].back(), 1.0f);
    EXPECT_EQ(rig.out->Gain(), 1.0f);
}

TEST(HostOutput, WithTwoChannelsTheGainRunsOnFromOneChannelIntoTheNext)
{
    OutputRig rig(2);
    rig.out->StartFadeOut(true);
    for (int i = 0; i < 12; ++i)
        rig.Run(100);
    // 2400 steps over two channels: silent after 1200 frames.
    EXPECT_GT(rig.buffers[0][1150], 0.0f);
    EXPECT_GT(rig.buffers[1][1150], 0.0f);
    EXPECT_LT(rig.buffers[1][1150], rig.buffers[0][1150]);
    for (size_t t = 1202; t < rig.buffers[0].size(); ++t)
    {
        ASSERT_EQ(rig.buffers[0][t], 0.0f) << t;
        ASSERT_EQ(rig.buffers[1][t], 0.0f) << t;
    }
    EXPECT_EQ(rig.master.fades, 1);
}

TEST(HostOutput, AFadeOutAskedForAtGainZeroKeepsTheOutputSilent)
{
    OutputRig rig(1);
    rig.out->StartFadeOut(true);
    for (int i = 0; i < 30; ++i)
        rig.Run(128);
    rig.out->StartFadeOut(true);
    rig.buffers[0].clear();
    rig.Run(300);
    for (float v : rig.buffers[0])
        ASSERT_EQ(v, 0.0f);
}

TEST(MidiOutputRing, SixtyThreeThreeByteMessagesFitAnEmptyRingAndTheSixtyFourthIsDropped)
{
    MidiOutputBuffer ring;
    const unsigned char note[3] = {0x90, 64, 90};
    EXPECT_EQ(MidiOutputBuffer::RecordSize(3), 16);
    EXPECT_EQ(MidiOutputBuffer::RecordSize(4), 20);
    for (int i = 0; i < 63; ++i)
        ASSERT_TRUE(ring.Write(i, note, 3)) << i;
    EXPECT_FALSE(ring.Write(63, note, 3));
    for (int i = 0; i < 63; ++i)
    {
        int64_t time = -1;
        unsigned char bytes[4] = {};
        int32_t n = 0;
        ASSERT_TRUE(ring.Read(time, bytes, 4, n));
        EXPECT_EQ(time, i);
        EXPECT_EQ(n, 3);
        EXPECT_EQ(bytes[1], 64);
    }
    EXPECT_TRUE(ring.IsEmpty());
}

TEST(MidiOutputRing, ARecordReachingTheEndOfTheRingContinuesAtTheStart)
{
    MidiOutputBuffer ring;
    ring.readIndex = ring.writeIndex = 1020;
    const unsigned char sysex[7] = {0xF0, 1, 2, 3, 4, 5, 0xF7};
    const int64_t when = 0x0102030405060708;
    ASSERT_TRUE(ring.Write(when, sysex, 7));
    EXPECT_EQ(ring.writeIndex, (1020 + 20) % 1024);
    int64_t time = 0;
    unsigned char bytes[8] = {};
    int32_t n = 0;
    ASSERT_TRUE(ring.Read(time, bytes, 8, n));
    EXPECT_EQ(time, when);
    EXPECT_EQ(n, 7);
    EXPECT_EQ(bytes[6], 0xF7);
    EXPECT_TRUE(ring.IsEmpty());
}

TEST(MidiOutputRing, ALengthThatNoWriterMadeEmptiesTheRingInsteadOfBeingFollowed)
{
    MidiOutputBuffer ring;
    const unsigned char note[3] = {0x80, 1, 2};
    ASSERT_TRUE(ring.Write(5, note, 3));
    const int32_t bogus = 5000;
    for (int i = 0; i < 4; ++i)
        ring.data[8 + i] = reinterpret_cast<const unsigned char*>(&bogus)[i];
    int64_t time = 0;
    int32_t n = 0;
    EXPECT_FALSE(ring.Read(time, nullptr, 0, n));
    EXPECT_TRUE(ring.IsEmpty());
}
