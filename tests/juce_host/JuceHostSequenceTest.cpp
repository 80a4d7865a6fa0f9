// Random host sequences through JUCE's VST3 hosting, each step compared with
// a plain model of what the host did: the last host action wins; a program
// choice brings that program's memory (the document's values, or those it
// had when it was left); an edit goes into the program that plays; a value
// written back as read changes nothing; a MIDI controller bound to a patch
// parameter moves it as the engine normalises a controller; a state brings
// back the program, the values and the bypass.
//
// The hosts are played on the threads they really use:
// - a DAW built on JUCE: blocks back to back on an audio thread of the
//   test's own while the message thread sets values, chooses programs and
//   takes and sets states; the message loop turns on its own timers between
//   actions (JUCE passes what it holds for the controller there), values
//   and programs come from a worker too, and programs in quick succession
//   the way Qtractor chooses them (the controller told on the worker);
// - a script (DawDreamer, pedalboard): blocks rendered on a thread of their
//   own or on the thread that made the instance, values and programs set from
//   another thread, so that JUCE tells the controller nothing until a state
//   call; the message loop never turns;
// - pluginval: blocks on a worker, states taken and set on the message
//   thread while the worker plays, the instance left prepared.
//
// After every step JUCE's copy of each value and the controller's own are
// compared with the model, a state read from the plug-in (without JUCE's
// flush) is given to a new instance that must show and play the model's
// values, and, for the bundles that hold a tone, what the live instance
// plays is compared with what a fresh instance plays with the model's values.
// What races by nature (a value the host set that no block has carried yet,
// a report of the engine's own move waiting in JUCE for the message thread)
// is compared once it has settled: a further block has run, the loop has
// turned or a state call has passed JUCE's cache on.
//
// A failure prints the sequence's seed and a sequence cut down to what still
// fails the same way. KV_JUCE_SEQ_SEED moves the base seed;
// KV_JUCE_SEQ_ONLY=<seed> runs that one sequence in each case the filter
// selects (or the named order, for the orders below).

#include "JuceHost.h"

#include "pluginterfaces/vst/ivstcomponent.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"
#include "public.sdk/source/common/memorystream.h"
#include "public.sdk/source/vst/vstcomponentbase.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <map>
#include <optional>
#include <random>
#include <set>

using namespace KvJuceHost;

namespace
{
constexpr int kProgramParameter = 10130, kBypassParameter = 10131, kFirstController = 10000;
// Sequences per case, by Style: the DAW and pluginval spend time waiting
// for JUCE's timers.
constexpr int kSequences[] = {14, 60, 16};
constexpr int kShards = 2;
// A value's last bit, as a state's text and a host's float give it, moves a
// sample by less than this.
constexpr float kSoundTolerance = 1e-5f;
constexpr int kSettleMilliseconds = 50; // past JUCE's 60 Hz dispatcher and the controller's 40 ms timer
// The live sound: blocks let pass after a change (the modules' smoothing),
// then blocks measured; windows of the reference that show how much a
// sound's windows differ (a pink noise's level moves by up to a third from one
// window to another: a few windows show too little of that).
constexpr int kSoundSkip = 4, kSoundWindow = 8, kSpreadWindows = 32;

// A host parameter with a patch value: continuous (steps 0) or of
// steps + 1 positions; normalised per program; the MIDI controller bound
// to it, or -1.
struct Value
{
    int id, steps;
    std::vector<float> programs;
    int controller = -1;
};

struct Bundle
{
    const char* name;
    std::string path;
    int programs;
    std::vector<Value> values;
    bool hearsControllers = true; // host MIDI reaches the patch automator
    bool heldTone = false;        // plays a tone without notes, steady once values settle
    int pitch = -1;               // the value that sets the tone's pitch over two octaves, or -1
};

// As the documents give them (parameters.kv.xml, dsp.kv.xml).
const std::vector<Bundle>& Bundles()
{
    const auto synth = [](float volume, int controller) {
        return std::vector<Value>{{0, 6, {0}},   {1, 0, {0}},   {2, 0, {0.3f}},
                                  {3, 0, {0.7f}}, {4, 0, {0.3f}}, {5, 0, {volume}, controller}};
    };
    static const std::vector<Bundle> bundles = {
        {"DemoSynth", KV_DEMO_SYNTH_BUNDLE, 1, synth(0.16f, -1)},
        {"PressureSynth", KV_PRESSURE_SYNTH_BUNDLE, 1, synth(0.8f, 7)},
        {"ProgramSynth",
         KV_PROGRAM_SYNTH_BUNDLE,
         3,
         {{0, 6, {0, 1 / 6.0f, 3 / 6.0f}},
          {1, 0, {0.5f, 0.25f, 0.9f}},
          {2, 0, {0.8f, 0.2f, 0.5f}},
          {3, 12, {0, 7 / 12.0f, 1}}},
         false,
         true},
        {"BoundProgramSynth",
         KV_BOUND_PROGRAM_SYNTH_BUNDLE,
         3,
         {{0, 4, {0, 0.25f, 0.75f}}, {1, 0, {0.8f, 0.5f, 0.2f}, 7}, {2, 0, {0.5f, 0.75f, 0.25f}}},
         true,
         true,
         2},
        {"MidiParameters", KV_MIDI_PARAMETERS_BUNDLE, 3, {}},
        {"ValueTypes",
         KV_VALUE_TYPES_BUNDLE,
         1,
         {{0, 0, {0.4f}, 20},
          {2, 127, {64 / 127.0f}, 21},
          {3, 2, {0.5f}, 22},
          {4, 1, {0}, 23},
          {5, 8, {0.625f}},
          {6, 0, {0.625f}},
          {7, 1, {1}},
          {8, 0, {0}},
          {9, 0, {0}},
          {10, 0, {0}},
          {11, 1, {1}}},
         false},
    };
    return bundles;
}

enum class Style
{
    Daw,       // blocks back to back on an audio thread, the message loop turning between actions
    Script,    // DawDreamer, pedalboard: renders on request, values from another thread, no message loop
    Pluginval, // blocks on a worker, states on the message thread meanwhile, the instance left prepared
};
const char* const kStyleNames[] = {"daw", "script", "pluginval"};

enum class Kind
{
    Set,       // setValue / setValueNotifyingHost; target -1 the program, -2 the bypass
    Program,   // setCurrentProgram
    Run,       // blocks, perhaps with a MIDI controller in the first
    Burst,     // programs chosen one after another on a worker while blocks run
    Settle,    // the message loop turned long enough for every timer
    Recreate,  // the state given to a new instance, which plays on
    Save,      // getStateInformation, kept
    Restore,   // the kept state set back
    WriteBack, // every value read and written back, then a block
};

// The host's thread for an action.
enum class Where
{
    Message, // JUCE's message thread
    Other,   // another thread of the host's (a script's thread, a DAW's worker)
    Audio,   // the host's audio thread (blocks)
};

struct Action
{
    Kind kind = Kind::Set;
    int target = 0;
    float value = 0;
    Where where = Where::Message;
    bool notify = false;
    int blocks = 0, controlled = -1, controllerValue = 0; // controlled: the index of the value moved
    bool byParameter = false;     // the controller set on its parameter, not in MIDI
    bool settle = false;          // the DAW's message loop turned past its timers after the action
    bool overlap = false;         // the next action follows at once (pluginval: while these blocks play)
    std::vector<int> programs;    // Burst: the programs chosen, in order
    std::vector<bool> blockAfter; // Burst: a block played after each choice
};

std::string Describe(const Bundle& bundle, const Action& a)
{
    std::ostringstream text;
    const auto name = [&](int target) {
        return target == -1 ? std::string("program") : target == -2 ? std::string("bypass")
                                                                   : "id " + std::to_string(bundle.values[size_t(target)].id);
    };
    switch (a.kind)
    {
    case Kind::Set:
        text << (a.notify ? "setValueNotifyingHost(" : "setValue(") << name(a.target) << ", " << a.value << ")";
        break;
    case Kind::Program:
        text << "setCurrentProgram(" << a.target << ")";
        break;
    case Kind::Run:
        text << a.blocks << " block(s)";
        if (a.controlled >= 0)
            text << ", controller " << bundle.values[size_t(a.controlled)].controller << " = " << a.controllerValue
                 << (a.byParameter ? " by its parameter" : " in MIDI");
        break;
    case Kind::Burst:
        text << "setCurrentProgram";
        for (size_t i = 0; i < a.programs.size(); ++i)
            text << (i ? ", " : "(") << a.programs[i] << (a.blockAfter[i] ? " +block" : "");
        text << ") in quick succession, the controller told there";
        break;
    case Kind::Settle:
        text << "message loop turned " << kSettleMilliseconds << " ms";
        break;
    case Kind::Recreate:
        text << "state given to a new instance";
        break;
    case Kind::Save:
        text << "state taken";
        break;
    case Kind::Restore:
        text << "state set back";
        break;
    case Kind::WriteBack:
        text << "every value read and written back" << (a.blocks ? ", one block" : "");
        break;
    }
    if (a.overlap)
        text << (a.kind == Kind::Run ? ", playing on during the next action" : ", the next action at once");
    if (a.where == Where::Other)
        text << " on another thread";
    else if (a.kind == Kind::Run && a.where == Where::Message)
        text << " on the message thread";
    if (a.settle)
        text << ", loop turned";
    return text.str();
}

// Where the style calls from: the script sets from its own thread mostly,
// the DAW from a worker sometimes.
Where HostThread(Style style, const std::function<bool(double)>& chance)
{
    if (style == Style::Script)
        return chance(0.7) ? Where::Other : Where::Message;
    if (style == Style::Daw)
        return chance(0.2) ? Where::Other : Where::Message;
    return Where::Message;
}

bool ChoosesProgram(const Action& a)
{
    return a.kind == Kind::Program || a.kind == Kind::Burst || (a.kind == Kind::Set && a.target == -1);
}

// The orders of host calls whose outcome no plug-in can tell, left out of
// the sequences (and out of their cut-down forms).
struct Races
{
    // Values a controller moved in a block off the message thread: JUCE
    // holds their reports until its timer or its next state call passes
    // them to the controller, after whatever the host did meanwhile. A host
    // that sets such a value (or chooses a program) before then meets the
    // race the plug-in cannot see.
    std::set<int> reportsHeld;
    // What the host set on another thread that no block has carried yet:
    // JUCE holds it for the controller and the next block. A program chosen
    // besides, or the same value set on the message thread, would reach the
    // plug-in in an order no host call shows.
    std::set<int> pending;
    // A bound controller's parameter whose copy in JUCE waits for the plug-in
    // to be called on the message thread: its value was set off it, or a
    // program chosen there. A script that reads every copy before any call
    // writes back one the engine has left.
    std::set<int> bound;
    bool copiesBehind = false;
    // What the host set on the message thread that no block has carried
    // yet: the same figure set again on another thread goes in the same
    // block point, whose twin on the controller is the first; JUCE passes
    // the second's copy to the controller late, when it is older than
    // whatever the host set since.
    std::map<int, float> uncarried;
    // What the host set on another thread whose copy JUCE holds for the
    // controller until its loop turns or a state call: the same figure set
    // on the message thread meanwhile reads as that late copy.
    std::map<int, float> held;
    // Programs chosen in quick succession on a worker, the next action at
    // once: JUCE holds the last for the controller, and a program chosen on
    // the message thread reaches the controller before it (JUCE's push there
    // leaves its cache as it is), while no block has carried the held one.
    bool burstHeld = false;
    int programs = 1;

