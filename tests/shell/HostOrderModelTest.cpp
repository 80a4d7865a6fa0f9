// Random orders of host actions, played against a bundle and against a plain
// model of what the host asked for. The host sets values, programs and the
// bypass on the controller, in process() or both (as JUCE-framework hosts
// do), runs blocks on its own thread or another, stops and starts
// processing, runs blocks on for longer than a twentieth of a second, takes
// and restores states, passes the engine's reports back to the controller at
// once, late or never, and writes its copy of the values back (Ardour's
// timer, pedalboard's re-creation). Some hosts never pass a report back;
// some write their whole copy back after each restart (Ardour); some choose
// programs only in blocks. Ardour 7.3 runs under its own name, chooses
// programs and loads user presets under its lock, offers a run loop only
// once the plug-in's editor has been made, takes the blocks' reports into its
// copy and writes them back while a plug-in window is shown.
//
// The model: the last host action wins. An action set on the controller
// (alone or with its point) acts then, a point alone when its block runs; a
// program brings its own memory, which starts as the parameters document
// gives it and keeps the edits made while it was current; a report passed
// back and a copy written back are values the host sets on the controller
// then; a state brings back its program, values and bypass. Orders in which
// the plug-in cannot tell what the host did last are left out (see
// Waiting). The host's copy follows
// what the host set, the plug-in's restarts and edits, and the blocks'
// reports. After every step (a) the controller reads the model, (b) the
// host's copy reads the controller (Ardour 7.3's, while it offers no run
// loop, once the block that carries its program choice has ended and once a
// restart has followed its user preset) and (c) a MIDI controller's parameter
// that shows a patch value shows it; at the end (d) the engine plays a held
// note as an instance given only the model's values, block beside block,
// plays it; at the end and with every state taken (e) a new instance given
// that state reads the model and plays as a fresh instance given only those
// values. Besides: (f) the values written back settle, (g) Ardour 7.3 is
// never called back under its lock (it would freeze), (h) no other host hears
// what it set as the engine's own move. A failing order is cut down to a
// short one that fails the same way, and both are printed with the seed.

#include <gtest/gtest.h>

#include <tinyxml.h>

#include <cstdio>
#include <cstdlib>
#include <ostream>
#include <random>
#include <thread>
#include <utility>

#include "HostModel.h"
#include "pluginterfaces/vst/ivstmidicontrollers.h"

using namespace host_model;

namespace
{
constexpr int32 kFrames = 256;
// Of every kSequences seeds, the last kNewHostOrders play Ardour 7.3 or the
// host that chooses programs only in blocks; the others the first three kinds.
// KV_HOST_ORDER_SEQUENCES runs another number of seeds (more, for a longer search).
constexpr int kSequences = 230;
constexpr int kNewHostOrders = 30;
constexpr std::size_t kSteps = 15;
constexpr int kNoteBlocks = 4;
constexpr double kTolerance = 1e-6;
// Values of continuous parameters come from this grid, which a state's text
// keeps exactly.
constexpr int kGrid = 200;
// Sounds are compared to this part of the peak: a value that reaches the
// engine through a state rather than a block leaves differences of a few
// millionths of it; one step of the grid moves the sound by 3e-5 or more.
constexpr double kSoundTolerance = 1e-5;
// The processor's getState, while processing, before any block or after
// blocks on another thread, waits half a second for a block that does not
// come: one order in kWaitingStateOrders takes one such state, for time.
constexpr int kWaitingStateOrders = 40;
constexpr int kMaxReplays = 50;
// A long run of blocks: up to this many, the host's loop turning after
// every kTurnBlocks of them (about 25 times a second).
constexpr int kLongRun = 200;
constexpr int kTurnBlocks = 8;
const char* const kHostName = "Model host";

struct BundleCase
{
    const char* name;
    std::string path;
    // A patch parameter (host id) that a MIDI controller's parameter shows.
    std::optional<std::pair<ParamID, ParamID>> shownBy;
};
void PrintTo(const BundleCase& bundle, std::ostream* out)
{
    *out << bundle.name;
}

// One host parameter of the patch as its document gives it: normalised, per program.
struct PatchValue
{
    ParamID id;
    int32 steps;
    std::vector<double> programs;
};

std::vector<std::string> Words(const std::string& text, char separator)
{
    std::vector<std::string> words;
    std::stringstream in(text);
    for (std::string word; separator == ' ' ? static_cast<bool>(in >> word) : static_cast<bool>(std::getline(in, word, separator));)
        words.push_back(word);
    return words;
}

// The host parameters of the patch and each program's values, from the
// bundle's parameters document.
std::vector<PatchValue> ReadDocument(const std::string& bundle, std::string& error)
{
    std::vector<PatchValue> values;
    TiXmlDocument document((bundle + "/Contents/Resources/parameters.kv.xml").c_str());
    if (!document.LoadFile() || !document.RootElement() || !document.RootElement()->FirstChildElement())
        return error = "no parameters document", values;
    const TiXmlElement* list = document.RootElement()->FirstChildElement()->FirstChildElement("Parameters");
    for (const TiXmlElement* p = list ? list->FirstChildElement("Parameter") : nullptr; p;
         p = p->NextSiblingElement("Parameter"))
    {
        int index = -1, type = 6;
        if (p->QueryIntAttribute("Index", &index) != TIXML_SUCCESS)
            continue;
        p->QueryIntAttribute("ValueType", &type);
        double low = 0.0, high = 0.0;
        const bool ranged = p->QueryDoubleAttribute("RangeMaximum", &high) == TIXML_SUCCESS;
        p->QueryDoubleAttribute("RangeMinimum", &low);
        if (!ranged && type == 8 && p->Attribute("MetaData"))
            high = static_cast<double>(Words(p->Attribute("MetaData"), ',').size()) - 1.0;
        else if (!ranged)
            return error = "parameter " + std::to_string(index) + " has no range the model knows", values;
        const TiXmlElement* patches = p->FirstChildElement("patch-list");
        PatchValue value{static_cast<ParamID>(index), type == 8 ? static_cast<int32>(high - low) : 0, {}};
        for (const std::string& word : Words(patches && patches->GetText() ? patches->GetText() : "", ' '))
            value.programs.push_back((std::stod(word) - low) / (high - low));
        if (value.programs.empty())
            return error = "parameter " + std::to_string(index) + " has no value", values;
        values.push_back(value);
    }
    return values;
}

// What the host asked for of the current program.
struct Snapshot
{
    int program = 0;
    Values values;
    double bypass = 0.0;
};

struct Model
{
    std::vector<Values> memory;  // each program's values
    int program = 0;
    double bypass = 0.0;

