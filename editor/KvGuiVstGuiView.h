#pragma once
// A built-in GUI module that is the toolkit view `View` itself: the module
// and the view share one reference count (the view's remember, forget and
// getNbReference map onto addRef and release), and unless the control says
// otherwise it takes all the room it is offered and fills the rectangle it
// is given. UI thread only.

#include <type_traits>
#include <utility>

#include "editor/KvGuiVstGuiBase.h"
#include "editor/toolkit/CRect.h"

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
template <class View>
class KvGuiVstGuiView : public KvGuiVstGuiBase, public View
{
public:
    // Passes its arguments on to the view's constructor.
    template <class... Args>
        requires std::is_constructible_v<View, Args...> &&
                 (!(sizeof...(Args) == 1 && (std::is_base_of_v<KvGuiVstGuiView, std::remove_cvref_t<Args>> && ...)))
    explicit KvGuiVstGuiView(Args&&... args) : View(std::forward<Args>(args)...)
    {
    }
    // Copies the module part and the view as they stand.
    KvGuiVstGuiView(const KvGuiVstGuiView& other) : KvGuiVstGuiBase(other), View(other) {}

    // UI: one count shared by the module and the view.
    int32_t addRef() override { return ++sharedCount_; }
    int32_t release() override
    {
        const int32_t count = --sharedCount_;
        if (count == 0)
            delete this;
        return count;
    }
    void remember() override { ++sharedCount_; }
    void forget() override { release(); }
    int32_t getNbReference() const override { return sharedCount_; }

    // UI: all the room offered.
    int32_t measure(MpSize available, MpSize& desired) override
    {
        desired = available;
        return gmpi::MP_OK;
    }
    // UI: the view and its mouse area become the rectangle.
    int32_t arrange(MpRect r) override
    {
        const VSTGUI::CRect size(r.left, r.top, r.right, r.bottom);
        this->setViewSize(size, true);
        this->setMouseableArea(size);
        return gmpi::MP_OK;
    }

protected:
    ~KvGuiVstGuiView() override = default;
};
#pragma GCC diagnostic pop
