// A host that stamps its notes and parameter points far past the block it
// sends them with: the demo instrument plays them at the block's last
// sample, and its blocks allocate nothing after warm-up.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

#include "pluginterfaces/vst/ivstevents.h"
#include "realtime/AllocationCounter.h"
#include "shell/ADelayProcessor.h"
#include "shell/BundleInfo.h"
#include "shell/MyVstPluginFactory.h"
#include "tools/kvhost/HostContext.h"
#include "tools/kvhost/HostEventList.h"
#include "tools/kvhost/HostParameterChanges.h"

using namespace kvrt;
using namespace Steinberg;
using namespace Steinberg::Vst;

TEST(BlockLoopAllocations, NotesAndPointsFarPastTheBlockSoundAtItsLastSampleAndAllocateNothing)
{
    namespace fs = std::filesystem;
    const fs::path folder = fs::temp_directory_path() / ("kv-far-events-" + std::to_string(getpid()));
    const fs::path bundle = folder / "KorvaneDemoSynth.vst3";
    fs::create_directories(bundle / "Contents" / "Resources");
    fs::create_directories(bundle / "Contents" / "x86_64-linux");
    for (const char* name : {"factory.kv.xml", "dsp.kv.xml", "parameters.kv.xml"})
        fs::copy_file(fs::path(KV_DEMO_SYNTH_DOCUMENT).parent_path() / name, bundle / "Contents" / "Resources" / name,
                      fs::copy_options::overwrite_existing);
    {
        MyVstPluginFactory factory(
            BundleInfo::FromModulePath((bundle / "Contents" / "x86_64-linux" / "KorvaneDemoSynth.so").string()));
        factory.initialize();
        KvHostApplication host;
        IPtr<ADelayProcessor> processor = owned(new ADelayProcessor(&factory));
        processor->setInstrument(true);
        ASSERT_EQ(processor->initialize(&host), kResultOk);
        ProcessSetup setup{kRealtime, kSample32, 128, 48000.0};
        processor->setupProcessing(setup);
        processor->setActive(true);
        processor->setProcessing(true);

        std::vector<float> left(128), right(128);
        float* channels[2] = {left.data(), right.data()};
        AudioBusBuffers bus{};
        bus.numChannels = 2;
        bus.channelBuffers32 = channels;
        HostParameterChanges changes;
        HostEventList events;
        ProcessData data;
        data.symbolicSampleSize = kSample32;
        data.outputs = &bus;
        data.numOutputs = 1;
        data.inputParameterChanges = &changes;
        data.inputEvents = &events;
        Event note{};
        note.sampleOffset = 1 << 30;
        note.noteOn.velocity = 0.8f;

        // Only the blocks are counted, after 300 of warm-up.
        long inBlocks = 0;
        std::vector<float> firstBlocks;
        double energy = 0.0;
        for (int block = 0; block < 20300; ++block)
        {
            data.numSamples = block % 3 == 0 ? 128 : (block % 3 == 1 ? 77 : 13);
            note.type = Event::kNoteOnEvent;
            note.noteOn.pitch = static_cast<int16>(36 + (block * 7) % 48);
            events.addEvent(note);
            if (block >= 8)
            {
                note.type = Event::kNoteOffEvent;
                note.noteOff.pitch = static_cast<int16>(36 + ((block - 8) * 7) % 48);
                events.addEvent(note);
            }
            // Attack, decay, sustain, release and volume, every block.
            for (ParamID id = 1; id <= 5; ++id)
                changes.add(id, 1 << 30, 0.3 + 0.1 * ((block + static_cast<int>(id)) % 5));
            const long before = allocations.load();
            counting = block >= 300;
            processor->process(data);
            counting = false;
            inBlocks += allocations.load() - before;
            events.clear();
            changes.clear();
            if (block < 2)
                firstBlocks.insert(firstBlocks.end(), left.begin(), left.begin() + data.numSamples);
            for (int i = 0; i < data.numSamples; ++i)
                energy += static_cast<double>(left[static_cast<std::size_t>(i)]) * left[static_cast<std::size_t>(i)];
        }

        EXPECT_EQ(inBlocks, 0);
        // The first note, sent with a block of 128, sounds three samples
        // after that block's last sample, as one sent for sample 127 does.
        ASSERT_EQ(firstBlocks.size(), 128u + 77u);
        for (std::size_t i = 0; i < 130; ++i)
            ASSERT_EQ(firstBlocks[i], 0.0f) << i;
        EXPECT_NE(firstBlocks[130], 0.0f);
        EXPECT_TRUE(std::isfinite(energy));
        EXPECT_GT(energy, 1.0);

        processor->setProcessing(false);
        processor->setActive(false);
        processor->terminate();
    }
    fs::remove_all(folder);
}
