// The module SDK's DSP base classes on a recording host: cutting the block at
// event times, the three event passes, the automatic sleep, reference counts
// and the routing of editor messages.
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "sdk/MpBase.h"
#include "sdk/MpBase2.h"
#include "sdk/MpPin.h"

namespace
{
class RecordingHost final : public gmpi::IMpHost
{
public:
    int32_t queryInterface(const gmpi::MpGuid& iid, void** object) override
    {
        *object = iid == gmpi::MP_IID_HOST ? this : nullptr;
        return *object ? gmpi::MP_OK : gmpi::MP_NOSUPPORT;
    }
    int32_t addRef() override { return 1; }
    int32_t release() override { return 1; }
    int32_t setPin(int32_t position, int32_t pin, int32_t size, const void*) override
    {
        pinsSet.push_back({position, pin});
        return size >= 0 ? 0 : -1;
    }
    int32_t setPinStreaming(int32_t position, int32_t pin, int32_t streaming) override
    {
        streamingCalls.push_back({position, pin * 10 + streaming});
        return 0;
    }
    int32_t sleep() override
    {
        ++sleeps;
        return 0;
    }
    int32_t sendMessageToGui(int32_t, int32_t, const void*) override { return 0; }
    int32_t getBlockSize(int32_t& size) override
    {
        size = 64;
        return 0;
    }
    int32_t getSampleRate(float& rate) override
    {
        rate = 48000.0f;
        return 0;
    }
    int32_t getHandle(int32_t& handle) override
    {
        handle = 1;
        return 0;
    }
    int32_t getHostId(int32_t, wchar_t*) override { return -1; }
    int32_t getHostVersion(int32_t& version) override
    {
        version = 1;
        return 0;
    }
    int32_t createPinIterator(void**) override { return -1; }
    int32_t isCloned(int32_t*) override { return -1; }
    int32_t createCloneIterator(void**) override { return -1; }
    int32_t allocateSharedMemory(const wchar_t*, void**, float, int32_t, int32_t&) override { return -1; }
    int32_t resolveFilename(const wchar_t*, int32_t, wchar_t*) override { return -1; }
    int32_t openProtectedFile(const wchar_t*, gmpi::IProtectedFile**) override { return -1; }

    std::vector<std::pair<int, int>> pinsSet;
    std::vector<std::pair<int, int>> streamingCalls;
    int sleeps = 0;
};

// What a module of either base saw: pieces as (offset, count), and calls.
struct Trace
{
    std::vector<std::pair<int, int>> pieces;
    int setPinsCalls = 0;
    std::vector<int> midiAt;
};

class Value final : public MpPinBase
{
public:
    int getDatatype() const override { return gmpi::MP_FLOAT32; }
    int getDirection() const override { return gmpi::MP_IN; }
};

template <class Base>
class TraceModule : public Base
{
public:
    TraceModule()
    {
        this->initializePin(0, in);
        this->initializePin(1, out);
        this->initializePin(2, midi);
        this->initializePin(3, value);
        this->initializePin(3, second); // the first pin with an id stays
    }
    void onSetPins() override
    {
        ++trace.setPinsCalls;
        out.setStreaming(in.isStreaming());
    }
    void onMidiMessage(int, const unsigned char*, int) override { trace.midiAt.push_back(this->getBlockPosition()); }

    AudioInPin in;
    AudioOutPin out;
    MidiInPin midi;
    Value value;
    Value second;
    Trace trace;
};

class Module2 : public TraceModule<MpBase2>
{
public:
    Module2() { setSubProcess(&Module2::run); }
    void run(int count) { trace.pieces.push_back({getBlockPosition(), count}); }
};

class Module1 : public TraceModule<MpBase>
{
public:
    Module1() { setSubProcess(&Module1::run); }
    void run(int offset, int count) { trace.pieces.push_back({offset, count}); }
};

gmpi::MpEvent Event(int time, int type, int pin, int size = 0)
{
    return gmpi::MpEvent{time, type, pin, size, 0, 0, nullptr, nullptr};
}

void Link(std::vector<gmpi::MpEvent>& events)
{
    for (size_t i = 0; i + 1 < events.size(); ++i)
        events[i].next = &events[i + 1];
}

template <class Module>
Trace RunBlock(std::vector<gmpi::MpEvent> events)
{
    RecordingHost host;
    auto* module = new Module();
    module->setHost(&host);
    module->setSleep(false);
    Link(events);
    static_cast<gmpi::IMpPlugin2*>(module)->process(64, events.empty() ? nullptr : events.data());
    Trace trace = module->trace;
    module->release();
    return trace;
}
} // namespace

