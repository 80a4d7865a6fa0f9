#include "engine/parameters/PatchStorage.h"

#include <algorithm>
#include <cstring>

#include "core/my_streams.h"
#include "engine/parameters/PatchStore.h"

namespace
{
int NonNegative(int count)
{
    return count < 0 ? 0 : count;
}
} // namespace

PatchStorageBase::PatchStorageBase(int patchCount) : dirty_(static_cast<size_t>(NonNegative(patchCount)), false) {}

void PatchStorageBase::setDirty(int patch, bool dirty)
{
    if (patch >= 0 && patch < static_cast<int>(dirty_.size()) && dirty_[static_cast<size_t>(patch)] != dirty)
    {
        dirty_[static_cast<size_t>(patch)] = dirty;
        dirtyCount_ += dirty ? 1 : -1;
    }
}

PatchStorageFixedSize::PatchStorageFixedSize(int patchCount, int valueSize)
    : PatchStorageBase(patchCount),
      valueSize_(NonNegative(valueSize)),
      patchCount_(NonNegative(patchCount)),
      values_(static_cast<size_t>(patchCount_) * static_cast<size_t>(valueSize_), 0)
{
}

bool PatchStorageFixedSize::SetValue(const void* data, size_t /*size*/, int patch)
{
    if (!InRange(patch) || !data)
        return false;
    uint8_t* target = values_.data() + static_cast<size_t>(patch) * static_cast<size_t>(valueSize_);
    const auto n = static_cast<size_t>(valueSize_);
    if (std::memcmp(target, data, n) == 0)
        return false;
    std::memcpy(target, data, n);
    return true;
}

bool PatchStorageFixedSize::TakeValue(std::vector<uint8_t>& bytes, int patch)
{
    if (bytes.size() < static_cast<size_t>(valueSize_))
        return false;
    return SetValue(bytes.data(), bytes.size(), patch);
}

void PatchStorageFixedSize::SetValue(my_input_stream& stream, int patch)
{
    if (!InRange(patch))
        return;
    // A short record leaves the stored value as it was.
    if (stream.BytesRemaining() < static_cast<unsigned>(valueSize_))
    {
        stream.Skip(stream.BytesRemaining() + 1);
        return;
    }
    stream.Read(values_.data() + static_cast<size_t>(patch) * static_cast<size_t>(valueSize_),
                static_cast<unsigned>(valueSize_));
}

const void* PatchStorageFixedSize::GetValue(int patch) const
{
    if (!InRange(patch))
        return nullptr;
    return values_.data() + static_cast<size_t>(patch) * static_cast<size_t>(valueSize_);
}

void PatchStorageFixedSize::setPatchCount(int count)
{
    count = NonNegative(count);
    PatchStorageBase::setPatchCount(count);
    if (count == patchCount_)
        return;
    const auto size = static_cast<size_t>(valueSize_);
    std::vector<uint8_t> fresh(static_cast<size_t>(count) * size, 0);
    if (patchCount_ > count)
    {
        std::copy_n(values_.begin(), fresh.size(), fresh.begin());
    }
    else if (patchCount_ > 0)
    {
        // Growing spreads patch 0 to every patch.
        for (int p = 0; p < count; ++p)
            std::copy_n(values_.begin(), size, fresh.begin() + static_cast<std::ptrdiff_t>(p * size));
    }
    values_.swap(fresh);
    patchCount_ = count;
}

PatchStorageVariableSize::PatchStorageVariableSize(int patchCount)
    : PatchStorageBase(patchCount), entries_(static_cast<size_t>(NonNegative(patchCount)))
{
}

bool PatchStorageVariableSize::SetValue(const void* data, size_t size, int patch)
{
    if (!InRange(patch) || (!data && size > 0))
        return false;
    Entry& entry = entries_[static_cast<size_t>(patch)];
    bool refused = false;
    size = Fitting(entry.bytes, size, refused);
    if (refused)
        return false;
    bool changed = true;
    if (entry.hasBuffer && entry.bytes.size() == size)
        changed = size > 0 && std::memcmp(entry.bytes.data(), data, size) != 0;
    if (entry.bytes.size() != size)
        entry.bytes.assign(size, 0);
    if (size > 0)
        std::memcpy(entry.bytes.data(), data, size);
    entry.hasBuffer = true;
    return changed;
}

void PatchStorageVariableSize::SetValue(my_input_stream& stream, int patch)
{
    if (!InRange(patch))
        return;
    int32_t size = 0;
    stream >> size;
    // The count is checked against the bytes the record still holds before
    // anything is allocated.
    if (stream.failed() || size < 0 || static_cast<unsigned>(size) > stream.BytesRemaining())
    {
        stream.Skip(stream.BytesRemaining() + 1);
        return;
    }
    Entry& entry = entries_[static_cast<size_t>(patch)];
    bool refused = false;
    const size_t kept = Fitting(entry.bytes, static_cast<size_t>(size), refused);
    if (refused)
    {
        stream.Skip(static_cast<unsigned>(size));
        return;
    }
    entry.bytes.assign(kept, 0);
    entry.hasBuffer = true;
    if (kept > 0)
        stream.Read(entry.bytes.data(), static_cast<unsigned>(kept));
    if (kept < static_cast<size_t>(size))
        stream.Skip(static_cast<unsigned>(static_cast<size_t>(size) - kept));
}

