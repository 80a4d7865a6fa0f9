#include "editor/GuiModuleWrapperVstGui.h"

#include "editor/toolkit/CView.h"

int32_t GuiModuleWrapperVstGui::queryInterface(const gmpi::MpGuid& iid, void** returnInterface)
{
    if (returnInterface && iid == gmpi::KV_IID_GRAPHICS_HOST_VSTGUI)
    {
        *returnInterface = static_cast<gmpi::IKvGraphicsHostVstGui*>(this);
        return gmpi::MP_OK;
    }
    return GuiModuleWrapper::queryInterface(iid, returnInterface);
}

VSTGUI::CView* GuiModuleWrapperVstGui::getVstGuiView()
{
    return plugin_ ? dynamic_cast<VSTGUI::CView*>(plugin_) : nullptr;
}

void GuiModuleWrapperVstGui::AdjustRefCount()
{
    if (VSTGUI::CView* view = getVstGuiView())
        view->remember();
}

gmpi::IKvGraphics* GuiModuleWrapperVstGui::Graphics() const
{
    void* face = nullptr;
    if (plugin_ == nullptr || plugin_->queryInterface(gmpi::KV_IID_GRAPHICS_VSTGUI, &face) != gmpi::MP_OK)
        return nullptr;
    return static_cast<gmpi::IKvGraphics*>(face);
}

void GuiModuleWrapperVstGui::DoMeasure(MpSize available, MpSize& desired)
{
    if (gmpi::IKvGraphics* graphics = Graphics())
    {
        graphics->measure(available, desired);
        graphics->release();
    }
}

void GuiModuleWrapperVstGui::DoArrange(float dx, float dy)
{
    gmpi::IKvGraphics* graphics = Graphics();
    if (graphics == nullptr)
        return;
    MpRect moved = rect_;
    moved.top += static_cast<int32_t>(dy);
    moved.bottom += static_cast<int32_t>(dy);
    moved.left += static_cast<int32_t>(dx);
    moved.right += static_cast<int32_t>(dx);
    graphics->arrange(moved);
    graphics->release();
}
