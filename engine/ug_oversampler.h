#pragma once
// Runs a container at a multiple of its parent's sample rate. It takes the
// container's place in the parent graph, owns it, and is the audio master of
// everything inside: its own skip list and clocks in the faster time base.
// Border modules inside carry signals across; events crossing are re-timed.

#include <vector>

#include "engine/AudioMasterBase.h"
#include "engine/ug_base.h"

class ug_container;
class ug_oversampler_in;
class ug_oversampler_out;

class ug_oversampler : public ug_base, public AudioMasterBase
{
public:
    static constexpr int kMaxFactor = 16;

    ug_oversampler();
    ~ug_oversampler() override;

    // Factors this module runs: 2 to kMaxFactor.
    static bool Supports(int factor) { return factor >= 2 && factor <= kMaxFactor; }

    ug_base* Create() override { return new ug_oversampler(); }
    // An oversampled container is shared by the voices, as nested containers are.
    ug_base* Clone(CUGLookupList& /*lookup*/) override { return nullptr; }

    // While the document is read: takes ownership of the child (already set up
    // with its pins), makes the border modules and a relayed copy of every
    // pin of the child. Lines to the child's pins land on the copies.
    void Setup1(ug_container* child, int factor, int filter);
    // After the child's content is built: joins the border modules to it and
    // finishes the child's graph.
    void Setup2(bool first);

    ug_container* Child() const { return child_; }
    int Factor() const { return factor_; }
    int FilterSetting() const { return filter_; }
    ug_oversampler_in* InModule() const { return in_; }
    ug_oversampler_out* OutModule() const { return out_; }
    int64_t TimeOffset() const { return timeOffset_; }

    // A value from inside leaves on the outer pin at the matching outer time.
    void RelayOutGoingEvent(UPlug* outerPin, const KorvaneEvent* event);

    // Module side.
    int Open() override;
    int Close() override;
    void DoProcess(int blockPosition, int sampleFrames) override;
    void Wake() override;
    void SetPPVoiceNumber(int voice) override;

    // Master side, for the modules inside.
    float SampleRate() override;
    int BlockSize() override;
    int BlockPos() override { return AudioMasterBase::BlockPos(); }
    void Wake(EventProcessor* object) override { AudioMasterBase::Wake(object); }
    void RegisterDspMsgHandle(dsp_msg_target* object, int handle) override;
    void AssignTemporaryHandle(dsp_msg_target* object) override;
    dsp_msg_target* HandleToObject(int handle) override;
    IKvShellDsp* Application() override;
    void ugCreateSharedLookup(const std::wstring& name, LookupTable** table, int sampleRate, unsigned long size,
                              bool integer, bool create, SharedLookupScope scope) override;
    my_VstTimeInfo* hostGetTime(int flags) override;
    void RegisterPatchAutomator(ug_patch_automator* automator) override;
    int64_t CalculateOversampledTimestamp(ug_container* top, int64_t time) override;
    int CallVstHost(int opcode, int index, int value, void* ptr, float opt) override;
    void MasterReset() override;
    void onFadeOutComplete() override;
    EventPool* GetEventPool() override;

private:
    IKvAudioMaster* Outer() const { return ug_base::audioMaster_; }
    int64_t OuterClock() const { return ug_base::sampleClock_; }
    void FixTimeOffset();
    void AnnounceAudioOutputs(int64_t time);
    void TakeEvents(int64_t end);

    ug_container* child_ = nullptr;
    ug_oversampler_in* in_ = nullptr;
    ug_oversampler_out* out_ = nullptr;
    // For each pin of this module, the matching pin of a border module.
    std::vector<UPlug*> borderPins_;
    int factor_ = 1;
    int filter_ = 6;
    int64_t timeOffset_ = 0;
};
