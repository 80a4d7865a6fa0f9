#include "editor/toolkit/CViewContainer.h"

#include <algorithm>

#include "editor/toolkit/CBitmap.h"
#include "editor/toolkit/CDrawContext.h"

namespace VSTGUI {

namespace {
// Keeps a view alive across a call that may remove it.
struct Hold
{
    explicit Hold(CView* v) : view(v) { view->remember(); }
    ~Hold() { view->forget(); }
    CView* view;
};
} // namespace

CViewContainer::CViewContainer(const CRect& size) : CView(size) {}

// A copy holds no children.
CViewContainer::CViewContainer(const CViewContainer& other)
    : CView(other), backgroundColor_(other.backgroundColor_)
{
}

CViewContainer::~CViewContainer()
{
    removeAll(true);
}

bool CViewContainer::addView(CView* view)
{
    if (!view || view->isAttached() || view == this)
        return false;
    children_.push_back(view);
    view->attached(this);
    view->invalid();
    return true;
}

bool CViewContainer::removeView(CView* view, bool withForget)
{
    auto it = std::find(children_.begin(), children_.end(), view);
    if (it == children_.end())
        return false;
    view->invalid();
    children_.erase(it);
    if (mouseDownView_ == view)
        mouseDownView_ = nullptr;
    view->removed(this);
    if (withForget)
        view->forget();
    return true;
}

bool CViewContainer::removeAll(bool withForget)
{
    mouseDownView_ = nullptr;
    while (!children_.empty())
        removeView(children_.back(), withForget);
    return true;
}

bool CViewContainer::isChild(const CView* view) const
{
    return std::find(children_.begin(), children_.end(), view) != children_.end();
}

CView* CViewContainer::getViewAt(const CPoint& where, bool deep) const
{
    for (auto it = children_.rbegin(); it != children_.rend(); ++it)
    {
        CView* child = *it;
        if (!child->isVisible() || !child->getViewSize().pointInside(where))
            continue;
        if (deep)
        {
            if (auto* container = dynamic_cast<CViewContainer*>(child))
            {
                CPoint local = where - container->getViewSize().getTopLeft();
                if (CView* inner = container->getViewAt(local, true))
                    return inner;
            }
        }
        return child;
    }
    return nullptr;
}

void CViewContainer::setBackgroundColor(const CColor& color)
{
    if (color != backgroundColor_)
    {
        backgroundColor_ = color;
        invalid();
    }
}

void CViewContainer::draw(CDrawContext* context)
{
    drawRect(context, size_);
}

void CViewContainer::drawBackgroundRect(CDrawContext* context, const CRect& rect)
{
    if (!getTransparency())
    {
        context->setFillColor(backgroundColor_);
        context->drawRect(rect, kDrawFilled);
    }
    if (CBitmap* background = getBackground())
        background->draw(context, size_);
}

void CViewContainer::drawRect(CDrawContext* context, const CRect& updateRect)
{
    CRect area = size_;
    area.bound(updateRect);
    CRect clip;
    area.bound(context->getClipRect(clip));
    if (area.isEmpty())
        return;
    context->saveGlobalState();
    context->setClipRect(area);
    drawBackgroundRect(context, area);
    {
        CDrawContext::Transform offset(*context, CGraphicsTransform().translate(size_.left, size_.top));
        CRect local = area;
        local.offset(-size_.left, -size_.top);
        // A child may add or remove views while drawing: walk a snapshot.
        const std::vector<CView*> children = children_;
        for (CView* child : children)
        {
            if (!child->isVisible() || !isChild(child))
                continue;
            CRect childArea = child->getViewSize();
            childArea.bound(local);
            if (childArea.isEmpty())
                continue;
            context->saveGlobalState();
            context->setClipRect(childArea);
            child->drawRect(context, childArea);
            context->restoreGlobalState();
        }
    }
    context->restoreGlobalState();
    setDirty(false);
}

CMouseEventResult CViewContainer::onMouseDown(CPoint& where, const CButtonState& buttons)
{
    const CPoint local = where - size_.getTopLeft();
    const std::vector<CView*> children = children_;
    for (auto it = children.rbegin(); it != children.rend(); ++it)
    {
        CView* child = *it;
        if (!isChild(child) || !child->isVisible() || !child->getMouseEnabled() || !child->hitTest(local, buttons))
            continue;
        Hold hold(child);
        CPoint point = local;
        if (child->onMouseDown(point, buttons) == kMouseEventHandled)
        {
            if (isChild(child))
                mouseDownView_ = child;
            return kMouseEventHandled;
        }
    }
    return kMouseEventNotHandled;
}

CMouseEventResult CViewContainer::onMouseUp(CPoint& where, const CButtonState& buttons)
{
    CView* child = mouseDownView_;
    mouseDownView_ = nullptr;
    if (!child)
        return kMouseEventNotHandled;
    Hold hold(child);
    CPoint point = where - size_.getTopLeft();
    return child->onMouseUp(point, buttons);
}

CMouseEventResult CViewContainer::onMouseMoved(CPoint& where, const CButtonState& buttons)
{
    const CPoint local = where - size_.getTopLeft();
    CView* child = mouseDownView_;
    if (!child)
    {
        // Without a press in progress the move goes to the view under the mouse.
        for (auto it = children_.rbegin(); it != children_.rend() && !child; ++it)
            if ((*it)->isVisible() && (*it)->getMouseEnabled() && (*it)->hitTest(local, buttons))
                child = *it;
    }
    if (!child)
        return kMouseEventNotHandled;
    Hold hold(child);
    CPoint point = local;
    return child->onMouseMoved(point, buttons);
}

void CViewContainer::setViewSize(const CRect& rect, bool invalid)
{
    CView::setViewSize(rect, invalid);
}

CPoint& CViewContainer::localToFrame(CPoint& point) const
{
    point.offset(size_.left, size_.top);
    return CView::localToFrame(point);
}

CPoint& CViewContainer::frameToLocal(CPoint& point) const
{
    CView::frameToLocal(point);
    return point.offset(-size_.left, -size_.top);
}

void CViewContainer::invalidChildRect(const CRect& rect)
{
    if (!isVisible())
        return;
    CRect r = rect;
    r.offset(size_.left, size_.top);
    r.bound(size_);
    if (r.isEmpty())
        return;
    if (CViewContainer* parent = getParent())
        parent->invalidChildRect(r);
}

} // namespace VSTGUI