    Snapshot Take() const { return {program, memory[static_cast<std::size_t>(program)], bypass}; }
    void Restore(const Snapshot& s)
    {
        program = s.program;
        memory[static_cast<std::size_t>(program)] = s.values;
        bypass = s.bypass;
    }
};

enum class Kind
{
    Value,
    Program,
    Bypass,
    Block,
    Processing,
    TakeState,
    SetState,
    Forward,
    WriteBack,
    Editor,
    Window
};
enum class Route
{
    Controller,
    Process,
    Both
};
enum class Reports
{
    Now,
    Later,
    Never
};
// The kinds of host, one per order: one that passes reports back in any of
// those ways; one that never does (a console host); one that, after each
// restart, writes its whole copy back on the controller (Ardour's timer;
// Ardour sets values on the controller and in the block together). Then, in
// orders of their own (kNewHostOrders): Ardour 7.3 as it is (see ArdourFrame
// and Session::SettleArdour), and a host that chooses programs only by a
// block's point, never on the controller, as any of the first kind.
enum class Host
{
    Any,
    Deaf,
    Ardour,
    Ardour73,
    BlockPrograms
};
const char* const kHostKinds[] = {"passes reports back now, late or never", "never passes reports back",
                                  "writes its copy back after each restart", "is Ardour 7.3",
                                  "chooses programs only in blocks"};

struct Action
{
    Kind kind;
    Route route = Route::Controller;
    ParamID id = 0;
    double value = 0.0;
    bool elsewhere = false;  // a block on another thread
    Reports reports = Reports::Now;
    std::size_t which = 0;  // of the states taken
    int blocks = 1;         // of a run
};

// What waits for the next block, by the way it was set. Orders that the
// plug-in cannot read as the model does are left out: after a point alone,
// an action on the controller and in the block (the block brings the two
// in the other order); after an action on the controller and in the block,
// its parameter set on the controller alone or in the block alone (a block
// carries one value of each parameter), or a state set (the block brings
// the older value after them); a parameter set on the controller alone
// (also by a write-back of the copy or a report passed back, which the host
// leaves out as it plays) and in the block alone in either order (it reads
// as one action on both); and, after a block played a point alone, the same
// figure of that parameter set on the controller (or the copy written back)
// until a state or another point alone of it: the plug-in reads the two as
// one action, the controller's copy of the block's, which a host such as
// JUCE's passes on late, after values set since.
struct Waiting
{
    std::set<ParamID> both, controller, process;
    std::map<ParamID, float> pointAlone, playedAlone;
    bool alone = false, writtenBack = false, stateTaken = false;

