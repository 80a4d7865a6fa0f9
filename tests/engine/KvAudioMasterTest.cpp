// The audio master: handles, editor records, messages by handle, the preset
// hand-over between threads, and host MIDI controls.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include "core/QueMessage.h"
#include "core/StagingMemoryBuffer.h"
#include "core/my_streams.h"
#include "engine/parameters/IDspPatchManager.h"
#include "engine/runtime/KvAudioMaster.h"
#include "engine/hostio/MidiOutputBuffer.h"
#include "engine/runtime/SynthRuntime.h"
#include "engine/graph/ug_container.h"

namespace
{
std::string StereoThru()
{
    std::ifstream file(std::string(KV_TEST_DATA_DIR) + "/patches/stereo_thru.dsp.kv.xml");
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

struct FakePatchManager : IDspPatchManager
{
    void getPresetState(std::string& out) override
    {
        reader = std::this_thread::get_id();
        out = state;
    }
    void setPresetState(const std::string& text) override
    {
        state = text;
        ++sets;
    }
    void setParameterNormalized(int64_t time, int parameterId, double value) override
    {
        lastTime = time;
        lastId = parameterId;
        lastValue = value;
    }
    void OnUiMsg(int id, my_input_stream& /*stream*/) override { lastMessage = id; }

    std::string state = "<Parameters/>";
    std::thread::id reader;
    int sets = 0;
    int64_t lastTime = -1;
    int lastId = -1;
    float lastValue = 0.0f;
    int lastMessage = 0;
};

struct Engine
{
    Engine()
    {
        EXPECT_TRUE(runtime.initialize(44100, 512, StereoThru().c_str()));
        master = runtime.AudioMaster();
        manager = new FakePatchManager();
        master->MainContainer()->setPatchManager(manager);
    }
    void Process(int n)
    {
        std::vector<float> l(static_cast<size_t>(n)), r(static_cast<size_t>(n));
        float* channels[2] = {l.data(), r.data()};
        master->DoProcess(n, channels, channels, 2, 2);
    }
    SynthRuntime runtime;
    KvAudioMaster* master = nullptr;
    FakePatchManager* manager = nullptr; // owned by the main container
};

struct TargetStub : dsp_msg_target
{
    void OnUiMsg(int id, my_input_stream& /*stream*/) override { lastId = id; }
    int lastId = 0;
};
} // namespace

TEST(KvAudioMaster, TheFirstObjectRegisteredUnderAHandleKeepsItAndTemporaryHandlesCountDownFromMinus20)
{
    KvAudioMaster master(44100.0f, nullptr);
    TargetStub a, b, c, d, e;
    master.RegisterDspMsgHandle(&a, 7);
    master.RegisterDspMsgHandle(&b, 7);
    EXPECT_EQ(master.HandleToObject(7), &a);
    EXPECT_EQ(b.handle_, 7);
    master.AssignTemporaryHandle(&c);
    master.AssignTemporaryHandle(&d);
    master.AssignTemporaryHandle(&e);
    EXPECT_EQ(c.handle_, -20);
    EXPECT_EQ(d.handle_, -21);
    EXPECT_EQ(e.handle_, -22);
    EXPECT_EQ(master.HandleToObject(-4), static_cast<dsp_msg_target*>(&master));
}

TEST(KvAudioMaster, EditorMessagesGoToTheObjectOfTheirHandleAndUnknownHandlesAreRefused)
{
    Engine engine;
    TargetStub target;
    engine.master->RegisterDspMsgHandle(&target, 55);
    StagingMemoryBufferInputStream empty(nullptr, 0);
    EXPECT_TRUE(engine.master->onQueMessageReady(55, QueMessageId::noti, empty));
    EXPECT_EQ(target.lastId, QueMessageId::noti);
    EXPECT_FALSE(engine.master->onQueMessageReady(9999, QueMessageId::noti, empty));

    EXPECT_TRUE(engine.master->onQueMessageReady(-4, QueMessageId::hppc, empty));
    EXPECT_EQ(engine.manager->lastMessage, QueMessageId::hppc);
}

TEST(KvAudioMaster, ResetIsReportedToTheEditorOnlyOnceRunning)
{
    SynthRuntime runtime;
    KvAudioMaster master(44100.0f, &runtime);
    master.MasterReset();
    EXPECT_EQ(runtime.Staging().used_, 0u);
    master.SetRunning(true);
    master.MasterReset();
    master.ugmessage(L"ab", 3);
    StagingMemoryBufferInputStream in(runtime.Staging());
    QueMessageHeader header;
    ASSERT_TRUE(header.Read(in));
    EXPECT_EQ(header.id_, QueMessageId::rest);
    ASSERT_TRUE(header.Read(in));
    EXPECT_EQ(header.id_, QueMessageId::mbox);
    EXPECT_EQ(header.length_, 2 * 4 + 8);
    std::wstring text;
    int32_t type = 0;
    in >> text >> type;
    EXPECT_EQ(text, L"ab");
    EXPECT_EQ(type, 3);
    EXPECT_TRUE(in.AtEnd());
}

TEST(KvAudioMaster, HostParameterChangesReachTheMainPatchManagerAtTheirSampleTime)
{
    Engine engine;
    engine.Process(300);
    engine.master->setParameterNormalizedDsp(12, 4, 0.75f);
    EXPECT_EQ(engine.manager->lastTime, 312);
    EXPECT_EQ(engine.manager->lastId, 4);
    EXPECT_FLOAT_EQ(engine.manager->lastValue, 0.75f);
}

TEST(KvAudioMaster, DuckingSendsAllNotesOffOneBlockAheadAndFadesTheOutput)
{
    Engine engine;
    engine.Process(100);
    engine.master->SetDucked(true);
    engine.Process(256);
    MidiOutputBuffer* ring = engine.master->getMidiOutputBuffer();
    int64_t time = 0;
    unsigned char bytes[4] = {};
    int32_t n = 0;
    ASSERT_TRUE(ring->Read(time, bytes, 4, n));
    EXPECT_EQ(time, 100 + 128);
    EXPECT_EQ(n, 3);
    EXPECT_EQ(bytes[0], 0xB0);
    EXPECT_EQ(bytes[1], 0x7B);
}
