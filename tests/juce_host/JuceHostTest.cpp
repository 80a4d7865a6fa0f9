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

#include "JuceHost.h"

#include <array>
#include <cstdlib>
#include <random>

using namespace KvJuceHost;

namespace
{
const std::string kProgramSynth = KV_PROGRAM_SYNTH_BUNDLE;
const std::string kPressureSynth = KV_PRESSURE_SYNTH_BUNDLE;

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
