#include "editor/toolkit/CView.h"

#include <cstring>

#include "editor/toolkit/CBitmap.h"
#include "editor/toolkit/CFrame.h"

namespace VSTGUI {

CView::CView(const CRect& size) : size_(size), mouseableArea_(size) {}

CView::CView(const CView& other)
    : CBaseObject(other), size_(other.size_), mouseableArea_(other.mouseableArea_), attributes_(other.attributes_),
      transparent_(other.transparent_), visible_(other.visible_), mouseEnabled_(other.mouseEnabled_),
      wantsFocus_(other.wantsFocus_)
{
    setBackground(other.background_);
}

CView::~CView()
{
    if (background_)
        background_->forget();
}

void CView::draw(CDrawContext* context)
{
    if (background_)
        background_->draw(context, size_);
}

void CView::drawRect(CDrawContext* context, const CRect& updateRect)
{
    draw(context);
    dirty_ = false;
}

CMouseEventResult CView::onMouseDown(CPoint& where, const CButtonState& buttons)
{
    return kMouseEventNotHandled;
}

CMouseEventResult CView::onMouseUp(CPoint& where, const CButtonState& buttons)
{
    return kMouseEventNotHandled;
}

CMouseEventResult CView::onMouseMoved(CPoint& where, const CButtonState& buttons)
{
    return kMouseEventNotHandled;
}

bool CView::hitTest(const CPoint& where, const CButtonState& buttons)
{
    return mouseableArea_.pointInside(where);
}

void CView::setViewSize(const CRect& rect, bool invalid)
{
    if (rect == size_)
        return;
    if (invalid)
        invalidRect(size_);
    // A mouseable area that followed the size keeps following it.
    if (mouseableArea_ == size_)
        mouseableArea_ = rect;
    size_ = rect;
    if (invalid)
        invalidRect(size_);
}

void CView::invalidRect(const CRect& rect)
{
    dirty_ = true;
    if (parent_ && visible_)
        parent_->invalidChildRect(rect);
}

void CView::setDirty(bool state)
{
    if (state)
        invalid();
    else
        dirty_ = false;
}

void CView::setTransparency(bool state)
{
    if (state != transparent_)
    {
        transparent_ = state;
        invalid();
    }
}

void CView::setVisible(bool state)
{
    if (state == visible_)
        return;
    if (visible_)
        invalid();
    visible_ = state;
    if (visible_)
        invalid();
}

void CView::setBackground(CBitmap* background)
{
    if (background)
        background->remember();
    if (background_)
        background_->forget();
    background_ = background;
    invalid();
}

CPoint& CView::localToFrame(CPoint& point) const
{
    // A view's own coordinates are its parent's.
    return parent_ ? parent_->localToFrame(point) : point;
}

CPoint& CView::frameToLocal(CPoint& point) const
{
    return parent_ ? parent_->frameToLocal(point) : point;
}

CView* CView::getParentView() const
{
    return parent_;
}

CFrame* CView::getFrame() const
{
    const CView* view = this;
    while (view->parent_)
        view = view->parent_;
    return dynamic_cast<CFrame*>(const_cast<CView*>(view));
}

VSTGUIEditorInterface* CView::getEditor() const
{
    CFrame* frame = getFrame();
    return frame ? frame->getEditor() : nullptr;
}

bool CView::setAttribute(CViewAttributeID id, uint32_t size, const void* data)
{
    if (size > 0 && !data)
        return false;
    const auto* bytes = static_cast<const uint8_t*>(data);
    attributes_[id].assign(bytes, bytes + size);
    return true;
}

bool CView::getAttributeSize(CViewAttributeID id, uint32_t& size) const
{
    auto it = attributes_.find(id);
    if (it == attributes_.end())
        return false;
    size = uint32_t(it->second.size());
    return true;
}

bool CView::getAttribute(CViewAttributeID id, uint32_t inSize, void* data, uint32_t& outSize) const
{
    auto it = attributes_.find(id);
    if (it == attributes_.end() || inSize < it->second.size())
        return false;
    if (!it->second.empty())
        std::memcpy(data, it->second.data(), it->second.size());
    outSize = uint32_t(it->second.size());
    return true;
}

bool CView::removeAttribute(CViewAttributeID id)
{
    return attributes_.erase(id) != 0;
}

} // namespace VSTGUI
