// The build's bundles loaded through JUCE's VST3 hosting, as DAWs built on
// JUCE load them (JUCE's plug-in host, pedalboard, pluginval): programs,
// values and states through juce::AudioPluginInstance, blocks on the message
// thread or on a thread of their own. What JUCE does between the plug-in's
// halves matters here: a block's output parameter changes reach the
// controller at once on the message thread, and from any other thread only
// when JUCE's 60 Hz timer or its next state call passes them on, as
// setParamNormalized calls that look like the host's. Each instance's sound
// is compared sample for sample with one that was given the same values
// only through its blocks.
//
// Runs headless: JUCE's message manager needs no display for this. Set
// KV_JUCE_HOST_SEED to repeat the random values of a failed run.

#include <gtest/gtest.h>

#include <juce_audio_processors/juce_audio_processors.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <condition_variable>
#include <cstdlib>
#include <functional>
#include <memory>
#include <mutex>
#include <random>
#include <stdexcept>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace
{
constexpr double kRate = 48000.0;
constexpr int kBlock = 256;
constexpr int kNoteBlocks = 8;

const std::string kProgramSynth = KV_PROGRAM_SYNTH_BUNDLE;
const std::string kPressureSynth = KV_PRESSURE_SYNTH_BUNDLE;

using Instance = std::unique_ptr<juce::AudioPluginInstance>;

// Every bundle the build makes.
std::vector<std::string> AllBundles()
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
void TurnMessageLoop(int milliseconds = 50)
{
    juce::MessageManager::getInstance()->runDispatchLoopUntil(milliseconds);
}

// The bundle's plug-in, found, created and prepared as a JUCE host does it
// on its message thread.
Instance Load(const std::string& bundle)
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
void On(bool audioThread, const std::function<void()>& work)
{
    static AudioThread audio;
    if (audioThread)
        audio.Run(work);
    else
        work();
}

// `blocks` blocks, the first with a note-on of middle C and its pressure
// (KvPressureSynth's voices sound by it) at its first sample when `note`,
// held to the end; every output channel, block after block.
std::vector<float> Blocks(juce::AudioPluginInstance& instance, int blocks, bool note)
{
    const int channels = std::max(instance.getTotalNumInputChannels(), instance.getTotalNumOutputChannels());
    juce::AudioBuffer<float> buffer(channels, kBlock);
    std::vector<float> played;
    for (int b = 0; b < blocks; ++b)
    {
        buffer.clear();
        juce::MidiBuffer midi;
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
std::vector<float> Play(juce::AudioPluginInstance& instance)
{
    Blocks(instance, 1, false);
    return Blocks(instance, kNoteBlocks, true);
}

std::vector<float> PlayOn(bool audioThread, juce::AudioPluginInstance& instance)
{
    std::vector<float> played;
    On(audioThread, [&] { played = Play(instance); });
    return played;
}

double Rms(const std::vector<float>& samples)
{
    double sum = 0.0;
    for (float s : samples)
        sum += double(s) * s;
    return samples.empty() ? 0.0 : std::sqrt(sum / double(samples.size()));
}

void ExpectSameSound(const std::vector<float>& played, const std::vector<float>& reference, const std::string& what)
{
    ASSERT_GT(Rms(reference), 1e-3) << "the reference for " << what << " is silent";
    ASSERT_EQ(played.size(), reference.size()) << what;
    const auto [p, r] = std::mismatch(played.begin(), played.end(), reference.begin());
    EXPECT_TRUE(p == played.end()) << what << " plays otherwise than the reference from sample "
                                   << (p - played.begin()) << " on: " << *p << " where it plays " << *r
                                   << " (RMS " << Rms(played) << " and " << Rms(reference) << ")";
}

// The host parameter of the given VST3 id (the test fails without one).
juce::AudioProcessorParameter* Parameter(juce::AudioPluginInstance& instance, int id)
{
    for (juce::AudioProcessorParameter* parameter : instance.getParameters())
        if (auto* hosted = dynamic_cast<juce::HostedAudioProcessorParameter*>(parameter);
            hosted && hosted->getParameterID() == juce::String(id))
            return parameter;
    throw std::runtime_error("no parameter of id " + std::to_string(id));
}

juce::MemoryBlock State(juce::AudioPluginInstance& instance)
{
    juce::MemoryBlock state;
    instance.getStateInformation(state);
    return state;
}

Instance Restored(const std::string& bundle, const juce::MemoryBlock& state)
{
    Instance instance = Load(bundle);
    if (instance)
        instance->setStateInformation(state.getData(), int(state.getSize()));
    return instance;
}

// KvProgramSynth's host parameters 0-3 (Wave, a list of seven; Tone and
// Level, 0-10; Steps, 0-12), normalised, as parameters.kv.xml gives each
// program.
using Values = std::array<float, 4>;
const Values kPrograms[3] = {
    {0.0f, 0.5f, 0.8f, 0.0f},
    {1.0f / 6, 0.25f, 0.2f, 7.0f / 12},
    {3.0f / 6, 0.9f, 0.5f, 1.0f},
};

void ExpectValues(juce::AudioPluginInstance& instance, int program, const Values& values, const std::string& what)
{
    EXPECT_EQ(instance.getCurrentProgram(), program) << what;
    for (int id = 0; id < 4; ++id)
    {
        juce::AudioProcessorParameter* parameter = Parameter(instance, id);
        EXPECT_NEAR(parameter->getValue(), values[size_t(id)], 1e-6)
            << what << ": " << parameter->getName(64) << " shows " << parameter->getText(parameter->getValue(), 64);
    }
}

// An instance that had only the program chosen and `blocksBefore` blocks,
// playing a held note.
std::vector<float> ProgramPlayed(int program, bool audioThread, int blocksBefore = 0)
{
    Instance reference = Load(kProgramSynth);
    if (!reference)
        return {};
    reference->setCurrentProgram(program);
    On(audioThread, [&] { Blocks(*reference, blocksBefore, false); });
    return PlayOn(audioThread, *reference);
}
} // namespace

TEST(JuceHost, AProgramChosenAfterABlockOfAnotherIsWhatTheInstanceShowsSavesAndPlays)
{
    // Program 2, one block, program 1 and the state at once, as a JUCE host
    // saving right after a choice does: the block's reports of program 2
    // wait in JUCE when the block ran on the audio thread, and reach the
    // controller at the start of getStateInformation, after the choice.
    for (const bool audioThread : {false, true})
    {
        SCOPED_TRACE(audioThread ? "the block on the audio thread" : "the block on the message thread");
        Instance live = Load(kProgramSynth);
        ASSERT_TRUE(live);
        live->setCurrentProgram(2);
        On(audioThread, [&] { Blocks(*live, 1, false); });
        live->setCurrentProgram(1);
        const juce::MemoryBlock state = State(*live);

        ExpectValues(*live, 1, kPrograms[1], "the live instance");
        Instance restored = Restored(kProgramSynth, state);
        ASSERT_TRUE(restored);
        ExpectValues(*restored, 1, kPrograms[1], "an instance given the state");

        ExpectSameSound(PlayOn(audioThread, *live), ProgramPlayed(1, audioThread, 1), "the live instance");
        ExpectSameSound(PlayOn(audioThread, *restored), ProgramPlayed(1, audioThread), "an instance given the state");
    }
}

TEST(JuceHost, ValuesSetBeforeAProgramChoiceStayWithTheProgramTheyWereSetIn)
{
    // Tone and Level set in program 0, program 1 chosen, the state taken
    // with no block in between: program 1 is shown and played whole, by the
    // instance and by one given the state; program 0, chosen again after the
    // state was taken, shows and plays the values set.
    const float tone = 0.7f, level = 0.35f;
    Instance live = Load(kProgramSynth);
    ASSERT_TRUE(live);
    Parameter(*live, 1)->setValueNotifyingHost(tone);
    Parameter(*live, 2)->setValueNotifyingHost(level);
    live->setCurrentProgram(1);
    const juce::MemoryBlock state = State(*live);

    Instance edited = Load(kProgramSynth);
    ASSERT_TRUE(edited);
    Parameter(*edited, 1)->setValueNotifyingHost(tone);
    Parameter(*edited, 2)->setValueNotifyingHost(level);
    const std::vector<float> editedPlayed = Play(*edited);
    const std::vector<float> programPlayed = ProgramPlayed(1, false);

    ExpectValues(*live, 1, kPrograms[1], "the live instance");
    ExpectSameSound(Play(*live), programPlayed, "the live instance");
    Instance restored = Restored(kProgramSynth, state);
    ASSERT_TRUE(restored);
    ExpectValues(*restored, 1, kPrograms[1], "an instance given the state");
    ExpectSameSound(Play(*restored), programPlayed, "an instance given the state");

    // The state holds the program that plays; the instance it was taken
    // from keeps the values set in program 0 for when it is chosen again.
    Instance back = Load(kProgramSynth);
    ASSERT_TRUE(back);
    Parameter(*back, 1)->setValueNotifyingHost(tone);
    Parameter(*back, 2)->setValueNotifyingHost(level);
    back->setCurrentProgram(1);
    State(*back);
    back->setCurrentProgram(0);
    ExpectValues(*back, 0, {kPrograms[0][0], tone, level, kPrograms[0][3]}, "program 0 chosen again after the state");
    ExpectSameSound(Play(*back), editedPlayed, "program 0 chosen again after the state");
}

TEST(JuceHost, EveryBundleGivenBackItsStateShowsTheValuesItWasTakenWithWhileLeftPrepared)
{
    // pluginval's state restoration: blocks on a thread of the host's own,
    // then (the instance left prepared, no more blocks) random values on
    // every automatable parameter but the bypass and the state taken; then
    // for each parameter another random value and the state set again, and
    // the state taken once more is the one set. The blocks' reports reach
    // the controller through JUCE's timer before the values are set, as
    // under pluginval's turning message loop; for the three instruments
    // also only at the start of getStateInformation, as in a JUCE host
    // that saves before its loop turns. The test plug-in of the platform
    // layer (no bypass) keeps no state.
    const char* given = std::getenv("KV_JUCE_HOST_SEED");
    const unsigned seed = given ? unsigned(std::strtoul(given, nullptr, 10)) : std::random_device{}();
    SCOPED_TRACE("KV_JUCE_HOST_SEED=" + std::to_string(seed));
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> uniform(0.0f, 1.0f);

    int tried = 0;
    for (const std::string& bundle : AllBundles())
        for (const bool loopTurned : {true, false})
        {
            if (!loopTurned && bundle != KV_DEMO_SYNTH_BUNDLE && bundle != kProgramSynth && bundle != kPressureSynth)
                continue;
            SCOPED_TRACE(bundle + (loopTurned ? ", the blocks' reports passed on by the timer"
                                              : ", the blocks' reports passed on by getStateInformation"));
            Instance instance = Load(bundle);
            ASSERT_TRUE(instance);
            if (!instance->getBypassParameter())
                continue;
            ++tried;
            On(true, [&] { Blocks(*instance, 4, true); });
            if (loopTurned)
                TurnMessageLoop();

            std::vector<juce::AudioProcessorParameter*> parameters;
            for (juce::AudioProcessorParameter* parameter : instance->getParameters())
                if (parameter->isAutomatable() && parameter != instance->getBypassParameter())
                    parameters.push_back(parameter);
            for (juce::AudioProcessorParameter* parameter : parameters)
                parameter->setValue(uniform(random));
            std::vector<float> first;
            for (juce::AudioProcessorParameter* parameter : parameters)
                first.push_back(parameter->getValue());
            const juce::MemoryBlock state = State(*instance);

            // Within 0.1 of the value the state was taken with; a list by
            // the entry it plays.
            std::vector<std::string> wrong;
            const auto check = [&](size_t i, const std::string& when) {
                const juce::AudioProcessorParameter& parameter = *parameters[i];
                const float now = parameter.getValue();
                const juce::String shown = parameter.getText(now, 64), meant = parameter.getText(first[i], 64);
                if (parameter.isDiscrete() ? shown != meant : std::abs(now - first[i]) > 0.1f)
                    wrong.push_back(parameter.getName(64).toStdString() + " shows " + shown.toStdString() + " (" +
                                    std::to_string(now) + ") for " + meant.toStdString() + " (" +
                                    std::to_string(first[i]) + ") " + when);
            };
            for (size_t i = 0; i < parameters.size(); ++i)
                check(i, "once the state was taken");
            for (size_t i = 0; i < parameters.size(); ++i)
            {
                parameters[i]->setValue(uniform(random));
                instance->setStateInformation(state.getData(), int(state.getSize()));
                check(i, "after another value of it and the state set");
            }
            std::string list;
            for (const std::string& line : wrong)
                list += "\n  " + line;
            EXPECT_TRUE(wrong.empty()) << wrong.size() << " value(s) not restored:" << list;
            EXPECT_TRUE(State(*instance) == state) << "the state taken again differs from the state set";
        }
    EXPECT_GE(tried, 4) << "too few bundles keep a state";
}

TEST(JuceHost, AVolumeBoundToAControllerComesThroughTheRecreationPedalboardDoes)
{
    // KvPressureSynth's Volume (id 5) answers to MIDI controller 7, whose
    // parameter (id 10007) shows Volume's value. pedalboard saves the
    // state, loads it into a new instance and writes every value of its
    // copy of the old instance's parameters that the new one reads
    // otherwise, in index order, twice; a controller's value written back
    // reaches the patch as its MIDI message.
    const float volume = 0.5f;
    Instance old = Load(kPressureSynth);
    ASSERT_TRUE(old);
    Parameter(*old, 5)->setValueNotifyingHost(volume);
    const juce::MemoryBlock state = State(*old);
    EXPECT_EQ(Parameter(*old, 10007)->getValue(), Parameter(*old, 5)->getValue())
        << "the parameter of controller 7 shows another value than Volume";

    Instance recreated = Restored(kPressureSynth, state);
    ASSERT_TRUE(recreated);
    const juce::Array<juce::AudioProcessorParameter*>& was = old->getParameters();
    const juce::Array<juce::AudioProcessorParameter*>& is = recreated->getParameters();
    ASSERT_EQ(was.size(), is.size());
    for (int pass = 0; pass < 2; ++pass)
        for (int i = 0; i < was.size(); ++i)
            if (was[i]->getValue() != is[i]->getValue())
                is[i]->setValue(was[i]->getValue());

    Instance direct = Load(kPressureSynth);
    ASSERT_TRUE(direct);
    Parameter(*direct, 5)->setValueNotifyingHost(volume);
    ExpectSameSound(Play(*recreated), Play(*direct), "the re-created instance");
}

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    const juce::ScopedJuceInitialiser_GUI juce;
    return RUN_ALL_TESTS();
}