    bool Allows(const Action& a) const
    {
        if (a.kind == Kind::SetState)
            return both.empty();
        if (a.kind == Kind::WriteBack)
            return process.empty() && playedAlone.empty();
        if (a.kind != Kind::Value && a.kind != Kind::Program && a.kind != Kind::Bypass)
            return true;
        if (a.route == Route::Process && (controller.count(a.id) || writtenBack))
            return false;
        if (a.route == Route::Controller && process.count(a.id))
            return false;
        if (a.route != Route::Process && playedAlone.count(a.id) &&
            playedAlone.at(a.id) == static_cast<float>(a.value))
            return false;
        return a.route == Route::Both ? !alone : !both.count(a.id);
    }
    void Take(const Action& a)
    {
        stateTaken = stateTaken || a.kind == Kind::TakeState;
        if (a.kind == Kind::SetState && stateTaken)
            playedAlone.clear();
        if (a.kind == Kind::Value || a.kind == Kind::Program || a.kind == Kind::Bypass)
            if (a.route == Route::Process)
                pointAlone[a.id] = static_cast<float>(a.value);
        if (a.kind == Kind::Block)
        {
            for (const auto& [id, value] : pointAlone)
                playedAlone[id] = value;
            pointAlone.clear();
        }
        // A value set on the controller alone waits for no block: a later
        // point of it alone reads as the same action whatever came between.
        if (a.kind == Kind::Block)
            both.clear(), process.clear(), alone = false;
        else if (a.kind == Kind::WriteBack)
            writtenBack = true;
        else if (a.kind == Kind::Value || a.kind == Kind::Program || a.kind == Kind::Bypass)
        {
            if (a.route == Route::Both)
                both.insert(a.id);
            if (a.route == Route::Controller)
                controller.insert(a.id);
            else if (a.route == Route::Both)
                controller.erase(a.id);
            if (a.route == Route::Process)
                process.insert(a.id);
            alone = alone || a.route == Route::Process;
        }
    }
};

bool Allowed(const std::vector<Action>& actions)
{
    Waiting waiting;
    for (const Action& a : actions)
    {
        if (!waiting.Allows(a))
            return false;
        waiting.Take(a);
    }
    return true;
}

// Ardour 7.3's frame for the plug-in's editor: the object that is also its
// component handler, so it offers the run loop exactly when the handler does.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
class ArdourFrame : public IPlugFrame
{
public:
    explicit ArdourFrame(ModelHost& host) : host_(host) {}
    tresult PLUGIN_API resizeView(IPlugView*, ViewRect*) override { return kResultFalse; }
    tresult PLUGIN_API queryInterface(const TUID queried, void** obj) override
    {
        if (FUnknownPrivate::iidEqual(queried, IPlugFrame::iid) || FUnknownPrivate::iidEqual(queried, FUnknown::iid))
        {
            *obj = static_cast<IPlugFrame*>(this);
            return kResultOk;
        }
        return host_.queryInterface(queried, obj);
    }
    uint32 PLUGIN_API addRef() override { return 1; }
    uint32 PLUGIN_API release() override { return 1; }

private:
    ModelHost& host_;
};
#pragma GCC diagnostic pop

struct Failure
{
    std::string signature;  // the check, and of what
    std::string message;
};

struct TakenState
{
    std::vector<char> processor, controller;
    Snapshot snapshot;
};

std::string Number(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.4g", value);
    return text;
}

// A held note: key 69 (with pressure on it) struck at the start of the
// first of kNoteBlocks blocks.
std::vector<float> PlayNote(Plugin& plugin)
{
    Event pressure{};
    pressure.type = Event::kPolyPressureEvent;
    pressure.polyPressure = {0, 69, 0.75f, -1};
    std::vector<float> played;
    for (int n = 0; n < kNoteBlocks; ++n)
    {
        const std::vector<float> out =
            plugin.Block(kFrames, {}, n == 0, nullptr, nullptr, n == 0 ? std::vector<Event>{pressure} : std::vector<Event>{});
        played.insert(played.end(), out.begin(), out.end());
    }
    return played;
}

std::optional<std::string> SoundDiffers(const std::vector<float>& played, const std::vector<float>& expected)
{
    if (played.size() != expected.size())
        return std::string("another number of samples");
    float peak = 0.0f;
    for (const float sample : expected)
        peak = std::max(peak, std::fabs(sample));
    for (std::size_t i = 0; i < played.size(); ++i)
        if (std::fabs(played[i] - expected[i]) > kSoundTolerance * peak || (peak == 0.0f && played[i] != 0.0f))
            return "sample " + std::to_string(i) + " is " + Number(played[i]) + ", " + Number(expected[i]) +
                   " expected (RMS " + Number(Rms(played)) + " against " + Number(Rms(expected)) + ")";
    return std::nullopt;
}

// A bundle as the model sees it: its parameters and programs, with its
// module kept loaded for the many instances.
class Bench
{
public:
    explicit Bench(const BundleCase& bundle) : bundle_(bundle), keeper_(bundle.path, kHostName)
    {
        std::string error;
        const std::vector<PatchValue> document = ReadDocument(bundle.path, error);
        EXPECT_TRUE(error.empty()) << error;
        IEditController* controller = keeper_.controller();
        if (!controller)
            return;
        for (int32 i = 0; i < controller->getParameterCount(); ++i)
            if (ParameterInfo info{}; controller->getParameterInfo(i, info) == kResultOk)
                order_.push_back(info.id), steps_[info.id] = info.stepCount;
        // The parameters the plug-in maps MIDI controllers to, which Ardour
        // keeps no control (and no copy) of.
        if (FUnknownPtr<IMidiMapping> mapping(controller); mapping)
            for (CtrlNumber cc = 0; cc < kCountCtrlNumber; ++cc)
                if (ParamID id = 0; mapping->getMidiControllerAssignment(0, 0, cc, id) == kResultOk)
                    midiMapped_.insert(id);
        if (const auto program = keeper_.Flagged(ParameterInfo::kIsProgramChange))
            program_ = program->id, programs_ = program->stepCount + 1;
        if (const auto bypass = keeper_.Flagged(ParameterInfo::kIsBypass))
            bypass_ = bypass->id;
        model_.memory.assign(static_cast<std::size_t>(programs_), {});
        for (const PatchValue& value : document)
        {
            patch_.push_back(value.id);
            EXPECT_EQ(value.steps, steps_[value.id]) << "the steps of parameter " << value.id;
            EXPECT_EQ(static_cast<int>(value.programs.size()), programs_)
                << "parameter " << value.id << " gives another number of programs than the host is offered";
            for (std::size_t p = 0; p < model_.memory.size(); ++p)
                model_.memory[p][value.id] = value.programs[std::min(p, value.programs.size() - 1)];
            // A list entry whose sound depends on the sample it was chosen at
            // (noise: its stream runs on from there) cannot be compared by
            // the samples: the host leaves it out.
            for (int32 k = 0; k <= value.steps && value.steps > 0; ++k)
            {
                const auto play = [&](int32 offset) {
                    Plugin fresh(bundle.path, kHostName);
                    fresh.Block(kFrames, {{value.id, k / static_cast<double>(value.steps), offset}});
                    return PlayNote(fresh);
                };
                if (SoundDiffers(play(1), play(0)))
                    unsteady_[value.id].insert(k);
            }
        }
    }
    bool Ready() const { return keeper_.controller() && !patch_.empty(); }
    std::string Unsteady() const
    {
        std::string text;
        for (const auto& [id, entries] : unsteady_)
            for (const int32 k : entries)
                text += " " + std::to_string(id) + ":" + std::to_string(k);
        return text.empty() ? "none" : text;
    }

