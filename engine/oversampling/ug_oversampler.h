#pragma once
// engine/oversampling/: running a container at another sample rate. The
// oversampler, the border modules that carry signals across, and their
// anti-imaging and anti-aliasing filters (IIR cascade or windowed sinc).
// Threads: the audio thread; built with the graph.
//
// Runs a container at a multiple of its parent's sample rate (or, inside a
// container that is already oversampled, at a fraction of it). It takes the
// container's place in the parent graph, owns it, and is the audio master of
// everything inside: its own skip list and clocks in the other time base.
// Border modules inside carry signals across; events crossing are re-timed.
// When everything inside has gone to sleep, the oversampler sleeps too.
// Audio thread, except the set-up operations (graph building).

#include <vector>

#include "engine/runtime/AudioMasterBase.h"
#include "engine/graph/ug_base.h"

class ug_container;
class ug_oversampler_in;
class ug_oversampler_out;

class ug_oversampler : public ug_base, public AudioMasterBase
{
public:
    // The memory a factor needs grows with it: the FIR tables and each pin's
    // history hold at least four entries per phase (64 KiB each at this
    // factor), the settling gains one. Larger factors are refused.
    static constexpr int kMaxFactor = 4096;
    // Modules count samples per second in 32-bit integers: no inner rate
    // above this.
    static constexpr double kMaxInnerRate = 2147483647.0;

    ug_oversampler();
    ~ug_oversampler() override;

    // Factors this module runs inside a container at `outerRate`: 2 to
    // kMaxFactor up (within kMaxInnerRate), -2 to -kMaxFactor down.
    static bool Supports(int factor, double outerRate)
    {
        if (factor <= -2)
            return factor >= -kMaxFactor;
        return factor >= 2 && factor <= kMaxFactor && outerRate * factor <= kMaxInnerRate;
    }

    ug_base* Create() override { return new ug_oversampler(); }
    // A copy for another voice: the whole child graph is copied with it.
    ug_base* Clone(CUGLookupList& lookup) override;
    // Polyphony reaching an oversampled section makes it run per voice:
    // what it holds is not known to be linear.
    bool PPGetActiveFlag() override;

    // While the document is read: takes ownership of the child (already set up
    // with its pins), makes the border modules and a relayed copy of every
    // pin of the child. Lines to the child's pins land on the copies. A
    // negative factor runs the child at the parent's rate divided.
    void Setup1(ug_container* child, int factor, int filter);
    // A child without a patch manager of its own gets one that hands its
    // parameters to the enclosing container's manager.
    void CreatePatchManagerProxy();
    // After the child's content is built: joins the border modules to it and
    // finishes the child's graph.
    void Setup2(bool first);
    // While the document is read: relays one more pin of a module inside
    // the child across the border. Adds a copy of it (with a buffer) to this
    // module and a border pin inside, connected to `inner`; returns the copy,
    // which lines outside connect to. Null when the pin lies in the child's
    // voices after they were made (a copy per voice is not known here).
    UPlug* CreateProxyPlug(UPlug* inner);
    // Connects two pins of the graph being built, relaying the line through
    // every oversampler border between them; false (nothing connected) when
    // a border refuses it.
    static bool ConnectAcross(UPlug* from, UPlug* to);

    ug_container* Child() const { return child_; }
    int Factor() const { return factor_; }
    bool Up() const { return up_; }
    int FilterSetting() const { return filter_; }
    ug_oversampler_in* InModule() const { return in_; }
    ug_oversampler_out* OutModule() const { return out_; }
    int64_t TimeOffset() const { return timeOffset_; }

    // Time conversions between the parent's time base and the inner one.
    int64_t ToInner(int64_t outerTime) const;
    int64_t ToOuter(int64_t innerTime) const;

    // A value or a signal state from inside leaves on the outer pin at the
    // matching outer time.
    void RelayOutGoingEvent(UPlug* outerPin, const KorvaneEvent* event);
    void RelayOutGoingState(int64_t innerTime, UPlug* outerPin, state_type state);

    // Module side.
    int Open() override;
    int Close() override;
    void DoProcess(int blockPosition, int sampleFrames) override;
    // A per-voice section sleeps and wakes with its voice, all of it: a
    // module inside starts the voice's next note as afresh as one outside.
    void Suspend() override;
    void Resume(int64_t time) override;
    // Woken (by an event, or by something inside): inner time goes on from
    // where it stopped, and the time offset is taken afresh.
    void Wake() override;
    void SetPPVoiceNumber(int voice) override;

    // Master side, for the modules inside.
    float SampleRate() override;
    int BlockSize() override;
    int BlockPos() override { return AudioMasterBase::BlockPos(); }
    void Wake(EventProcessor* object) override { AudioMasterBase::Wake(object); }
    void InsertBlockDev(EventProcessor* module) override;
    void RegisterDspMsgHandle(dsp_msg_target* object, int handle) override;
    void AssignTemporaryHandle(dsp_msg_target* object) override;
    dsp_msg_target* HandleToObject(int handle) override;
    IKvShellDsp* Application() override;
    void ugCreateSharedLookup(const std::wstring& name, LookupTable** table, int sampleRate, unsigned long size,
                              bool integer, bool create, SharedLookupScope scope) override;
    my_VstTimeInfo* hostGetTime(int flags) override;
    void RegisterPatchAutomator(ug_patch_automator* automator) override;
    // The engine's own master drives the editor queues, never the child's.
    bool ClaimGuiQueTimer(ug_patch_automator* /*automator*/) override { return false; }
    int64_t CalculateOversampledTimestamp(ug_container* top, int64_t time) override;
    int CallVstHost(int opcode, int index, int value, void* ptr, float opt) override;
    void MasterReset() override;
    void onFadeOutComplete() override;
    EventPool* GetEventPool() override;
    int TextRoom() override { return Outer() ? Outer()->TextRoom() : IKvAudioMaster::TextRoom(); }
    void OnTextCut(int length) override
    {
        if (Outer())
            Outer()->OnTextCut(length);
    }
    int BlobRoom() override { return Outer() ? Outer()->BlobRoom() : IKvAudioMaster::BlobRoom(); }
    void OnBlobRefused(int size) override
    {
        if (Outer())
            Outer()->OnBlobRefused(size);
    }
    void OnSysexRefused(int length) override
    {
        if (Outer())
            Outer()->OnSysexRefused(length);
    }

private:
    IKvAudioMaster* Outer() const { return ug_base::audioMaster_; }
    int64_t OuterClock() const { return ug_base::sampleClock_; }
    // Inner time stands still while the oversampler sleeps or is suspended;
    // at each wake and resume the offset is taken again from the inner clock
    // and the own clock, so inner time goes on without a jump.
    void TakeTimeOffset();
    void AnnounceAudioOutputs(int64_t time);
    void TakeEvents(int64_t end);
    // The border modules and their pins, one per pin of this module.
    void MakeBorderModules();
    void SetChildMaster();

    ug_container* child_ = nullptr;
    ug_oversampler_in* in_ = nullptr;
    ug_oversampler_out* out_ = nullptr;
    // For each pin of this module, the matching pin of a border module.
    std::vector<UPlug*> borderPins_;
    int factor_ = 1;
    bool up_ = true;
    int filter_ = 6;
    int64_t timeOffset_ = 0;
    // The child's graph was finished by Setup2.
    bool finished_ = false;
    // Woken or resumed since the last run: the own clock may still have
    // moved (a module woken by its timer is set to the piece it joins).
    bool woken_ = false;
};
