#pragma once
// The audio-effect base of a VST3 processor, which Debian's copy of the SDK
// does not ship: a Component that is also the IAudioProcessor and answers the
// host's IProcessContextRequirements. It keeps the processing setup, builds
// buses, and accepts 32-bit samples only. Subclasses override process().

#include <atomic>

#include "pluginterfaces/vst/ivstaudioprocessor.h"
#include "public.sdk/source/vst/vstcomponent.h"

namespace Steinberg::Vst
{

// SDK interfaces are COM-style: objects die through release(), never through
// a base pointer, so their bases have no virtual destructor.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
class AudioEffect : public Component, public IAudioProcessor, public IProcessContextRequirements
{
public:
    AudioEffect();

    // Bus building, normally done in initialize(); the host sees the buses
    // in the order they were added. Each returns the new bus (owned here).
    AudioBus* addAudioInput(const TChar* name, SpeakerArrangement arrangement, BusType busType = kMain,
                            int32 flags = BusInfo::kDefaultActive);
    AudioBus* addAudioOutput(const TChar* name, SpeakerArrangement arrangement, BusType busType = kMain,
                             int32 flags = BusInfo::kDefaultActive);
    EventBus* addEventInput(const TChar* name, int32 channels = 16, BusType busType = kMain,
                            int32 flags = BusInfo::kDefaultActive);
    EventBus* addEventOutput(const TChar* name, int32 channels = 16, BusType busType = kMain,
                             int32 flags = BusInfo::kDefaultActive);

    // Buses by index, or null outside the list.
    AudioBus* getAudioInput(int32 index);
    AudioBus* getAudioOutput(int32 index);
    EventBus* getEventInput(int32 index);
    EventBus* getEventOutput(int32 index);

    // The setups setupProcessing accepts.
    static constexpr double kMinSampleRate = 1.0;
    static constexpr double kMaxSampleRate = 10000000.0;
    static constexpr int32 kMaxBlockSize = 1 << 20;

    const ProcessSetup& getProcessSetup() const { return processSetup_; }
    // Any thread: hosts may call setProcessing on the audio thread, while the
    // state is read and written on the user-interface thread.
    bool isProcessing() const { return processing_.load(); }
    // The IProcessContextRequirements flags reported to the host; set before
    // the host activates the processor (hosts ask once, before setActive).
    void setProcessContextRequirements(uint32 flags) { processContextRequirements_ = flags; }

    // IAudioProcessor
    tresult PLUGIN_API setBusArrangements(SpeakerArrangement* inputs, int32 numIns, SpeakerArrangement* outputs,
                                          int32 numOuts) SMTG_OVERRIDE;
    tresult PLUGIN_API getBusArrangement(BusDirection dir, int32 index, SpeakerArrangement& arr) SMTG_OVERRIDE;
    tresult PLUGIN_API canProcessSampleSize(int32 symbolicSampleSize) SMTG_OVERRIDE;
    uint32 PLUGIN_API getLatencySamples() SMTG_OVERRIDE { return 0; }
    tresult PLUGIN_API setupProcessing(ProcessSetup& setup) SMTG_OVERRIDE;
    tresult PLUGIN_API setProcessing(TBool state) SMTG_OVERRIDE;
    tresult PLUGIN_API process(ProcessData& data) SMTG_OVERRIDE;
    uint32 PLUGIN_API getTailSamples() SMTG_OVERRIDE { return kNoTail; }

    // IProcessContextRequirements
    uint32 PLUGIN_API getProcessContextRequirements() SMTG_OVERRIDE { return processContextRequirements_; }

    OBJ_METHODS(AudioEffect, Component)
    DEFINE_INTERFACES
        DEF_INTERFACE(IAudioProcessor)
        DEF_INTERFACE(IProcessContextRequirements)
    END_DEFINE_INTERFACES(Component)
    REFCOUNT_METHODS(Component)

protected:
    ProcessSetup processSetup_;
    uint32 processContextRequirements_ = 0;
    std::atomic<bool> processing_{false};
};
#pragma GCC diagnostic pop

} // namespace Steinberg::Vst
