// A bundle written from the document formats alone (tests/editor_x11/bundles/
// KvOutsider: its own descriptions of the controls it places, a popup menu
// joined to a list by lines, a long list), in a real window: a state restored
// before the editor opens is what it shows, opening and closing it edit
// nothing, each control moves its own parameter, and a list longer than the
// screen can be gone through to its end.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "EditorSession.h"
#include "tools/kvhost/Renderer.h"

using namespace x11_test;

namespace
{
const std::string kOutsiderBundle = KV_OUTSIDER_BUNDLE;

// Where the bundle's controls are (gui.kv.xml): left, top, right, bottom.
constexpr int kKnob[4] = {20, 50, 68, 98};
constexpr int kTinted[4] = {80, 50, 128, 98};
constexpr int kWaveList[4] = {150, 10, 300, 54};
constexpr int kNameEntry[4] = {150, 80, 300, 124};
constexpr int kMenu[4] = {330, 10, 460, 32};
constexpr int kSteps[4] = {330, 60, 460, 82};
// The list's box and the text entry's box lie under their titles.
constexpr int kWaveBoxY = 45, kNameBoxY = 112;

constexpr Steinberg::Vst::ParamID kLevel = 0, kWave = 1, kStep = 2;

// The processor's state: Level 7.5 of 10, Wave "Saw" (value 5 of
// "Sine=0,Saw=5,Square"), Name "restored", Step 150 of 0-199.
std::vector<char> RestoredState()
{
    const std::string text = R"(<Parameters><Param id="10" index="0" val="7.5"/><Param id="11" index="1" val="5"/>)"
                             R"(<Param id="12" val="restored"/><Param id="13" index="2" val="150"/></Parameters>)";
    const auto length = static_cast<int32_t>(text.size());
    std::vector<char> bytes(sizeof(length) + text.size());
    std::memcpy(bytes.data(), &length, sizeof(length));
    std::memcpy(bytes.data() + sizeof(length), text.data(), text.size());
    return bytes;
}

std::vector<Steinberg::Vst::ParamID> EditedIds(EditorSession& session)
{
    std::vector<Steinberg::Vst::ParamID> ids;
    for (const auto& [id, value] : session.instance->componentHandler().takeEdits())
        ids.push_back(id);
    return ids;
}

// Plays silence for a moment: the engine takes the editor's values as it runs.
void PlaySilence(PluginInstance& instance)
{
    Performance nothing;
    RenderSettings settings;
    settings.seconds = 0.3;
    Renderer renderer(instance);
    RenderResult result;
    std::string error;
    EXPECT_TRUE(renderer.render(nothing, settings, nullptr, result, error)) << error;
}

// Whether the row of a list's picture runs through a highlighted entry.
bool HighlightedRow(const WindowImage& image, int y)
{
    if (y < 0 || y >= image.height)
        return false;
    int highlighted = 0;
    for (int x = 0; x < image.width; ++x)
    {
        const std::uint32_t pixel = image.pixels[static_cast<std::size_t>(y) * image.width + x];
        highlighted += (pixel & 0xff) > 150 && ((pixel >> 16) & 0xff) < 100;
    }
    return highlighted > image.width / 2;
}

// A list on the screen, drawn or not yet.
bool PopupShown(Display* display, ScreenWindow& popup)
{
    const auto windows = OverrideRedirectWindows(display);
    if (windows.empty())
        return false;
    popup = windows.front();
    return true;
}

// A list that missed its keys (a loaded machine) is ended by a press
// outside it, so that a failing test ends instead of waiting for ever.
bool EndLeftOpen(ScreenUser& user, bool ok)
{
    ScreenWindow popup;
    for (int i = 0; i < 20 && PopupShown(user.display, popup); ++i)
    {
        user.screen.click(popup.x > 20 ? popup.x - 10 : popup.x + popup.width + 10, popup.y + 5);
        WaitUntil([&] { return !PopupShown(user.display, popup); }, 0.5);
    }
    return ok;
}
} // namespace