    // A random order of host actions.
    std::vector<Action> Order(std::mt19937& random, bool waitingState, Host host, bool longRuns) const
    {
        const auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
        // Ardour sets no value in a block alone; Ardour 7.3 sets its generic
        // controls' values and its preset menu's programs on both routes.
        const auto route = [&] {
            return host == Host::Ardour73 ? Route::Both
                   : host != Host::Ardour ? static_cast<Route>(pick(3))
                   : pick(2)              ? Route::Both
                                          : Route::Controller;
        };
        bool processing = true, blockHere = false;
        Waiting waiting;
        std::vector<Action> actions;
        while (actions.size() < kSteps)
        {
            const int roll = pick(100);
            Action a{Kind::Value};
            if (roll < 30)
            {
                a.id = patch_[static_cast<std::size_t>(pick(static_cast<int>(patch_.size())))];
                const int32 steps = steps_.at(a.id);
                int32 k = steps > 0 ? pick(steps + 1) : pick(kGrid + 1);
                if (unsteady_.count(a.id) && unsteady_.at(a.id).count(k))
                    continue;
                a.value = k / static_cast<double>(steps > 0 ? steps : kGrid);
                a.route = route();
            }
            else if (roll < 40)
            {
                if (!program_)
                    continue;
                a = {Kind::Program, host == Host::BlockPrograms ? Route::Process : route(), *program_,
                     pick(programs_) / static_cast<double>(programs_ - 1)};
            }
            else if (roll < 48)
            {
                if (!bypass_)
                    continue;
                a = {Kind::Bypass, route(), *bypass_, static_cast<double>(pick(2))};
            }
            else if (roll < 70)
            {
                // Ardour 7.3 passes no report back itself: its copy takes
                // them, and a shown window's timer writes them back.
                a = {Kind::Block, Route::Process, 0, 0.0, pick(3) == 0,
                     host == Host::Deaf || host == Host::Ardour73 ? Reports::Never : static_cast<Reports>(pick(3))};
                a.blocks = longRuns && pick(3) == 0 ? 10 + pick(kLongRun - 9) : 1;
                processing = true, blockHere = !a.elsewhere;
            }
            else if (roll < 74)
                a.kind = Kind::Processing, processing = !processing;
            else if (roll < 80)
            {
                if (processing && !blockHere && !std::exchange(waitingState, false))
                    continue;
                a.kind = Kind::TakeState;
            }
            else if (roll < 86)
                a = {Kind::SetState, Route::Controller, 0, 0.0, false, Reports::Now, static_cast<std::size_t>(pick(4))};
            else if (host == Host::Deaf)
                continue;
            else if (host == Host::Ardour73)
                a.kind = roll < 90 ? Kind::Editor : Kind::Window;
            else
                a.kind = roll < 92 ? Kind::Forward : Kind::WriteBack;
            if (!waiting.Allows(a))
                continue;
            waiting.Take(a);
            actions.push_back(a);
        }
        return actions;
    }

    // Plays the order on a new instance, checking after every step and at
    // the end: the first failure, and what was done up to it.
    std::optional<Failure> Play(const std::vector<Action>& actions, std::vector<std::string>& log, Host host)
    {
        ++replays_;
        Session s(*this, host);
        log.clear();
        if (auto failure = s.Check("at the start"))
            return failure;
        // After each step the host's event loop turns (the plug-in's timer)
        // and, after a restart, Ardour's timer writes the copy back.
        int rereads = s.live->host.rereads;
        const auto settle = [&](const std::string& when) -> std::optional<Failure> {
            if (host == Host::Ardour73)
                return s.SettleArdour(log, when);
            for (int writeBacks = 0;; ++writeBacks)
            {
                s.live->host.Turn();
                if (auto failure = s.Check(when))
                    return failure;
                const int seen = std::exchange(rereads, s.live->host.rereads);
                if (host != Host::Ardour || seen == rereads)
                    return std::nullopt;
                if (writeBacks == 3)
                    return Failure{"(f) the plug-in restarts after each write-back of the values it holds",
                                   "a restart after each of 3 write-backs, " + when};
                log.push_back(s.Do({Kind::WriteBack}) + " (after the plug-in's restart)");
            }
        };
        for (const Action& action : actions)
        {
            log.push_back(s.Do(action));
            if (auto failure = settle("after step " + std::to_string(log.size())))
                return failure;
            if (action.kind == Kind::TakeState)
                if (auto failure = s.CheckState(s.states.back()))
                    return failure;
        }
        // The end: a block brings what waits, then the sound and the state.
        log.push_back(s.Do(s.Cycle()) + "   [end]");
        if (auto failure = settle("after the closing block"))
            return failure;
        if (auto failure = s.CheckSound())
            return failure;
        log.push_back(s.Do({Kind::TakeState}) + "   [end]");
        return s.CheckState(s.states.back());
    }
    int replays_ = 0;

private:
    struct Session
    {
        // Ardour 7.3 runs the plug-in under its own name, which the plug-in
        // knows, and offers no run loop until the plug-in's editor is made.
        Session(const Bench& bench, Host host)
            : b(bench),
              live(std::make_unique<Plugin>(b.bundle_.path, host == Host::Ardour73 ? "Ardour" : kHostName,
                                            host != Host::Ardour73)),
              shadow(std::make_unique<Plugin>(b.bundle_.path, kHostName)), model(b.model_), given(model.Take()),
              kind(host), frame(live->host)
        {
        }
        // A freeze was reported when it happened.
        ~Session() { live->host.underLock = 0; }

