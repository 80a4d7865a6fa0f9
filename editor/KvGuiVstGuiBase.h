#pragma once
// Base of the built-in GUI modules that are toolkit views themselves. The
// module and its view share one reference count: a control derives from
// KvGuiVstGuiView<its view class>, which maps the view's remember, forget
// and getNbReference onto addRef and release. The editor lays the control out
// through its IKvGraphics face (measure, arrange). UI thread only.

#include "editor/IKvGraphics.h"
#include "sdk/MpGuiBase2.h"

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
class KvGuiVstGuiBase : public MpGuiBase2, public gmpi::IKvGraphics
{
public:
    KvGuiVstGuiBase() = default;
    // Copies the pins, the host, the count's value and the graphics host as they stand.
    KvGuiVstGuiBase(const KvGuiVstGuiBase&) = default;

    // UI: MP_IID_GUI_PLUGIN2, KV_IID_GRAPHICS_VSTGUI and MP_IID_UNKNOWN.
    int32_t queryInterface(const gmpi::MpGuid& iid, void** returnInterface) override;
    // UI: each control counts on the one count it shares with its view.
    int32_t addRef() override = 0;
    int32_t release() override = 0;
    // UI: a host without KV_IID_GRAPHICS_HOST_VSTGUI is refused (-2).
    int32_t setHost(gmpi::IMpUnknown* host) override;
    // UI: draws nothing here; the view draws itself.
    int32_t OnRender(gmpi::IMpUnknown*) override { return gmpi::MP_OK; }
    ~KvGuiVstGuiBase() override = default;

protected:
    int32_t sharedCount_ = 1;
    gmpi::IKvGraphicsHostVstGui* graphicsHost_ = nullptr;
};
#pragma GCC diagnostic pop
