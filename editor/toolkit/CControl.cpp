#include "editor/toolkit/CControl.h"

namespace VSTGUI {

CControl::CControl(const CRect& size, IControlListener* listener, int32_t tag, CBitmap* background)
    : CView(size), listener_(listener), tag_(tag)
{
    if (background)
        setBackground(background);
}

void CControl::setValue(float value)
{
    if (value != value_)
    {
        value_ = value;
        invalid();
    }
}

void CControl::setTag(int32_t tag)
{
    if (listener_)
        listener_->controlTagWillChange(this);
    tag_ = tag;
    if (listener_)
        listener_->controlTagDidChange(this);
}

void CControl::valueChanged()
{
    if (listener_)
        listener_->valueChanged(this);
}

void CControl::beginEdit()
{
    if (editing_++ == 0 && listener_)
        listener_->controlBeginEdit(this);
}

void CControl::endEdit()
{
    if (editing_ > 0 && --editing_ == 0 && listener_)
        listener_->controlEndEdit(this);
}

} // namespace VSTGUI