bool PatchStorageVariableSize::TakeValue(std::vector<uint8_t>& bytes, int patch)
{
    if (!InRange(patch))
        return false;
    Entry& entry = entries_[static_cast<size_t>(patch)];
    const bool changed = entry.bytes.size() != bytes.size() ||
                         (!bytes.empty() && std::memcmp(entry.bytes.data(), bytes.data(), bytes.size()) != 0);
    entry.bytes.swap(bytes);
    entry.hasBuffer = true;
    return changed;
}

void PatchStorageVariableSize::ReserveRoom(size_t bytes, size_t unit, bool wholeOnly)
{
    unit_ = unit > 0 ? unit : 1;
    roomBytes_ = bytes;
    wholeOnly_ = wholeOnly;
    for (Entry& entry : entries_)
        entry.bytes.reserve(bytes);
}

size_t PatchStorageVariableSize::Fitting(const std::vector<uint8_t>& bytes, size_t size, bool& refused)
{
    refused = false;
    if (unit_ == 0 || growing_ || size <= bytes.capacity())
        return size;
    cutLength_ = std::max(cutLength_, size);
    refused = wholeOnly_;
    return refused ? 0 : bytes.capacity() / unit_ * unit_;
}

size_t PatchStorageVariableSize::TakeCutLength()
{
    const size_t length = cutLength_;
    cutLength_ = 0;
    return length;
}

int PatchStorageVariableSize::GetValueSize(int patch) const
{
    return InRange(patch) ? static_cast<int>(entries_[static_cast<size_t>(patch)].bytes.size()) : 0;
}

const void* PatchStorageVariableSize::GetValue(int patch) const
{
    if (!InRange(patch))
        return nullptr;
    const Entry& entry = entries_[static_cast<size_t>(patch)];
    return entry.bytes.empty() ? nullptr : entry.bytes.data();
}

void PatchStorageVariableSize::setPatchCount(int count)
{
    count = NonNegative(count);
    PatchStorageBase::setPatchCount(count);
    const Entry first = entries_.empty() ? Entry{} : entries_.front();
    entries_.assign(static_cast<size_t>(count), first);
}

PatchStorageShared::PatchStorageShared(PatchStorageBase* own, PatchStore& store, int slot)
    : PatchStorageBase(own->getPatchCount()),
      own_(own),
      store_(store),
      slot_(slot),
      variable_(store.ShapeOf(slot).kind == PatchStore::Kind::Text || store.ShapeOf(slot).kind == PatchStore::Kind::Blob)
{
    if (variable_)
        scratch_.resize(store.ShapeOf(slot).room);
}

PatchStorageShared::~PatchStorageShared()
{
    delete own_;
}

PatchStorageBase* PatchStorageShared::Release()
{
    PatchStorageBase* own = own_;
    own_ = nullptr;
    return own;
}

void PatchStorageShared::WriteThrough(int patch)
{
    if (!InRange(patch))
        return;
    const bool figure = hasFigure_;
    hasFigure_ = false;
    if (!store_.Open())
    {
        store_.MarkUnwritten(slot_);
        return;
    }
    const void* data = own_->GetValue(patch);
    const auto size = static_cast<size_t>(std::max(own_->GetValueSize(patch), 0));
    if (variable_)
    {
        if (!store_.WriteBytes(slot_, patch, data, size, PatchStore::Writer::Engine))
            store_.MarkUnwritten(slot_);
        return;
    }
    uint32_t raw = 0;
    if (data)
        std::memcpy(&raw, data, std::min(size, sizeof(raw)));
    store_.WriteRaw(slot_, patch, raw, PatchStore::Writer::Engine, figure ? &figure_ : nullptr);
}

bool PatchStorageShared::SetValue(const void* data, size_t size, int patch)
{
    const bool changed = own_->SetValue(data, size, patch);
    WriteThrough(patch);
    return changed;
}

void PatchStorageShared::SetValue(my_input_stream& stream, int patch)
{
    own_->SetValue(stream, patch);
    WriteThrough(patch);
}

bool PatchStorageShared::TakeValue(std::vector<uint8_t>& bytes, int patch)
{
    const bool changed = own_->TakeValue(bytes, patch);
    WriteThrough(patch);
    return changed;
}

void PatchStorageShared::setPatchCount(int count)
{
    PatchStorageBase::setPatchCount(count);
    own_->setPatchCount(count);
}

void PatchStorageShared::ReserveRoom(size_t bytes, size_t unit, bool wholeOnly)
{
    own_->ReserveRoom(bytes, unit, wholeOnly);
}

void PatchStorageShared::OwnMove()
{
    store_.OwnMove(slot_);
}

bool PatchStorageShared::Refresh(int patch)
{
    if (!InRange(patch) || !store_.Open())
        return false;
    if (!variable_)
    {
        const uint32_t raw = store_.Read(slot_, patch).raw;
        return own_->SetValue(&raw, sizeof(raw), patch);
    }
    std::size_t size = 0;
    // A text another thread is writing now is taken at the next block.
    if (!store_.TryReadBytes(slot_, patch, scratch_.data(), scratch_.size(), size))
    {
        store_.MarkUnwritten(slot_);
        return false;
    }
    return own_->SetValue(scratch_.data(), size, patch);
}

void PatchStorageShared::Publish()
{
    for (int patch = 0; patch < own_->getPatchCount(); ++patch)
        WriteThrough(patch);
}
