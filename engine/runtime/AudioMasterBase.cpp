#include "engine/runtime/AudioMasterBase.h"

#include <algorithm>
#include <cstdlib>

#include "engine/runtime/LookupTable.h"
#include "engine/graph/ug_base.h"

AudioMasterBase::AudioMasterBase(float sampleRate, IKvShellDsp* application)
    : skipList_(static_cast<uint32_t>(std::rand())), sampleRate_(sampleRate), application_(application)
{
    skipList_.audioMaster_ = this;
    timedSleepers_.prev = timedSleepers_.next = &timedSleepers_;
}

AudioMasterBase::~AudioMasterBase()
{
    ForgetTimedSleepers();
    // Tables keyed by an engine front outlive this master: the front lets them go.
    if (LookupOwner() == this)
        ReleaseSharedLookups(this);
}

const void* AudioMasterBase::LookupOwner() const
{
    // Per-instance tables are keyed by the engine front; a master without one
    // keys them by itself.
    return application_ ? static_cast<const void*>(application_) : static_cast<const void*>(this);
}

void AudioMasterBase::ForgetTimedSleepers()
{
    while (HasTimedSleepers())
        timedSleepers_.next->Unlink();
}

bool AudioMasterBase::SleepUntil(EventProcessor* module, int64_t time)
{
    TimedSleepLink& link = module->timedSleep_;
    link.Unlink();
    if (module->IsListed())
        skipList_.erase(module);
    link.wakeAt = time;
    // Latest first from the end: wake times mostly arrive in order.
    TimedSleepLink* before = timedSleepers_.prev;
    while (before != &timedSleepers_ && before->wakeAt > time)
        before = before->prev;
    link.prev = before;
    link.next = before->next;
    before->next->prev = &link;
    before->next = &link;
    return true;
}

void AudioMasterBase::WakeTimedSleepers(int64_t end)
{
    while (HasTimedSleepers() && timedSleepers_.next->wakeAt < end)
    {
        TimedSleepLink* link = timedSleepers_.next;
        link->Unlink();
        EventProcessor* module = EventProcessor::OfTimedSleep(link);
        module->Wake();
        // Woken at the start of this piece, so that it runs all of it.
        module->SetClockRescheduleEvents(sampleClock_);
    }
}

int AudioMasterBase::CalcBlockSize(int n)
{
    constexpr int kTarget = 96;
    // A host that reports no block size still needs a block to advance by.
    if (n < 1)
        return kTarget;
    if (n < kTarget)
        return n;

    const int d0 = n / kTarget;
    int blockSize = n;
    for (int d = d0; d >= 1; --d)
    {
        if (n % d == 0)
        {
            blockSize = n / d;
            break;
        }
    }
    // Prefer somewhat smaller whole blocks when the first choice is large.
    const int limit = n / std::max(2 * kTarget - blockSize, 30);
    for (int d = d0 + 1; d < limit; ++d)
    {
        if (n % d == 0)
        {
            blockSize = n / d;
            break;
        }
    }
    return blockSize;
}

void AudioMasterBase::SetBlockSize(int blockSize)
{
    blockSize_ = std::max(1, blockSize);
}

void AudioMasterBase::ResetBlockLoop()
{
    skipList_.clear();
    ForgetTimedSleepers();
    cutCount_ = 0;
    sampleClock_ = 0;
    blockStartClock_ = 0;
    nextGlobalStartClock_ = 0;
}

void AudioMasterBase::CutAt(int64_t time)
{
    // A piece starts there already.
    if (time <= sampleClock_ || cutCount_ == kMaxCuts)
        return;
    // Cuts mostly come in order: look for the place from the end.
    int i = cutCount_;
    while (i > 0 && cuts_[i - 1] > time)
        --i;
    if (i > 0 && cuts_[i - 1] == time)
        return;
    std::copy_backward(cuts_ + i, cuts_ + cutCount_, cuts_ + cutCount_ + 1);
    cuts_[i] = time;
    ++cutCount_;
}

