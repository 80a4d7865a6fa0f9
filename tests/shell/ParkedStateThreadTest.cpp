// A host's state thread stopped at any point of its state calls, while its
// audio thread plays a held note block after block. A signal handler that
// sleeps 0.3 s parks the state thread wherever the signal finds it, as the
// scheduler, a page fault or a debugger may. Through every park the blocks
// go on, none is silent, and each plays one whole state: the one before a
// state call or the one after, never part of each.
//
// Each instrument (the demo, and the large patch whose level sums 1,500
// values) runs once on plain threads, blocks back to back, and once as JACK
// and PipeWire run a plug-in: the audio thread at SCHED_FIFO, one block per
// period, on the state thread's core, where a block that waits for the
// state thread waits until the kernel lets that thread run.

#include <gtest/gtest.h>

#include <pthread.h>
#include <sched.h>
#include <signal.h>
#include <time.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ostream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "BlockEventList.h"
#include "DemoSynthRig.h"
#include "StatePairs.h"
#include "tests/ThreadWait.h"
#include "tools/kvhost/HostMemoryStream.h"

using namespace demo_synth_rig;
using namespace Steinberg;
using namespace Steinberg::Vst;

namespace
{
constexpr int kParks = 60;
constexpr long kParkNanoseconds = 300'000'000;
constexpr int kBlock = 128;
constexpr double kSampleRate = 48000.0;
// Blocks played after the note is struck, before its sound is steady.
constexpr int kWarmUpBlocks = 400;
// A park during which fewer blocks end has held the audio thread.
constexpr long kFewestBlocksPerPark = 10;
// Pauses between blocks longer than this are kept, to measure stalls.
constexpr int64_t kGapKept = 1'000'000;
// Under the sanitizers a block that takes the large patch's whole state runs
// as long as a park (ThreadSanitizer: 0.3 to 0.45 s), so a park that meets it
// sees no block end without any wait: stalls are judged in the plain build.
#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
constexpr bool kStallsJudged = false;
#else
constexpr bool kStallsJudged = true;
#endif

int64_t Now()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return int64_t{now.tv_sec} * 1'000'000'000 + now.tv_nsec;
}

// What one block sounds like: the left channel's highest and (negated)
// lowest sample, the right channel's first sample and whether it holds it.
struct Sound
{
    float peak = 0.0f;
    float trough = 0.0f;
    float right = 0.0f;
    bool rightSteady = true;
    bool silent = true;
};

Sound Listen(const DemoSynthRig& rig)
{
    Sound sound;
    sound.right = rig.right[0];
    for (int i = 0; i < kBlock; ++i)
    {
        const float left = rig.left[static_cast<std::size_t>(i)];
        sound.peak = std::max(sound.peak, left);
        sound.trough = std::max(sound.trough, -left);
        sound.silent = sound.silent && left == 0.0f;
        sound.rightSteady = sound.rightSteady && rig.right[static_cast<std::size_t>(i)] == sound.right;
    }
    return sound;
}

// The range of a state's sound over steady blocks. A block matches when its
// peak and trough are within 1% of it and, where the state holds the right
// channel steady (the large patch's level), that channel is steady at it to
// a twentieth of one value's part.
class Reference
{
public:
    explicit Reference(const std::vector<Sound>& sounds)
    {
        for (const Sound& s : sounds)
        {
            peak_[0] = std::min(peak_[0], s.peak);
            peak_[1] = std::max(peak_[1], s.peak);
            trough_[0] = std::min(trough_[0], s.trough);
            trough_[1] = std::max(trough_[1], s.trough);
            right_[0] = std::min(right_[0], s.right);
            right_[1] = std::max(right_[1], s.right);
            rightSteady_ = rightSteady_ && s.rightSteady;
        }
    }
    bool Matches(const Sound& s) const
    {
        const auto within = [](float v, const float (&range)[2]) {
            return v >= range[0] * 0.99f && v <= range[1] * 1.01f;
        };
        if (!within(s.peak, peak_) || !within(s.trough, trough_))
            return false;
        return !rightSteady_ || (s.rightSteady && s.right >= right_[0] - 1e-5f && s.right <= right_[1] + 1e-5f);
    }

private:
    float peak_[2] = {1e9f, 0.0f};
    float trough_[2] = {1e9f, 0.0f};
    float right_[2] = {1e9f, -1e9f};
    bool rightSteady_ = true;
};

