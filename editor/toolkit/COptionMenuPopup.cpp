#include "editor/toolkit/COptionMenuPopup.h"

#include <algorithm>
#include <cmath>

#include "editor/toolkit/CDrawContext.h"
#include "editor/toolkit/CFontDesc.h"
#include "editor/toolkit/CGraphicsPath.h"
#include "editor/toolkit/COptionMenu.h"

namespace VSTGUI {

namespace {
constexpr double kCheckColumn = 20;
constexpr double kRightMargin = 12;
constexpr double kRowPadding = 6;
constexpr double kSeparatorHeight = 7;
constexpr double kMinWidth = 60;
constexpr CColor kBack(242, 242, 242);
constexpr CColor kBorder(120, 120, 120);
constexpr CColor kText(20, 20, 20);
constexpr CColor kDisabledText(150, 150, 150);
constexpr CColor kHighlight(51, 102, 204);
constexpr CColor kHighlightText(255, 255, 255);
constexpr double kWheelRows = 3;
constexpr double kArrowSize = 4;
} // namespace

COptionMenuPopup::COptionMenuPopup(const COptionMenu& menu) : font_(menu.getFont())
{
    font_->remember();
    const IPlatformFont* platform = font_->getPlatformFont();
    textHeight_ = std::ceil(platform->getAscent() + platform->getDescent());
    if (textHeight_ <= 0)
    {
        // A font without metrics (size 0) lists with the default font.
        font_->forget();
        font_ = CParamDisplay::defaultFont();
        font_->remember();
        platform = font_->getPlatformFont();
        textHeight_ = std::ceil(platform->getAscent() + platform->getDescent());
    }
    const bool checkStyle = (menu.getStyle() & kCheckStyle) != 0;
    const int32_t current = int32_t(menu.getValue());
    double width = std::max(kMinWidth, menu.getWidth());
    double y = 1;
    for (int32_t i = 0; i < menu.getNbEntries(); ++i)
    {
        const CMenuItem* item = menu.getEntry(i);
        Entry e{item->getTitle(), item->isSeparator(), item->isEnabled() && !item->isTitle(),
                item->isChecked() || (checkStyle && i == current), CRect()};
        const double h = e.separator ? kSeparatorHeight : textHeight_ + kRowPadding;
        e.rect = CRect(1, y, 1, y + h);
        y += h;
        if (!e.separator)
            width = std::max(width, kCheckColumn + platform->getStringWidth(nullptr, e.title.c_str()) + kRightMargin);
        entries_.push_back(e);
    }
    width = std::ceil(width) + 2;
    for (Entry& e : entries_)
        e.rect.right = width - 1;
    size_ = CPoint(width, std::ceil(std::max(y + 1, 2 * kRowPadding)));
    contentHeight_ = size_.y;
    if (selectable(current))
        hover_ = current;
}

void COptionMenuPopup::fitHeight(CCoord maxHeight)
{
    // Room for one entry at least.
    const CCoord height = std::ceil(std::max(maxHeight, textHeight_ + kRowPadding + 2));
    size_.y = std::min(contentHeight_, height);
    scrollTo(scroll_);
    showEntry(hover_);
}

bool COptionMenuPopup::scrollTo(CCoord offset)
{
    const CCoord limit = std::max<CCoord>(0, contentHeight_ - size_.y);
    const CCoord next = std::clamp<CCoord>(std::round(offset), 0, limit);
    if (next == scroll_)
        return false;
    scroll_ = next;
    return true;
}

bool COptionMenuPopup::showEntry(int32_t index)
{
    if (index < 0 || index >= int32_t(entries_.size()))
        return false;
    const CRect& r = entries_[size_t(index)].rect;
    if (r.top - 1 < scroll_)
        return scrollTo(r.top - 1);
    if (r.bottom + 1 > scroll_ + size_.y)
        return scrollTo(r.bottom + 1 - size_.y);
    return false;
}

bool COptionMenuPopup::onWheel(double steps)
{
    if (!std::isfinite(steps) || !scrolls())
        return false;
    return scrollTo(scroll_ - steps * kWheelRows * (textHeight_ + kRowPadding));
}

COptionMenuPopup::~COptionMenuPopup()
{
    font_->forget();
}

bool COptionMenuPopup::selectable(int32_t index) const
{
    return index >= 0 && index < int32_t(entries_.size()) && !entries_[size_t(index)].separator &&
           entries_[size_t(index)].enabled;
}

CRect COptionMenuPopup::getEntryRect(int32_t index) const
{
    if (index < 0 || index >= int32_t(entries_.size()))
        return CRect();
    CRect r = entries_[size_t(index)].rect;
    r.offset(0, -scroll_);
    return r;
}

int32_t COptionMenuPopup::entryAt(const CPoint& where) const
{
    // Only what is shown, inside the border.
    if (!CRect(1, 1, size_.x - 1, size_.y - 1).pointInside(where))
        return -1;
    const CPoint inContent(where.x, where.y + scroll_);
    for (size_t i = 0; i < entries_.size(); ++i)
        if (entries_[i].rect.pointInside(inContent))
            return selectable(int32_t(i)) ? int32_t(i) : -1;
    return -1;
}

void COptionMenuPopup::draw(CDrawContext* context) const
{
    const CRect all(0, 0, size_.x, size_.y);
    context->setDrawMode(kAliasing);
    context->setFillColor(kBack);
    context->drawRect(all, kDrawFilled);
    context->setLineWidth(1);
    context->setFrameColor(kBorder);
    context->drawRect(all, kDrawStroked);
    context->setFont(font_);
    CRect clip;
    context->getClipRect(clip);
    const CRect inside(1, 1, size_.x - 1, size_.y - 1);
    CRect shown = inside;
    shown.bound(clip);
    context->setClipRect(shown);
    for (size_t i = 0; i < entries_.size(); ++i)
    {
        Entry e = entries_[i];
        e.rect.offset(0, -scroll_);
        if (e.rect.bottom <= inside.top || e.rect.top >= inside.bottom)
            continue;
        if (e.separator)
        {
            const double y = std::floor((e.rect.top + e.rect.bottom) / 2);
            context->setFrameColor(kBorder);
            context->drawLine(CPoint(e.rect.left + 4, y), CPoint(e.rect.right - 4, y));
            continue;
        }
        const bool highlighted = int32_t(i) == hover_;
        if (highlighted)
        {
            context->setFillColor(kHighlight);
            context->drawRect(e.rect, kDrawFilled);
        }
        const CColor ink = !e.enabled ? kDisabledText : highlighted ? kHighlightText : kText;
        if (e.checked)
        {
            // A tick in the left column.
            const double cx = e.rect.left + kCheckColumn / 2, cy = (e.rect.top + e.rect.bottom) / 2;
            CGraphicsPath tick;
            tick.beginSubpath(CPoint(cx - 4, cy));
            tick.addLine(CPoint(cx - 1, cy + 3));
            tick.addLine(CPoint(cx + 4, cy - 4));
            context->setDrawMode(kAntiAliasing);
            context->setLineWidth(2);
            context->setFrameColor(ink);
            context->drawGraphicsPath(&tick, CDrawContext::kPathStroked);
            context->setDrawMode(kAliasing);
            context->setLineWidth(1);
        }
        CRect text = e.rect;
        text.left += kCheckColumn;
        context->setFontColor(ink);
        context->drawString(e.title.c_str(), text, kLeftText, true);
    }
    // More above or below: a small arrow at that edge.
    context->setFillColor(kBorder);
    const double mid = std::floor(size_.x / 2);
    if (scroll_ > 0)
    {
        CGraphicsPath up;
        up.beginSubpath(CPoint(mid - kArrowSize, 1 + kArrowSize + 1));
        up.addLine(CPoint(mid + kArrowSize, 1 + kArrowSize + 1));
        up.addLine(CPoint(mid, 2));
        up.closeSubpath();
        context->drawGraphicsPath(&up, CDrawContext::kPathFilled);
    }
    if (scroll_ + size_.y < contentHeight_)
    {
        const double bottom = size_.y - 2;
        CGraphicsPath down;
        down.beginSubpath(CPoint(mid - kArrowSize, bottom - kArrowSize));
        down.addLine(CPoint(mid + kArrowSize, bottom - kArrowSize));
        down.addLine(CPoint(mid, bottom));
        down.closeSubpath();
        context->drawGraphicsPath(&down, CDrawContext::kPathFilled);
    }
    context->setClipRect(clip);
}

bool COptionMenuPopup::onMouseMoved(const CPoint& where)
{
    const int32_t entry = entryAt(where);
    if (entry >= 0)
        movedOntoEntry_ = true;
    if (entry == hover_ || (entry < 0 && !CRect(0, 0, size_.x, size_.y).pointInside(where)))
        return false;
    hover_ = entry;
    return true;
}

bool COptionMenuPopup::onMouseDown(const CPoint& where, const CButtonState& buttons)
{
    if (!CRect(0, 0, size_.x, size_.y).pointInside(where))
    {
        cancel();
        return false;
    }
    pressedInside_ = true;
    return onMouseMoved(where);
}

bool COptionMenuPopup::onMouseUp(const CPoint& where, const CButtonState& buttons)
{
    const int32_t entry = entryAt(where);
    if (entry >= 0 && (pressedInside_ || movedOntoEntry_))
        choose(entry);
    return false;
}

bool COptionMenuPopup::moveHover(int32_t from, int32_t step)
{
    const int32_t count = int32_t(entries_.size());
    for (int32_t i = from; i >= 0 && i < count; i += step)
    {
        if (selectable(i))
        {
            const bool changed = i != hover_;
            hover_ = i;
            return showEntry(i) || changed;
        }
    }
    return false;
}

bool COptionMenuPopup::onKeyDown(Key key)
{
    const int32_t count = int32_t(entries_.size());
    switch (key)
    {
    case Key::kUp:
        return moveHover(hover_ < 0 ? count - 1 : hover_ - 1, -1);
    case Key::kDown:
        return moveHover(hover_ + 1, 1);
    case Key::kHome:
        return moveHover(0, 1);
    case Key::kEnd:
        return moveHover(count - 1, -1);
    case Key::kReturn:
        if (selectable(hover_))
            choose(hover_);
        return false;
    case Key::kEscape:
        cancel();
        return false;
    }
    return false;
}

void COptionMenuPopup::cancel()
{
    chosen_ = -1;
    done_ = true;
}

void COptionMenuPopup::choose(int32_t index)
{
    chosen_ = index;
    done_ = true;
}

} // namespace VSTGUI
