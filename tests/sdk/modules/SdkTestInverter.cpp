// "KV Test SDK Old Inverter": an external module of the older plug-in
// interface, written straight on gmpi::IMpPlugin without the SDK's base
// classes. It is made with its host, answers MP_IID_PLUGIN without counting
// the answer (as the SDK's own objects do), and gives out minus in, passing
// its input's streaming state on.
#include "MpFactory.h"
#include "mp_sdk_audio.h"

namespace
{
class SdkTestInverter final : public gmpi::IMpPlugin
{
public:
    explicit SdkTestInverter(gmpi::IMpUnknown* host)
    {
        void* found = nullptr;
        if (host && host->queryInterface(gmpi::MP_IID_HOST, &found) == gmpi::MP_OK)
            host_ = static_cast<gmpi::IMpHost*>(found);
    }

    int32_t queryInterface(const gmpi::MpGuid& iid, void** returnInterface) override
    {
        if (iid == gmpi::MP_IID_PLUGIN || iid == gmpi::MP_IID_UNKNOWN)
        {
            *returnInterface = this;
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

    int32_t open() override { return host_ ? gmpi::MP_OK : gmpi::MP_FAIL; }

    int32_t setBuffer(int32_t pinId, float* buffer) override
    {
        if (pinId == 0)
            in_ = buffer;
        else if (pinId == 1)
            out_ = buffer;
        else
            return gmpi::MP_FAIL;
        return gmpi::MP_OK;
    }

    void process(int32_t count, gmpi::MpEvent* events) override
    {
        for (gmpi::MpEvent* e = events; e; e = e->next)
        {
            // The graph start may come after the input's first state: it repeats the state held.
            if (e->parm1 == 0 && (e->eventType == gmpi::EVENT_PIN_STREAMING_START ||
                                  e->eventType == gmpi::EVENT_PIN_STREAMING_STOP))
                streaming_ = e->eventType == gmpi::EVENT_PIN_STREAMING_START;
            else if (e->eventType != gmpi::EVENT_GRAPH_START)
                continue;
            host_->setPinStreaming(e->timeDelta, 1, streaming_ ? 1 : 0);
        }
        for (int i = 0; i < count; ++i)
            out_[i] = -in_[i];
    }

    int32_t receiveMessageFromGui(int32_t /*id*/, int32_t /*size*/, void* /*data*/) override { return gmpi::MP_OK; }

private:
    ~SdkTestInverter()
    {
        if (host_)
            host_->release();
    }

    int32_t references_ = 1;
    gmpi::IMpHost* host_ = nullptr;
    float* in_ = nullptr;
    float* out_ = nullptr;
    bool streaming_ = false;
};

gmpi::IMpUnknown* createInverter(gmpi::IMpUnknown* host)
{
    return new SdkTestInverter(host);
}

const int32_t registered = gmpi_sdk::MpFactory::Instance()->RegisterPluginWithHost(
    gmpi::MP_SUB_TYPE_AUDIO, L"KV Test SDK Old Inverter", &createInverter);
} // namespace
