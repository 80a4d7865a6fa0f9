#pragma once
// The host wrapper of a GUI module that is a toolkit view (a built-in
// control) or has no view (the automator): it answers the marker face
// KV_IID_GRAPHICS_HOST_VSTGUI and lays the view out through the module's
// IKvGraphics face. UI thread only.

#include "editor/GuiModuleWrapper.h"
#include "editor/IKvGraphics.h"

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
class GuiModuleWrapperVstGui : public GuiModuleWrapper, public gmpi::IKvGraphicsHostVstGui
{
public:
    using GuiModuleWrapper::GuiModuleWrapper;

    // UI: all of these.
    int32_t queryInterface(const gmpi::MpGuid& iid, void** returnInterface) override;
    int32_t addRef() override { return 1; }
    int32_t release() override { return 1; }

    // The module as a view, or none.
    VSTGUI::CView* getVstGuiView() override;
    void AdjustRefCount() override;
    void DoMeasure(MpSize available, MpSize& desired) override;
    void DoArrange(float dx, float dy) override;

private:
    // The module's layout face (one reference for the caller), or none.
    gmpi::IKvGraphics* Graphics() const;
};
#pragma GCC diagnostic pop
