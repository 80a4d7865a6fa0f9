#include "TestSineEditor.h"

#include <algorithm>
#include <string>

#include "TestSineController.h"
#include "editor/toolkit/CDrawContext.h"
#include "editor/toolkit/CFrame.h"
#include "editor/toolkit/COptionMenu.h"
#include "editor/toolkit/CTextEdit.h"

using namespace Steinberg;
using namespace VSTGUI;

namespace
{
enum Tag : int32_t
{
    kTagTextEdit = 1,
    kTagMenu = 2,
};

CRect RectOf(const int (&r)[4])
{
    return CRect(r[0], r[1], r[2], r[3]);
}

// Red until pressed, then green; every press is counted.
class ColourPad : public CView
{
public:
    ColourPad(const CRect& size, TestSineController* controller) : CView(size), controller_(controller) {}

    void draw(CDrawContext* context) override
    {
        context->setFillColor(on_ ? CColor(0, 200, 0) : CColor(200, 0, 0));
        context->drawRect(getViewSize(), kDrawFilled);
        setDirty(false);
    }
    CMouseEventResult onMouseDown(CPoint&, const CButtonState& buttons) override
    {
        if (!buttons.isLeftButton())
            return kMouseEventNotHandled;
        on_ = !on_;
        invalid();
        controller_->editorClicked();
        return kMouseEventHandled;
    }

private:
    TestSineController* controller_;
    bool on_ = false;
};

// Grey with a blue part from the left edge to the dragged point; the
// fraction is the gain.
class DragBar : public CView
{
public:
    DragBar(const CRect& size, TestSineController* controller) : CView(size), controller_(controller) {}

    void draw(CDrawContext* context) override
    {
        const CRect& r = getViewSize();
        context->setFillColor(CColor(60, 60, 60));
        context->drawRect(r, kDrawFilled);
        context->setFillColor(CColor(0, 0, 255));
        context->drawRect(CRect(r.left, r.top, r.left + r.getWidth() * value_, r.bottom), kDrawFilled);
        setDirty(false);
    }
    CMouseEventResult onMouseDown(CPoint& where, const CButtonState& buttons) override
    {
        if (!buttons.isLeftButton())
            return kMouseEventNotHandled;
        follow(where);
        return kMouseEventHandled;
    }
    CMouseEventResult onMouseMoved(CPoint& where, const CButtonState& buttons) override
    {
        if (!buttons.isLeftButton())
            return kMouseEventNotHandled;
        follow(where);
        return kMouseEventHandled;
    }

private:
    void follow(const CPoint& where)
    {
        const CRect& r = getViewSize();
        value_ = std::clamp((where.x - r.left) / r.getWidth(), 0.0, 1.0);
        invalid();
        controller_->editorDragged(value_);
    }

    TestSineController* controller_;
    double value_ = 0.0;
};

// Runs the window's in-place text box over itself when pressed, and reports
// the text and how editing ended.
class TextBoxProbe : public CView
{
public:
    TextBoxProbe(const CRect& size, TestSineController* controller) : CView(size), controller_(controller) {}

    void draw(CDrawContext* context) override
    {
        context->setFillColor(CColor(255, 255, 200));
        context->drawRect(getViewSize(), kDrawFilled);
        setDirty(false);
    }
    CMouseEventResult onMouseDown(CPoint&, const CButtonState& buttons) override
    {
        CFrame* frame = getFrame();
        if (!buttons.isLeftButton() || frame == nullptr || frame->getPlatformFrame() == nullptr)
            return kMouseEventNotHandled;
        CPoint origin = getViewSize().getTopLeft();
        localToFrame(origin);
        int32_t code = -1;
        if (frame->getPlatformFrame()->runTextBox(CRect(origin, getViewSize().getSize()), text_, code))
            controller_->editorTextEdited(text_, code);
        return kMouseEventHandled;
    }

private:
    TestSineController* controller_;
    std::string text_ = "probe";
};
} // namespace

TestSineEditor::TestSineEditor(TestSineController* owner)
    : EditorView(owner, nullptr), controller_(owner)
{
    rect = ViewRect(0, 0, TestSineLayout::kWidth, TestSineLayout::kHeight);
}

TestSineEditor::~TestSineEditor()
{
    embedding_.remove();
}

tresult PLUGIN_API TestSineEditor::isPlatformTypeSupported(FIDString type)
{
    return FrameEmbedding::supports(type) ? kResultTrue : kResultFalse;
}

tresult PLUGIN_API TestSineEditor::attached(void* parent, FIDString type)
{
    if (embedding_.attached())
        return kResultFalse;
    auto* frame = new CFrame(CRect(0, 0, TestSineLayout::kWidth, TestSineLayout::kHeight), this);
    frame->setBackgroundColor(CColor(32, 32, 32));
    frame->addView(new ColourPad(RectOf(TestSineLayout::kPad), controller_));
    frame->addView(new CTextEdit(RectOf(TestSineLayout::kTextEdit), this, kTagTextEdit, "Hello"));
    frame->addView(new TextBoxProbe(RectOf(TestSineLayout::kTextBox), controller_));
    frame->addView(new DragBar(RectOf(TestSineLayout::kBar), controller_));
    auto* menu = new COptionMenu(RectOf(TestSineLayout::kMenu), this, kTagMenu);
    menu->addEntry("One");
    menu->addEntry("Two");
    menu->addEntry("Three");
    menu->setValue(2);
    frame->addView(menu);
    std::string error;
    const bool opened = embedding_.attach(frame, parent, type, plugFrame, error);
    frame->forget();
    if (!opened)
        return kResultFalse;
    return EditorView::attached(parent, type);
}

tresult PLUGIN_API TestSineEditor::removed()
{
    if (!embedding_.remove())
        return kResultFalse;
    return EditorView::removed();
}

void TestSineEditor::valueChanged(CControl* control)
{
    if (control->getTag() == kTagTextEdit)
        controller_->editorTextEdited(static_cast<CTextEdit*>(control)->getText(), -2);
    else if (control->getTag() == kTagMenu)
        controller_->editorMenuChosen(static_cast<COptionMenu*>(control)->getCurrentIndex());
}
