#include "editor/KvGuiVstGuiBase.h"

int32_t KvGuiVstGuiBase::queryInterface(const gmpi::MpGuid& iid, void** returnInterface)
{
    if (returnInterface && iid == gmpi::KV_IID_GRAPHICS_VSTGUI)
    {
        *returnInterface = static_cast<gmpi::IKvGraphics*>(this);
        addRef();
        return gmpi::MP_OK;
    }
    return MpGuiBase2::queryInterface(iid, returnInterface);
}

int32_t KvGuiVstGuiBase::setHost(gmpi::IMpUnknown* host)
{
    void* face = nullptr;
    if (host == nullptr || host->queryInterface(gmpi::KV_IID_GRAPHICS_HOST_VSTGUI, &face) != gmpi::MP_OK ||
        face == nullptr)
        return gmpi::MP_NOSUPPORT;
    graphicsHost_ = static_cast<gmpi::IKvGraphicsHostVstGui*>(face);
    graphicsHost_->release();
    return MpGuiBase2::setHost(host);
}
