#include <gtest/gtest.h>

#include "ToolkitTestSupport.h"
#include "editor/toolkit/COptionMenu.h"

using namespace VSTGUI;
using Key = COptionMenuPopup::Key;

namespace {

struct Listener : IControlListener
{
    void valueChanged(CControl* control) override { values.push_back(control->getValue()); }
    std::vector<float> values;
};

struct MenuInWindow : ::testing::Test
{
    MenuInWindow()
    {
        window = new kvtest::FakePlatformFrame;
        frame->open(std::unique_ptr<IPlatformFrame>(window));
        menu = new COptionMenu(CRect(10, 20, 110, 40), &listener, 7);
        for (const char* title : {"Saw", "Square", "-", "Sine"})
            menu->addEntry(title);
        frame->addView(menu);
    }
    ~MenuInWindow() override { frame->forget(); }

    CFrame* frame = new CFrame(CRect(0, 0, 200, 200), nullptr);
    kvtest::FakePlatformFrame* window;
    COptionMenu* menu;
    Listener listener;
};

TEST_F(MenuInWindow, EntriesGoByPositionWithSeparatorsAndChecks)
{
    menu->addEntry("Noise", 1);   // inserted at position 1
    menu->addEntry("Pulse", 99);  // past the end: appended
    ASSERT_EQ(menu->getNbEntries(), 6);
    EXPECT_EQ(menu->getEntry(1)->getTitle(), "Noise");
    EXPECT_EQ(menu->getEntry(5)->getTitle(), "Pulse");
    EXPECT_TRUE(menu->getEntry(3)->isSeparator());

    menu->setValue(4); // "Sine", after the separator
    EXPECT_EQ(menu->getCurrentIndex(true), 4);
    EXPECT_EQ(menu->getCurrentIndex(false), 3);
    EXPECT_EQ(menu->getCurrent()->getTitle(), "Sine");

    menu->checkEntry(0, true);
    EXPECT_TRUE(menu->checkEntryAlone(4));
    EXPECT_FALSE(menu->isCheckEntry(0));
    EXPECT_TRUE(menu->isCheckEntry(4));
    EXPECT_FALSE(menu->checkEntryAlone(17));

    menu->removeAllEntry();
    EXPECT_EQ(menu->getNbEntries(), 0);
    EXPECT_EQ(menu->getCurrent(), nullptr);
}

TEST_F(MenuInWindow, AChoiceInThePopupSetsTheValueAndTellsTheListenerOnce)
{
    window->menuScript = [](COptionMenuPopup& popup) {
        popup.onKeyDown(Key::kDown); // Saw -> Square
        popup.onKeyDown(Key::kDown); // skips the separator
        EXPECT_EQ(popup.getHoverIndex(), 3);
        popup.onKeyDown(Key::kReturn);
    };
    CPoint where(20, 25);
    EXPECT_EQ(frame->platformOnMouseDown(where, kLButton), kMouseEventHandled);
    EXPECT_EQ(window->popups, 1);
    EXPECT_EQ(window->popupLocation, CPoint(10, 40)); // under the control
    EXPECT_EQ(menu->getValue(), 3);
    EXPECT_EQ(listener.values, std::vector<float>{3});
    int32_t index = -5;
    EXPECT_EQ(menu->getLastItemMenu(index), menu);
    EXPECT_EQ(index, 3);

    // Escape chooses nothing and tells nobody.
    window->menuScript = [](COptionMenuPopup& popup) { popup.onKeyDown(Key::kEscape); };
    EXPECT_FALSE(menu->popup());
    EXPECT_EQ(listener.values.size(), 1u);
    EXPECT_EQ(menu->getValue(), 3);

    // A right press does not open the list.
    CPoint again(20, 25);
    EXPECT_EQ(frame->platformOnMouseDown(again, kRButton), kMouseEventNotHandled);
    EXPECT_EQ(window->popups, 2);
}

TEST_F(MenuInWindow, ThePopupChoosesWithTheMouseAndIgnoresTheReleaseThatOpenedIt)
{
    menu->setStyle(kCheckStyle);
    menu->setValue(1);
    window->menuScript = [this](COptionMenuPopup& popup) {
        EXPECT_EQ(popup.getHoverIndex(), 1); // opens on the current entry
        const CRect sine = popup.getEntryRect(3);
        CPoint centre((sine.left + sine.right) / 2, (sine.top + sine.bottom) / 2);
        // The release of the press that opened the list, over an entry it never moved onto.
        popup.onMouseUp(centre, kLButton);
        EXPECT_FALSE(popup.isDone());
        // The separator cannot be chosen.
        const CRect line = popup.getEntryRect(2);
        EXPECT_EQ(popup.entryAt(CPoint(5, (line.top + line.bottom) / 2)), -1);
        // The list is drawn with the hovered entry highlighted and the current one checked.
        popup.onMouseMoved(centre);
        auto image = COffscreenContext::create(popup.getSize().x, popup.getSize().y);
        popup.draw(image.get());
        EXPECT_EQ(image->getPixel(int(sine.right) - 3, int(centre.y)), CColor(51, 102, 204));
        const CRect square = popup.getEntryRect(1);
        EXPECT_NE(image->getPixel(int(square.right) - 3, int(square.top) + 2), CColor(51, 102, 204));
        EXPECT_GE(popup.getSize().x, menu->getWidth());
        popup.onMouseDown(centre, kLButton);
        popup.onMouseUp(centre, kLButton);
    };
    EXPECT_TRUE(menu->popup());
    EXPECT_EQ(menu->getValue(), 3);

    // A press outside the list cancels it.
    window->menuScript = [](COptionMenuPopup& popup) {
        popup.onMouseDown(CPoint(-5, 3), kLButton);
        EXPECT_TRUE(popup.isDone());
    };
    EXPECT_FALSE(menu->popup());
    EXPECT_EQ(menu->getValue(), 3);
}

TEST_F(MenuInWindow, AWindowClosedWhileTheListIsOpenEndsItWithoutAChoice)
{
    window->menuScript = [this](COptionMenuPopup& popup) {
        frame->close(); // the host closes the editor meanwhile
        popup.onKeyDown(Key::kReturn);
    };
    EXPECT_FALSE(menu->popup());
    EXPECT_EQ(frame->getPlatformFrame(), nullptr);
    EXPECT_TRUE(listener.values.empty());
    EXPECT_FALSE(menu->popup());
}

TEST(OptionMenu, AMenuWithoutAWindowOrFrameDoesNotPopUp)
{
    Listener listener;
    auto* menu = new COptionMenu();
    menu->setListener(&listener);
    menu->addEntry("One");
    EXPECT_FALSE(menu->popup());
    auto* frame = new CFrame(CRect(0, 0, 50, 50), nullptr);
    EXPECT_FALSE(menu->popup(frame, CPoint(1, 1)));
    EXPECT_TRUE(listener.values.empty());
    frame->forget();
    menu->forget();
}

TEST(OptionMenu, TheControlShowsItsCurrentEntry)
{
    auto* frame = new CFrame(CRect(0, 0, 100, 20), nullptr);
    auto* menu = new COptionMenu(CRect(0, 0, 100, 20), nullptr, 0);
    menu->setBackColor(kWhiteCColor);
    menu->setFontColor(kBlackCColor);
    menu->addEntry("Saw");
    frame->addView(menu);
    auto blank = kvtest::render(*frame);
    menu->addEntry("Square");
    menu->setValue(1);
    auto shown = kvtest::render(*frame);
    int ink = 0;
    for (int x = 0; x < 100; ++x)
        for (int y = 0; y < 20; ++y)
            ink += shown->getPixel(x, y) != blank->getPixel(x, y);
    EXPECT_GT(ink, 30);
    EXPECT_EQ(shown->getPixel(1, 1), kWhiteCColor);
    frame->forget();
}

} // namespace