    // A value's index, -1 the program, -2 the bypass; and the figure set.
    static int Target(const Action& a) { return a.kind == Kind::Program ? -1 : a.target; }
    float Figure(const Action& a) const
    {
        return a.kind == Kind::Program ? float(a.target) / float(std::max(programs - 1, 1)) : a.value;
    }
    bool SameFigure(const std::map<int, float>& set, const Action& a, Where where) const
    {
        const auto found = set.find(Target(a));
        return (a.kind == Kind::Set || a.kind == Kind::Program) && a.where == where && found != set.end() &&
               found->second == Figure(a);
    }

    bool Allows(Style style, const Action& a) const
    {
        const bool program = ChoosesProgram(a);
        if (burstHeld && program && a.where == Where::Message)
            return false;
        if (!reportsHeld.empty() && program)
            return false;
        if (a.kind == Kind::Set && reportsHeld.count(a.target))
            return false;
        if (a.kind == Kind::Run && a.controlled >= 0 && reportsHeld.count(a.controlled) && a.where == Where::Message)
            return false;
        if (style == Style::Script && a.kind == Kind::WriteBack && (!reportsHeld.empty() || copiesBehind))
            return false;
        if (SameFigure(uncarried, a, Where::Other) || SameFigure(held, a, Where::Other) ||
            SameFigure(held, a, Where::Message))
            return false;
        return pending.empty() ||
               !(program || a.kind == Kind::WriteBack ||
                 (a.kind == Kind::Set && (pending.count(-1) || (a.where == Where::Message && pending.count(a.target)))));
    }
    void After(Style style, const Action& a)
    {
        burstHeld = a.kind == Kind::Burst && a.overlap;
        const bool call = a.where == Where::Message && (a.kind == Kind::Set || a.kind == Kind::Program);
        if (call && pending.empty())
            copiesBehind = false;
        if (a.where == Where::Other && !bound.empty() &&
            (ChoosesProgram(a) || (a.kind == Kind::Set && bound.count(a.target))))
            copiesBehind = true;
        if (a.kind == Kind::Run && a.controlled >= 0 && a.where != Where::Message)
            reportsHeld.insert(a.controlled);
        if ((a.kind == Kind::Set || a.kind == Kind::Program) && a.where == Where::Other)
            pending.insert(a.kind == Kind::Program ? -1 : a.target);
        if (a.kind == Kind::Set || a.kind == Kind::Program)
            (a.where == Where::Message ? uncarried : held)[Target(a)] = Figure(a);
        if (a.kind == Kind::Run || a.kind == Kind::WriteBack || style == Style::Daw)
            pending.clear(), uncarried.clear(); // the DAW's blocks run on
        if (a.kind == Kind::Settle || a.kind == Kind::Save || a.kind == Kind::Restore || a.kind == Kind::Recreate ||
            a.kind == Kind::WriteBack || a.settle)
            reportsHeld.clear(), pending.clear(), copiesBehind = false;
        if (a.kind == Kind::Settle || a.kind == Kind::Save || a.kind == Kind::Restore || a.kind == Kind::Recreate ||
            a.settle)
            held.clear();
    }
};

std::set<int> Bound(const Bundle& bundle)
{
    std::set<int> bound;
    for (size_t i = 0; i < bundle.values.size(); ++i)
        if (bundle.values[i].controller >= 0)
            bound.insert(int(i));
    return bound;
}

bool Valid(const Bundle& bundle, Style style, const std::vector<Action>& actions)
{
    Races races;
    races.bound = Bound(bundle);
    races.programs = bundle.programs;
    for (const Action& a : actions)
    {
        if (!races.Allows(style, a))
            return false;
        races.After(style, a);
    }
    return true;
}

std::vector<Action> Generate(const Bundle& bundle, Style style, uint64_t seed)
{
    std::mt19937_64 random(seed);
    const auto below = [&](int n) { return int(random() % uint64_t(n)); };
    const std::function<bool(double)> chance = [&](double p) {
        return std::uniform_real_distribution<double>(0, 1)(random) < p;
    };
    Races races;
    races.bound = Bound(bundle);
    races.programs = bundle.programs;
    const std::vector<int> bound(races.bound.begin(), races.bound.end());
    // Earlier values of each target, so that values repeat what the host
    // or the engine had before.
    std::map<int, std::vector<float>> history;
    for (size_t i = 0; i < bundle.values.size(); ++i)
        history[int(i)] = bundle.values[i].programs;
    // A script renders on the thread that made the instance (pedalboard) or
    // on a thread of its own (DawDreamer's callers).
    const Where render = style == Style::Script && chance(0.3) ? Where::Message : Where::Audio;
    const int count = 4 + below(13);
    std::vector<Action> actions;
    bool saved = false, longRun = false;
    const auto run = [&](int blocks) {
        Action a;
        a.kind = Kind::Run;
        a.blocks = blocks;
        a.where = style == Style::Script ? render : Where::Audio;
        return a;
    };
    while (int(actions.size()) < count)
    {
        Action a;
        const int roll = below(100);
        if (roll < 30)
        {
            a = run(chance(0.5) ? 1 + below(9) : 10 + below(91));
            if (!bound.empty() && chance(0.5))
            {
                a.controlled = bound[size_t(below(int(bound.size())))];
                const std::vector<float>& was = history[a.controlled];
                a.controllerValue = chance(0.3) ? int(std::lround(was[size_t(below(int(was.size())))] * 127)) : below(128);
                a.byParameter = chance(0.5);
            }
        }
        else if (roll < 40 && bundle.programs > 1)
        {
            a.kind = Kind::Program;
            a.target = below(bundle.programs);
            a.where = HostThread(style, chance);
        }
        else if (roll < 44 && bundle.programs > 1 && style == Style::Daw)
        {
            a.kind = Kind::Burst;
            a.where = Where::Other;
            for (int n = 2 + below(3); n > 0; --n)
            {
                a.programs.push_back(below(bundle.programs));
                a.blockAfter.push_back(chance(0.5));
            }
            a.overlap = chance(0.5); // the user's next action follows at once
        }
        else if (roll < 49 && style == Style::Pluginval)
            a.kind = Kind::Settle;
        else if (roll < 54)
            a.kind = Kind::Recreate;
        else if (roll < 59)
            a.kind = Kind::Save, saved = true;
        else if (roll < 64 && saved)
            a.kind = Kind::Restore;
        else if (roll < 70)
            a.kind = Kind::WriteBack, a.blocks = 1;
        else
        {
            a.kind = Kind::Set;
            a.notify = chance(0.5);
            a.where = HostThread(style, chance);
            const int targets = int(bundle.values.size()) + 2;
            a.target = below(targets) - 2;
            if (a.target == -1 && bundle.programs < 2)
                a.target = -2;
            if (a.target == -1)
                a.value = float(below(bundle.programs)) / float(bundle.programs - 1);
            else if (a.target == -2)
                a.value = float(below(2));
            else
            {
                const Value& v = bundle.values[size_t(a.target)];
                std::vector<float>& was = history[a.target];
                a.value = chance(0.35)  ? was[size_t(below(int(was.size())))]
                          : v.steps > 0 ? float(below(v.steps + 1)) / float(v.steps)
                                        : std::uniform_real_distribution<float>(0, 1)(random);
                was.push_back(a.value);
            }
        }
        if (style == Style::Script && (a.kind == Kind::Settle || a.kind == Kind::Burst))
            continue;
        if (style == Style::Daw)
            a.settle = chance(0.4);
        // The races the plug-in cannot see are left out.
        if (!races.reportsHeld.empty() && ChoosesProgram(a))
        {
            a = Action{};
            a.target = -2, a.value = float(below(2));
        }
        if (a.kind == Kind::Set && races.reportsHeld.count(a.target))
            a.target = -2, a.value = float(below(2));
        if (a.kind == Kind::Run && a.controlled >= 0 && races.reportsHeld.count(a.controlled) &&
            a.where == Where::Message)
            a.controlled = -1;
        if (style == Style::Script && a.kind == Kind::WriteBack && (!races.reportsHeld.empty() || races.copiesBehind))
            a.kind = Kind::Save, saved = true;
        if (!races.Allows(style, a))
        {
            actions.push_back(run(1)); // what the host set on another thread, carried first
            races.After(style, actions.back());
        }
        if (!races.Allows(style, a))
            continue;
        races.After(style, a);
        if (a.kind == Kind::Run && a.controlled >= 0)
            history[a.controlled].push_back(a.controllerValue / 127.0f);
        longRun = longRun || a.blocks > int(kRate / 20 / kBlock);
        actions.push_back(a);
    }
    // pluginval takes and sets states while its worker plays.
    if (style == Style::Pluginval)
        for (size_t i = 0; i + 1 < actions.size(); ++i)
            if (actions[i].kind == Kind::Run && actions[i].controlled < 0 &&
                (actions[i + 1].kind == Kind::Save || actions[i + 1].kind == Kind::Restore))
                actions[i].overlap = true;
    // Most sequences play more than a twentieth of a second in one run.
    if (!longRun && chance(0.9))
        actions.insert(actions.begin() + below(int(actions.size()) + 1), run(10 + below(91)));
    return actions;
}

// The plug-in's component and its controller, reached as the component's
// connection peer.
struct Halves
{
    Steinberg::Vst::IComponent* component = nullptr;
    Steinberg::Vst::IEditController* controller = nullptr;
};

Halves Reach(juce::AudioPluginInstance& instance)
{
    struct Visitor : juce::ExtensionsVisitor
    {
        void visitVST3Client(const VST3Client& client) override { component = client.getIComponentPtr(); }
        Steinberg::Vst::IComponent* component = nullptr;
    } visitor;
    instance.getExtensions(visitor);
    Steinberg::FUnknownPtr<Steinberg::Vst::IConnectionPoint> point(visitor.component);
    if (!point)
        return {};
    Steinberg::FUnknownPtr<Steinberg::Vst::IEditController> controller(
        static_cast<Steinberg::Vst::ComponentBase*>(point.get())->getPeer());
    return {visitor.component, controller.get()}; // the instance holds both
}

// The state as JUCE would save it, read from the plug-in's halves directly:
// JUCE's own read first passes the values it holds for the controller on,
// which would settle the very races a step leaves open.
juce::MemoryBlock PluginState(juce::AudioPluginInstance& instance)
{
    const Halves halves = Reach(instance);
    juce::XmlElement state("VST3PluginState");
    const auto append = [&](auto* half, const char* name) {
        Steinberg::MemoryStream stream;
        if (half && half->getState(&stream) == Steinberg::kResultTrue)
            state.createNewChildElement(name)->addTextElement(
                juce::MemoryBlock(stream.getData(), size_t(stream.getSize())).toBase64Encoding());
    };
    append(halves.component, "IComponent");
    append(halves.controller, "IEditController");
    juce::MemoryBlock data;
    juce::AudioProcessor::copyXmlToBinary(state, data);
    return data;
}

// The engine's position of a normalised value of steps + 1 positions.
int Position(int steps, double normalised)
{
    return int(std::min<double>(steps, std::floor(std::clamp(normalised, 0.0, 1.0) * (steps + 1))));
}

bool Same(int steps, double seen, double meant)
{
    return steps > 0 ? Position(steps, seen) == Position(steps, meant) : std::abs(seen - meant) <= 1e-4;
}

// What the engine makes of a value of `steps`, normalised back.
float Engine(int steps, float normalised)
{
    return steps > 0 ? float(Position(steps, normalised)) / float(steps) : normalised;
}

// A steady sound's measures, whatever its phase: its level, the level of
// its slope (the waveform's edges and pitch) and the share of the slope's
// energy that rises (a saw from a ramp).
struct Print
{
    double level = 0, slope = 0, rising = 0;
};

Print Measure(const std::vector<float>& samples)
{
    double level = 0, slope = 0, rising = 0;
    for (size_t i = 0; i < samples.size(); ++i)
    {
        level += double(samples[i]) * samples[i];
        if (i % kBlock == 0) // the channels lie block by block
            continue;
        const double step = double(samples[i]) - samples[i - 1];
        slope += step * step;
        rising += step > 0 ? step * step : 0;
    }
    const double n = std::max<double>(1, double(samples.size()));
    return {std::sqrt(level / n), std::sqrt(slope / n), slope > 0 ? rising / slope : 0.5};
}

// Empty when `played` measures as `meant` within twice the spread that
// `meant`'s own windows show (noise has some) and 3% besides.
std::string PrintDifference(const Print& played, const Print& meant, const Print& spread)
{
    const auto near = [](double a, double b, double apart) {
        return std::abs(a - b) <= std::max({0.03 * std::abs(b), 1e-4, 2 * apart});
    };
    const bool same = near(played.level, meant.level, spread.level) && near(played.slope, meant.slope, spread.slope) &&
                      (meant.level < 1e-3 || std::abs(played.rising - meant.rising) <= std::max(0.05, 2 * spread.rising));
    if (same)
        return {};
    std::ostringstream text;
    text << "plays at level " << played.level << ", slope " << played.slope << ", rising " << played.rising
         << " where the model's values play " << meant.level << ", " << meant.slope << ", " << meant.rising;
    return text.str();
}

struct Failure
{
    std::string kind, detail;
};

// What the host has done, as the host sees it.
struct Model
{
    std::vector<std::vector<float>> memory; // [program][value]
    int program = 0;
    bool bypass = false;
    // A value a controller moved in a block off the message thread: its
    // report waits, in JUCE or the plug-in, for the message thread.
    std::vector<std::vector<bool>> waiting; // [program][value]
    std::vector<bool> controllerShown;      // a bound controller's parameter shows its value
    bool hears = true;                      // the bundle's controllers move their values
    // Targets (value index, -1 the program, -2 the bypass) the host set on
    // another thread that no block has carried and no flush has passed on.
    std::set<int> pending;
    // Values whose copy in JUCE waits for the message thread: those of a
    // program chosen off it (JUCE rereads the values only when the plug-in
    // asks it to there), and a bound controller's parameter when its value
    // was set off it.
    std::vector<bool> copyBehind, controllerCopyBehind;

