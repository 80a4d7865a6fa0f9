#pragma once
// A view with a value that tells its listener when the value changes.
// UI thread only.

#include "editor/toolkit/CView.h"
#include "editor/toolkit/IControlListener.h"

namespace VSTGUI {

class CControl : public CView
{
public:
    CControl(const CRect& size, IControlListener* listener = nullptr, int32_t tag = -1, CBitmap* background = nullptr);

    virtual void setValue(float value);
    float getValue() const { return value_; }
    void setMin(float min) { min_ = min; }
    void setMax(float max) { max_ = max; }
    float getMin() const { return min_; }
    float getMax() const { return max_; }

    void setListener(IControlListener* listener) { listener_ = listener; }
    IControlListener* getListener() const { return listener_; }
    void setTag(int32_t tag);
    int32_t getTag() const { return tag_; }

    // Tells the listener that the value changed.
    virtual void valueChanged();
    virtual void beginEdit();
    virtual void endEdit();
    bool isEditing() const { return editing_ > 0; }

protected:
    float value_ = 0;
    float min_ = 0;
    float max_ = 1;

private:
    IControlListener* listener_;
    int32_t tag_;
    int32_t editing_ = 0;
};

} // namespace VSTGUI
