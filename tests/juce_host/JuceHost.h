#pragma once
// What the tests of the juce_host folder share: the build's bundles loaded,
// prepared and played through JUCE's VST3 hosting as a JUCE host does it on
// its message thread, and a host's audio thread for blocks off it.

#include <gtest/gtest.h>

#include <juce_audio_processors/juce_audio_processors.h>

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace KvJuceHost
{
constexpr double kRate = 48000.0;
constexpr int kBlock = 256;
constexpr int kNoteBlocks = 8;

using Instance = std::unique_ptr<juce::AudioPluginInstance>;

// Every bundle the build makes.
inline std::vector<std::string> AllBundles()
{
    std::vector<std::string> bundles;
    std::stringstream list(KV_ALL_BUNDLES);
    for (std::string bundle; std::getline(list, bundle, '|');)
        bundles.push_back(bundle);
    return bundles;
}

// Lets JUCE's message loop run for a while: its timers fire (among them the
// one that passes blocks' reports from other threads to the controller) and
// posted messages are delivered.
inline void TurnMessageLoop(int milliseconds = 50)
{
    juce::MessageManager::getInstance()->runDispatchLoopUntil(milliseconds);
}

// The bundle's plug-in, found, created and prepared as a JUCE host does it
// on its message thread.
inline Instance Load(const std::string& bundle)
{
    juce::VST3PluginFormat format;
    juce::OwnedArray<juce::PluginDescription> types;
    format.findAllTypesForFile(types, bundle);
    if (types.isEmpty())
    {
        ADD_FAILURE() << "JUCE finds no plug-in in " << bundle;
        return {};
    }
    juce::String error;
    Instance instance = format.createInstanceFromDescription(*types[0], kRate, kBlock, error);
    if (!instance)
    {
        ADD_FAILURE() << "JUCE cannot create " << bundle << ": " << error;
        return {};
    }
    instance->enableAllBuses();
    instance->prepareToPlay(kRate, kBlock);
    return instance;
}

// A host's audio thread: one thread for the whole run, as a DAW's audio
// callback keeps its thread, given work while the message thread waits for
// it without turning its loop.
class AudioThread
{
public:
    AudioThread() : thread_([this] { Serve(); }) {}
    ~AudioThread()
    {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            quit_ = true;
        }
        changed_.notify_all();
        thread_.join();
    }
    void Run(const std::function<void()>& work)
    {
        std::unique_lock<std::mutex> lock(mutex_);
        work_ = &work;
        done_ = false;
        changed_.notify_all();
        changed_.wait(lock, [this] { return done_; });
    }

private:
    void Serve()
    {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;)
        {
            changed_.wait(lock, [this] { return quit_ || work_; });
            if (quit_)
                return;
            const std::function<void()>* work = std::exchange(work_, nullptr);
            lock.unlock();
            (*work)();
            lock.lock();
            done_ = true;
            changed_.notify_all();
        }
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    const std::function<void()>* work_ = nullptr;
    bool done_ = false, quit_ = false;
    std::thread thread_; // last: it serves the members above
};

// Runs `work` on the message thread, or on the host's audio thread.
inline void On(bool audioThread, const std::function<void()>& work)
{
    static AudioThread audio;
    if (audioThread)
        audio.Run(work);
    else
        work();
}

// `blocks` blocks, the first with a note-on of middle C and its pressure
// (KvPressureSynth's voices sound by it) at its first sample when `note`,
// held to the end, and with `events` when given; every output channel,
// block after block.
inline std::vector<float> Blocks(juce::AudioPluginInstance& instance, int blocks, bool note,
                                 const juce::MidiBuffer* events = nullptr)
{
    const int channels = std::max(instance.getTotalNumInputChannels(), instance.getTotalNumOutputChannels());
    juce::AudioBuffer<float> buffer(channels, kBlock);
    std::vector<float> played;
    for (int b = 0; b < blocks; ++b)
    {
        buffer.clear();
        juce::MidiBuffer midi;
        if (b == 0 && events)
            midi = *events;
        if (note && b == 0)
        {
            midi.addEvent(juce::MidiMessage::noteOn(1, 60, juce::uint8(100)), 0);
            midi.addEvent(juce::MidiMessage::aftertouchChange(1, 60, 100), 0);
        }
        instance.processBlock(buffer, midi);
        for (int c = 0; c < channels; ++c)
            played.insert(played.end(), buffer.getReadPointer(c), buffer.getReadPointer(c) + kBlock);
    }
    return played;
}

// What an instance plays of a held note after a block without one: values
// and programs the host set reach the engine at the latest with that first
// block, so that what is compared does not hang on whether they came with
// it or before. (The engine's oscillators run on between notes: instances
// compared have had as many blocks.)
inline std::vector<float> Play(juce::AudioPluginInstance& instance)
{
    Blocks(instance, 1, false);
    return Blocks(instance, kNoteBlocks, true);
}

inline std::vector<float> PlayOn(bool audioThread, juce::AudioPluginInstance& instance)
{
    std::vector<float> played;
    On(audioThread, [&] { played = Play(instance); });
    return played;
}

inline double Rms(const std::vector<float>& samples)
{
    double sum = 0.0;
    for (float s : samples)
        sum += double(s) * s;
    return samples.empty() ? 0.0 : std::sqrt(sum / double(samples.size()));
}

// Empty when `played` is `reference` sample for sample (within `tolerance`),
// else what differs.
inline std::string SoundDifference(const std::vector<float>& played, const std::vector<float>& reference,
                                   float tolerance = 0.0f)
{
    if (played.size() != reference.size())
        return std::to_string(played.size()) + " samples played for " + std::to_string(reference.size());
    const auto [p, r] = std::mismatch(played.begin(), played.end(), reference.begin(),
                                      [&](float a, float b) { return std::abs(a - b) <= tolerance; });
    if (p == played.end())
        return {};
    std::ostringstream text;
    text << "plays otherwise than the reference from sample " << (p - played.begin()) << " on: " << *p
         << " where it plays " << *r << " (RMS " << Rms(played) << " and " << Rms(reference) << ")";
    return text.str();
}

inline void ExpectSameSound(const std::vector<float>& played, const std::vector<float>& reference,
                            const std::string& what)
{
    ASSERT_GT(Rms(reference), 1e-3) << "the reference for " << what << " is silent";
    const std::string difference = SoundDifference(played, reference);
    EXPECT_TRUE(difference.empty()) << what << " " << difference;
}

// The host parameter of the given VST3 id (the test fails without one).
inline juce::AudioProcessorParameter* Parameter(juce::AudioPluginInstance& instance, int id)
{
    for (juce::AudioProcessorParameter* parameter : instance.getParameters())
        if (auto* hosted = dynamic_cast<juce::HostedAudioProcessorParameter*>(parameter);
            hosted && hosted->getParameterID() == juce::String(id))
            return parameter;
    throw std::runtime_error("no parameter of id " + std::to_string(id));
}

inline juce::MemoryBlock State(juce::AudioPluginInstance& instance)
{
    juce::MemoryBlock state;
    instance.getStateInformation(state);
    return state;
}

inline Instance Restored(const std::string& bundle, const juce::MemoryBlock& state)
{
    Instance instance = Load(bundle);
    if (instance)
        instance->setStateInformation(state.getData(), int(state.getSize()));
    return instance;
}
} // namespace KvJuceHost