    float& At(size_t i) { return memory[size_t(program)][i]; }
    void Settled()
    {
        for (auto& values : waiting)
            std::fill(values.begin(), values.end(), false);
        if (hears)
            std::fill(controllerShown.begin(), controllerShown.end(), true);
        pending.clear();
        std::fill(copyBehind.begin(), copyBehind.end(), false);
        std::fill(controllerCopyBehind.begin(), controllerCopyBehind.end(), false);
    }
    // The plug-in was called on the message thread after a block.
    void MessageThreadCall()
    {
        if (pending.empty())
        {
            std::fill(copyBehind.begin(), copyBehind.end(), false);
            std::fill(controllerCopyBehind.begin(), controllerCopyBehind.end(), false);
        }
    }
    void ProgramOffMessageThread()
    {
        pending.insert(-1);
        std::fill(copyBehind.begin(), copyBehind.end(), true);
        std::fill(controllerCopyBehind.begin(), controllerCopyBehind.end(), true);
    }
    // A block ran after everything set so far.
    void Carried() { pending.clear(); }
    std::string Key() const
    {
        std::ostringstream key;
        key << program << ' ' << bypass;
        for (float v : memory[size_t(program)])
            key << ' ' << v;
        return key.str();
    }
};

Model Initial(const Bundle& bundle)
{
    Model model;
    for (int p = 0; p < bundle.programs; ++p)
    {
        model.memory.emplace_back();
        for (const Value& v : bundle.values)
            model.memory.back().push_back(v.programs[v.programs.size() > 1 ? size_t(p) : 0]);
        model.waiting.emplace_back(bundle.values.size(), false);
    }
    model.controllerShown.assign(bundle.values.size(), true);
    model.copyBehind.assign(bundle.values.size(), false);
    model.controllerCopyBehind.assign(bundle.values.size(), false);
    model.hears = bundle.hearsControllers;
    return model;
}

// The host's audio: the test's own thread playing blocks, back to back for
// a DAW (paced as a sound card paces them) or as many as asked for a render,
// keeping what the last blocks played.
class HostAudio
{
public:
    HostAudio(juce::AudioPluginInstance& instance, bool continuous)
        : instance_(instance), continuous_(continuous), thread_([this] { Serve(); })
    {
    }
    ~HostAudio()
    {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            quit_ = true;
        }
        changed_.notify_all();
        thread_.join();
    }