        // The block a host runs on its own between the user's actions.
        Action Cycle() const
        {
            Action cycle{Kind::Block};
            cycle.reports = kind == Host::Ardour73 ? Reports::Never : Reports::Now;
            return cycle;
        }
        // Ardour 7.3 between the user's actions: its run loop turns (the
        // plug-in's timers, once its editor has been made); the values a
        // restart made it reread that changed go to the processor in its
        // next cycle; while a plug-in window is shown, its GUI timer writes
        // every marked value back on the controller, once the cycles have
        // carried what the user set. A call into its handler under its own
        // lock has frozen it.
        std::optional<Failure> SettleArdour(std::vector<std::string>& log, const std::string& when)
        {
            ModelHost& host = live->host;
            for (int rounds = 0;; ++rounds)
            {
                host.Turn();
                if (host.underLock > 0)
                    return Failure{"(g) Ardour 7.3 freezes: the plug-in calls its handler inside a call made "
                                   "under Ardour's lock",
                                   std::to_string(std::exchange(host.underLock, 0)) + " handler call(s) under the lock, " +
                                       when};
                if (host.rereads != owedSince)
                    programOwed = stateOwed = false, lastLoad.clear();
                bool moved = false;
                bool reread = false;
                for (const auto& [id, value] : std::exchange(host.pending, {}))
                    if (!b.midiMapped_.count(id))
                        Queue(id, value, false), reread = true;
                if (reread)
                {
                    log.push_back(Do(Cycle()) + " (Ardour's next cycle, carrying the values it reread)");
                    moved = true;
                }
                if (windowShown && pending.empty() && !host.marks.empty())
                {
                    std::size_t written = 0;
                    for (const ParamID id : std::exchange(host.marks, {}))
                        if ((host.infoFlags[id] & (ParameterInfo::kCanAutomate | ParameterInfo::kIsReadOnly)) &&
                            !b.midiMapped_.count(id))
                            PassBack(id, host.copy[id]), ++written;
                    if (written > 0)
                        log.push_back("Ardour's GUI timer writes " + std::to_string(written) + " marked value(s) back");
                    moved = written > 0;
                }
                if (!moved)
                    return Check(when);
                if (rounds == 3)
                    return Failure{"(f) the plug-in restarts after each write-back of the values it holds",
                                   "a restart after each of 3 write-backs, " + when};
            }
        }
        // The shadow's block beside each of the live one's: what the model
        // changed since its last, at the first sample; a program with every value.
        void ShadowBlock()
        {
            const Snapshot now = model.Take();
            const auto was = Expected(given), is = Expected(now);
            std::vector<Change> changes;
            for (std::size_t i = 0; i < is.size(); ++i)
                if ((now.program != given.program || is[i].second != was[i].second) &&
                    !(b.bundle_.shownBy && is[i].first == b.bundle_.shownBy->second))
                    changes.push_back({is[i].first, is[i].second, 0});
            shadow->Block(kFrames, changes);
            given = now;
        }
        IEditController* controller() const { return live->controller(); }
        // A host queues the value it holds for the next block (JUCE's
        // cache): one it sets on the controller again takes the place of
        // the value a point that went with the controller waits with.
        void Requeue(ParamID id, double value)
        {
            for (Point& point : pending)
                if (point.id == id && !point.alone)
                    point.value = value;
        }

        // A value the host sets on the controller alone, as it passes a
        // report back or writes its copy back.
        void PassBack(ParamID id, double value)
        {
            controller()->setParamNormalized(id, value);
            Apply(id, value);
            passedBack.insert(id);
        }
        // A point for the next block. A block carries one value of each
        // parameter (the processor takes a queue's last point): a newer
        // point takes the place of the one before.
        void Queue(ParamID id, double value, bool alone)
        {
            pending.erase(std::remove_if(pending.begin(), pending.end(), [&](const Point& p) { return p.id == id; }),
                          pending.end());
            pending.push_back({id, value, alone});
        }
        void Apply(ParamID id, double value)
        {
            if (id == b.program_)
                model.program = static_cast<int>(std::lround(value * (b.programs_ - 1)));
            else if (id == b.bypass_)
                model.bypass = value;
            // (A MIDI controller's parameter written back moves nothing the
            // model holds: it reads as the value it shows.)
            else if (Values& memory = model.memory[static_cast<std::size_t>(model.program)]; memory.count(id))
                memory[id] = value;
        }