TEST(OutsiderBundleWindow, ARestoredStateIsShownAndOpeningOrClosingTheEditorEditsNothing)
{
    // What the editor shows when the host sets the same values after it opened.
    EditorSession reference;
    KV_OPEN_EDITOR_OR_SKIP(reference, kOutsiderBundle);
    const WindowImage initial = reference.capture();
    auto* controller = reference.instance->controller();
    controller->setParamNormalized(kLevel, 0.75);
    controller->setParamNormalized(kWave, 0.5);
    controller->setParamNormalized(kStep, 150.0 / 199.0);
    reference.window->settle();
    const WindowImage set = reference.capture();
    // Back to where it started: every pixel as it was (no line left behind by the redraws).
    controller->setParamNormalized(kLevel, 0.5);
    controller->setParamNormalized(kWave, 0.0);
    controller->setParamNormalized(kStep, 0.0);
    reference.window->settle();
    const WindowImage back = reference.capture();
    ASSERT_FALSE(initial.pixels.empty());
    EXPECT_TRUE(back.pixels == initial.pixels) << "a redraw left the window different";
    reference.window->close();

    EditorSession session;
    KV_START_OR_SKIP(session.start(kOutsiderBundle, why_, failed_));
    std::string why;
    ASSERT_TRUE(session.instance->loadState(RestoredState(), why)) << why;
    session.instance->componentHandler().takeEdits();
    ASSERT_TRUE(session.open(why)) << why;
    EXPECT_TRUE(EditedIds(session).empty()) << "opening the editor edited a parameter";
    const WindowImage restored = session.capture();
    for (const auto* area : {&kKnob, &kTinted, &kWaveList, &kSteps})
        EXPECT_TRUE(Area(restored, *area) == Area(set, *area)) << "control at " << (*area)[0] << "," << (*area)[1];
    EXPECT_FALSE(Area(restored, kNameEntry) == Area(initial, kNameEntry)) << "the text entry shows the default";
    EXPECT_FALSE(Area(restored, kWaveList) == Area(initial, kWaveList));

    session.window->close();
    EXPECT_TRUE(EditedIds(session).empty()) << "closing the editor edited a parameter";
    EXPECT_DOUBLE_EQ(session.param(kWave), 0.5);
    EXPECT_DOUBLE_EQ(session.param(kLevel), 0.75);
}

TEST(OutsiderBundleWindow, EachControlMovesItsOwnParameterAndThePopupMenuItsList)
{
    EditorSession session;
    KV_OPEN_EDITOR_OR_SKIP(session, kOutsiderBundle);
    std::string error;

    // The knob: forty pixels down takes 0.2 off "Level".
    ASSERT_TRUE(session.play({EditorAction::drag(MidX(kKnob), MidY(kKnob), MidX(kKnob), MidY(kKnob) + 40)}, error))
        << error;
    session.window->settle();
    EXPECT_NEAR(session.param(kLevel), 0.3, 0.01);
    for (auto id : EditedIds(session))
        EXPECT_EQ(id, kLevel);

    // The list: one down from Sine is Saw, the list's second position.
    ASSERT_TRUE(session.play({EditorAction::click(MidX(kWaveList), kWaveBoxY), EditorAction::key("Down"),
                              EditorAction::key("Return")},
                             error))
        << error;
    session.window->settle();
    EXPECT_DOUBLE_EQ(session.param(kWave), 0.5);
    EXPECT_EQ(EditedIds(session), std::vector<Steinberg::Vst::ParamID>{kWave});

    // The popup menu lists the waves it was given along its line, opens on
    // Saw, and its choice reaches "Wave" through the list: no preset command.
    ASSERT_TRUE(session.play({EditorAction::click(MidX(kMenu), MidY(kMenu)), EditorAction::key("Down"),
                              EditorAction::key("Return")},
                             error))
        << error;
    session.window->settle();
    EXPECT_DOUBLE_EQ(session.param(kWave), 1.0);
    EXPECT_EQ(EditedIds(session), std::vector<Steinberg::Vst::ParamID>{kWave});
    EXPECT_NEAR(session.param(kLevel), 0.3, 0.01);

    // The text entry: its text reaches the engine, no host parameter moves.
    ASSERT_TRUE(session.play({EditorAction::click(MidX(kNameEntry), kNameBoxY), EditorAction::type("outside"),
                              EditorAction::key("Return")},
                             error))
        << error;
    session.window->settle();
    EXPECT_TRUE(EditedIds(session).empty());
    PlaySilence(*session.instance);
    std::vector<char> state;
    ASSERT_TRUE(session.instance->saveState(state, error)) << error;
    EXPECT_NE(std::string(state.begin(), state.end()).find("outside"), std::string::npos);
    session.window->close();
}