    // `blocks` more blocks; `events` go in the next block, `before` runs on
    // the audio thread before it.
    void Play(int blocks, const juce::MidiBuffer& events = {}, std::function<void()> before = {})
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        queued_ += blocks;
        events_.addEvents(events, 0, -1, 0);
        before_ = std::move(before);
        changed_.notify_all();
    }
    // Blocks played on the calling thread, recorded as the audio thread's.
    void PlayHere(int blocks, const juce::MidiBuffer& events, const std::function<void()>& before)
    {
        WaitIdle();
        if (before)
            before();
        for (int b = 0; b < blocks; ++b)
            Record(KvJuceHost::Blocks(instance_, 1, false, b == 0 ? &events : nullptr));
    }
    uint64_t Done()
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        return done_;
    }
    // Until `count` blocks in all have been played; false when they never are.
    bool WaitDone(uint64_t count)
    {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(20), [&] { return done_ >= count; });
    }
    bool Further(int blocks) { return WaitDone(Done() + uint64_t(blocks) + 1); } // +1: the one playing now
    bool WaitIdle()
    {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(20), [&] { return queued_ == 0 && !busy_; });
    }
    // What the last `blocks` blocks played, block after block.
    std::vector<float> Last(int blocks)
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        std::vector<float> samples;
        for (size_t b = recent_.size() - std::min(recent_.size(), size_t(blocks)); b < recent_.size(); ++b)
            samples.insert(samples.end(), recent_[b].begin(), recent_[b].end());
        return samples;
    }

private:
    void Record(std::vector<float> block)
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        Keep(std::move(block));
    }
    // With the mutex held.
    void Keep(std::vector<float> block)
    {
        recent_.push_back(std::move(block));
        if (recent_.size() > size_t(kSoundWindow))
            recent_.pop_front();
        ++done_;
        changed_.notify_all();
    }

    void Serve()
    {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;)
        {
            changed_.wait(lock, [this] { return quit_ || continuous_ || queued_ > 0; });
            if (quit_)
                return;
            juce::MidiBuffer events;
            events.swapWith(events_);
            const std::function<void()> before = std::exchange(before_, {});
            busy_ = true;
            lock.unlock();
            if (before)
                before();
            std::vector<float> played = KvJuceHost::Blocks(instance_, 1, false, &events);
            lock.lock();
            busy_ = false;
            queued_ = std::max(0, queued_ - 1);
            Keep(std::move(played));
            if (continuous_) // the sound card's next period
                changed_.wait_for(lock, std::chrono::microseconds(200), [this] { return quit_; });
        }
    }

    juce::AudioPluginInstance& instance_;
    const bool continuous_;
    std::mutex mutex_;
    std::condition_variable changed_;
    int queued_ = 0;
    bool busy_ = false, quit_ = false;
    uint64_t done_ = 0;
    juce::MidiBuffer events_;
    std::function<void()> before_;
    std::deque<std::vector<float>> recent_;
    std::thread thread_; // last: it serves the members above
};

