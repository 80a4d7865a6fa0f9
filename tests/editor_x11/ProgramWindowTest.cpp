// The program bundle (tests/patches/KvProgramSynth: three named programs,
// every control on a value that differs between them) in a real window:
// when the host chooses a program, every control of the open editor shows
// that program, the program's name included, which no host parameter carries.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "EditorSession.h"
#include "tools/kvhost/Renderer.h"

using namespace x11_test;

namespace
{
const std::string kProgramBundle = KV_PROGRAM_SYNTH_BUNDLE;

// Where the bundle's controls are (gui.kv.xml): left, top, right, bottom.
constexpr int kTone[4] = {20, 50, 68, 98};
constexpr int kLevel[4] = {80, 50, 128, 98};
constexpr int kWave[4] = {150, 10, 300, 54};
constexpr int kName[4] = {150, 80, 300, 124};
constexpr int kSteps[4] = {330, 60, 460, 82};
} // namespace

TEST(ProgramWindow, TheOpenEditorShowsTheProgramTheHostChooses)
{
    EditorSession session;
    KV_OPEN_EDITOR_OR_SKIP(session, kProgramBundle);
    const WindowImage initial = session.capture();
    ASSERT_FALSE(initial.pixels.empty());

    // The host plays its program change for "Dark Pad" (program 3 of 3).
    Performance performance;
    PerformanceEvent choice;
    choice.kind = PerformanceEvent::Kind::ProgramChange;
    choice.number = 2;
    performance.events.push_back(choice);
    RenderSettings settings;
    settings.seconds = 0.05;
    Renderer renderer(*session.instance);
    RenderResult result;
    std::string error;
    ASSERT_TRUE(renderer.render(performance, settings, nullptr, result, error)) << error;

    // Every control moves, the name too: it reaches the editor only through
    // the controller, which hears of it from the processor.
    const int(*const areas[])[4] = {&kTone, &kLevel, &kWave, &kName, &kSteps};
    auto allMoved = [&] {
        const WindowImage now = session.capture();
        for (const auto* area : areas)
            if (Area(now, *area) == Area(initial, *area))
                return false;
        return true;
    };
    EXPECT_TRUE(session.serveUntil(allMoved)) << "a control still shows the program before";
    session.window->settle();
    const WindowImage shown = session.capture();

    // What they show is the program's values: the host setting them again
    // moves nothing.
    auto* controller = session.instance->controller();
    const std::pair<Steinberg::Vst::ParamID, double> darkPad[] = {{0, 0.5}, {1, 0.9}, {2, 0.5}, {3, 1.0}};
    for (const auto& [id, value] : darkPad)
    {
        EXPECT_NEAR(controller->getParamNormalized(id), value, 1e-6) << "id " << id;
        controller->setParamNormalized(id, value);
    }
    session.window->settle();
    const WindowImage again = session.capture();
    for (const auto* area : areas)
        EXPECT_TRUE(Area(again, *area) == Area(shown, *area)) << "control at " << (*area)[0] << "," << (*area)[1];
    session.window->close();
}
