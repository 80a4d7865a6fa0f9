#pragma once
// Views and a window stand-in for the toolkit tests: everything is drawn
// offscreen and checked by its pixels.

#include <unistd.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "editor/toolkit/CDrawContext.h"
#include "editor/toolkit/CFrame.h"
#include "editor/toolkit/COffscreenContext.h"
#include "editor/toolkit/COptionMenuPopup.h"

namespace kvtest {

using namespace VSTGUI;

// Fills its size with one colour, counts its draws and records its mouse calls.
class ColourView : public CView
{
public:
    ColourView(const CRect& size, const CColor& colour, CMouseEventResult downResult = kMouseEventHandled)
        : CView(size), colour_(colour), downResult_(downResult)
    {
    }
    void draw(CDrawContext* context) override
    {
        ++draws;
        context->setFillColor(colour_);
        // Deliberately larger than the view: the container must clip it.
        CRect r = getViewSize();
        r.inset(-20, -20);
        context->drawRect(r, kDrawFilled);
    }
    CMouseEventResult onMouseDown(CPoint& where, const CButtonState& buttons) override
    {
        calls.push_back({"down", where, buttons()});
        return downResult_;
    }
    CMouseEventResult onMouseMoved(CPoint& where, const CButtonState& buttons) override
    {
        calls.push_back({"moved", where, buttons()});
        return kMouseEventHandled;
    }
    CMouseEventResult onMouseUp(CPoint& where, const CButtonState& buttons) override
    {
        calls.push_back({"up", where, buttons()});
        return kMouseEventHandled;
    }

    struct Call
    {
        std::string what;
        CPoint where;
        int32_t buttons;
    };
    int draws = 0;
    std::vector<Call> calls;

private:
    CColor colour_;
    CMouseEventResult downResult_;
};

// A window that records repaint requests and answers pop-ups from scripts.
class FakePlatformFrame : public IPlatformFrame
{
public:
    bool invalidRect(const CRect& rect) override
    {
        invalidated.push_back(rect);
        return true;
    }
    bool setSize(const CRect& size) override { return true; }
    void* getPlatformRepresentation() const override { return nullptr; }
    bool popupMenu(COptionMenuPopup& popup, const CPoint& frameLocation) override
    {
        ++popups;
        popupLocation = frameLocation;
        if (menuScript)
            menuScript(popup);
        return popup.isDone() && popup.getChosenIndex() >= 0;
    }
    bool runTextBox(const CRect& frameRect, std::string& text, int32_t& resultCode) override
    {
        ++textBoxes;
        textBoxRect = frameRect;
        if (!typedText)
            return false;
        text = *typedText;
        resultCode = 0;
        return true;
    }

    // Turns until done, calling modalTurn (with the turn's number) between looks.
    bool runModal(const std::function<bool()>& done) override
    {
        while (!done())
        {
            ++modalTurns;
            if (modalTurn)
                modalTurn(modalTurns);
            ::usleep(2000);
        }
        return true;
    }

    std::vector<CRect> invalidated;
    int modalTurns = 0;
    std::function<void(int)> modalTurn;
    int popups = 0;
    CPoint popupLocation;
    std::function<void(COptionMenuPopup&)> menuScript;
    int textBoxes = 0;
    CRect textBoxRect;
    std::unique_ptr<std::string> typedText;
};

// Draws the whole frame into a new image.
inline std::unique_ptr<COffscreenContext> render(CFrame& frame)
{
    auto context = COffscreenContext::create(frame.getWidth(), frame.getHeight());
    frame.platformDrawRect(context.get(), frame.getViewSize());
    return context;
}

} // namespace kvtest
