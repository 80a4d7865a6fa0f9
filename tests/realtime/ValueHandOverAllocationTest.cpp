// Values that cross between the user-interface thread and the audio thread
// while blocks run: preset states set and read, blob and polyphonic text
// values from the editor, and the processor's reports to a connected
// controller. Only the audio thread's allocations count.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <fstream>
#include <sstream>

#include "tests/TempFolder.h"
#include "core/Base64.h"
#include "core/CModuleFactory.h"
#include "core/conversion.h"
#include "core/InterfaceObject.h"
#include "core/MpBlob.h"
#include "core/Module_Info.h"
#include "engine/parameters/dsp_patch_parameter_base.h"
#include "core/QueMessage.h"
#include "core/UnitClass.h"
#include "engine/GraphRig.h"
#include "engine/TestGraph.h"
#include "core/QueMessage.h"
#include "core/StagingMemoryBuffer.h"
#include "engine/parameters/dsp_patch_parameter_base.h"
#include "engine/parameters/DspPatchManager.h"
#include "engine/parameters/IDspPatchManager.h"
#include "engine/runtime/KvAudioMaster.h"
#include "engine/graph/ug_container.h"
#include "engine/oversampling/ug_oversampler.h"
#include "engine/hostio/MidiOutputBuffer.h"
#include "engine/parameters/PatchStore.h"
#include "engine/runtime/SynthRuntime.h"
#include "modules/signal/ug_filter_1pole.h"
#include "shell/ADelayController.h"
#include "shell/ADelayProcessor.h"
#include "shell/BundleInfo.h"
#include "shell/MyVstPluginFactory.h"
#include "tools/kvhost/HostContext.h"
#include "tools/kvhost/HostParameterChanges.h"
#include <filesystem>
#include <unistd.h>
#include "realtime/AllocationCounter.h"
#include "realtime/RealtimeSink.h"

using namespace kvrt;

namespace
{
std::string PresetStateDocument(const std::vector<std::pair<int, std::string>>& values)
{
    std::string text = "<?xml version=\"1.0\" ?>\n<Parameters>\n";
    for (const auto& [id, value] : values)
        text += " <Param id=\"" + std::to_string(id) + "\" val=\"" + value + "\" />\n";
    return text + "</Parameters>\n";
}

// The value a preset state document gives a parameter, empty when none.
std::string ValueIn(const std::string& state, int id)
{
    const std::string key = "<Param id=\"" + std::to_string(id) + "\"";
    const size_t at = state.find(key);
    const size_t val = at == std::string::npos ? at : state.find("val=\"", at);
    if (val == std::string::npos)
        return {};
    return state.substr(val + 5, state.find('"', val + 5) - val - 5);
}
} // namespace

