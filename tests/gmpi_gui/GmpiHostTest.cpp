// The graphics host of graphics-API modules, offscreen and on a stand-in
// window: its interface ids, pointer calls and their flags, the title bar,
// context menus, capture, invalidation, and what it refuses.

#include <cmath>
#include <limits>

#include "GmpiGuiTestSupport.h"
#include "editor/ContextMenuHelper.h"
#include "editor/GgFactory.h"
#include "editor/toolkit/COptionMenuPopup.h"
#include "editor/toolkit/CView.h"
#include "editor/toolkit/CViewContainer.h"

using namespace gmpi_gui_test;
using gmpi_test::TestPointerModule;
using VSTGUI::CButtonState;
using VSTGUI::COptionMenuPopup;
using VSTGUI::CPoint;

namespace
{
// A frame point of the pointer module, from a module point.
CPoint At(double x, double y)
{
    return CPoint(kPointerLeft + x, kPointerTop + kTitle + y);
}

// Chooses the entry at a position with the mouse.
std::function<void(COptionMenuPopup&)> Choose(int position)
{
    return [position](COptionMenuPopup& popup) {
        const VSTGUI::CRect entry = popup.getEntryRect(position);
        const CPoint centre((entry.left + entry.right) / 2, (entry.top + entry.bottom) / 2);
        popup.onMouseMoved(centre);
        popup.onMouseDown(centre, VSTGUI::kLButton);
        popup.onMouseUp(centre, VSTGUI::kLButton);
    };
}
} // namespace

TEST(GmpiHost, AnswersItsInterfaceIdsAndRefusesOthers)
{
    EditorFixture f;
    VG_module4* host = f.Host(kPointer);
    ASSERT_NE(host, nullptr);
    void* face = nullptr;
    EXPECT_EQ(host->queryInterface(gmpi::MP_IID_UI_HOST2, &face), gmpi::MP_OK);
    EXPECT_EQ(face, static_cast<gmpi::IMpUserInterfaceHost2*>(host));
    for (const gmpi::MpGuid& iid :
         {gmpi_gui::KV_IID_GRAPHICS_HOST, gmpi_gui::KV_IID_GRAPHICS_HOST_BASE, gmpi::MP_IID_UNKNOWN})
    {
        EXPECT_EQ(host->queryInterface(iid, &face), gmpi::MP_OK);
        EXPECT_EQ(face, static_cast<gmpi_gui::IMpGraphicsHost*>(host));
    }
    for (const gmpi::MpGuid& iid : {gmpi::MP_IID_UI_HOST, gmpi_gui::KV_IID_GRAPHICS_DRAWCONTEXT})
    {
        EXPECT_EQ(host->queryInterface(iid, &face), gmpi::MP_NOSUPPORT);
        EXPECT_EQ(face, nullptr);
    }
    // The module's own face was taken, and it found the graphics host.
    EXPECT_NE(host->Graphics(), nullptr);
    EXPECT_EQ(f.Module<TestPointerModule>(kPointer)->GraphicsHost(), static_cast<gmpi_gui::IMpGraphicsHost*>(host));

    int32_t capture = -1;
    host->getCapture(capture);
    EXPECT_EQ(capture, 0);
    host->setCapture();
    host->getCapture(capture);
    EXPECT_EQ(capture, 1);
    host->releaseCapture();
    host->getCapture(capture);
    EXPECT_EQ(capture, 0);
}

