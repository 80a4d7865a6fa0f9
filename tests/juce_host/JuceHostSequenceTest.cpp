// Random host sequences through JUCE's VST3 hosting, each step compared with
// a plain model of what the host did: the last host action wins; a program
// choice brings that program's memory (the document's values, or those it
// had when it was left); an edit goes into the program that plays; a value
// written back as read changes nothing; a MIDI controller bound to a patch
// parameter moves it as the engine normalises a controller; a state brings
// back the program, the values and the bypass. After every step JUCE's copy
// of each value and the controller's own are compared with the model, and
// at the end the sound of the instance and of a new one given its state
// with that of a fresh instance given only the model's values.
//
// Three hosts: JUCE-framework DAWs (the message loop turns between actions,
// blocks on either thread), scripts such as DawDreamer and pedalboard (no
// message loop, everything on one thread) and pluginval (blocks on a thread
// of its own, the instance left prepared). What waits in JUCE or in the
// plug-in for the message thread after a block on another thread is not
// compared until a long turn of the loop or a state call has passed it on.
//
// A failure prints the sequence's seed and a sequence cut down to what still
// fails the same way. KV_JUCE_SEQ_SEED moves the base seed;
// KV_JUCE_SEQ_ONLY=<seed> runs that one sequence in each case the filter
// selects.

#include "JuceHost.h"

#include "pluginterfaces/vst/ivstcomponent.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"
#include "public.sdk/source/vst/vstcomponentbase.h"

#include <cstdint>
#include <cstdlib>
#include <map>
#include <optional>
#include <random>
#include <set>

using namespace KvJuceHost;

namespace
{
constexpr int kProgramParameter = 10130, kBypassParameter = 10131, kFirstController = 10000;
// Sequences per case: the hosts whose message loop turns spend most of
// their time waiting for JUCE's timers, and run fewer.
constexpr int kSequences[] = {24, 100, 24}; // by Style
constexpr int kShards = 2;
// A value's last bit, as a state's text and a host's float give it, moves a
// sample by less than this.
constexpr float kSoundTolerance = 1e-5f;
constexpr int kSettleMilliseconds = 50; // past JUCE's 60 Hz dispatcher and the controller's 40 ms timer

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
          {3, 12, {0, 7 / 12.0f, 1}}}},
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
    Loop,     // a JUCE-framework DAW: its message loop turns between actions
    Script,   // DawDreamer, pedalboard: one thread, no message loop
    Prepared, // pluginval: blocks on a thread of its own, loop turned or not
};
const char* const kStyleNames[] = {"loop", "script", "prepared"};

enum class Kind
{
    Set,       // setValue / setValueNotifyingHost; target -1 the program, -2 the bypass
    Program,   // setCurrentProgram
    Run,       // blocks, perhaps with a MIDI controller in the first
    Settle,    // the message loop turned long enough for every timer
    Recreate,  // the state given to a new instance, which plays on
    Save,      // getStateInformation, kept
    Restore,   // the kept state set back
    WriteBack, // every value read and written back, then a block
};

struct Action
{
    Kind kind = Kind::Set;
    int target = 0;
    float value = 0;
    bool notify = false, worker = false, turn = false;
    int blocks = 0, controlled = -1, controllerValue = 0; // controlled: the index of the value moved
    bool byParameter = false;                                 // the controller set on its parameter, not in MIDI
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
        text << "every value read and written back, one block";
        break;
    }
    if (a.worker)
        text << " on the audio thread";
    if (a.turn)
        text << ", loop turned";
    return text.str();
}