// What a fresh instance given only the model's values shows and plays.
struct Reference
{
    std::vector<float> played; // Play()
    Print steady, spread;      // the held tone once settled, and how much its windows differ
    // The held tone of an instance whose pitch came down to the model's:
    // the oscillator keeps its wave table for a semitone below the pitch it
    // chose it for, so that a pitch lowered a little plays the table with
    // fewer (and otherwise weighted) partials that a fresh instance at that
    // pitch never chooses. Both are the model's sound.
    std::optional<Print> fromAbove;
};

class Runner
{
public:
    Runner(const Bundle& bundle, Style style) : bundle_(bundle), style_(style) {}

    std::optional<Failure> Run(const std::vector<Action>& actions)
    {
        model_ = Initial(bundle_);
        overlapped_ = nullptr;
        saved_.reset();
        audio_.reset();
        live_ = Load(bundle_.path);
        if (!live_)
            return Failure{"load", "the bundle does not load"};
        StartAudio();
        std::optional<Failure> failure = Compare(*live_, "a fresh instance", true, nullptr);
        for (size_t i = 0; i < actions.size() && !failure; ++i)
        {
            const Action& a = actions[i];
            if (auto broken = Apply(a))
                failure = broken;
            else if (a.overlap)
                overlapped_ = &a; // compared after the next action
            else
                failure = Check(a);
        }
        if (!failure)
            failure = Finish();
        audio_.reset();
        live_.reset();
        return failure;
    }

private:
    juce::AudioProcessorParameter* Host(int id) { return Parameter(*live_, id); }

    void StartAudio() { audio_ = std::make_unique<HostAudio>(*live_, style_ == Style::Daw); }

    void Set(juce::AudioProcessorParameter* parameter, float value, bool notify)
    {
        if (notify)
            parameter->setValueNotifyingHost(value);
        else
            parameter->setValue(value);
    }

    // On the action's thread of the host's.
    void OnHostThread(Where where, const std::function<void()>& work)
    {
        if (where == Where::Other)
            other_.Run(work);
        else
            work();
    }

    // The audio has played past everything set so far (the DAW's blocks run
    // on; the others have played what was asked).
    std::optional<Failure> AudioSettled()
    {
        if (style_ == Style::Daw ? audio_->Further(1) : audio_->WaitIdle())
            return std::nullopt;
        return Failure{"blocks", "the host's audio thread stopped within a block"};
    }

    void Settle()
    {
        bool fired = false;
        juce::Timer::callAfterDelay(kSettleMilliseconds, [&fired] { fired = true; });
        while (!fired)
            TurnMessageLoop(5);
        model_.Settled();
    }

    // The blocks of a run, with a MIDI controller in the first.
    std::optional<Failure> Blocks(const Action& a)
    {
        juce::MidiBuffer events;
        std::function<void()> before;
        const Value* moved = a.controlled >= 0 ? &bundle_.values[size_t(a.controlled)] : nullptr;
        if (moved && a.byParameter)
            before = [this, moved, value = a.controllerValue] {
                Host(kFirstController + moved->controller)->setValueNotifyingHost(float(value) / 127.0f);
            };
        else if (moved)
            events.addEvent(juce::MidiMessage::controllerEvent(1, moved->controller, a.controllerValue), 0);
        if (a.where == Where::Message)
            audio_->PlayHere(std::max(a.blocks, 1), events, before);
        else if (style_ == Style::Daw)
        {
            const uint64_t from = audio_->Done();
            audio_->Play(0, events, before); // the DAW's automation, on its audio thread
            if (!audio_->WaitDone(from + uint64_t(std::max(a.blocks, 1)) + 1))
                return Failure{"blocks", "the host's audio thread stopped"};
        }
        else
        {
            audio_->Play(std::max(a.blocks, 1), events, before);
            if (!a.overlap && !audio_->WaitIdle())
                return Failure{"blocks", "the host's audio thread stopped"};
        }
        // Blocks call no host: rendered on the message thread, they still
        // leave JUCE's copy as it was until the plug-in is called there.
        model_.Carried();
        // A controller moves its value unless the value stands at its step;
        // without the patch automator it moves nothing, and its parameter
        // shows what the host set.
        if (moved)
        {
            const size_t index = size_t(a.controlled);
            if (!bundle_.hearsControllers)
                model_.controllerShown[index] = false;
            else
            {
                float& now = model_.At(index);
                if (std::lround(Engine(moved->steps, now) * 127.0f) != a.controllerValue)
                    now = Engine(moved->steps, float(a.controllerValue) / 127.0f);
                const bool offMessage = a.where != Where::Message;
                model_.waiting[size_t(model_.program)][index] = offMessage;
                model_.controllerShown[index] = !offMessage;
            }
        }
        return std::nullopt;
    }

    // The host sets a value (or the program, or the bypass) on a thread.
    void SetTarget(int target, float value, bool notify, Where where)
    {
        juce::AudioProcessorParameter* parameter = Host(
            target == -1 ? kProgramParameter : target == -2 ? kBypassParameter : bundle_.values[size_t(target)].id);
        OnHostThread(where, [&] { Set(parameter, value, notify); });
        if (target == -1)
            model_.program = int(std::lround(value * float(bundle_.programs - 1)));
        else if (target == -2)
            model_.bypass = value >= 0.5f;
        else
        {
            // A bound controller's parameter follows its value when that changes.
            const int steps = bundle_.values[size_t(target)].steps;
            const bool moved = Engine(steps, model_.At(size_t(target))) != Engine(steps, value);
            model_.controllerShown[size_t(target)] = model_.controllerShown[size_t(target)] || moved;
            model_.At(size_t(target)) = value;
            model_.waiting[size_t(model_.program)][size_t(target)] = false;
            model_.copyBehind[size_t(target)] = false;
        }
        if (where == Where::Message)
            model_.MessageThreadCall();
        else if (target == -1)
            model_.ProgramOffMessageThread();
        else
        {
            model_.pending.insert(target);
            if (target >= 0)
                model_.controllerCopyBehind[size_t(target)] = true;
        }
    }

