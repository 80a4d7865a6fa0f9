// "KV Test SDK Voice Source": a module cloned per voice whose pin 0 is MIDI,
// so that the host places its MIDI redirect in front of it. It plays a
// constant level on its audio output.
#include "MpBase2.h"
#include "MpFactory.h"
#include "MpPin.h"

namespace
{
class EnumInPin : public MpPinBase
{
public:
    int getDatatype() const override { return gmpi::MP_ENUM; }
    int getDirection() const override { return gmpi::MP_IN; }
};

class SdkTestVoiceSource : public MpBase2
{
public:
    SdkTestVoiceSource()
    {
        initializePin(0, midi_);
        initializePin(1, channel_);
        initializePin(2, out_);
        setSubProcess(&SdkTestVoiceSource::subProcess);
    }

    // A constant from the start: one block written, then the module may rest.
    void onGraphStart() override
    {
        out_.setStreaming(false);
        MpBase2::onGraphStart();
    }

    void subProcess(int sampleFrames)
    {
        float* out = out_.getBuffer() + getBlockPosition();
        for (int i = 0; i < sampleFrames; ++i)
            out[i] = 0.25f;
    }

private:
    MidiInPin midi_;
    EnumInPin channel_;
    AudioOutPin out_;
};

gmpi::IMpUnknown* createVoiceSource()
{
    return static_cast<gmpi::IMpPlugin2*>(new SdkTestVoiceSource());
}

const int32_t registered = gmpi_sdk::MpFactory::Instance()->RegisterPlugin(
    gmpi::MP_SUB_TYPE_AUDIO, L"KV Test SDK Voice Source", &createVoiceSource);
} // namespace
