#pragma once
// Told by a control when its value changes and edits begin or end.

#include "editor/toolkit/CButtonState.h"

namespace VSTGUI {

class CControl;

class IControlListener
{
public:
    virtual ~IControlListener() = default;
    virtual void valueChanged(CControl* control) = 0;
    virtual int32_t controlModifierClicked(CControl* control, CButtonState button) { return 0; }
    virtual void controlBeginEdit(CControl* control) {}
    virtual void controlEndEdit(CControl* control) {}
    virtual void controlTagWillChange(CControl* control) {}
    virtual void controlTagDidChange(CControl* control) {}
};

} // namespace VSTGUI
