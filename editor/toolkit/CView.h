#pragma once
// A rectangle of the editor that draws itself and takes mouse events. Its
// size is in the coordinates of its parent container, and so are the points
// its mouse handlers get. Reference-counted: a container owns the reference
// it was given by addView. UI thread only.

#include <map>
#include <vector>

#include "editor/toolkit/CBaseObject.h"
#include "editor/toolkit/CButtonState.h"
#include "editor/toolkit/CRect.h"

namespace VSTGUI {

class VSTGUIEditorInterface;

// The attribute holding a view's tooltip ('cvtt'): UTF-8 text with its
// terminating zero.
constexpr CViewAttributeID kCViewTooltipAttribute = (uint32_t('c') << 24) | (uint32_t('v') << 16) | (uint32_t('t') << 8) | 't';

class CView : public CBaseObject
{
public:
    explicit CView(const CRect& size);
    CView(const CView& other);
    ~CView() override;

    // Draws the background bitmap, if any, over the view size.
    virtual void draw(CDrawContext* context);
    // Draws the part of the view in updateRect (parent coordinates) and marks it clean.
    virtual void drawRect(CDrawContext* context, const CRect& updateRect);

    // Results: kMouseEventHandled (1) or kMouseEventNotHandled (2).
    virtual CMouseEventResult onMouseDown(CPoint& where, const CButtonState& buttons);
    virtual CMouseEventResult onMouseUp(CPoint& where, const CButtonState& buttons);
    virtual CMouseEventResult onMouseMoved(CPoint& where, const CButtonState& buttons);
    // Whether where lies in the mouseable area.
    virtual bool hitTest(const CPoint& where, const CButtonState& buttons = -1);

    virtual void setViewSize(const CRect& rect, bool invalid = true);
    const CRect& getViewSize() const { return size_; }
    CCoord getWidth() const { return size_.getWidth(); }
    CCoord getHeight() const { return size_.getHeight(); }
    virtual void setMouseableArea(const CRect& rect) { mouseableArea_ = rect; }
    const CRect& getMouseableArea() const { return mouseableArea_; }
    void setMouseEnabled(bool state) { mouseEnabled_ = state; }
    bool getMouseEnabled() const { return mouseEnabled_; }

    // Asks for a repaint of rect (parent coordinates).
    virtual void invalidRect(const CRect& rect);
    void invalid() { invalidRect(size_); }
    // true repaints the view; false only marks it clean.
    virtual void setDirty(bool state = true);
    bool isDirty() const { return dirty_; }

    virtual void setTransparency(bool state);
    bool getTransparency() const { return transparent_; }
    virtual void setVisible(bool state);
    bool isVisible() const { return visible_; }
    void setWantsFocus(bool state) { wantsFocus_ = state; }
    bool wantsFocus() const { return wantsFocus_; }
    virtual void takeFocus() {}
    virtual void looseFocus() {}

    // Kept with one reference of the view's own.
    virtual void setBackground(CBitmap* background);
    CBitmap* getBackground() const { return background_; }

    // Between this view's parent coordinates and the frame's.
    virtual CPoint& localToFrame(CPoint& point) const;
    virtual CPoint& frameToLocal(CPoint& point) const;

    CView* getParentView() const;
    CViewContainer* getParent() const { return parent_; }
    CFrame* getFrame() const;
    VSTGUIEditorInterface* getEditor() const;
    bool isAttached() const { return parent_ != nullptr; }

    // A new, unattached view like this one (the caller owns it).
    virtual CView* newCopy() const { return new CView(*this); }

    bool setAttribute(CViewAttributeID id, uint32_t size, const void* data);
    bool getAttributeSize(CViewAttributeID id, uint32_t& size) const;
    bool getAttribute(CViewAttributeID id, uint32_t inSize, void* data, uint32_t& outSize) const;
    bool removeAttribute(CViewAttributeID id);

    // Called by the container that takes or lets go of the view.
    virtual void attached(CViewContainer* parent) { parent_ = parent; }
    virtual void removed(CViewContainer* parent) { parent_ = nullptr; }

protected:
    CRect size_;
    CRect mouseableArea_;

private:
    CViewContainer* parent_ = nullptr;
    CBitmap* background_ = nullptr;
    std::map<CViewAttributeID, std::vector<uint8_t>> attributes_;
    bool dirty_ = false;
    bool transparent_ = false;
    bool visible_ = true;
    bool mouseEnabled_ = true;
    bool wantsFocus_ = false;
};

} // namespace VSTGUI