TEST(BlockLoopAllocations, PresetStatesSetAndGotWhileBlocksRunAllocateNothingOnTheAudioThread)
{
    RegisterRealtimeSink();
    const std::string document =
        "<DSP><Container Id=\"1\"><PatchManager><Parameters>"
        "<P DataType=\"22\" Handle=\"100\" Index=\"0\" RangeMaximum=\"10\"/>"
        "<P DataType=\"20\" Handle=\"101\"/>"
        "<P DataType=\"24\" Handle=\"102\" Index=\"1\" RangeMaximum=\"100\"/>"
        "<P DataType=\"21\" Handle=\"103\" MetaData=\"a,b,c=5\"/>"
        "<P DataType=\"23\" Handle=\"104\"/>"
        "<P DataType=\"28\" Handle=\"105\"/>"
        "</Parameters></PatchManager><Modules>"
        "<Module Type=\"Container\" Id=\"2\" ExpandInline=\"0\"><Modules>"
        "<Module Type=\"KV Realtime Sink\" Id=\"10\"><Plugs><Plug Idx=\"1\" Parameter=\"100\"/>"
        "<Plug Idx=\"2\" Parameter=\"101\"/></Plugs></Module>"
        "</Modules></Module></Modules></Container></DSP>";
    SynthRuntime runtime;
    ASSERT_TRUE(runtime.initialize(44100, 512, document.c_str()));
    KvAudioMaster* master = runtime.AudioMaster();
    auto* sink = dynamic_cast<Sink*>(master->HandleToObject(10));
    ASSERT_NE(sink, nullptr);
    ASSERT_EQ(master->TextRoom(), 256);

    // Rounds of states: numbers in and out of range, texts and blobs up to
    // their room, refused enum values.
    struct Round
    {
        std::vector<std::pair<int, std::string>> in;
        std::vector<std::pair<int, std::string>> expected;
    };
    std::vector<Round> rounds;
    for (int r = 0; r < 8; ++r)
    {
        const std::string level = std::to_string(r) + ".5";
        const std::string text(static_cast<size_t>(r % 4 == 3 ? 256 : 30 * r), static_cast<char>('a' + r));
        const std::string blob =
            Base64::encode(std::string(static_cast<size_t>(r % 4 == 3 ? 1024 : 40 * r), static_cast<char>(r)));
        const std::string enumValue = r % 3 == 0 ? "5" : (r % 3 == 1 ? "1" : "3");
        const std::string enumExpected = r % 3 == 0 ? "5" : "1";
        Round round;
        round.in = {{100, r == 7 ? "25" : level}, {101, text},           {102, std::to_string(50 * r)},
                    {103, enumValue},              {104, std::to_string(r % 2)}, {105, blob}};
        round.expected = {{100, r == 7 ? "10" : level}, {101, text}, {102, std::to_string(std::min(50 * r, 100))},
                          {103, enumExpected},          {104, std::to_string(r % 2)}, {105, blob}};
        rounds.push_back(round);
    }
    std::vector<std::string> states;
    for (const Round& round : rounds)
        states.push_back(PresetStateDocument(round.in));

    std::atomic<bool> stop{false};
    std::atomic<long> blocks{0};
    std::thread audio([&] {
        std::vector<float> scratch(512);
        float* channel = scratch.data();
        PatchStore& store = runtime.Store();
        while (!stop.load())
        {
            // As the processor runs a block: what others set plays first.
            if (store.EnterBlock())
                master->HearStore();
            master->DoProcess(441, &channel, &channel, 0, 0);
            store.LeaveBlock();
            runtime.ServiceDspRingBuffers();
            blocks.fetch_add(1);
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
    });
    uncountedThread = true;
    const auto exchange = [&](int rounds_) {
        for (int i = 0; i < rounds_; ++i)
        {
            const Round& round = rounds[static_cast<size_t>(i) % rounds.size()];
            runtime.SetPresetState(states[static_cast<size_t>(i) % states.size()]);
            // The audio thread hears it.
            const long heard = blocks.load() + 2;
            while (blocks.load() < heard)
                std::this_thread::yield();
            std::string state;
            runtime.GetPresetState(state);
            // The read after the write gives what was set, brought into range.
            for (const auto& [id, value] : round.expected)
                ASSERT_EQ(ValueIn(state, id), value) << "parameter " << id << ", round " << i;
        }
    };
    exchange(8);
    allocations = 0;
    counting = true;
    const long blocksBefore = blocks.load();
    exchange(40);
    // The values reached the module too: the level and the text cut to the room.
    runtime.SetPresetState(states[3]);
    std::string last;
    runtime.GetPresetState(last);
    // The next block plays it.
    const long settled = blocks.load() + 2;
    while (blocks.load() < settled)
        std::this_thread::yield();
    counting = false;
    stop = true;
    audio.join();
    uncountedThread = false;

    EXPECT_EQ(allocations.load(), 0);
    EXPECT_GT(blocks.load() - blocksBefore, 40);
    EXPECT_FLOAT_EQ(sink->value_, 3.5f);
    EXPECT_EQ(sink->text_, std::wstring(256, L'd'));
    EXPECT_EQ(ValueIn(last, 101), std::string(256, 'd'));
}

namespace
{
// Sends a blob and a text from its outputs when told to.
class BlobSource : public ug_base
{
public:
    ug_base* Create() override { return new BlobSource(); }
    void ListInterface2(std::vector<InterfaceObject*>& pins) override
    {
        pins.push_back(new InterfaceObject(&blob_, L"Blob", DR_OUT, DT_BLOB, L"", L"", 0));
        pins.push_back(new InterfaceObject(&text_, L"Text", DR_OUT, DT_TEXT, L"", L"", 0));
    }
    void Send(const std::string& bytes, const std::wstring& text)
    {
        blob_.setValueRaw(static_cast<int>(bytes.size()), bytes.data());
        text_.assign(text);
        SendPinsCurrentValue(sampleClock_, plugs_[0]);
        SendPinsCurrentValue(sampleClock_, plugs_[1]);
    }
    MpBlob blob_;
    std::wstring text_;
};

// An editor record's payload: a blob value for patch 0 of a blob parameter.
std::vector<unsigned char> BlobValueRecord(const std::string& bytes)
{
    std::vector<unsigned char> payload(1 + 4 + 4, 0);
    const auto size = static_cast<int32_t>(bytes.size());
    std::memcpy(payload.data() + 5, &size, 4);
    payload.insert(payload.end(), bytes.begin(), bytes.end());
    return payload;
}
} // namespace

TEST(BlockLoopAllocations, BlobValuesFromTheEditorAndFromModulesAllocateNothingAfterWarmUp)
{
    static const bool registered[] = {
        CModuleFactory::Instance()->RegisterModule(
            new Module_Info(L"KV Realtime Sink", 0, 0, nullptr, &UnitClassOf<Sink>::value, 8)),
        CModuleFactory::Instance()->RegisterModule(
            new Module_Info(L"KV Realtime Blob Source", 0, 0, nullptr, &UnitClassOf<BlobSource>::value, 8))};
    (void)registered;
    // Parameter 105 feeds the sink's blob pin; the source's outputs are
    // watched into 106 and 107.
    const std::string document =
        "<DSP><Container Id=\"1\"><PatchManager><Parameters>"
        "<P DataType=\"28\" Handle=\"105\"/><P DataType=\"28\" Handle=\"106\"/>"
        "<P DataType=\"20\" Handle=\"107\"/>"
        "</Parameters></PatchManager><Modules>"
        "<Module Type=\"Container\" Id=\"2\" ExpandInline=\"0\"><Modules>"
        "<Module Type=\"KV Realtime Sink\" Id=\"10\"><Plugs><Plug Idx=\"3\" Parameter=\"105\"/></Plugs></Module>"
        "<Module Type=\"KV Realtime Blob Source\" Id=\"11\"><Plugs><Plug Idx=\"0\" Parameter=\"106\"/>"
        "<Plug Idx=\"1\" Parameter=\"107\"/></Plugs></Module>"
        "</Modules></Module></Modules></Container></DSP>";
    SynthRuntime runtime;
    ASSERT_TRUE(runtime.initialize(44100, 512, document.c_str()));
    KvAudioMaster* master = runtime.AudioMaster();
    ASSERT_EQ(master->BlobRoom(), 1024);
    auto* sink = dynamic_cast<Sink*>(master->HandleToObject(10));
    auto* source = dynamic_cast<BlobSource*>(master->HandleToObject(11));
    auto* watched = dynamic_cast<dsp_patch_parameter_base*>(master->HandleToObject(106));
    ASSERT_TRUE(sink && source && watched);
    // The module's own values: its business to keep them from allocating.
    source->blob_.reserve(4096);
    source->text_.reserve(1500);

    // Blobs from empty to the room, and larger ones that are refused.
    std::vector<std::string> blobs;
    for (size_t size : {0, 3, 100, 1000, 1024, 3000, 1025})
        blobs.emplace_back(size, static_cast<char>(size % 251));
    std::vector<std::vector<unsigned char>> records;
    for (const std::string& blob : blobs)
        records.push_back(BlobValueRecord(blob));
    // Texts up to one longer than the event pool's largest payload, which
    // reaches the watched parameter cut to the room.
    std::vector<std::wstring> texts;
    for (size_t length : {0, 5, 200, 1500})
        texts.emplace_back(length, L'w');

    std::vector<float> scratch(512);
    float* channel = scratch.data();
    auto runBlocks = [&](int first, int count) {
        for (int block = first; block < first + count; ++block)
        {
            const auto& record = records[static_cast<size_t>(block) % records.size()];
            WriteQueMessage(runtime.QueueFromGui(), 105, QueMessageId::ppc, record.data(),
                            static_cast<int32_t>(record.size()));
            runtime.QueueFromGui().Send();
            source->Send(blobs[static_cast<size_t>(block / 3) % blobs.size()],
                         texts[static_cast<size_t>(block) % texts.size()]);
            master->DoProcess(441, &channel, &channel, 0, 0);
            runtime.ServiceDspRingBuffers();
        }
    };
    EXPECT_EQ(AllocationsAfterWarmUp(runBlocks), 0);

    // Values within the room arrived whole; larger ones were refused, the
    // value before them staying, and logged off the audio thread.
    for (size_t i : {size_t{4}, size_t{5}})
    {
        WriteQueMessage(runtime.QueueFromGui(), 105, QueMessageId::ppc, records[i].data(),
                        static_cast<int32_t>(records[i].size()));
        runtime.QueueFromGui().Send();
        source->Send(blobs[i], texts[3]);
        for (int block = 0; block < 30; ++block)
        {
            master->DoProcess(441, &channel, &channel, 0, 0);
            runtime.ServiceDspRingBuffers();
        }
        EXPECT_TRUE(sink->blob_.compare(blobs[4].data(), 1024));
        int size = 0;
        const void* value = watched->SerialiseForEvent(0, size);
        EXPECT_EQ(std::string(static_cast<const char*>(value), static_cast<size_t>(size)), blobs[4]);
        auto* text = dynamic_cast<dsp_patch_parameter_base*>(master->HandleToObject(107));
        text->SerialiseForEvent(0, size);
        EXPECT_EQ(size, 256 * 4);
    }
    master->LogTextCuts_UI_THREAD();
    ASSERT_FALSE(master->BuildMessages().empty());
    EXPECT_NE(master->BuildMessages().back().find("blob value(s) larger than the room of 1024 bytes refused"),
              std::string::npos);
    EXPECT_NE(master->BuildMessages().back().find("the largest had 3000"), std::string::npos);
}

TEST(BlockLoopAllocations, PolyphonicTextValuesFromTheEditorAllocateNothingAfterWarmUp)
{
    // A text per key in each of 128 patches: the parameter's rooms share a
    // bound of 4 MiB, 64 characters each.
    const std::string document =
        "<DSP><Container Id=\"1\"><PatchManager><Parameters>"
        "<P DataType=\"20\" Handle=\"108\" isPolyphonic=\"1\" VoiceCount=\"128\"/>"
        "</Parameters></PatchManager><Modules>"
        "<Module Type=\"Container\" Id=\"2\" ExpandInline=\"0\"/></Modules></Container></DSP>";
    SynthRuntime runtime;
    ASSERT_TRUE(runtime.initialize(44100, 512, document.c_str()));
    KvAudioMaster* master = runtime.AudioMaster();
    auto* perKey = dynamic_cast<dsp_patch_parameter_base*>(master->HandleToObject(108));
    ASSERT_NE(perKey, nullptr);
    ASSERT_EQ(perKey->VoiceEntryCount(), 128);
    ASSERT_EQ(perKey->PatchCount(), 128);

    // Records for key and patch: flag, patch, key, byte count, characters;
    // written into room made before counting.
    std::vector<unsigned char> payload;
    payload.reserve(2048);
    const auto record = [&payload](int patch, int key, const std::wstring& text) -> const std::vector<unsigned char>& {
        const int32_t fields[4] = {patch, key, static_cast<int32_t>(text.size() * 4), 0};
        payload.assign(1 + 12 + text.size() * 4, 0);
        std::memcpy(payload.data() + 1, fields, 12);
        for (size_t i = 0; i < text.size(); ++i)
        {
            const auto unit = static_cast<int32_t>(text[i]);
            std::memcpy(payload.data() + 13 + 4 * i, &unit, 4);
        }
        return payload;
    };
    std::vector<std::wstring> texts;
    for (size_t length : {0, 5, 63, 64, 65, 200})
        texts.emplace_back(length, static_cast<wchar_t>(L'a' + length % 26));
    std::vector<float> scratch(512);
    float* channel = scratch.data();
    auto runBlocks = [&](int first, int count) {
        for (int block = first; block < first + count; ++block)
        {
            for (int n = 0; n < 4; ++n)
            {
                const int key = (block * 4 + n) % 128;
                const auto& bytes = record((block + n) % 128, key, texts[static_cast<size_t>(block + key) % texts.size()]);
                WriteQueMessage(runtime.QueueFromGui(), 108, QueMessageId::ppc, bytes.data(),
                                static_cast<int32_t>(bytes.size()));
            }
            runtime.QueueFromGui().Send();
            master->DoProcess(441, &channel, &channel, 0, 0);
            runtime.ServiceDspRingBuffers();
        }
    };
    EXPECT_EQ(AllocationsAfterWarmUp(runBlocks), 0);

    // Each key kept its last text, cut to the room.
    const int last = 300 + 3000 - 1;
    for (int n = 0; n < 4; ++n)
    {
        const int key = (last * 4 + n) % 128;
        const std::wstring& sent = texts[static_cast<size_t>(last + key) % texts.size()];
        PatchStorageBase* entry = perKey->Storage(key);
        const int patch = (last + n) % 128;
        const std::wstring kept(static_cast<const wchar_t*>(entry->GetValue(patch)),
                                static_cast<size_t>(entry->GetValueSize(patch)) / sizeof(wchar_t));
        EXPECT_EQ(kept, sent.substr(0, 64)) << "key " << key;
    }
    master->LogTextCuts_UI_THREAD();
    ASSERT_FALSE(master->BuildMessages().empty());
    EXPECT_NE(master->BuildMessages().back().find("the longest had 200"), std::string::npos);
}

TEST(BlockLoopAllocations, AConnectedProcessorsBlocksAllocateNothingWhileTheEngineReportsValues)
{
    // The editor tests' instrument, whose "Level" follows the hold pedal: the
    // engine reports the changed value to the controller after every press.
    namespace fs = std::filesystem;
    const kv_test::TempFolder temporary("realtime");
    const fs::path folder = temporary.path();
    const fs::path bundle = folder / "KvGuiTest.vst3";
    fs::create_directories(bundle / "Contents" / "Resources");
    fs::create_directories(bundle / "Contents" / "x86_64-linux");
    for (const char* name : {"factory.kv.xml", "dsp.kv.xml", "parameters.kv.xml"})
        fs::copy_file(fs::path(KV_TEST_DATA_DIR) / "gui" / "bundles" / "KvGuiTest" / name,
                      bundle / "Contents" / "Resources" / name, fs::copy_options::overwrite_existing);
    {
        using namespace Steinberg;
        using namespace Steinberg::Vst;
        MyVstPluginFactory factory(
            BundleInfo::FromModulePath((bundle / "Contents" / "x86_64-linux" / "KvGuiTest.so").string()));
        factory.initialize();
        KvHostApplication host;
        IPtr<ADelayProcessor> processor = owned(new ADelayProcessor(&factory));
        IPtr<ADelayController> controller = owned(new ADelayController(&factory));
        processor->setInstrument(true);
        ASSERT_EQ(processor->initialize(&host), kResultOk);
        ASSERT_EQ(controller->initialize(&host), kResultOk);
        // Joined directly, as hosts join them.
        processor->connect(controller);
        controller->connect(processor);
        ProcessSetup setup{kRealtime, kSample32, 256, 48000.0};
        processor->setupProcessing(setup);
        processor->setActive(true);
        processor->setProcessing(true);

        std::vector<float> left(256), right(256);
        float* channels[2] = {left.data(), right.data()};
        AudioBusBuffers bus{};
        bus.numChannels = 2;
        bus.channelBuffers32 = channels;
        HostParameterChanges changes;
        ProcessData data;
        data.numSamples = 256;
        data.symbolicSampleSize = kSample32;
        data.outputs = &bus;
        data.numOutputs = 1;
        data.inputParameterChanges = &changes;
        // The engine's values also reach the host in the block itself.
        HostParameterChanges outputs;
        data.outputParameterChanges = &outputs;

        // Only the blocks are counted; the controller polls between them, on
        // what stands for the user-interface thread.
        long inBlocks = 0;
        int heard = 0;
        int reported = 0;
        double last = controller->getParamNormalized(0);
        for (int block = 0; block < 3300; ++block)
        {
            if (block % 20 == 0)
                changes.add(10064, 0, (block / 20) % 2 ? 1.0 : 0.0);
            const long before = allocations.load();
            counting = block >= 300;
            processor->process(data);
            counting = false;
            inBlocks += allocations.load() - before;
            changes.clear();
            for (int32 q = 0; q < outputs.getParameterCount(); ++q)
                reported += outputs.getParameterData(q)->getParameterId() == 0;
            outputs.clear();
            if (block % 5 == 4)
            {
                controller->PollProcessor();
                heard += controller->getParamNormalized(0) != last;
                last = controller->getParamNormalized(0);
            }
        }
        EXPECT_EQ(inBlocks, 0);
        // Every press and release reached the controller.
        EXPECT_GT(heard, 150);
        EXPECT_GT(reported, 150);

        processor->setProcessing(false);
        processor->setActive(false);
        controller->disconnect(processor);
        processor->disconnect(controller);
        controller->terminate();
        processor->terminate();
    }
}