        std::string Do(const Action& a)
        {
            switch (a.kind)
            {
            case Kind::Value:
            case Kind::Program:
            case Kind::Bypass:
            {
                static const char* const routes[] = {"on the controller", "in the next block",
                                                     "on the controller and in the next block"};
                // A report passed back was set on the controller alone (see Waiting).
                if (a.route == Route::Process && passedBack.count(a.id))
                    return "(a point alone of a parameter whose report was passed back: not set)";
                if (a.route == Route::Both)
                    passedBack.erase(a.id);
                // A host's value of a parameter takes the place of a report
                // of it that waits to be passed back (JUCE's cache).
                outbox.erase(std::remove_if(outbox.begin(), outbox.end(), [&](const auto& r) { return r.first == a.id; }),
                             outbox.end());
                // What the host sets itself, its copy holds.
                // Ardour 7.3 chooses a program from its preset menu under its
                // lock, and rereads nothing itself.
                if (a.kind == Kind::Program && kind == Host::Ardour73)
                {
                    live->host.Load([&] { return controller()->setParamNormalized(a.id, a.value); });
                    programOwed = true, owedSince = live->host.rereads;
                    lastLoad = "a program choice from its preset menu";
                }
                else if (a.route != Route::Process)
                    controller()->setParamNormalized(a.id, a.value);
                if (a.route != Route::Process)
                {
                    live->host.copy[a.id] = a.value;
                    Apply(a.id, a.value);
                    Requeue(a.id, a.value);
                }
                if (a.route != Route::Controller)
                    Queue(a.id, a.value, a.route == Route::Process);
                const char* what = a.kind == Kind::Value ? "value of " : a.kind == Kind::Program ? "program " : "bypass ";
                return std::string("set ") + what + std::to_string(a.id) + " = " + Number(a.value) + " " +
                       routes[static_cast<int>(a.route)];
            }
            case Kind::Block:
            {
                std::string text;
                if (!processing)
                {
                    live->instance->processor()->setProcessing(true);
                    processing = true;
                    text = "setProcessing(true), then ";
                }
                // Each point at a sample of its own, in the order set, in
                // the run's first block; the host's loop turns now and then.
                // (Ardour 7.3 puts every point at the first sample.)
                std::vector<Change> changes;
                for (const Point& point : pending)
                    changes.push_back(
                        {point.id, point.value, kind == Host::Ardour73 ? 0 : static_cast<int32>(changes.size())});
                const std::vector<Change> none;
                std::size_t reports = 0;
                for (int n = 0; n < a.blocks; ++n)
                {
                    if (n % kTurnBlocks == kTurnBlocks - 1)
                        live->host.Turn();
                    Values reported;
                    if (a.elsewhere)
                        std::thread([&] { live->Block(kFrames, n ? none : changes, false, &reported); }).join();
                    else
                        live->Block(kFrames, n ? none : changes, false, &reported);
                    // A point alone acts now; one that went with the controller acted then.
                    for (const Point& point : pending)
                        if (point.alone)
                            Apply(point.id, point.value), live->host.copy[point.id] = point.value;
                    pending.clear();
                    ShadowBlock();
                    // The host's copy takes the block's reports as it ends, and a
                    // report takes the place of an older one of its parameter
                    // that waits to be passed back (JUCE's cache).
                    for (const auto& [id, value] : reported)
                    {
                        live->host.copy[id] = value;
                        if (kind == Host::Ardour73)
                            live->host.marks.insert(id);
                        else if (id == b.program_ || id == b.bypass_ ||
                                 std::count(b.patch_.begin(), b.patch_.end(), id))
                            echoes += (echoes.empty() ? "" : ", ") + std::to_string(id) + " = " + Number(value);
                        const ParamID reportedId = id;
                        outbox.erase(std::remove_if(outbox.begin(), outbox.end(),
                                                    [&](const auto& r) { return r.first == reportedId; }),
                                     outbox.end());
                    }
                    reports += reported.size();
                    if (a.reports == Reports::Now)
                        for (const auto& [id, value] : reported)
                            PassBack(id, value);
                    if (a.reports == Reports::Later)
                        outbox.insert(outbox.end(), reported.begin(), reported.end());
                }
                // Ardour 7.3's copy holds the chosen program's values once
                // the block that carried the choice has ended.
                programOwed = false;
                text += (a.blocks > 1 ? std::to_string(a.blocks) + " blocks, the first of " : "block of ") +
                        std::to_string(changes.size()) + " point(s)" + (a.elsewhere ? " on another thread" : "") +
                        ", " + std::to_string(reports) + " report(s) " +
                        (a.reports == Reports::Now     ? "passed back now"
                         : a.reports == Reports::Later ? "kept for later"
                                                       : "never passed back");
                return text;
            }
            case Kind::Processing:
                processing = !processing;
                live->instance->processor()->setProcessing(processing);
                return processing ? "setProcessing(true)" : "setProcessing(false)";
            case Kind::TakeState:
                states.push_back({live->ProcessorState(), live->ControllerState(), model.Take()});
                return "take state #" + std::to_string(states.size() - 1) + " (processor, controller)";
            case Kind::SetState:
            {
                if (states.empty())
                    return "set a state: none taken yet, nothing done";
                const std::size_t which = a.which % states.size();
                model.Restore(states[which].snapshot);
                if (kind != Host::Ardour73)
                {
                    live->Restore(states[which].processor, states[which].controller);
                    return "set state #" + std::to_string(which) +
                           " (processor, controller's component state, controller)";
                }
                // Ardour 7.3 loads a user preset under its lock: the
                // processor's state and the controller's component state.
                live->host.Load([&] {
                    HostMemoryStream processor(states[which].processor), shown(states[which].processor);
                    EXPECT_EQ(live->component()->setState(&processor), kResultOk);
                    EXPECT_EQ(controller()->setComponentState(&shown), kResultOk);
                });
                stateOwed = true, owedSince = live->host.rereads;
                lastLoad = "a user preset";
                return "load state #" + std::to_string(which) + " as a user preset under Ardour's lock (processor, "
                       "controller's component state)";
            }
            case Kind::Editor:
            {
                // Ardour's GUI hands its handler the run loop once the
                // plug-in's editor is made; it keeps it after the editor
                // closes. (No window is embedded: the editor is closed again
                // before it is attached.)
                live->host.offersRunLoop = true;
                IPlugView* view = controller()->createView(ViewType::kEditor);
                if (view == nullptr)
                    return "make the plug-in's editor: none made";
                view->setFrame(&frame);
                view->setFrame(nullptr);
                view->release();
                return "make the plug-in's editor and close it (Ardour's handler offers its run loop from now on)";
            }
            case Kind::Window:
                windowShown = !windowShown;
                return windowShown ? "show the plug-in's window (Ardour's GUI timer runs)"
                                   : "hide the plug-in's window (Ardour's GUI timer stops)";
            case Kind::Forward:
            {
                for (const auto& [id, value] : outbox)
                    PassBack(id, value);
                const std::string text = "pass back the " + std::to_string(outbox.size()) + " report(s) kept";
                outbox.clear();
                return text;
            }
            case Kind::WriteBack:
                for (const ParamID id : b.order_)
                    if (const auto copy = live->host.copy.find(id); copy != live->host.copy.end())
                    {
                        PassBack(id, copy->second);
                        Requeue(id, copy->second);
                    }
                // The copy took the reports the host kept: writing it back
                // passed them back.
                outbox.clear();
                return "write the host's copy back";
            }
            return {};
        }