TEST(MpBase, BlockIsCutAtEventTimesWithOneSetPinsCallPerRunOfPinEvents)
{
    using Pieces = std::vector<std::pair<int, int>>;
    // Events at 0 come before any sample; 10 holds a pin set and MIDI together; 20 MIDI alone.
    const std::vector<gmpi::MpEvent> events = {Event(0, 104, 0), Event(10, 100, 3, 4), Event(10, 103, 2, 3),
                                               Event(20, 103, 2, 3), Event(20, 103, 77, 3)};
    for (const Trace& trace : {RunBlock<Module2>(events), RunBlock<Module1>(events)})
    {
        EXPECT_EQ(trace.pieces, (Pieces{{0, 10}, {10, 10}, {20, 44}}));
        EXPECT_EQ(trace.setPinsCalls, 1);
        EXPECT_EQ(trace.midiAt, (std::vector<int>{10, 20}));
    }
    EXPECT_EQ(RunBlock<Module2>({}).pieces, (Pieces{{0, 64}}));
}

TEST(MpBase, ModuleWhoseInputStopsRunsOneMoreBlockThenAsksToSleep)
{
    RecordingHost host;
    auto* module = new Module2();
    module->setHost(&host);
    auto* plugin = static_cast<gmpi::IMpPlugin2*>(module);

    std::vector<gmpi::MpEvent> start = {Event(0, 101, 0)};
    plugin->process(64, start.data());
    plugin->process(64, nullptr);
    EXPECT_EQ(host.sleeps, 0);

    // Stop at 16: the rest of this block and 16 samples more, then sleep.
    module->trace.pieces.clear();
    std::vector<gmpi::MpEvent> stop = {Event(16, 102, 0)};
    plugin->process(64, stop.data());
    EXPECT_EQ(host.sleeps, 0);
    plugin->process(64, nullptr);
    EXPECT_EQ(host.sleeps, 1);
    EXPECT_EQ(module->trace.pieces, (std::vector<std::pair<int, int>>{{0, 16}, {16, 48}, {0, 16}}));
    EXPECT_EQ(host.streamingCalls.back(), (std::pair<int, int>{16, 10}));

    // With nothing left to count the module asks at once.
    module->setSleep(true);
    plugin->process(64, nullptr);
    EXPECT_EQ(host.sleeps, 2);
    module->release();
}

TEST(MpBase, InterfacesCountReferencesAsTheSdkDefines)
{
    static int destroyed;
    // Counted afresh each run (the test may be repeated in one process).
    destroyed = 0;
    struct Counted : Module2
    {
        ~Counted() override { ++destroyed; }
    };
    auto* module = new Counted();
    void* found = nullptr;
    EXPECT_EQ(module->queryInterface(gmpi::MP_IID_PLUGIN, &found), gmpi::MP_OK);
    EXPECT_EQ(module->addRef(), 2); // PLUGIN gave no reference
    module->release();
    EXPECT_EQ(module->queryInterface(gmpi::MP_IID_PLUGIN2, &found), gmpi::MP_OK);
    EXPECT_EQ(found, static_cast<gmpi::IMpPlugin2*>(module));
    EXPECT_EQ(module->queryInterface(gmpi::MP_IID_HOST, &found), gmpi::MP_NOSUPPORT);
    EXPECT_EQ(found, nullptr);
    EXPECT_EQ(module->setBuffer(9, nullptr), gmpi::MP_FAIL);
    EXPECT_EQ(module->getPin(3), &module->value);
    EXPECT_EQ(module->release(), 1);
    EXPECT_EQ(destroyed, 0);
    EXPECT_EQ(module->release(), 0);
    EXPECT_EQ(destroyed, 1);
}

TEST(MpBase, EditorMessagesReachWhicheverFormTheModuleOverrides)
{
    struct ConstForm : Module2
    {
        int32_t receiveMessageFromGui(int32_t id, int32_t, const void*) override { return got = id; }
        int got = 0;
    };
    struct MutableForm : Module2
    {
        int32_t receiveMessageFromGui(int32_t id, int32_t, void*) override { return got = id; }
        int got = 0;
    };
    char data[1] = {};
    ConstForm* a = new ConstForm();
    EXPECT_EQ(static_cast<gmpi::IMpPlugin*>(a)->receiveMessageFromGui(5, 1, data), 5);
    MutableForm* b = new MutableForm();
    EXPECT_EQ(static_cast<gmpi::IMpPlugin2*>(b)->receiveMessageFromGui(6, 1, data), 6);
    // Neither form overridden: 0, without endless recursion.
    Module2* c = new Module2();
    EXPECT_EQ(static_cast<gmpi::IMpPlugin2*>(c)->receiveMessageFromGui(7, 1, data), 0);
    a->release();
    b->release();
    c->release();
}
