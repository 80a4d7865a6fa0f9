// A host that behaves as Ardour 7.3 chooses the three-program bundle's
// programs (tests/patches/KvProgramSynth) with a window shown: the plug-in's
// editor in a real window, or the host's own generic window. What it does:
// it holds its lock (not recursive) around the program choice, which
// restartComponent takes too; on the restart it rereads every value into its
// copy and sends the changed ones to the processor; performEdit and the
// processor's output changes overwrite its copy and mark the value; while a
// window is shown its timer writes every marked value back with
// setParamNormalized. Each choice gives its program, and no program is
// rewritten.

#include <gtest/gtest.h>

#include <array>
#include <mutex>
#include <regex>
#include <set>
#include <string>

#include "../shell/HostCopy.h"
#include "EditorSession.h"

using namespace Steinberg;
using namespace Steinberg::Vst;
using namespace host_copy;
using namespace x11_test;

namespace
{
const std::string kProgramBundle = KV_PROGRAM_SYNTH_BUNDLE;
// The level each program's state saves.
const std::array<const char*, 3> kSavedLevels = {"8", "2", "5"};

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
class ArdourLikeHost : public HostComponentHandler, public HostCopy
{
public:
    tresult PLUGIN_API restartComponent(int32 flags) override
    {
        const std::unique_lock<std::mutex> held(lock, std::try_to_lock);
        if (!held.owns_lock())
            return ++underLock, kResultFalse;
        ++restarts;
        if (flags & kParamValuesChanged)
            Reread(*controller, true);
        return kResultOk;
    }
    tresult PLUGIN_API beginEdit(ParamID) override { return Unlocked(); }
    tresult PLUGIN_API endEdit(ParamID) override { return Unlocked(); }
    tresult PLUGIN_API performEdit(ParamID id, ParamValue value) override
    {
        copy[id] = value;
        marks.insert(id);
        pending[id] = value;
        return Unlocked();
    }
    // load_preset of a factory program: under the lock, the program
    // parameter on the controller and queued for the processor.
    void Choose(int program)
    {
        const double value = program / 2.0;
        {
            const std::lock_guard<std::mutex> held(lock);
            controller->setParamNormalized(kProgramChange, value);
        }
        pending[kProgramChange] = value;
    }
    // The GUI timer of a shown window.
    void WriteBack()
    {
        for (const ParamID id : marks)
            if (parameterFlags[id] & (ParameterInfo::kCanAutomate | ParameterInfo::kIsReadOnly))
                controller->setParamNormalized(id, copy[id]);
        marks.clear();
    }
    // A block with what waits for the processor; its output changes mark the copy.
    std::vector<float> Process(PluginInstance& instance)
    {
        Values reported;
        const std::vector<float> played = Block(instance, pending, &reported);
        pending.clear();
        for (const auto& [id, value] : reported)
        {
            copy[id] = value;
            marks.insert(id);
        }
        return played;
    }

    IEditController* controller = nullptr;
    std::mutex lock;
    std::set<ParamID> marks;
    int underLock = 0;
    int restarts = 0;

private:
    tresult Unlocked()
    {
        const std::unique_lock<std::mutex> held(lock, std::try_to_lock);
        underLock += held.owns_lock() ? 0 : 1;
        return kResultOk;
    }
};
#pragma GCC diagnostic pop

std::string SavedLevel(PluginInstance& instance)
{
    std::vector<char> state;
    std::string error;
    instance.saveState(state, error);
    static const std::regex level(R"re(<Param id="102"[^>]*val="([^"]*)")re");
    std::smatch found;
    const std::string text(state.begin(), state.end());
    return std::regex_search(text, found, level) ? found[1].str() : std::string("?");
}
} // namespace

TEST(ArdourProgramWindow, ProgramsChosenWithAWindowShownEachGiveTheirValuesAndSoundAndStayTheirOwn)
{
    for (const bool editor : {true, false})
    {
        SCOPED_TRACE(editor ? "the plug-in's editor shown" : "the host's generic window shown");
        EditorSession session;
        KV_CONNECT_OR_SKIP(session);
        std::string error;
        session.module = PluginModule::Load(kProgramBundle, error);
        ASSERT_TRUE(session.module) << error;
        InstanceSetup setup;
        setup.hostName = "Ardour";
        session.instance = PluginInstance::Create(session.module, setup, error);
        ASSERT_TRUE(session.instance) << error;
        PluginInstance& instance = *session.instance;
        ArdourLikeHost host;
        host.controller = instance.controller();
        host.controller->setComponentHandler(&host);
        host.Reread(*host.controller, false);
        if (editor)
        {
            ASSERT_TRUE(session.open(error)) << error;
        }

        // The sound of each program, as another instance plays it chosen alone.
        std::array<double, 3> sound{};
        const std::unique_ptr<PluginInstance> reference = PluginInstance::Create(session.module, setup, error);
        ASSERT_TRUE(reference) << error;
        for (int p = 0; p < 3; ++p)
        {
            Block(*reference, {{kProgramChange, p / 2.0}});
            Block(*reference, {});
            sound[static_cast<std::size_t>(p)] = Rms(Block(*reference, {}, nullptr, 4096));
        }

        // The restart reaches the host when the editor's timer fires, or
        // when the generic window next asks for a value's text.
        const auto hearRestart = [&] {
            const int before = host.restarts;
            if (editor)
                return session.serveUntil([&] { return host.restarts > before; });
            String128 text{};
            host.controller->getParamStringByValue(0, host.copy[0], text);
            return host.restarts > before;
        };
        for (const int program : {1, 2, 0, 1, 2, 0})
        {
            SCOPED_TRACE("program " + std::to_string(program));
            const auto p = static_cast<std::size_t>(program);
            host.Choose(program);
            // The window's timer fires before the restart comes: it writes
            // back what the block of the choice before reported.
            host.WriteBack();
            ASSERT_TRUE(hearRestart()) << "no restart";
            host.WriteBack();
            // The program and the values reread, in one block; what it
            // reports waits for the timer, and the editor hears of it only
            // after the next choice.
            host.Process(instance);
            const double rms = Rms(Block(instance, {}, nullptr, 4096));
            for (const ParamID id : kIds)
            {
                EXPECT_NEAR(host.copy[id], kPrograms[p].at(id), 1e-6) << "the host's copy, id " << id;
                EXPECT_NEAR(host.controller->getParamNormalized(id), kPrograms[p].at(id), 1e-6) << "id " << id;
            }
            EXPECT_NEAR(rms, sound[p], sound[p] * 0.01) << "the sound";
        }
        if (editor)
            session.window->close();

        // Afterwards each program holds its own values, in the processor and
        // in the controller.
        for (const int program : {1, 2, 0})
        {
            SCOPED_TRACE("afterwards, program " + std::to_string(program));
            const auto p = static_cast<std::size_t>(program);
            Block(instance, {{kProgramChange, program / 2.0}});
            EXPECT_EQ(SavedLevel(instance), kSavedLevels[p]);
            host.Choose(program);
            for (const ParamID id : kIds)
                EXPECT_NEAR(host.controller->getParamNormalized(id), kPrograms[p].at(id), 1e-6) << "id " << id;
        }
        EXPECT_EQ(host.underLock, 0) << "a handler call under the host's lock";
        host.controller->setComponentHandler(&instance.componentHandler());
    }
}