TEST(OutsiderBundleWindow, AListLongerThanTheScreenScrollsToEveryItemByKeysAndByMouse)
{
    EditorSession session;
    KV_OPEN_EDITOR_OR_SKIP(session, kOutsiderBundle);
    std::string error;
    const int screenHeight = DisplayHeight(session.window->display(), DefaultScreen(session.window->display()));

    // Keys: End, then Home, each chosen with Return.
    for (const char* key : {"End", "Home"})
    {
        ScreenWindow popup;
        ASSERT_TRUE(ActWhileServing(session,
                                    [&](ScreenUser& user, std::string& why) {
                                        user.window.click(MidX(kSteps), MidY(kSteps));
                                        if (!WaitUntil([&] { return MenuShown(user.display, &popup); }))
                                        {
                                            why = "the list did not open";
                                            return EndLeftOpen(user, false);
                                        }
                                        user.window.key(key);
                                        // The entry the key went to is shown highlighted: at the
                                        // bottom after End (scrolled there), at the top after Home.
                                        const bool end = std::string(key) == "End";
                                        if (!WaitUntil([&] {
                                                WindowImage shown;
                                                std::string ignored;
                                                return CaptureWindow(user.display, popup.id, shown, ignored) &&
                                                       HighlightedRow(shown, end ? shown.height - 10 : 10);
                                            }))
                                        {
                                            why = std::string("no highlighted entry after ") + key;
                                            return EndLeftOpen(user, false);
                                        }
                                        user.window.key("Return");
                                        return EndLeftOpen(
                                            user, WaitUntil([&] { return !PopupShown(user.display, popup); }));
                                    },
                                    error))
            << error;
        // On the screen whole, however long the list.
        EXPECT_GE(popup.y, 0);
        EXPECT_LE(popup.y + popup.height, screenHeight);
        session.window->settle();
        EXPECT_DOUBLE_EQ(session.param(kStep), std::string(key) == "End" ? 1.0 : 0.0) << key;
    }

    // Mouse: the wheel down to the end, then a click on the last item, at the list's bottom.
    ASSERT_TRUE(ActWhileServing(session,
                                [&](ScreenUser& user, std::string& why) {
                                    ScreenWindow popup;
                                    user.window.click(MidX(kSteps), MidY(kSteps));
                                    if (!WaitUntil([&] { return MenuShown(user.display, &popup); }))
                                    {
                                        why = "the list did not open";
                                        return EndLeftOpen(user, false);
                                    }
                                    const int x = popup.x + popup.width / 2;
                                    for (int i = 0; i < 100; ++i)
                                        user.screen.click(x, popup.y + popup.height / 2, 5);
                                    user.screen.click(x, popup.y + popup.height - 5);
                                    return EndLeftOpen(
                                        user, WaitUntil([&] { return !PopupShown(user.display, popup); }));
                                },
                                error))
        << error;
    session.window->settle();
    EXPECT_DOUBLE_EQ(session.param(kStep), 1.0);
    session.window->close();
}