Event Strike()
{
    Event event{};
    event.type = Event::kNoteOnEvent;
    event.noteOn = {0, 69, 0.0f, 1.0f, 0, -1};
    return event;
}

// The held note in `rig`, struck and past its attack.
void HoldNote(DemoSynthRig& rig)
{
    BlockEventList strike({Strike()});
    rig.data.inputEvents = &strike;
    rig.processor->process(rig.data);
    rig.data.inputEvents = nullptr;
    for (int b = 0; b < kWarmUpBlocks; ++b)
        rig.processor->process(rig.data);
}

// A state played alone: its steady blocks, and the state read back.
struct Heard
{
    std::vector<Sound> sounds;
    std::vector<char> saved;
};

Heard Hear(const std::string& document, const std::vector<char>& state)
{
    DemoSynthRig rig(kBlock, "alone", document);
    HostMemoryStream in(state);
    EXPECT_EQ(rig.processor->setState(&in), kResultOk);
    HoldNote(rig);
    Heard heard;
    for (int b = 0; b < 200; ++b)
    {
        rig.processor->process(rig.data);
        heard.sounds.push_back(Listen(rig));
    }
    HostMemoryStream out;
    EXPECT_EQ(rig.processor->getState(&out), kResultOk);
    heard.saved = out.bytes();
    return heard;
}

int Matching(const std::vector<Sound>& sounds, const Reference& reference)
{
    return static_cast<int>(std::count_if(sounds.begin(), sounds.end(), [&](const Sound& s) { return reference.Matches(s); }));
}

// What the state thread's signal handler shares with the test: the blocks
// ended so far, and each park's span and the blocks ended at its edges.
struct Park
{
    int64_t start = 0;
    int64_t end = 0;
    long blocksAtStart = 0;
    long blocksAtEnd = 0;
};
struct ParkLog
{
    std::atomic<long> blocks{0};
    std::atomic<int> asked{0};
    std::atomic<int> done{0};
    Park parks[kParks];
};
ParkLog* parkLog = nullptr;

void ParkHere(int)
{
    const int saved = errno;
    Park& park = parkLog->parks[parkLog->asked.load()];
    park.start = Now();
    park.blocksAtStart = parkLog->blocks.load();
    timespec left{0, kParkNanoseconds};
    while (nanosleep(&left, &left) != 0 && errno == EINTR)
    {
    }
    park.end = Now();
    park.blocksAtEnd = parkLog->blocks.load();
    parkLog->done.fetch_add(1);
    errno = saved;
}

bool PinTo(int cpu)
{
    cpu_set_t set;
    CPU_ZERO(&set);
    CPU_SET(cpu, &set);
    return pthread_setaffinity_np(pthread_self(), sizeof(set), &set) == 0;
}

bool RunAtFifo()
{
    sched_param param{};
    param.sched_priority = 10;
    return pthread_setschedparam(pthread_self(), SCHED_FIFO, &param) == 0;
}

// Whether this process may run a thread at SCHED_FIFO.
bool FifoPermitted(int& error)
{
    std::thread probe([&] {
        sched_param param{};
        param.sched_priority = 10;
        error = pthread_setschedparam(pthread_self(), SCHED_FIFO, &param);
    });
    probe.join();
    return error == 0;
}

struct Case
{
    const char* name;
    bool largePatch;
    bool fifo;
};

void PrintTo(const Case& c, std::ostream* out)
{
    *out << c.name;
}