TEST(GmpiHost, TitleBarShortensTheArrangedModuleAndTheToolTipIsSet)
{
    EditorFixture f;
    TestPointerModule* module = f.Module<TestPointerModule>(kPointer);
    VG_module4* host = f.Host(kPointer);
    ASSERT_TRUE(module && host);
    EXPECT_FLOAT_EQ(module->Arranged().right, 100);
    EXPECT_FLOAT_EQ(module->Arranged().bottom, 80 - kTitle);
    EXPECT_EQ(host->getVstGuiView()->getViewSize(),
              VSTGUI::CRect(kPointerLeft, kPointerTop, kPointerLeft + 100, kPointerTop + 80));
    char tip[32] = {};
    uint32_t size = 0;
    ASSERT_TRUE(host->getVstGuiView()->getAttribute(VSTGUI::kCViewTooltipAttribute, sizeof(tip), tip, size));
    EXPECT_STREQ(tip, "Pointer test");
    EXPECT_EQ(size, 13u);

    // A module without a title gets its whole place.
    auto* draw = f.Module<gmpi_test::TestDrawModule>(kDraw);
    EXPECT_FLOAT_EQ(draw->Arranged().bottom, 60);

    // Invalidation is in module coordinates: below the title bar, at the module's place.
    VSTGUI::CFrame* frame = f.editor->getFrame();
    f.Draw();
    ASSERT_TRUE(frame->getDirtyRegion().isEmpty());
    const gmpi_gui::Rect part{10, 5, 20, 15};
    host->invalidateRect(&part);
    bool covered = false;
    for (const VSTGUI::CRect& r : frame->getDirtyRegion().rects())
        covered |= r.pointInside(CPoint(kPointerLeft + 15, kPointerTop + kTitle + 10)) &&
                   !r.pointInside(CPoint(kPointerLeft + 15, kPointerTop + 2));
    EXPECT_TRUE(covered);

    MpSize desired{-1, -1};
    EXPECT_EQ(host->measure(MpSize{30, 40}, desired), gmpi::MP_OK);
    EXPECT_EQ(desired.x, 30);
    host->DoMeasure(MpSize{70, 50}, desired);
    EXPECT_EQ(desired.x, 70);
    EXPECT_EQ(desired.y, 50);
}

// Button state to pointer flags: left adds 0x10, exactly right adds 0x20,
// other buttons add nothing; modifier keys do not matter; moves are 0x2414.
TEST(GmpiHost, PointerCallsCarryTheFlagsAndModulePointsOfTheirButtons)
{
    EditorFixture f;
    TestPointerModule* module = f.Module<TestPointerModule>(kPointer);
    ASSERT_NE(module, nullptr);
    module->actOnPresses = false;
    module->rightResult = gmpi::MP_OK;
    VSTGUI::CFrame* frame = f.editor->getFrame();
    const struct
    {
        int32_t buttons;
        int32_t down, up;
    } cases[] = {
        {VSTGUI::kLButton, 0x2415, 0x2410},
        {VSTGUI::kLButton | VSTGUI::kShift | VSTGUI::kControl, 0x2415, 0x2410},
        {VSTGUI::kRButton, 0x2425, 0x2420},
        {VSTGUI::kRButton | VSTGUI::kAlt, 0x2425, 0x2420},
        {VSTGUI::kMButton, 0x2405, 0x2400},
        {VSTGUI::kButton4, 0x2405, 0x2400},
        {VSTGUI::kLButton | VSTGUI::kRButton, 0x2405, 0x2400},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.buttons);
        module->calls.clear();
        CPoint where = At(30, 15);
        EXPECT_EQ(frame->platformOnMouseDown(where, CButtonState(c.buttons)), VSTGUI::kMouseEventHandled);
        where = At(31, 16);
        EXPECT_EQ(frame->platformOnMouseMoved(where, CButtonState(c.buttons)), VSTGUI::kMouseEventHandled);
        where = At(32, 17);
        EXPECT_EQ(frame->platformOnMouseUp(where, CButtonState(c.buttons)), VSTGUI::kMouseEventHandled);
        ASSERT_EQ(module->calls.size(), 3u);
        EXPECT_EQ(module->calls[0].kind, "down");
        EXPECT_EQ(module->calls[0].flags, c.down);
        EXPECT_FLOAT_EQ(module->calls[0].point.x, 30);
        EXPECT_FLOAT_EQ(module->calls[0].point.y, 15);
        EXPECT_EQ(module->calls[1].flags, 0x2414);
        EXPECT_FLOAT_EQ(module->calls[1].point.y, 16);
        EXPECT_EQ(module->calls[2].flags, c.up);
        EXPECT_FLOAT_EQ(module->calls[2].point.x, 32);
    }
}