    std::optional<Failure> Apply(const Action& a)
    {
        switch (a.kind)
        {
        case Kind::Set:
            SetTarget(a.target, a.value, a.notify, a.where);
            break;
        case Kind::Program:
            OnHostThread(a.where, [&] { live_->setCurrentProgram(a.target); });
            model_.program = a.target;
            if (a.where == Where::Other)
                model_.ProgramOffMessageThread();
            else
                model_.MessageThreadCall();
            break;
        case Kind::Run:
            if (auto failure = Blocks(a))
                return failure;
            break;
        case Kind::Burst:
        {
            // Qtractor's way: the worker tells the controller itself and
            // queues the choice for the next block (JUCE's copy, which JUCE
            // also passes to the controller later).
            Steinberg::Vst::IEditController* controller = Reach(*live_).controller;
            other_.Run([&] {
                for (size_t i = 0; i < a.programs.size(); ++i)
                {
                    const double value = double(a.programs[i]) / (bundle_.programs - 1);
                    controller->setParamNormalized(kProgramParameter, value);
                    live_->setCurrentProgram(a.programs[i]);
                    if (a.blockAfter[i])
                        audio_->Further(1);
                }
            });
            // The controller heard each choice in order: nothing waits
            // but JUCE's copy of the values.
            model_.program = a.programs.back();
            std::fill(model_.copyBehind.begin(), model_.copyBehind.end(), true);
            std::fill(model_.controllerCopyBehind.begin(), model_.controllerCopyBehind.end(), true);
            break;
        }
        case Kind::Settle:
            Settle();
            break;
        case Kind::Recreate:
        {
            audio_.reset();
            const juce::MemoryBlock state = State(*live_);
            live_ = Restored(bundle_.path, state);
            if (!live_)
                return Failure{"load", "the bundle does not load again"};
            StartAudio();
            // The other programs start from the document again.
            const Model fresh = Initial(bundle_);
            for (int p = 0; p < bundle_.programs; ++p)
                if (p != model_.program)
                    model_.memory[size_t(p)] = fresh.memory[size_t(p)];
            model_.Settled();
            break;
        }
        case Kind::Save:
            saved_ = State(*live_);
            model_.Settled();
            savedModel_ = model_;
            break;
        case Kind::Restore:
            if (saved_.isEmpty())
                break;
            live_->setStateInformation(saved_.getData(), int(saved_.getSize()));
            model_.program = savedModel_.program;
            model_.memory[size_t(model_.program)] = savedModel_.memory[size_t(model_.program)];
            model_.bypass = savedModel_.bypass;
            model_.Settled();
            break;
        case Kind::WriteBack:
        {
            // What the host reads is what it writes: all of it once its
            // copy holds what the engine did, where its loop turns.
            if (style_ != Style::Script)
            {
                if (auto failure = AudioSettled())
                    return failure;
                Settle();
            }
            std::vector<float> read;
            for (juce::AudioProcessorParameter* parameter : live_->getParameters())
                read.push_back(parameter->getValue());
            for (int i = 0; i < live_->getParameters().size(); ++i)
                live_->getParameters()[i]->setValue(read[size_t(i)]);
            model_.MessageThreadCall();
            std::vector<std::pair<int, int>> controllers;
            for (size_t i = 0; i < bundle_.values.size(); ++i)
            {
                const Value& v = bundle_.values[i];
                model_.At(i) = Host(v.id)->getValue();
                if (v.controller >= 0)
                    controllers.emplace_back(int(i), int(std::lround(Host(kFirstController + v.controller)->getValue() * 127)));
            }
            model_.bypass = Host(kBypassParameter)->getValue() >= 0.5f;
            if (bundle_.programs > 1)
                model_.program = int(std::lround(Host(kProgramParameter)->getValue() * float(bundle_.programs - 1)));
            // The controllers' values reach the engine in the next block:
            // written back without one, they are left out.
            if (a.blocks == 0)
                break;
            Action run;
            run.kind = Kind::Run;
            run.blocks = a.blocks;
            run.where = style_ == Style::Script ? Where::Message : Where::Audio;
            if (auto failure = Blocks(run))
                return failure;
            for (const auto& [index, value] : controllers)
            {
                const Value& v = bundle_.values[size_t(index)];
                float& now = model_.At(size_t(index));
                if (bundle_.hearsControllers && std::lround(Engine(v.steps, now) * 127.0f) != value)
                {
                    now = Engine(v.steps, float(value) / 127.0f);
                    model_.waiting[size_t(model_.program)][size_t(index)] = run.where != Where::Message;
                }
            }
            break;
        }
        }
        if (a.settle)
        {
            if (auto failure = AudioSettled())
                return failure;
            Settle();
        }
        return std::nullopt;
    }

    // A wrong value's kind of fault: where it shows, and after what.
    static std::string After(const Action* last)
    {
        if (!last)
            return "the end";
        const bool other = last->where == Where::Other;
        switch (last->kind)
        {
        case Kind::Set:
            return std::string(last->target == -1   ? "the program set as a value"
                               : last->target == -2 ? "the bypass set"
                                                    : "a value set") +
                   (other ? " off the message thread" : "");
        case Kind::Program:
            return std::string("a program chosen") + (other ? " off the message thread" : "");
        case Kind::Run:
            return last->controlled >= 0 ? "blocks with a MIDI controller" : "blocks";
        case Kind::Burst:
            return "programs chosen in quick succession on a worker";
        case Kind::Settle:
            return "the loop turned";
        case Kind::Recreate:
            return "a re-creation";
        case Kind::Save:
            return "a state taken";
        case Kind::Restore:
            return "a state set back";
        case Kind::WriteBack:
            return "a write-back";
        }
        return "?";
    }

    // JUCE's copy and the controller's value of each parameter against the
    // model; in the `live` instance what has not settled is left out.
    std::optional<Failure> Compare(juce::AudioPluginInstance& instance, const std::string& when, bool live,
                                   const Action* last)
    {
        Steinberg::Vst::IEditController* controller = Reach(instance).controller;
        if (controller == nullptr)
            return Failure{"controller", "the controller cannot be reached " + when};
        const std::set<int> pending = live ? model_.pending : std::set<int>{};
        const bool programPending = pending.count(-1) > 0;
        std::ostringstream wrong;
        std::string kind;
        const auto check = [&](const std::string& what, int id, int steps, double meant, double tolerance,
                               bool copyKnown, bool controllerKnown) {
            const double seen[2] = {Parameter(instance, id)->getValue(),
                                    controller->getParamNormalized(Steinberg::Vst::ParamID(id))};
            const char* views[2] = {"JUCE's copy", "the controller"};
            for (int view = 0; view < 2; ++view)
            {
                if (!(view == 0 ? copyKnown : controllerKnown))
                    continue;
                const bool same = tolerance > 0 ? std::abs(seen[view] - meant) <= tolerance : Same(steps, seen[view], meant);
                if (same)
                    continue;
                wrong << "\n  " << views[view] << " of " << what << " (id " << id << ") is " << seen[view]
                      << " for " << meant;
                if (kind.empty())
                    kind = live ? std::string(views[view]) + " of " + what + " wrong after " + After(last)
                                : "a new instance given the state: " + std::string(views[view]) + " of " + what +
                                      " differs after " + After(last);
            }
        };
        for (size_t i = 0; i < bundle_.values.size(); ++i)
        {
            const Value& v = bundle_.values[i];
            const bool reported = !live || !model_.waiting[size_t(model_.program)][i];
            const bool copy = reported && !(live && model_.copyBehind[i]);
            const bool heard = reported && !programPending && !pending.count(int(i));
            const float meant = model_.memory[size_t(model_.program)][i];
            check(v.steps > 0 ? "a value of steps" : "a value", v.id, v.steps, meant, 0, copy, heard);
            if (v.controller >= 0)
            {
                const bool shown = !live || model_.controllerShown[i];
                check("a bound controller", kFirstController + v.controller, 0, Engine(v.steps, meant),
                      1.0 / 127 + 1e-4, copy && shown && !(live && model_.controllerCopyBehind[i]), heard && shown);
            }
        }
        if (bundle_.programs > 1)
            check("the program", kProgramParameter, bundle_.programs - 1,
                  double(model_.program) / (bundle_.programs - 1), 0, true, !programPending);
        check("the bypass", kBypassParameter, 1, model_.bypass ? 1 : 0, 0, true, !pending.count(-2));
        if (kind.empty())
            return std::nullopt;
        return Failure{kind, when + ":" + wrong.str()};
    }

