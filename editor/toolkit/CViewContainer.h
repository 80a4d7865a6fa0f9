#pragma once
// A view holding other views. It draws its background (unless transparent),
// then its children in the order they were added, each clipped to its own
// size and to the container; children are placed in the container's own
// coordinates. Mouse presses go to the topmost child under the point that
// handles them, and that child gets the moves and the release that follow.
// UI thread only.

#include <vector>

#include "editor/toolkit/CColor.h"
#include "editor/toolkit/CView.h"

namespace VSTGUI {

class CViewContainer : public CView
{
public:
    explicit CViewContainer(const CRect& size);
    CViewContainer(const CViewContainer& other);
    ~CViewContainer() override;

    // Takes over the caller's reference (adds none of its own).
    virtual bool addView(CView* view);
    // Forgets the view unless withForget is false.
    virtual bool removeView(CView* view, bool withForget = true);
    virtual bool removeAll(bool withForget = true);
    bool isChild(const CView* view) const;
    int32_t getNbViews() const { return int32_t(children_.size()); }
    CView* getView(uint32_t index) const { return index < children_.size() ? children_[index] : nullptr; }
    // The topmost visible child under where (container coordinates); deep
    // descends into child containers.
    CView* getViewAt(const CPoint& where, bool deep = false) const;

    void setBackgroundColor(const CColor& color);
    const CColor& getBackgroundColor() const { return backgroundColor_; }

    void draw(CDrawContext* context) override;
    void drawRect(CDrawContext* context, const CRect& updateRect) override;
    // Fills the background in rect (parent coordinates).
    virtual void drawBackgroundRect(CDrawContext* context, const CRect& rect);

    CMouseEventResult onMouseDown(CPoint& where, const CButtonState& buttons) override;
    CMouseEventResult onMouseUp(CPoint& where, const CButtonState& buttons) override;
    CMouseEventResult onMouseMoved(CPoint& where, const CButtonState& buttons) override;

    void setViewSize(const CRect& rect, bool invalid = true) override;
    CPoint& localToFrame(CPoint& point) const override;
    CPoint& frameToLocal(CPoint& point) const override;
    CView* newCopy() const override { return new CViewContainer(*this); }

    // A child asks for a repaint of rect (container coordinates).
    virtual void invalidChildRect(const CRect& rect);

protected:
    std::vector<CView*> children_;
    CView* mouseDownView_ = nullptr;

private:
    CColor backgroundColor_ = kBlackCColor;
};

} // namespace VSTGUI