class ParkedStateThread : public ::testing::TestWithParam<Case>
{
};
} // namespace

TEST_P(ParkedStateThread, BlocksGoOnSoundingOneWholeStateThroughEveryPark)
{
    const Case c = GetParam();
    int fifoError = 0;
    if (c.fifo && !FifoPermitted(fifoError))
        GTEST_SKIP() << "SCHED_FIFO is not permitted here (" << std::strerror(fifoError)
                     << "): the real-time variant is skipped";
    const state_pairs::StatePair pair =
        c.largePatch ? state_pairs::LargePatch(KV_TEST_DATA_DIR "/patches") : state_pairs::DemoSynth();

    // Each state alone, and the mixture: the check tells the two states
    // apart, and tells the mixture from both.
    const Heard heardFirst = Hear(pair.document, pair.first);
    const Heard heardSecond = Hear(pair.document, pair.second);
    const Heard heardMixture = Hear(pair.document, pair.mixture);
    const Reference firstSound(heardFirst.sounds), secondSound(heardSecond.sounds);
    ASSERT_EQ(Matching(heardFirst.sounds, secondSound), 0);
    ASSERT_EQ(Matching(heardSecond.sounds, firstSound), 0);
    ASSERT_EQ(Matching(heardMixture.sounds, firstSound) + Matching(heardMixture.sounds, secondSound), 0);
    ASSERT_NE(heardFirst.saved, heardSecond.saved);

    DemoSynthRig rig(kBlock, "parked", pair.document);
    ADelayProcessor* processor = rig.processor.get();
    HostMemoryStream initial(pair.first);
    ASSERT_EQ(processor->setState(&initial), kResultOk);
    HoldNote(rig);

    ParkLog log;
    parkLog = &log;
    struct sigaction park = {}, previous = {};
    park.sa_handler = ParkHere;
    park.sa_flags = SA_RESTART;
    sigemptyset(&park.sa_mask);
    ASSERT_EQ(sigaction(SIGUSR2, &park, &previous), 0);

    const int cpu = std::max(sched_getcpu(), 0);
    std::atomic<bool> stop{false};
    std::atomic<bool> pinned{true}, realTime{true};

    // The audio thread: a block, its sound judged, its end noted; no
    // allocation, lock or wait of its own between blocks.
    long silent = 0, mixed = 0, ofFirst = 0, ofSecond = 0;
    Sound firstMixed;
    long firstMixedAt = -1;
    std::vector<std::pair<int64_t, int64_t>> gaps(1 << 16);
    std::size_t gapCount = 0;
    std::thread audio([&] {
        if (c.fifo)
        {
            pinned = PinTo(cpu);
            realTime = RunAtFifo();
        }
        const int64_t period = static_cast<int64_t>(1e9 * kBlock / kSampleRate);
        int64_t last = Now();
        int64_t next = last;
        for (long block = 0; !stop.load(); ++block)
        {
            rig.bus.silenceFlags = 0;
            processor->process(rig.data);
            const int64_t now = Now();
            const Sound sound = Listen(rig);
            if (sound.silent || rig.bus.silenceFlags != 0)
                ++silent;
            else if (firstSound.Matches(sound))
                ++ofFirst;
            else if (secondSound.Matches(sound))
                ++ofSecond;
            else if (mixed++ == 0)
            {
                firstMixed = sound;
                firstMixedAt = block;
            }
            if (now - last > kGapKept && gapCount < gaps.size())
                gaps[gapCount++] = {last, now};
            last = now;
            log.blocks.fetch_add(1);
            if (c.fifo)
            {
                // One block per period, as a sound card asks for them.
                next = std::max(next + period, now);
                const timespec until{static_cast<time_t>(next / 1'000'000'000), static_cast<long>(next % 1'000'000'000)};
                clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr);
            }
        }
    });

    // The state thread: the two states set and read back in turn.
    std::atomic<long> stateCalls{0};
    long refused = 0, wrongReads = 0;
    std::thread states([&] {
        if (c.fifo && !PinTo(cpu))
            pinned = false;
        for (long k = 0; !stop.load(); ++k)
        {
            const bool second = k % 2 != 0;
            HostMemoryStream in(second ? pair.second : pair.first);
            refused += processor->setState(&in) != kResultOk;
            HostMemoryStream out;
            refused += processor->getState(&out) != kResultOk;
            wrongReads += out.bytes() != (second ? heardSecond.saved : heardFirst.saved);
            stateCalls.fetch_add(1);
        }
    });

    // The parks, each at a moment of its own after the one before.
    std::mt19937 random(20240611);
    std::uniform_int_distribution<int> pause(0, 20'000);
    bool allParked = kv_test::WaitUntil([&] { return stateCalls.load() >= 4 && log.blocks.load() > 0; });
    for (int i = 0; i < kParks && allParked; ++i)
    {
        std::this_thread::sleep_for(std::chrono::microseconds(pause(random)));
        log.asked = i;
        pthread_kill(states.native_handle(), SIGUSR2);
        allParked = kv_test::WaitUntil([&] { return log.done.load() > i; });
    }
    stop = true;
    states.join();
    audio.join();
    sigaction(SIGUSR2, &previous, nullptr);
    parkLog = nullptr;
    ASSERT_TRUE(allParked) << "the state thread took no signal";
    if (c.fifo)
    {
        ASSERT_TRUE(pinned.load()) << "the threads could not be pinned to CPU " << cpu;
        ASSERT_TRUE(realTime.load()) << "the audio thread could not run at SCHED_FIFO";
    }

    // Each park: the blocks that ended during it, and its longest stretch
    // without a block ending.
    int stalled = 0;
    int64_t longestStall = 0;
    std::string stalls;
    for (int i = 0; i < kParks; ++i)
    {
        const Park& p = log.parks[i];
        int64_t stall = 0;
        for (std::size_t g = 0; g < gapCount; ++g)
            stall = std::max(stall, std::min(gaps[g].second, p.end) - std::max(gaps[g].first, p.start));
        longestStall = std::max(longestStall, stall);
        const long blocks = p.blocksAtEnd - p.blocksAtStart;
        if (blocks < kFewestBlocksPerPark)
        {
            ++stalled;
            stalls += " park " + std::to_string(i) + ": " + std::to_string(blocks) + " blocks, stalled " +
                      std::to_string(stall / 1'000'000) + " ms;";
        }
    }
    std::printf("%s: %d parks, %d held the audio thread, longest stall %.1f ms; %ld blocks (%ld of the first "
                "state, %ld of the second), %ld state calls\n",
                c.name, kParks, stalled, longestStall / 1e6, log.blocks.load(), ofFirst, ofSecond, stateCalls.load());
    if (kStallsJudged)
    {
        EXPECT_EQ(stalled, 0) << "blocks waited for the parked state thread:" << stalls;
    }
    EXPECT_EQ(silent, 0) << "silent blocks";
    EXPECT_EQ(mixed, 0) << "blocks playing part of a state; the first, block " << firstMixedAt << ": peak "
                        << firstMixed.peak << ", trough " << firstMixed.trough << ", right " << firstMixed.right
                        << (firstMixed.rightSteady ? " steady" : " moving");
    EXPECT_GT(ofFirst, 0);
    EXPECT_GT(ofSecond, 0);
    EXPECT_EQ(refused, 0);
    EXPECT_EQ(wrongReads, 0) << "state reads that were not the state set just before";
}

INSTANTIATE_TEST_SUITE_P(Instruments, ParkedStateThread,
                         ::testing::Values(Case{"DemoSynth", false, false}, Case{"LargePatch", true, false},
                                           Case{"DemoSynthRealTime", false, true},
                                           Case{"LargePatchRealTime", true, true}),
                         [](const ::testing::TestParamInfo<Case>& param) { return std::string(param.param.name); });