    // What a fresh instance given only the model's values plays, kept by
    // those values.
    const Reference& Meant()
    {
        auto found = references_.find(model_.Key());
        if (found != references_.end())
            return found->second;
        Reference reference;
        const std::vector<float>& values = model_.memory[size_t(model_.program)];
        // A fresh instance given the model's values, the pitch `raised` by
        // a share of its range.
        const auto given = [&](float raised) {
            Instance fresh = Load(bundle_.path);
            if (!fresh)
                return fresh;
            if (bundle_.programs > 1)
                fresh->setCurrentProgram(model_.program);
            for (size_t i = 0; i < bundle_.values.size(); ++i)
            {
                const bool pitch = int(i) == bundle_.pitch;
                Parameter(*fresh, bundle_.values[i].id)
                    ->setValueNotifyingHost(pitch ? std::min(1.0f, values[i] + raised) : values[i]);
            }
            Parameter(*fresh, kBypassParameter)->setValueNotifyingHost(model_.bypass ? 1.0f : 0.0f);
            return fresh;
        };
        if (bundle_.heldTone && bundle_.pitch >= 0)
            if (Instance above = given(2 / 24.0f)) // two semitones
            {
                KvJuceHost::Blocks(*above, kSoundSkip, false);
                Parameter(*above, bundle_.values[size_t(bundle_.pitch)].id)
                    ->setValueNotifyingHost(values[size_t(bundle_.pitch)]);
                KvJuceHost::Blocks(*above, kSoundSkip, false);
                reference.fromAbove = Measure(KvJuceHost::Blocks(*above, kSoundWindow, false));
            }
        Instance fresh = given(0);
        if (fresh)
        {
            reference.played = Play(*fresh);
            if (bundle_.heldTone)
            {
                KvJuceHost::Blocks(*fresh, kSoundSkip, false);
                reference.steady = Measure(KvJuceHost::Blocks(*fresh, kSoundWindow, false));
                for (int window = 0; window < kSpreadWindows; ++window)
                {
                    const Print again = Measure(KvJuceHost::Blocks(*fresh, kSoundWindow, false));
                    Print& s = reference.spread;
                    s.level = std::max(s.level, std::abs(again.level - reference.steady.level));
                    s.slope = std::max(s.slope, std::abs(again.slope - reference.steady.slope));
                    s.rising = std::max(s.rising, std::abs(again.rising - reference.steady.rising));
                }
            }
        }
        return references_.emplace(model_.Key(), std::move(reference)).first->second;
    }

    // Every view of the live instance after an action, once its races have
    // settled, and a new instance given the state the plug-in gives now.
    std::optional<Failure> Check(const Action& a)
    {
        bool played = false; // the live sound measured is the model's
        if (style_ == Style::Daw)
        {
            if (!audio_->Further(kSoundSkip + kSoundWindow))
                return Failure{"blocks", "the host's audio thread stopped"};
            model_.Carried();
            played = true;
        }
        else
        {
            if (!audio_->WaitIdle())
                return Failure{"blocks", "the host's audio thread stopped"};
            // After a run long enough to settle, unless a state was set
            // while it played.
            const Action& run = overlapped_ ? *overlapped_ : a;
            played = run.kind == Kind::Run && run.blocks >= kSoundSkip + kSoundWindow &&
                     !(overlapped_ && a.kind == Kind::Restore);
        }
        overlapped_ = nullptr;
        const std::string after = "after " + Describe(bundle_, a);
        if (auto failure = Compare(*live_, after, true, &a))
            return failure;
        if (bundle_.heldTone && played && model_.pending.empty())
        {
            const Reference& meant = Meant();
            const Print live = Measure(audio_->Last(kSoundWindow));
            const bool fromAbove = meant.fromAbove && PrintDifference(live, *meant.fromAbove, meant.spread).empty();
            if (const std::string difference = PrintDifference(live, meant.steady, meant.spread);
                !difference.empty() && !fromAbove)
                return Failure{"the live sound wrong after " + After(&a), after + ": " + difference};
        }
        if (!model_.pending.empty())
            return std::nullopt;
        // The plug-in's state now, in a new instance.
        const juce::MemoryBlock state = PluginState(*live_);
        Instance restored = Restored(bundle_.path, state);
        if (!restored)
            return Failure{"load", "the bundle does not load again"};
        if (auto failure = Compare(*restored, "in a new instance given the state " + after, false, &a))
            return failure;
        if (const std::string difference = SoundDifference(Play(*restored), Meant().played, kSoundTolerance);
            !difference.empty())
            return Failure{"a new instance given the state plays otherwise after " + After(&a), after + ": " + difference};
        return std::nullopt;
    }

    // Settled, the state given to a new instance as JUCE saves it, and the
    // sound of both against a fresh instance given only the model's values.
    std::optional<Failure> Finish()
    {
        if (!audio_->WaitIdle() && style_ != Style::Daw)
            return Failure{"blocks", "the host's audio thread stopped"};
        audio_.reset();
        if (style_ != Style::Script)
            Settle();
        if (auto failure = Compare(*live_, "at the end", true, nullptr))
            return failure;
        const juce::MemoryBlock state = State(*live_);
        model_.Settled();
        if (auto failure = Compare(*live_, "at the end, once the state was taken", true, nullptr))
            return failure;
        Instance restored = Restored(bundle_.path, state);
        if (auto failure = Compare(*restored, "in a new instance given the state", false, nullptr))
            return failure;
        const std::vector<float>& meant = Meant().played;
        if (const std::string difference = SoundDifference(Play(*restored), meant, kSoundTolerance); !difference.empty())
            return Failure{"a new instance given the state at the end plays otherwise", difference};
        // The oscillators run on from activation: the live instance is
        // reactivated to start where a fresh one starts.
        live_->releaseResources();
        live_->prepareToPlay(kRate, kBlock);
        if (const std::string difference = SoundDifference(Play(*live_), meant, kSoundTolerance); !difference.empty())
            return Failure{"the instance plays otherwise at the end", difference};
        return std::nullopt;
    }

    const Bundle& bundle_;
    const Style style_;
    Model model_, savedModel_;
    Instance live_;
    std::unique_ptr<HostAudio> audio_;
    AudioThread other_; // the host's other thread: a script's, a DAW's worker
    juce::MemoryBlock saved_;
    const Action* overlapped_ = nullptr; // pluginval's run still playing during this action
    std::map<std::string, Reference> references_;
};

// Orders a host really plays that the random sequences meet only by chance,
// on the bundle with programs and a bound controller (Waveform, Volume,
// Pitch: values 0, 1, 2).
struct Order
{
    const char* name;
    Style style;
    std::vector<Action> actions;
};

Action Run(int blocks, Where where = Where::Audio)
{
    Action a;
    a.kind = Kind::Run;
    a.blocks = blocks;
    a.where = where;
    return a;
}
Action SetOn(int target, float value, Where where = Where::Message)
{
    Action a;
    a.target = target;
    a.value = value;
    a.where = where;
    return a;
}
Action ProgramOn(int program, Where where = Where::Message)
{
    Action a = SetOn(program, 0, where);
    a.kind = Kind::Program;
    return a;
}
Action Simple(Kind kind)
{
    Action a;
    a.kind = kind;
    return a;
}
Action Settled(Action a)
{
    a.settle = true;
    return a;
}
Action AtOnce(Action a)
{
    a.overlap = true;
    return a;
}