TEST(GmpiHost, RightPressTheModuleLeavesShowsItsContextMenu)
{
    EditorFixture f;
    TestPointerModule* module = f.Module<TestPointerModule>(kPointer);
    ASSERT_NE(module, nullptr);
    kvtest::FakePlatformFrame& window = f.OpenFakeWindow();
    VSTGUI::CFrame* frame = f.editor->getFrame();

    // Not handled: the menu of "Alpha"=10, "Beta"=20; Beta chosen.
    window.menuScript = Choose(1);
    CPoint where = At(40, 20);
    EXPECT_EQ(frame->platformOnMouseDown(where, CButtonState(VSTGUI::kRButton)), VSTGUI::kMouseEventHandled);
    EXPECT_EQ(window.popups, 1);
    EXPECT_EQ(module->contextChoice, 20);
    EXPECT_EQ(GmpiGuiHosting::ContextItemsSink::Instance()->Items().size(), 0u);

    // Dismissed: nothing chosen.
    module->contextChoice = -2;
    window.menuScript = [](COptionMenuPopup& popup) { popup.onKeyDown(COptionMenuPopup::Key::kEscape); };
    where = At(40, 20);
    frame->platformOnMouseDown(where, CButtonState(VSTGUI::kRButton));
    EXPECT_EQ(window.popups, 2);
    EXPECT_EQ(module->contextChoice, -2);

    // An empty list still pops up; nothing is chosen.
    module->contextItems.clear();
    window.menuScript = Choose(0);
    where = At(40, 20);
    EXPECT_EQ(frame->platformOnMouseDown(where, CButtonState(VSTGUI::kRButton)), VSTGUI::kMouseEventHandled);
    EXPECT_EQ(window.popups, 3);
    EXPECT_EQ(module->contextChoice, -2);

    // Handled by the module, or with another button held too: no menu.
    module->contextItems = {{"Alpha", 10}};
    module->rightResult = gmpi::MP_OK;
    where = At(40, 20);
    EXPECT_EQ(frame->platformOnMouseDown(where, CButtonState(VSTGUI::kRButton)), VSTGUI::kMouseEventHandled);
    module->rightResult = gmpi::MP_FAIL;
    module->actOnPresses = false;
    module->pressResult = gmpi::MP_FAIL;
    where = At(40, 20);
    EXPECT_EQ(frame->platformOnMouseDown(where, CButtonState(VSTGUI::kRButton | VSTGUI::kMButton)),
              VSTGUI::kMouseEventNotHandled);
    EXPECT_EQ(window.popups, 3);
    EXPECT_EQ(module->contextChoice, -2);
}

// Items go in by value and the choice comes back as the chosen item's value,
// also when the values are out of order.
TEST(GmpiHost, PopupMenuHelperGivesTheChosenItemsValue)
{
    EditorFixture f;
    kvtest::FakePlatformFrame& window = f.OpenFakeWindow();
    VSTGUI::CView* view = f.Host(kPointer)->getVstGuiView();
    const struct
    {
        const wchar_t* list;
        int position;
        bool chosen;
        int32_t id;
    } cases[] = {{L"A=0,B=1", 1, true, 1}, {L"A=1,B=0", 0, true, 0}, {L"A=1,B=0", 1, true, 1},
                 {L"X=7,Y=3", 1, true, 3}, {L"", 0, false, -1}};
    for (const auto& c : cases)
    {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.list)));
        window.menuScript = Choose(c.position);
        CPoint where(150, 50);
        int32_t id = -1;
        int calls = 0;
        EXPECT_TRUE(ContextMenuHelper::DoPopupMenu(view, where, c.list, [&](int32_t chosen) {
            id = chosen;
            ++calls;
        }));
        EXPECT_EQ(calls, c.chosen ? 1 : 0);
        EXPECT_EQ(id, c.id);
    }
    // The menu view is gone again.
    EXPECT_EQ(f.editor->getFrame()->getNbViews(), 3);

    // A view without a parent shows nothing.
    auto* loose = new VSTGUI::CView(VSTGUI::CRect(0, 0, 10, 10));
    CPoint where(1, 1);
    int32_t id = -1;
    const int popups = window.popups;
    EXPECT_FALSE(ContextMenuHelper::DoPopupMenu(loose, where, L"A=0", [&](int32_t chosen) { id = chosen; }));
    EXPECT_EQ(id, -1);
    EXPECT_EQ(window.popups, popups);
    loose->forget();
}