void AudioMasterBase::DoProcessVST(int sampleCount)
{
    const int64_t bs = blockSize_;
    // Keep the block start on the grid even if the block size was changed.
    if (sampleClock_ < blockStartClock_ || sampleClock_ > blockStartClock_ + bs)
        blockStartClock_ = sampleClock_ - sampleClock_ % bs;
    int64_t blockEnd = blockStartClock_ + bs;

    int cut = 0;
    int remaining = sampleCount;
    while (remaining > 0)
    {
        if (sampleClock_ == blockEnd)
        {
            blockStartClock_ = blockEnd;
            blockEnd += bs;
        }
        int64_t pieceEnd = std::min<int64_t>(sampleClock_ + remaining, blockEnd);
        // A cut on the grid or on the block's start is one already.
        while (cut < cutCount_ && cuts_[cut] <= sampleClock_)
            ++cut;
        if (cut < cutCount_ && cuts_[cut] < pieceEnd)
            pieceEnd = cuts_[cut++];
        const int n = static_cast<int>(pieceEnd - sampleClock_);
        WakeTimedSleepers(sampleClock_ + n);
        nextGlobalStartClock_ = sampleClock_ + n;
        const int blockPos = static_cast<int>(sampleClock_ - blockStartClock_);

        // next_ is read after each call: a module that leaves the list while
        // it runs keeps its links, and one woken behind the current runs now.
        EventProcessor* head = skipList_.Head();
        for (EventProcessor* node = head->next_; node != head; node = node->next_)
        {
            EventProcessor::FetchAhead(node->next_);
            // A row of modules with one copies function runs in one call; the
            // walk goes on after the last of them.
            if (node->copiesFunction_ && node->NoEventBefore(node->sampleClock_ + n))
                node = node->copiesFunction_(node, blockPos, n);
            else if (node->plainPiece_)
                static_cast<ug_base*>(node)->RunPiece(blockPos, n);
            else
                node->DoProcess(blockPos, n);
        }

        sampleClock_ += n;
        remaining -= n;
    }

    // Cuts for later blocks move to the front.
    std::copy(cuts_ + cut, cuts_ + cutCount_, cuts_);
    cutCount_ -= cut;
}

void AudioMasterBase::InsertBlockDev(EventProcessor* module)
{
    if (module->IsListed())
        return;
    EventProcessor* predecessor = skipList_.insertSorted(module);
    // A predecessor that has not run this piece yet means the module can run it too.
    if (predecessor != nullptr && predecessor->sampleClock_ != nextGlobalStartClock_)
        module->SetClockRescheduleEvents(sampleClock_);
    else
        module->SetClockRescheduleEvents(nextGlobalStartClock_);
}

void AudioMasterBase::SuspendModule(ug_base* module)
{
    module->timedSleep_.Unlink();
    if (module->IsListed())
        skipList_.erase(module);
}

void AudioMasterBase::Wake(EventProcessor* object)
{
    object->timedSleep_.Unlink();
    if (object->sleeping_)
        InsertBlockDev(object);
}

void AudioMasterBase::RegisterDspMsgHandle(dsp_msg_target* object, int handle)
{
    handles_.emplace(handle, object);
    object->handle_ = handle;
}

void AudioMasterBase::AssignTemporaryHandle(dsp_msg_target* object)
{
    RegisterDspMsgHandle(object, nextTemporaryHandle_--);
}

dsp_msg_target* AudioMasterBase::HandleToObject(int handle)
{
    auto it = handles_.find(handle);
    return it == handles_.end() ? nullptr : it->second;
}

void AudioMasterBase::ugCreateSharedLookup(const std::wstring& name, LookupTable** table, int sampleRate,
                                           unsigned long size, bool integer, bool create, SharedLookupScope scope)
{
    CreateSharedLookup(name, table, sampleRate, size, integer, create, scope, LookupOwner());
}
