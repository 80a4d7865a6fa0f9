// The editor test bundle's GUI patch document in a real window: its skin
// image and font drawn, a view bound to the host parameter "Level" following
// host automation, a click on that view changing the processor's sound, and
// a value the engine changes coming back to the view on the editor's timer.

#include <gtest/gtest.h>

#include "EditorSession.h"
#include "tools/kvhost/Renderer.h"

using namespace x11_test;

namespace
{
const std::string kGuiTestBundle = KV_GUI_TEST_BUNDLE;

// The colour the test view shows for a level (0 to 10: black to red).
std::uint32_t LevelColour(float level)
{
    return static_cast<std::uint32_t>(static_cast<std::uint8_t>(level * 25.5f)) << 16;
}

double Rms(PluginInstance& instance, double seconds, const Performance& performance = Performance())
{
    Renderer renderer(instance);
    RenderSettings settings;
    settings.seconds = seconds;
    RenderResult result;
    std::string error;
    EXPECT_TRUE(renderer.render(performance, settings, nullptr, result, error)) << error;
    return result.rms;
}
} // namespace

TEST(GuiDocumentWindow, SkinFontAndBoundViewFollowAutomationAndAClickChangesTheSound)
{
    EditorSession session;
    KV_OPEN_EDITOR_OR_SKIP(session, kGuiTestBundle);
    EditorWindow& window = *session.window;
    EXPECT_EQ(window.width(), 240);
    EXPECT_EQ(window.height(), 160);

    WindowImage image = session.capture();
    ASSERT_EQ(image.width, 240);
    EXPECT_EQ(image.at(1, 1), kWhite);
    EXPECT_EQ(image.at(10, 100), 0x206070u);
    EXPECT_EQ(image.at(200, 20), 0xe08020u);
    EXPECT_EQ(image.at(50, 40), LevelColour(5.0f));
    // The label "Kv" in the skin's white bold font, over the orange half.
    EXPECT_GT(image.count(120, 90, 220, 130, kWhite), 20);
    EXPECT_EQ(image.count(130, 60, 220, 85, kWhite), 0);

    const double atFive = Rms(*session.instance, 0.5);
    ASSERT_GT(atFive, 0.01);

    // Host automation moves the bound view.
    session.instance->controller()->setParamNormalized(0, 0.8);
    window.settle();
    EXPECT_EQ(session.capture().at(50, 40), LevelColour(8.0f));

    // A click at a fifth of the view's width sets level 2: the host hears the
    // edit, hands it to the processor, and the sound drops to two fifths.
    std::string error;
    ASSERT_TRUE(window.play({EditorAction::click(32, 40)}, error)) << error;
    window.settle();
    EXPECT_NEAR(session.param(0), 0.2, 1e-6);
    EXPECT_EQ(session.capture().at(50, 40), LevelColour(2.0f));
    EXPECT_NEAR(Rms(*session.instance, 0.5) / atFive, 0.4, 0.03);

    // The hold pedal moves "Level" to the top in the engine; the block's
    // output parameter changes bring it to the host, which hands it to the
    // controller as it plays, and the view follows while the host's loop runs.
    Performance pedal;
    PerformanceEvent down;
    down.kind = PerformanceEvent::Kind::Controller;
    down.number = 64;
    down.value = 1.0;
    pedal.events = {down};
    EXPECT_NEAR(Rms(*session.instance, 0.5, pedal) / atFive, 2.0, 0.1);
    EXPECT_NEAR(session.param(0), 1.0, 1e-6);
    window.settle();
    EXPECT_NEAR(session.param(0), 1.0, 1e-6);
    EXPECT_EQ(session.capture().at(50, 40), LevelColour(10.0f));

    window.close();
}