        // Whether two normalised values are the same (a list's by its entry).
        bool Same(ParamID id, double x, double y) const
        {
            const int32 steps = b.steps_.at(id);
            return steps > 0 ? std::lround(x * steps) == std::lround(y * steps) : std::fabs(x - y) <= kTolerance;
        }
        // What the model says of each parameter the checks read: the program
        // first, the values, the bypass, a MIDI controller's parameter last.
        std::vector<std::pair<ParamID, double>> Expected(const Snapshot& s) const
        {
            std::vector<std::pair<ParamID, double>> expected;
            if (b.program_)
                expected.emplace_back(*b.program_, s.program / static_cast<double>(b.programs_ - 1));
            expected.insert(expected.end(), s.values.begin(), s.values.end());
            if (b.bypass_)
                expected.emplace_back(*b.bypass_, s.bypass);
            if (b.bundle_.shownBy)
                expected.emplace_back(b.bundle_.shownBy->second, s.values.at(b.bundle_.shownBy->first));
            return expected;
        }
        std::string Named(ParamID id) const
        {
            return id == b.program_ ? "the program"
                   : id == b.bypass_ ? "the bypass"
                   : b.bundle_.shownBy && id == b.bundle_.shownBy->second ? "the MIDI controller's parameter"
                                                                          : "a patch value";
        }
        // (a) the controller reads the model, (b) the host's copy reads the
        // controller, (c) for a MIDI controller's parameter.
        // Ardour 7.3 shows no MIDI controller's parameter as a control.
        std::optional<Failure> Reads(Plugin& plugin, const Snapshot& s, const std::string& when, const std::string& who,
                                     bool copyShown = true, bool controllersShown = true) const
        {
            for (const auto& [id, value] : Expected(s))
            {
                const std::string check = b.bundle_.shownBy && id == b.bundle_.shownBy->second ? "(c) " : "";
                const double read = plugin.controller()->getParamNormalized(id);
                if (!Same(id, read, value))
                    return Failure{(check.empty() ? "(a) " : check) + who + "'s controller reads " + Named(id),
                                   who + "'s controller reads " + Number(read) + " for id " + std::to_string(id) +
                                       ", the model " + Number(value) + ", " + when};
                const auto copy = plugin.host.copy.find(id);
                if (!copyShown || (!check.empty() && !controllersShown))
                    continue;
                if (copy == plugin.host.copy.end() || !Same(id, copy->second, read))
                    return Failure{(check.empty() ? "(b) " : check) + who + "'s host copy of " + Named(id),
                                   "the host's copy holds " +
                                       (copy == plugin.host.copy.end() ? std::string("nothing") : Number(copy->second)) +
                                       " for id " + std::to_string(id) + ", " + who + "'s controller reads " +
                                       Number(read) + ", " + when};
            }
            return std::nullopt;
        }
        std::optional<Failure> Check(const std::string& when) const
        {
            // In these orders the engine moves nothing on its own: a host
            // other than Ardour 7.3 passes what it reports back as its own.
            if (!echoes.empty())
                return Failure{"(h) a host other than Ardour 7.3 hears what it set as the engine's own move",
                               "a block reported " + echoes + ", which the host set, chose or restored, " + when};
            // Ardour 7.3's copy may hold the old values from a program
            // choice until the block that carries it, and from a preset
            // until the plug-in's restart, which it expects after its call,
            // while it offers no run loop for the plug-in to restart from.
            const bool owed = (programOwed || stateOwed) && !live->host.offersRunLoop;
            auto failure = Reads(*live, model.Take(), when, "the live instance", !owed, kind != Host::Ardour73);
            // What Ardour 7.3's generic controls show stale, and since what.
            if (failure && kind == Host::Ardour73 && failure->signature.rfind("(b) ", 0) == 0)
                failure->signature += ", since " + (lastLoad.empty() ? std::string("no load of its own") : lastLoad) +
                                      (live->host.offersRunLoop ? ", its run loop offered" : ", no run loop offered");
            return failure;
        }

        // What a fresh instance plays that got only these values (program,
        // then every value and the bypass, at the first sample) in a block
        // before the note.
        std::vector<float> Reference(const Snapshot& s) const
        {
            std::vector<Change> changes;
            std::vector<double> key;
            for (const auto& [id, value] : Expected(s))
                if (!b.bundle_.shownBy || id != b.bundle_.shownBy->second)
                    changes.push_back({id, value, 0}), key.push_back(value);
            std::vector<float>& played = b.references_[key];
            if (played.empty())
            {
                Plugin fresh(b.bundle_.path, kHostName);
                fresh.Block(kFrames, changes);
                played = PlayNote(fresh);
            }
            return played;
        }
        // (e) a new instance given the state reads and plays what the model held then.
        std::optional<Failure> CheckState(const TakenState& state) const
        {
            Plugin restored(b.bundle_.path, kHostName);
            restored.Restore(state.processor, state.controller);
            if (auto failure = Reads(restored, state.snapshot, "once given the state", "a new instance"))
                return failure->signature = "(e) " + failure->signature, failure;
            restored.Block(kFrames);
            if (const auto differs = SoundDiffers(PlayNote(restored), Reference(state.snapshot)))
                return Failure{"(e) a new instance given the state plays another sound",
                               "a new instance given the state plays " + *differs + " by the model's values"};
            return std::nullopt;
        }
        // (d) the live engine plays what the model holds: a block bringing
        // nothing new, then the note, as the shadow plays it. (The voices'
        // oscillators keep a trace, up to a few thousandths of the peak, of
        // the waveforms they had and since when: a fresh instance given only
        // the last values can play otherwise.)
        std::optional<Failure> CheckSound()
        {
            live->Block(kFrames);
            ShadowBlock();
            if (const auto differs = SoundDiffers(PlayNote(*live), PlayNote(*shadow)))
                return Failure{"(d) the live engine plays another sound",
                               "the live instance plays " + *differs + " by the model's values"};
            return std::nullopt;
        }

        const Bench& b;
        std::unique_ptr<Plugin> live;
        // A fresh instance given the model's values as they change, block
        // beside block with the live one.
        std::unique_ptr<Plugin> shadow;
        Model model;
        Snapshot given;
        struct Point
        {
            ParamID id;
            double value;
            bool alone;
        };
        std::vector<Point> pending;
        std::vector<std::pair<ParamID, double>> outbox;
        // Parameters set on the controller alone by a report passed back.
        std::set<ParamID> passedBack;
        std::vector<TakenState> states;
        bool processing = true;
        const Host kind;
        // Ardour 7.3: a plug-in window shown; its copy waiting for the block
        // that carries its program choice, or for a restart after a preset
        // (one after this count of rereads).
        bool windowShown = false, programOwed = false, stateOwed = false;
        // Host values a block reported to another host.
        std::string echoes;
        // Ardour 7.3's last load that no restart has followed yet.
        std::string lastLoad;
        int owedSince = 0;
        ArdourFrame frame;
    };

