#pragma once
// Graphics-API GUI modules for the tests, written against the module SDK
// alone (they also go into an external module bundle):
//   "KV Test GMPI Draw": draws one of each primitive (fill, stroked
//     rectangle, line, closed and open geometry, text, a bitmap it made and
//     filled itself); a test may put its own scene in instead.
//   "KV Test GMPI Pointer": records its pointer calls; a left press pops up a
//     platform menu, a middle press opens a text box, a right press is left
//     to the host (context menu with "Alpha"=10 and "Beta"=20).
//   "KV Test GMPI Bitmap": loads "gmpi_test.png" as a resource and from a
//     stream, and draws the two side by side.
// Each appends what happens to its events, and, when KV_GMPI_TEST_LOG names
// a file, to that file (one line each), so that a test can follow a module
// living in a plug-in it loaded.

#include <functional>
#include <string>
#include <vector>

#include "MpGuiBase2.h"
#include "gmpi_gui.h"

namespace gmpi_test
{

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
class GraphicsModuleBase : public MpGuiBase2, public gmpi_gui::IMpGraphics
{
public:
    int32_t queryInterface(const gmpi::MpGuid& iid, void** returnInterface) override;
    int32_t addRef() override { return ++count_; }
    int32_t release() override;
    // Keeps the host's graphics face as well.
    int32_t setHost(gmpi::IMpUnknown* host) override;

    int32_t measure(gmpi_gui::Size availableSize, gmpi_gui::Size* returnDesiredSize) override;
    int32_t arrange(gmpi_gui::Rect finalRect) override;
    int32_t OnRender(gmpi::IMpUnknown*) override { return gmpi::MP_OK; }
    int32_t onPointerDown(int32_t, gmpi_gui::Point) override { return gmpi::MP_FAIL; }
    int32_t onPointerMove(int32_t, gmpi_gui::Point) override { return gmpi::MP_FAIL; }
    int32_t onPointerUp(int32_t, gmpi_gui::Point) override { return gmpi::MP_FAIL; }

    gmpi_gui::IMpGraphicsHost* GraphicsHost() const { return graphicsHost_; }
    const gmpi_gui::Rect& Arranged() const { return arranged_; }
    void Log(const std::string& event);

    std::vector<std::string> events;

protected:
    ~GraphicsModuleBase() override = default;
    // The drawing context of a render call, or null.
    static gmpi_gui::IMpGraphicsDrawContext* DrawingContext(gmpi::IMpUnknown* context);

    gmpi_gui::IMpGraphicsHost* graphicsHost_ = nullptr;
    gmpi_gui::Rect arranged_;

private:
    int32_t count_ = 1;
};
#pragma GCC diagnostic pop

class TestDrawModule final : public GraphicsModuleBase
{
public:
    using Scene = std::function<void(gmpi_gui::IMpGraphicsDrawContext&, TestDrawModule&)>;
    int32_t OnRender(gmpi::IMpUnknown* context) override;
    // Draws instead of the built-in scene.
    Scene scene;
    int renders = 0;

private:
    void DrawEverything(gmpi_gui::IMpGraphicsDrawContext& context);
};

class TestPointerModule final : public GraphicsModuleBase
{
public:
    struct Call
    {
        std::string kind;
        int32_t flags;
        gmpi_gui::Point point;
    };
    int32_t OnRender(gmpi::IMpUnknown* context) override;
    int32_t onPointerDown(int32_t flags, gmpi_gui::Point point) override;
    int32_t onPointerMove(int32_t flags, gmpi_gui::Point point) override;
    int32_t onPointerUp(int32_t flags, gmpi_gui::Point point) override;
    int32_t populateContextMenu(float x, float y, gmpi::IMpUnknown* sink) override;
    int32_t onContextMenu(int32_t selection) override;
    int32_t getToolTip(float x, float y, gmpi::IMpUnknown* returnString) override;

    std::vector<Call> calls;
    // What the right press answers (MP_FAIL: the host shows its context menu).
    int32_t rightResult = gmpi::MP_FAIL;
    // Whether a left press pops up the menu and a middle press opens the text
    // box; if not, what other presses answer.
    bool actOnPresses = true;
    int32_t pressResult = gmpi::MP_OK;
    // Items the context menu gets.
    std::vector<std::pair<std::string, int32_t>> contextItems{{"Alpha", 10}, {"Beta", 20}};
    int32_t menuChoice = -2;
    int32_t contextChoice = -2;
    std::string text = "start";

private:
    void PopUpMenu(gmpi_gui::Point point);
    void EditText();
};

class TestBitmapModule final : public GraphicsModuleBase
{
public:
    int32_t initialize() override;
    int32_t OnRender(gmpi::IMpUnknown* context) override;

    gmpi_gui::IMpBitmap* fromResource = nullptr;
    gmpi_gui::IMpBitmap* fromStream = nullptr;
    int32_t resourceResult = 1;
    int32_t streamResult = 1;

private:
    ~TestBitmapModule() override;
};

} // namespace gmpi_test
