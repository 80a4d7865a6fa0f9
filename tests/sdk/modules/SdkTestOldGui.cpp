// "KV Test SDK Old Gui": the GUI part of the older style (subtype 1), made
// by the bundle's older factory with its host, written straight on
// gmpi::IMpUserInterface. It counts its references as COM objects do.
#include "MpFactory.h"
#include "mp_sdk_gui.h"

namespace
{
class SdkTestOldGui final : public gmpi::IMpUserInterface
{
public:
    explicit SdkTestOldGui(gmpi::IMpUnknown* host) : host_(host) {}

    int32_t queryInterface(const gmpi::MpGuid& iid, void** returnInterface) override
    {
        if (iid == gmpi::MP_IID_GUI_PLUGIN || iid == gmpi::MP_IID_UNKNOWN)
        {
            *returnInterface = this;
            addRef();
            return gmpi::MP_OK;
        }
        *returnInterface = nullptr;
        return gmpi::MP_NOSUPPORT;
    }
    int32_t addRef() override { return ++references_; }
    int32_t release() override
    {
        if (--references_ == 0)
        {
            delete this;
            return 0;
        }
        return references_;
    }

    int32_t initialize() override { return gmpi::MP_OK; }
    int32_t setPin(int32_t, int32_t, int32_t, void*) override { return gmpi::MP_OK; }
    int32_t notifyPin(int32_t, int32_t) override { return gmpi::MP_OK; }
    int32_t receiveMessageFromAudio(int32_t, int32_t, void*) override { return gmpi::MP_OK; }
    int32_t onCreateContextMenu() override { return gmpi::MP_OK; }
    int32_t onContextMenu(int32_t) override { return gmpi::MP_OK; }

private:
    ~SdkTestOldGui() = default;
    int32_t references_ = 1;
    gmpi::IMpUnknown* host_;
};

gmpi::IMpUnknown* createOldGui(gmpi::IMpUnknown* host)
{
    return new SdkTestOldGui(host);
}

const int32_t registered =
    gmpi_sdk::MpFactory::Instance()->RegisterPluginWithHost(gmpi::MP_SUB_TYPE_GUI, L"KV Test SDK Old Gui", &createOldGui);
} // namespace