    BundleCase bundle_;
    Plugin keeper_;  // keeps the module loaded between instances
    std::vector<ParamID> order_, patch_;
    std::map<ParamID, int32> steps_;
    std::set<ParamID> midiMapped_;
    std::map<ParamID, std::set<int32>> unsteady_;
    // What fresh instances given these values play.
    mutable std::map<std::vector<double>, std::vector<float>> references_;
    std::optional<ParamID> program_, bypass_;
    int programs_ = 1;
    Model model_;
};

// A short order that still fails the same way: runs of actions left out,
// halving their length, until none can be; then blocks made simpler (on the
// test's thread, their reports never passed back).
std::vector<Action> CutDown(Bench& bench, std::vector<Action> actions, const std::string& signature, Host host)
{
    const int budget = bench.replays_ + kMaxReplays;
    std::vector<std::string> log;
    const auto same = [&](const std::vector<Action>& candidate) {
        if (bench.replays_ >= budget || !Allowed(candidate))
            return false;
        const auto failure = bench.Play(candidate, log, host);
        return failure && failure->signature == signature;
    };
    for (std::size_t before = actions.size() + 1; actions.size() < before;)
    {
        before = actions.size();
        for (std::size_t run = std::max<std::size_t>(actions.size() / 2, 1); run >= 1; run /= 2)
            for (std::size_t start = actions.size(); start-- > 0;)
            {
                if (start + run > actions.size())
                    continue;
                std::vector<Action> candidate = actions;
                candidate.erase(candidate.begin() + static_cast<std::ptrdiff_t>(start),
                                candidate.begin() + static_cast<std::ptrdiff_t>(start + run));
                if (same(candidate))
                    actions = candidate;
            }
    }
    for (Action& a : actions)
    {
        if (a.kind != Kind::Block)
            continue;
        const Action kept = a;
        a.blocks = 1;
        if (a.blocks == kept.blocks || !same(actions))
            a = kept;
        const Action run = a;
        const std::pair<bool, Reports> variants[] = {
            {false, Reports::Never}, {false, run.reports}, {run.elsewhere, Reports::Never}};
        bool simpler = false;
        for (const auto& [elsewhere, reports] : variants)
        {
            if (simpler || (elsewhere == run.elsewhere && reports == run.reports))
                continue;
            a.elsewhere = elsewhere;
            a.reports = reports;
            simpler = same(actions);
        }
        if (!simpler)
            a = run;
    }
    return actions;
}

std::string Listed(const std::vector<std::string>& log)
{
    std::string text;
    for (std::size_t i = 0; i < log.size(); ++i)
        text += "  " + std::to_string(i + 1) + ". " + log[i] + "\n";
    return text;
}

class HostOrderModel : public ::testing::TestWithParam<BundleCase>
{
};

TEST_P(HostOrderModel, TheControllerTheHostsCopyTheEngineAndEveryStateFollowTheHostsLastActionInAnyOrder)
{
    Bench bench(GetParam());
    ASSERT_TRUE(bench.Ready());
    // KV_HOST_ORDER_SEED moves the seeds, to replay a printed order first.
    unsigned first = 1;
    if (const char* seed = std::getenv("KV_HOST_ORDER_SEED"))
        first = static_cast<unsigned>(std::strtoul(seed, nullptr, 10));
    int sequences = kSequences;
    if (const char* count = std::getenv("KV_HOST_ORDER_SEQUENCES"))
        sequences = std::max(1, std::atoi(count));
    std::map<std::string, int> seen, orders;
    for (int n = 0; n < sequences; ++n)
    {
        const unsigned seed = first + static_cast<unsigned>(n);
        std::mt19937 random(seed);
        const bool newHost = (seed - 1) % kSequences >= kSequences - kNewHostOrders;
        const auto host = newHost ? static_cast<Host>(3 + random() % 2) : static_cast<Host>(random() % 3);
        const std::string kindName = kHostKinds[static_cast<int>(host)];
        ++orders[kindName];
        const bool longRuns = random() % 5 == 0;
        const std::vector<Action> actions =
            bench.Order(random, n % kWaitingStateOrders == kWaitingStateOrders / 2, host, longRuns);
        std::vector<std::string> log;
        const auto failure = bench.Play(actions, log, host);
        if (!failure || seen["a host that " + kindName + ": " + failure->signature]++ > 0)
            continue;
        std::vector<std::string> shortLog;
        const auto again = bench.Play(CutDown(bench, actions, failure->signature, host), shortLog, host);
        ADD_FAILURE() << GetParam().name << ", seed " << seed << ", a host that " << kindName << ": "
                      << failure->signature << "\n"
                      << failure->message << ", after:\n"
                      << Listed(log) << "cut down to:\n"
                      << Listed(shortLog) << (again ? again->message : std::string("(passes when cut down)"));
    }
    for (const auto& [signature, count] : seen)
        std::printf("%s: %s, in %d orders\n", GetParam().name, signature.c_str(), count);
    for (const auto& [kindName, count] : orders)
        std::printf("%s: %d orders of a host that %s\n", GetParam().name, count, kindName.c_str());
    if (!seen.empty())
        std::printf("%s: list entries the host leaves out (id:entry):%s\n", GetParam().name, bench.Unsteady().c_str());
}

INSTANTIATE_TEST_SUITE_P(Bundles, HostOrderModel,
                         ::testing::Values(BundleCase{"DemoSynth", KV_DEMO_SYNTH_BUNDLE, std::nullopt},
                                           BundleCase{"ProgramSynth", KV_PROGRAM_SYNTH_BUNDLE, std::nullopt},
                                           BundleCase{"PressureSynth", KV_PRESSURE_SYNTH_BUNDLE,
                                                      std::make_pair(ParamID{5}, ParamID{10007})}),
                         [](const ::testing::TestParamInfo<BundleCase>& bundle) { return std::string(bundle.param.name); });

} // namespace