std::vector<Action> Generate(const Bundle& bundle, Style style, uint64_t seed)
{
    std::mt19937_64 random(seed);
    const auto below = [&](int n) { return int(random() % uint64_t(n)); };
    const auto chance = [&](double p) { return std::uniform_real_distribution<double>(0, 1)(random) < p; };
    std::vector<int> bound;
    for (size_t i = 0; i < bundle.values.size(); ++i)
        if (bundle.values[i].controller >= 0)
            bound.push_back(int(i));
    // Earlier values of each target, so that values repeat what the host
    // or the engine had before.
    std::map<int, std::vector<float>> history;
    for (size_t i = 0; i < bundle.values.size(); ++i)
        history[int(i)] = bundle.values[i].programs;
    std::vector<Action> actions(size_t(4 + below(13)));
    bool saved = false, longRun = false;
    // Values a controller moved in a block off the message thread: JUCE
    // holds their reports until its timer or its next state call passes
    // them to the controller, after whatever the host did meanwhile. A
    // host that sets such a value (or chooses a program) before then meets
    // the race the plug-in cannot see: those orders are left out.
    std::set<int> reportsHeld;
    for (Action& a : actions)
    {
        const int roll = below(100);
        a.worker = style == Style::Prepared || (style == Style::Loop && chance(0.5));
        if (roll < 30)
        {
            a.kind = Kind::Run;
            a.blocks = chance(0.5) ? 1 + below(9) : 10 + below(191);
            if (!bound.empty() && chance(0.5))
            {
                a.controlled = bound[size_t(below(int(bound.size())))];
                const std::vector<float>& was = history[a.controlled];
                a.controllerValue = chance(0.3) ? int(std::lround(was[size_t(below(int(was.size())))] * 127)) : below(128);
                a.byParameter = chance(0.5);
                history[a.controlled].push_back(a.controllerValue / 127.0f);
            }
        }
        else if (roll < 40 && bundle.programs > 1)
        {
            a.kind = Kind::Program;
            a.target = below(bundle.programs);
        }
        else if (roll < 46 && style != Style::Script)
            a.kind = Kind::Settle;
        else if (roll < 51)
            a.kind = Kind::Recreate;
        else if (roll < 56)
            a.kind = Kind::Save, saved = true;
        else if (roll < 61 && saved)
            a.kind = Kind::Restore;
        else if (roll < 67)
            a.kind = Kind::WriteBack;
        else
        {
            a.kind = Kind::Set;
            a.notify = chance(0.5);
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
        if (a.kind != Kind::Run && a.kind != Kind::WriteBack)
            a.worker = false;
        if (!reportsHeld.empty() && (a.kind == Kind::Program || (a.kind == Kind::Set && a.target == -1)))
            a = Action{Kind::Set, -2, float(below(2))};
        if (a.kind == Kind::Set && reportsHeld.count(a.target))
            a.target = -2, a.value = float(below(2));
        if (a.kind == Kind::Run && a.controlled >= 0 && reportsHeld.count(a.controlled) && !a.worker)
            a.controlled = -1;
        if (a.kind == Kind::Run && a.controlled >= 0 && a.worker)
            reportsHeld.insert(a.controlled);
        if (a.kind == Kind::Settle || a.kind == Kind::Save || a.kind == Kind::Restore || a.kind == Kind::Recreate ||
            a.kind == Kind::WriteBack)
            reportsHeld.clear();
        a.turn = style == Style::Loop || (style == Style::Prepared && chance(0.5));
        longRun = longRun || a.blocks > int(kRate / 20 / kBlock);
    }
    // Most sequences play more than a twentieth of a second in one run.
    if (!longRun && chance(0.9))
        actions.insert(actions.begin() + below(int(actions.size()) + 1),
                       Action{Kind::Run, 0, 0, false, style == Style::Prepared, style == Style::Loop, 10 + below(191)});
    return actions;
}

// The plug-in's controller, reached as the processor's connection peer.
Steinberg::Vst::IEditController* Controller(juce::AudioPluginInstance& instance)
{
    struct Visitor : juce::ExtensionsVisitor
    {
        void visitVST3Client(const VST3Client& client) override { component = client.getIComponentPtr(); }
        Steinberg::Vst::IComponent* component = nullptr;
    } visitor;
    instance.getExtensions(visitor);
    Steinberg::FUnknownPtr<Steinberg::Vst::IConnectionPoint> point(visitor.component);
    if (!point)
        return nullptr;
    Steinberg::FUnknownPtr<Steinberg::Vst::IEditController> controller(
        static_cast<Steinberg::Vst::ComponentBase*>(point.get())->getPeer());
    return controller.get(); // the instance holds it
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
    bool controllerBehind = false;         // a block ran off the message thread since the last settling
    std::vector<bool> controllerShown;     // a bound controller's parameter shows its value
    bool hears = true;                     // the bundle's controllers move their values

    float& At(size_t i) { return memory[size_t(program)][i]; }
    void Settled()
    {
        for (auto& values : waiting)
            std::fill(values.begin(), values.end(), false);
        controllerBehind = false;
        if (hears)
            std::fill(controllerShown.begin(), controllerShown.end(), true);
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
    model.hears = bundle.hearsControllers;
    return model;
}

// What the engine makes of a value of `steps`, normalised back.
float Engine(int steps, float normalised)
{
    return steps > 0 ? float(Position(steps, normalised)) / float(steps) : normalised;
}

class Runner
{
public:
    Runner(const Bundle& bundle, Style style) : bundle_(bundle), style_(style) {}

    std::optional<Failure> Run(const std::vector<Action>& actions)
    {
        model_ = Initial(bundle_);
        saved_.reset();
        live_ = Load(bundle_.path);
        if (!live_)
            return Failure{"load", "the bundle does not load"};
        if (auto failure = Compare(*live_, "a fresh instance", true, nullptr))
            return failure;
        for (const Action& a : actions)
        {
            Apply(a);
            if (a.turn)
                TurnMessageLoop(1);
            const std::string after = "after " + Describe(bundle_, a);
            if (auto failure = Compare(*live_, after, true, &a))
                return failure;
        }
        return Finish();
    }

private:
    juce::AudioProcessorParameter* Host(int id) { return Parameter(*live_, id); }

    void Set(juce::AudioProcessorParameter* parameter, float value, bool notify)
    {
        if (notify)
            parameter->setValueNotifyingHost(value);
        else
            parameter->setValue(value);
    }

    // The blocks of a run; `controllers` are set first (by index of value).
    void Blocks(const Action& a, const std::vector<std::pair<int, int>>& controllers)
    {
        juce::MidiBuffer events;
        On(a.worker, [&] {
            for (const auto& [index, value] : controllers)
            {
                const int controller = bundle_.values[size_t(index)].controller;
                if (a.byParameter)
                    Host(kFirstController + controller)->setValueNotifyingHost(float(value) / 127.0f);
                else
                    events.addEvent(juce::MidiMessage::controllerEvent(1, controller, value), 0);
            }
            KvJuceHost::Blocks(*live_, std::max(a.blocks, 1), false, &events);
        });
        // A controller moves its value unless the value stands at its step;
        // without the patch automator it moves nothing, and its parameter
        // shows what the host set.
        for (const auto& [index, value] : controllers)
        {
            if (!bundle_.hearsControllers)
            {
                model_.controllerShown[size_t(index)] = false;
                continue;
            }
            const Value& v = bundle_.values[size_t(index)];
            float& now = model_.At(size_t(index));
            if (std::lround(Engine(v.steps, now) * 127.0f) != value)
                now = Engine(v.steps, float(value) / 127.0f);
            model_.waiting[size_t(model_.program)][size_t(index)] = a.worker;
            model_.controllerShown[size_t(index)] = !a.worker;
        }
        model_.controllerBehind = model_.controllerBehind || a.worker;
    }

    void Settle()
    {
        TurnMessageLoop(kSettleMilliseconds);
        model_.Settled();
    }

    void Apply(const Action& a)
    {
        switch (a.kind)
        {
        case Kind::Set:
            if (a.target == -1)
            {
                Set(Host(kProgramParameter), a.value, a.notify);
                SwitchProgram(int(std::lround(a.value * float(bundle_.programs - 1))));
            }
            else if (a.target == -2)
            {
                Set(Host(kBypassParameter), a.value, a.notify);
                model_.bypass = a.value >= 0.5f;
            }
            else
            {
                Set(Host(bundle_.values[size_t(a.target)].id), a.value, a.notify);
                // A bound controller's parameter follows its value when that changes.
                const int steps = bundle_.values[size_t(a.target)].steps;
                const bool moved = Engine(steps, model_.At(size_t(a.target))) != Engine(steps, a.value);
                model_.controllerShown[size_t(a.target)] = model_.controllerShown[size_t(a.target)] || moved;
                model_.At(size_t(a.target)) = a.value;
                model_.waiting[size_t(model_.program)][size_t(a.target)] = false;
            }
            break;
        case Kind::Program:
            live_->setCurrentProgram(a.target);
            SwitchProgram(a.target);
            break;
        case Kind::Run:
            if (a.controlled >= 0)
                Blocks(a, {{a.controlled, a.controllerValue}});
            else
                Blocks(a, {});
            break;
        case Kind::Settle:
            Settle();
            break;
        case Kind::Recreate:
        {
            const juce::MemoryBlock state = State(*live_);
            live_ = Restored(bundle_.path, state);
            // The other programs start from the document again.
            const Model fresh = Initial(bundle_);
            for (int p = 0; p < bundle_.programs; ++p)
                if (p != model_.program)
                    model_.memory[size_t(p)] = fresh.memory[size_t(p)];
            model_.Settled();
            std::fill(model_.controllerShown.begin(), model_.controllerShown.end(), true);
            break;
        }
        case Kind::Save:
            saved_ = State(*live_);
            savedModel_ = model_;
            model_.Settled();
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
            // copy holds what the engine did.
            if (style_ != Style::Script && model_.controllerBehind)
                Settle();
            std::vector<float> read;
            for (juce::AudioProcessorParameter* parameter : live_->getParameters())
                read.push_back(parameter->getValue());
            for (int i = 0; i < live_->getParameters().size(); ++i)
                live_->getParameters()[i]->setValue(read[size_t(i)]);
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
                SwitchProgram(int(std::lround(Host(kProgramParameter)->getValue() * float(bundle_.programs - 1))));
            Action run = a;
            run.blocks = 1;
            run.byParameter = true; // already set: the block carries them
            juce::MidiBuffer none;
            On(run.worker, [&] { KvJuceHost::Blocks(*live_, 1, false, &none); });
            for (const auto& [index, value] : controllers)
            {
                const Value& v = bundle_.values[size_t(index)];
                float& now = model_.At(size_t(index));
                if (bundle_.hearsControllers && std::lround(Engine(v.steps, now) * 127.0f) != value)
                    now = Engine(v.steps, float(value) / 127.0f);
            }
            model_.controllerBehind = model_.controllerBehind || run.worker;
            break;
        }
        }
    }

    void SwitchProgram(int program)
    {
        model_.program = program;
    }

    // A wrong value's kind of fault: where it shows, and after what.
    static std::string Classify(const std::string& view, const std::string& what, bool live, const Action* last)
    {
        if (!live)
            return "a new instance given the state: " + view + " of " + what + " differs";
        const char* after[] = {"a value set", "a program chosen", "blocks", "the loop turned", "a re-creation",
                               "a state taken", "a state set back", "a write-back"};
        return view + " of " + what + " wrong after " + (last ? after[int(last->kind)] : "the end");
    }

    // JUCE's copy and the controller's value of each parameter against the
    // model; `live` values may still wait for the message thread.
    std::optional<Failure> Compare(juce::AudioPluginInstance& instance, const std::string& when, bool live,
                                   const Action* last)
    {
        Steinberg::Vst::IEditController* controller = Controller(instance);
        if (controller == nullptr)
            return Failure{"controller", "the controller cannot be reached " + when};
        const bool controllerKnown = !live || !model_.controllerBehind;
        std::ostringstream wrong;
        std::string kind;
        const auto check = [&](const std::string& what, int id, int steps, double meant, double tolerance,
                               bool juceKnown, bool alsoController) {
            const double seen[2] = {Parameter(instance, id)->getValue(), controller->getParamNormalized(Steinberg::Vst::ParamID(id))};
            const char* views[2] = {"JUCE's copy", "the controller"};
            for (int view = 0; view < 2; ++view)
            {
                if (view == 0 ? !juceKnown : !(juceKnown && alsoController && controllerKnown))
                    continue;
                const bool same = tolerance > 0 ? std::abs(seen[view] - meant) <= tolerance : Same(steps, seen[view], meant);
                if (same)
                    continue;
                wrong << "\n  " << views[view] << " of " << what << " (id " << id << ") is " << seen[view]
                      << " for " << meant;
                if (kind.empty())
                    kind = Classify(views[view], what, live, last);
            }
        };
        for (size_t i = 0; i < bundle_.values.size(); ++i)
        {
            const Value& v = bundle_.values[i];
            const bool known = !live || !model_.waiting[size_t(model_.program)][i];
            const float meant = model_.memory[size_t(model_.program)][i];
            check(v.steps > 0 ? "a value of steps" : "a value", v.id, v.steps, meant, 0, known, true);
            if (v.controller >= 0)
                check("a bound controller", kFirstController + v.controller, 0, Engine(v.steps, meant),
                      1.0 / 127 + 1e-4, known && (!live || model_.controllerShown[i]), true);
        }
        if (bundle_.programs > 1)
            check("the program", kProgramParameter, bundle_.programs - 1,
                  double(model_.program) / (bundle_.programs - 1), 0, true, true);
        check("the bypass", kBypassParameter, 1, model_.bypass ? 1 : 0, 0, true, true);
        if (kind.empty())
            return std::nullopt;
        return Failure{kind, when + ":" + wrong.str()};
    }

    // Settled, the state given to a new instance, and the sound of both
    // against a fresh instance given only the model's values.
    std::optional<Failure> Finish()
    {
        if (style_ != Style::Script)
            Settle();
        if (auto failure = Compare(*live_, "at the end", true, nullptr))
            return failure;
        const juce::MemoryBlock state = State(*live_);
        Instance restored = Restored(bundle_.path, state);
        if (auto failure = Compare(*restored, "in a new instance given the state", false, nullptr))
            return failure;
        Instance reference = Load(bundle_.path);
        if (bundle_.programs > 1)
            reference->setCurrentProgram(model_.program);
        for (size_t i = 0; i < bundle_.values.size(); ++i)
            Parameter(*reference, bundle_.values[i].id)->setValueNotifyingHost(model_.memory[size_t(model_.program)][i]);
        Parameter(*reference, kBypassParameter)->setValueNotifyingHost(model_.bypass ? 1.0f : 0.0f);
        const std::vector<float> meant = Play(*reference);
        if (const std::string difference = SoundDifference(Play(*restored), meant, kSoundTolerance); !difference.empty())
            return Failure{"sound of a new instance given the state", difference};
        // The oscillators run on from activation: the live instance is
        // reactivated to start where a fresh one starts.
        live_->releaseResources();
        live_->prepareToPlay(kRate, kBlock);
        if (const std::string difference = SoundDifference(Play(*live_), meant, kSoundTolerance); !difference.empty())
            return Failure{"sound of the instance", difference};
        return std::nullopt;
    }

    const Bundle& bundle_;
    const Style style_;
    Model model_, savedModel_;
    Instance live_;
    juce::MemoryBlock saved_;
};

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
    std::vector<uint64_t> seeds;
    if (only)
        seeds.push_back(std::strtoull(only, nullptr, 10));
    else
        for (int n = 0; n < kSequences[int(style)]; ++n)
            seeds.push_back(Mix(Mix(base ? std::strtoull(base, nullptr, 10) : 1) + uint64_t(bundleIndex) * 1000003 +
                                uint64_t(style) * 10007 + uint64_t(shard) * 101 + uint64_t(n)) %
                            1000000000000ull);

    std::map<std::string, std::pair<int, uint64_t>> kinds; // failures by kind: count, first seed
    bool shrunk = false;
    for (const uint64_t seed : seeds)
    {
        Runner runner(bundle, style);
        std::vector<Action> actions = Generate(bundle, style, seed);
        const std::optional<Failure> failure = runner.Run(actions);
        if (!failure)
            continue;
        auto& [count, first] = kinds[failure->kind];
        if (count++ > 0)
            continue;
        first = seed;
        if (shrunk)
            continue;
        // The first failure, cut down to the actions it needs to fail so.
        shrunk = true;
        Failure last = *failure;
        for (size_t i = actions.size(); i-- > 0;)
        {
            std::vector<Action> fewer = actions;
            fewer.erase(fewer.begin() + std::ptrdiff_t(i));
            if (const std::optional<Failure> again = runner.Run(fewer); again && again->kind == failure->kind)
                actions = fewer, last = *again;
        }
        ADD_FAILURE() << bundle.name << ", " << kStyleNames[int(style)] << " host, KV_JUCE_SEQ_ONLY=" << seed << ": "
                      << failure->kind << "\ncut down to:" << Listed(bundle, actions) << "\n" << last.detail;
    }
    for (const auto& [kind, counted] : kinds)
        ADD_FAILURE() << bundle.name << ", " << kStyleNames[int(style)] << " host: " << counted.first << " of "
                      << seeds.size() << " sequences fail: " << kind << " (KV_JUCE_SEQ_ONLY=" << counted.second << ")";
}

std::vector<Case> Cases()
{
    std::vector<Case> cases;
    for (int b = 0; b < int(Bundles().size()); ++b)
        for (Style style : {Style::Loop, Style::Script, Style::Prepared})
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