const std::vector<Order>& Orders()
{
    constexpr Where other = Where::Other, message = Where::Message;
    Action burst = Simple(Kind::Burst);
    burst.where = other;
    burst.overlap = true;
    burst.programs = {1, 2, 0, 2};
    burst.blockAfter = {true, false, true, false};
    static const std::vector<Order> orders = {
        // DawDreamer: set_parameter from another thread after a render.
        {"a volume set off the message thread", Style::Script, {Run(24), SetOn(1, 0.5f, other), Run(24), Simple(Kind::Save)}},
        {"a waveform set off the message thread", Style::Script, {Run(24), SetOn(0, 0.5f, other), Run(24), Simple(Kind::Save)}},
        {"a program chosen off the message thread", Style::Script, {Run(24), ProgramOn(2, other), Run(24), Simple(Kind::Save)}},
        {"the bypass set off the message thread", Style::Script, {Run(24), SetOn(-2, 1, other), Run(24), Simple(Kind::Save)}},
        // pedalboard, reset=False: renders on the thread that made the
        // instance, values and a program chosen from another thread.
        {"a volume set off the thread that renders", Style::Script,
         {Run(24, message), SetOn(1, 0.5f, other), Run(24, message), Simple(Kind::Save)}},
        {"a waveform set off the thread that renders", Style::Script,
         {Run(24, message), SetOn(0, 0.5f, other), Run(24, message), Simple(Kind::Save)}},
        {"the bypass set off the thread that renders", Style::Script,
         {Run(24, message), SetOn(-2, 1, other), Run(24, message), Simple(Kind::Save)}},
        {"a program chosen off the thread that renders", Style::Script,
         {Run(24, message), ProgramOn(1, other), Run(24, message), Run(24, message)}},
        // Two program choices with a host value between them, one block off
        // the message thread, then the user's edit.
        {"two programs with the bypass between, then an edit", Style::Script,
         {ProgramOn(1), SetOn(-2, 1), ProgramOn(2), Run(1), SetOn(1, 0.3f), Simple(Kind::Save)}},
        {"two programs with a value between, then an edit", Style::Pluginval,
         {ProgramOn(1), SetOn(2, 0.1f), ProgramOn(2), Run(1), SetOn(1, 0.3f), Simple(Kind::Settle)}},
        {"two programs with a write-back between, then an edit", Style::Script,
         {ProgramOn(1), Simple(Kind::WriteBack), ProgramOn(2), Run(1), SetOn(0, 1), SetOn(1, 0.3f), Simple(Kind::Save)}},
        {"two programs with the bypass between at once, then an edit", Style::Daw,
         {AtOnce(ProgramOn(1)), AtOnce(SetOn(-2, 1)), ProgramOn(2), Settled(SetOn(1, 0.3f))}},
        // A program sent only in blocks, then one chosen on both routes.
        {"a program only in blocks, then one on both routes", Style::Script,
         {ProgramOn(1, other), Run(24), ProgramOn(2), Run(24), Simple(Kind::Save)}},
        // Qtractor: programs on a worker while blocks run, then a value and a
        // program on the user-interface thread.
        {"programs in quick succession on a worker, then a value and a program", Style::Daw,
         {burst, SetOn(1, 0.35f), ProgramOn(1), Settled(ProgramOn(2)), ProgramOn(0)}},
    };
    return orders;
}

uint64_t Mix(uint64_t x)
{
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

std::string Listed(const Bundle& bundle, const std::vector<Action>& actions)
{
    std::string text;
    for (size_t i = 0; i < actions.size(); ++i)
        text += "\n  " + std::to_string(i + 1) + ". " + Describe(bundle, actions[i]);
    return text;
}

using Case = std::tuple<int, Style, int>; // bundle, style, shard

class JuceHostSequence : public testing::TestWithParam<Case>
{
};

TEST_P(JuceHostSequence, EveryStepShowsSavesAndPlaysWhatTheHostDid)
{
    const auto [bundleIndex, style, shard] = GetParam();
    const Bundle& bundle = Bundles()[size_t(bundleIndex)];
    const char* base = std::getenv("KV_JUCE_SEQ_SEED");
    const char* only = std::getenv("KV_JUCE_SEQ_ONLY");
    // A sequence: a seed's, or an order's (the orders run in the first shard
    // of the bundle they are written for).
    struct Sequence
    {
        std::string name;
        std::vector<Action> actions;
    };
    std::vector<Sequence> sequences;
    if (bundle.name == std::string("BoundProgramSynth") && shard == 0)
        for (const Order& order : Orders())
            if (order.style == style && (!only || order.name == std::string(only)))
                sequences.push_back({order.name, order.actions});
    const auto seeded = [&](uint64_t seed) {
        sequences.push_back({"KV_JUCE_SEQ_ONLY=" + std::to_string(seed), Generate(bundle, style, seed)});
    };
    if (only && std::isdigit(static_cast<unsigned char>(only[0])))
        seeded(std::strtoull(only, nullptr, 10));
    else if (!only)
        for (int n = 0; n < kSequences[int(style)]; ++n)
            seeded(Mix(Mix(base ? std::strtoull(base, nullptr, 10) : 1) + uint64_t(bundleIndex) * 1000003 +
                       uint64_t(style) * 10007 + uint64_t(shard) * 101 + uint64_t(n)) %
                   1000000000000ull);

    std::map<std::string, std::pair<int, std::string>> kinds; // failures by kind: count, first sequence
    bool shrunk = false;
    for (Sequence& sequence : sequences)
    {
        Runner runner(bundle, style);
        const std::optional<Failure> failure = runner.Run(sequence.actions);
        if (!failure)
            continue;
        // Blocks run beside the host's calls, so a sequence's timing differs
        // from run to run: a failure counts when one of two runs more
        // repeats it; one that does not is printed.
        bool repeated = false;
        for (int run = 0; run < 2 && !repeated; ++run)
        {
            const std::optional<Failure> again = runner.Run(sequence.actions);
            repeated = again && again->kind == failure->kind;
        }
        if (!repeated)
        {
            std::printf("%s, %s host, %s: %s once, not again in two more runs\n", bundle.name,
                        kStyleNames[int(style)], sequence.name.c_str(), failure->kind.c_str());
            continue;
        }
        auto& [count, first] = kinds[failure->kind];
        if (count++ > 0)
            continue;
        first = sequence.name;
        if (shrunk)
            continue;
        // The first failure, cut down to the actions it needs to fail so.
        shrunk = true;
        Failure last = *failure;
        std::vector<Action> actions = sequence.actions;
        for (size_t i = actions.size(); i-- > 0;)
        {
            std::vector<Action> fewer = actions;
            fewer.erase(fewer.begin() + std::ptrdiff_t(i));
            if (!Valid(bundle, style, fewer))
                continue;
            if (const std::optional<Failure> again = runner.Run(fewer); again && again->kind == failure->kind)
                actions = fewer, last = *again;
        }
        ADD_FAILURE() << bundle.name << ", " << kStyleNames[int(style)] << " host, " << sequence.name << ": "
                      << failure->kind << "\ncut down to:" << Listed(bundle, actions) << "\n" << last.detail;
    }
    for (const auto& [kind, counted] : kinds)
        ADD_FAILURE() << bundle.name << ", " << kStyleNames[int(style)] << " host: " << counted.first << " of "
                      << sequences.size() << " sequences fail: " << kind << " (" << counted.second << ")";
}

std::vector<Case> Cases()
{
    std::vector<Case> cases;
    for (int b = 0; b < int(Bundles().size()); ++b)
        for (Style style : {Style::Daw, Style::Script, Style::Pluginval})
            for (int shard = 0; shard < kShards; ++shard)
                cases.emplace_back(b, style, shard);
    return cases;
}

std::string CaseName(const testing::TestParamInfo<Case>& info)
{
    const auto [b, style, shard] = info.param;
    return std::string(Bundles()[size_t(b)].name) + "_" + kStyleNames[int(style)] + "_" + std::to_string(shard);
}

INSTANTIATE_TEST_SUITE_P(Hosts, JuceHostSequence, testing::ValuesIn(Cases()), CaseName);
} // namespace