TEST(GmpiHost, RefusesTextFormatsAndImagesOfUnusableSizes)
{
    EditorFixture f;
    VG_module4* host = f.Host(kDraw);
    ASSERT_NE(host, nullptr);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    for (const float size : {0.0f, -3.0f, nan, inf, 5000.0f, 12.0f, 0.5f})
    {
        SCOPED_TRACE(size);
        gmpi_gui::IMpGraphicsTextFormat* format = reinterpret_cast<gmpi_gui::IMpGraphicsTextFormat*>(&host);
        const int32_t result = host->CreateTextFormat("DejaVu Sans", nullptr, gmpi_gui::Font::Bold,
                                                      gmpi_gui::Font::StyleItalic, gmpi_gui::Font::StretchNormal, size,
                                                      nullptr, &format);
        const bool usable = size > 0 && size <= 1000;
        EXPECT_EQ(result, usable ? gmpi::MP_OK : gmpi::MP_FAIL);
        EXPECT_EQ(format != nullptr, usable);
        if (format)
            format->release();
    }
    const struct
    {
        int32_t width, height;
        bool made;
    } images[] = {{4, 3, true}, {0, 4, false}, {4, 0, false}, {-1, 4, false}, {100000, 4, false},
                  {8192, 1, true}, {1 << 30, 1 << 30, false}};
    for (const auto& c : images)
    {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
        void* made = nullptr;
        EXPECT_EQ(host->CreateImage(c.width, c.height, &made), c.made ? gmpi::MP_OK : gmpi::MP_FAIL);
        ASSERT_EQ(made != nullptr, c.made);
        if (!made)
            continue;
        auto* bitmap = static_cast<gmpi_gui::IMpBitmap*>(made);
        gmpi_gui::Size size;
        bitmap->GetSize(size);
        EXPECT_FLOAT_EQ(size.width, float(c.width));
        EXPECT_FLOAT_EQ(size.height, float(c.height));
        // The locked pixels outlive the bitmap's last reference of the module.
        void* locked = nullptr;
        ASSERT_EQ(bitmap->lockPixels(&locked, false), gmpi::MP_OK);
        bitmap->release();
        auto* pixels = static_cast<gmpi_gui::IMpBitmapPixels*>(locked);
        EXPECT_GE(pixels->getBytesPerRow(), 4 * c.width);
        pixels->getAddress()[0] = 7;
        pixels->release();
    }
}

TEST(GmpiHost, RecordingGeometriesKeepTheirPointsAndClosedFlag)
{
    gmpi_gui::IFactory* factory = GmpiGuiHosting::GgFactory::GetInstance();
    EXPECT_EQ(factory->addRef(), 1);
    gmpi_gui::IPathGeometry* made = nullptr;
    ASSERT_EQ(factory->CreatePathGeometry(&made), gmpi::MP_OK);
    auto* geometry = static_cast<GmpiGuiHosting::PathGeometry*>(made);
    gmpi_gui::IGeometrySink* sink = nullptr;
    ASSERT_EQ(geometry->Open(&sink), gmpi::MP_OK);
    sink->BeginFigure(gmpi_gui::Point{1, 2}, gmpi_gui::GG_FIGURE_BEGIN_FILLED);
    sink->AddLine(gmpi_gui::Point{3, 4});
    sink->EndFigure(gmpi_gui::GG_FIGURE_END_CLOSED);
    EXPECT_EQ(sink->Close(), gmpi::MP_OK);
    ASSERT_EQ(geometry->Points().size(), 2u);
    EXPECT_FLOAT_EQ(geometry->Points()[1].y, 4);
    EXPECT_TRUE(geometry->IsClosed());
    // A new figure starts afresh.
    sink->BeginFigure(gmpi_gui::Point{9, 9}, gmpi_gui::GG_FIGURE_BEGIN_FILLED);
    EXPECT_EQ(geometry->Points().size(), 1u);
    // Opening again keeps the points and clears the flag.
    gmpi_gui::IGeometrySink* second = nullptr;
    geometry->Open(&second);
    EXPECT_FALSE(geometry->IsClosed());
    EXPECT_EQ(geometry->Points().size(), 1u);
    // Sinks used after their geometry went write nothing (and reach no freed memory).
    geometry->release();
    sink->AddLine(gmpi_gui::Point{5, 5});
    sink->EndFigure(gmpi_gui::GG_FIGURE_END_OPEN);
    sink->release();
    second->release();
}
