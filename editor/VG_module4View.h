#pragma once
// The toolkit view of a graphics-API module: draws and takes the mouse for
// its host while the host lives, and does nothing after. UI thread only.

#include <vector>

#include "editor/VG_module4.h"
#include "editor/toolkit/CView.h"

class VG_module4::View final : public VSTGUI::CView
{
public:
    explicit View(VG_module4* host) : CView(VSTGUI::CRect(0, 0, 0, 0)), host_(host) {}
    View(const View& other) : CView(other), host_(other.host_)
    {
        if (host_)
            host_->views_.push_back(this);
    }

    void draw(VSTGUI::CDrawContext* context) override
    {
        if (host_)
            host_->Draw(context);
    }
    VSTGUI::CMouseEventResult onMouseDown(VSTGUI::CPoint& where, const VSTGUI::CButtonState& buttons) override
    {
        return Forward(&VG_module4::OnMouseDown, where, buttons);
    }
    VSTGUI::CMouseEventResult onMouseUp(VSTGUI::CPoint& where, const VSTGUI::CButtonState& buttons) override
    {
        return Forward(&VG_module4::OnMouseUp, where, buttons);
    }
    VSTGUI::CMouseEventResult onMouseMoved(VSTGUI::CPoint& where, const VSTGUI::CButtonState& buttons) override
    {
        return Forward(&VG_module4::OnMouseMoved, where, buttons);
    }
    CView* newCopy() const override { return new View(*this); }
    void Detach() { host_ = nullptr; }
    VG_module4* Host() const { return host_; }

private:
    ~View() override
    {
        if (host_ && host_->view_ != this)
            std::erase(host_->views_, this);
    }
    using Handler = VSTGUI::CMouseEventResult (VG_module4::*)(VSTGUI::CPoint&, const VSTGUI::CButtonState&);
    VSTGUI::CMouseEventResult Forward(Handler handler, VSTGUI::CPoint& where, const VSTGUI::CButtonState& buttons)
    {
        if (host_ == nullptr)
            return VSTGUI::kMouseEventNotHandled;
        // A handler may run a menu during which the frame lets go of the view.
        remember();
        const VSTGUI::CMouseEventResult result = (host_->*handler)(where, buttons);
        forget();
        return result;
    }

    VG_module4* host_;
};

