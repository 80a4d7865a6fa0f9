#include <gtest/gtest.h>

#include "ToolkitTestSupport.h"
#include "editor/toolkit/CFontDesc.h"
#include "editor/toolkit/CTextEdit.h"

using namespace VSTGUI;

namespace {

constexpr CColor kGrey(40, 40, 40), kYellow(255, 255, 0);

struct Listener : IControlListener
{
    void valueChanged(CControl* control) override { texts.push_back(static_cast<CTextLabel*>(control)->getText()); }
    void controlBeginEdit(CControl*) override { ++begins; }
    void controlEndEdit(CControl*) override { ++ends; }
    std::vector<std::string> texts;
    int begins = 0, ends = 0;
};

int inkedPixels(COffscreenContext& image, const CRect& area, const CColor& ink)
{
    int n = 0;
    for (int y = int(area.top); y < int(area.bottom); ++y)
        for (int x = int(area.left); x < int(area.right); ++x)
            n += image.getPixel(x, y) == ink;
    return n;
}

TEST(TextLabel, DrawsItsTextWithItsFontColourAndBackUnlessTransparent)
{
    auto* frame = new CFrame(CRect(0, 0, 100, 60), nullptr);
    frame->setBackgroundColor(kGrey);
    auto* label = new CTextLabel(CRect(0, 0, 100, 30), "Cutoff");
    auto* font = new CFontDesc(CFontDesc::defaultFaceName(), 16, kBoldFace);
    label->setFont(font);
    font->forget();
    label->setFontColor(kYellow);
    label->setBackColor(kBlackCColor);
    label->setAntialias(false);
    label->setHoriAlign(kLeftText);
    auto* clear = new CTextLabel(CRect(0, 30, 100, 60), "");
    clear->setTransparency(true);
    frame->addView(label);
    frame->addView(clear);

    auto image = kvtest::render(*frame);
    EXPECT_EQ(image->getPixel(99, 1), kBlackCColor);
    EXPECT_GT(inkedPixels(*image, CRect(0, 0, 50, 30), kYellow), 40);
    EXPECT_EQ(inkedPixels(*image, CRect(70, 0, 100, 30), kYellow), 0); // left aligned
    EXPECT_EQ(image->getPixel(50, 45), kGrey);
    EXPECT_EQ(label->getFont()->getSize(), 16);
    frame->forget();
}

TEST(TextEdit, APressEditsTheTextInTheWindowsBoxAndTellsTheListener)
{
    auto* frame = new CFrame(CRect(0, 0, 200, 100), nullptr);
    auto* window = new kvtest::FakePlatformFrame;
    frame->open(std::unique_ptr<IPlatformFrame>(window));
    Listener listener;
    auto* box = new CViewContainer(CRect(50, 40, 200, 100));
    auto* edit = new CTextEdit(CRect(10, 5, 110, 25), &listener, 3, "old");
    box->addView(edit);
    frame->addView(box);

    window->typedText = std::make_unique<std::string>("new text");
    CPoint where(70, 50);
    EXPECT_EQ(frame->platformOnMouseDown(where, kLButton), kMouseEventHandled);
    EXPECT_EQ(window->textBoxRect, CRect(60, 45, 160, 65)); // frame coordinates
    EXPECT_EQ(edit->getText(), "new text");
    EXPECT_EQ(listener.texts, std::vector<std::string>{"new text"});
    EXPECT_EQ(listener.begins, 1);
    EXPECT_EQ(listener.ends, 1);

    // A box that cannot be shown leaves the text and tells nobody.
    window->typedText.reset();
    edit->takeFocus();
    EXPECT_EQ(window->textBoxes, 2);
    EXPECT_EQ(edit->getText(), "new text");
    EXPECT_EQ(listener.texts.size(), 1u);

    // A control that does not want focus opens no box.
    edit->setWantsFocus(false);
    edit->takeFocus();
    EXPECT_EQ(window->textBoxes, 2);
    frame->forget();
}

TEST(TextEdit, WithoutAWindowNothingIsEdited)
{
    Listener listener;
    auto* frame = new CFrame(CRect(0, 0, 100, 100), nullptr);
    auto* edit = new CTextEdit(CRect(0, 0, 50, 20), &listener, 0, "keep");
    frame->addView(edit);
    CPoint where(5, 5);
    EXPECT_EQ(frame->platformOnMouseDown(where, kLButton), kMouseEventHandled);
    EXPECT_EQ(edit->getText(), "keep");
    EXPECT_TRUE(listener.texts.empty());
    frame->forget();
}

} // namespace
