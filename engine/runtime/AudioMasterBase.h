#pragma once
// The common part of audio masters: sample rate, internal block size, the
// clocks of the block loop, the skip list of awake modules, sleep and wake,
// the handle map and the event pool. The engine's master and the oversampler
// build on it; on its own it runs modules connected by hand.

#include <cstdint>
#include <map>

#include "engine/events/EventPool.h"
#include "engine/runtime/IKvAudioMaster.h"
#include "engine/runtime/ModuleSkipList.h"

class AudioMasterBase : public IKvAudioMaster
{
public:
    static constexpr int kMasterHandle = -4;
    static constexpr int kFirstTemporaryHandle = -20;

    explicit AudioMasterBase(float sampleRate, IKvShellDsp* application = nullptr);
    ~AudioMasterBase() override;

    AudioMasterBase(const AudioMasterBase&) = delete;
    AudioMasterBase& operator=(const AudioMasterBase&) = delete;

    // Internal block size for a host maximum block size: sizes below 96 as they
    // are, larger ones cut into whole blocks of about 96 samples or more.
    static int CalcBlockSize(int hostMaxBlockSize);

    // Sets the internal block size (at least 1); only while the loop is not running.
    void SetBlockSize(int blockSize);

    // Empties the skip list and sets every clock to 0, before modules open.
    void ResetBlockLoop();

    // Runs sampleCount samples: the host block is cut at the grid of internal
    // blocks counted from sample 0 and at the cuts asked for (CutAt), and
    // every awake module runs each piece.
    void DoProcessVST(int sampleCount);

    // Audio thread. Asks for a piece to start at `time` (a sample still to
    // come), so that what wakes there (a voice's modules, for a note) starts
    // at that very sample whatever the host's block size. Up to kMaxCuts are
    // kept; a cut beyond them is left out, which only costs that exactness.
    void CutAt(int64_t time);
    static constexpr int kMaxCuts = 128;

    ModuleSkipList& SkipList() { return skipList_; }

    // IKvAudioMaster
    float SampleRate() override { return sampleRate_; }
    int BlockSize() override { return blockSize_; }
    int64_t SampleClock() override { return sampleClock_; }
    int BlockPos() override { return static_cast<int>(sampleClock_ - blockStartClock_); }
    int64_t NextGlobalStartClock() override { return nextGlobalStartClock_; }
    int64_t BlockStartClock() override { return blockStartClock_; }
    void InsertBlockDev(EventProcessor* module) override;
    void SuspendModule(ug_base* module) override;
    void Wake(EventProcessor* object) override;
    bool SleepUntil(EventProcessor* module, int64_t time) override;
    void RegisterDspMsgHandle(dsp_msg_target* object, int handle) override;
    void AssignTemporaryHandle(dsp_msg_target* object) override;
    dsp_msg_target* HandleToObject(int handle) override;
    IKvShellDsp* Application() override { return application_; }
    // The key of this engine's per-instance shared tables.
    const void* LookupOwner() const;
    void ugCreateSharedLookup(const std::wstring& name, LookupTable** table, int sampleRate, unsigned long size,
                              bool integer, bool create, SharedLookupScope scope) override;
    void ServiceGuiQue() override {}
    my_VstTimeInfo* hostGetTime(int /*flags*/) override { return nullptr; }
    void RegisterPatchAutomator(ug_patch_automator* /*automator*/) override {}
    bool ClaimGuiQueTimer(ug_patch_automator* automator) override
    {
        if (!queTimerOwner_)
            queTimerOwner_ = automator;
        return queTimerOwner_ == automator;
    }
    int64_t CalculateOversampledTimestamp(ug_container* /*top*/, int64_t time) override { return time; }
    int CallVstHost(int /*opcode*/, int /*index*/, int /*value*/, void* /*ptr*/, float /*opt*/) override { return -1; }
    void MasterReset() override {}
    void onFadeOutComplete() override {}
    EventPool* GetEventPool() override { return &eventPool_; }

    // Modules asleep until a time of their own (SleepUntil), earliest first.
    bool HasTimedSleepers() const { return timedSleepers_.next != &timedSleepers_; }

protected:
    // Puts back into the skip list the timed sleepers due before `end`.
    void WakeTimedSleepers(int64_t end);
    void ForgetTimedSleepers();

    ModuleSkipList skipList_;
    TimedSleepLink timedSleepers_;
    // The cuts to come, earliest first.
    int64_t cuts_[kMaxCuts] = {};
    int cutCount_ = 0;
    EventPool eventPool_;
    float sampleRate_;
    int blockSize_ = 96;
    int64_t sampleClock_ = 0;
    int64_t blockStartClock_ = 0;
    int64_t nextGlobalStartClock_ = 0;
    IKvShellDsp* application_;
    std::map<int, dsp_msg_target*> handles_;
    int nextTemporaryHandle_ = kFirstTemporaryHandle;
    ug_patch_automator* queTimerOwner_ = nullptr;
};
