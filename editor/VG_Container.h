#pragma once
// The built-in GUI module "ContainerV": a sub-panel holding the views of the
// modules nested inside it in the GUI patch document. It sizes itself to the
// bounding box of its children moved by its document offsets, places its
// children relative to that box, and is shown while either visibility pin
// is true. UI thread only.

#include "editor/KvGuiVstGuiView.h"
#include "editor/toolkit/CViewContainer.h"

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
class VG_Container : public KvGuiVstGuiView<VSTGUI::CViewContainer>
{
public:
    VG_Container();
    VG_Container(const VG_Container& other);

    VSTGUI::CView* newCopy() const override { return new VG_Container(*this); }

    // UI: visibility from the pins, then the base's initialize.
    int32_t initialize() override;
    // UI: the children's bounding box; sets the container's own rectangle.
    int32_t measure(MpSize availableSize, MpSize& returnDesiredSize) override;
    // UI: places the panel at finalRect and its children inside it.
    int32_t arrange(MpRect finalRect) override;

    // UI: the document's OffsetX and OffsetY, set before the children are built.
    void SetOffsets(double x, double y)
    {
        OffsetX = x;
        OffsetY = y;
    }

    double OffsetX = 0;
    double OffsetY = 0;
    double boxLeft = 0;
    double boxTop = 0;

private:
    ~VG_Container() override = default;
    void onVisibilityChanged();
    class GuiModuleWrapper* WrapperOf(VSTGUI::CView* view) const;

    MpGuiPin<bool> controlsOnParent_;
    MpGuiPin<bool> controlsOnModule_;
};
#pragma GCC diagnostic pop
