#pragma once
// The values of one key of one patch parameter for every patch (program), as
// raw bytes, with one dirty bit per patch for values still to be reported to
// the editor. Fixed-size types keep one contiguous block; text and blob keep
// one buffer per patch. Audio thread only, but for RoomBytes (fixed once the
// graph is built).

#include <cstddef>
#include <cstdint>
#include <vector>

class my_input_stream;

class PatchStorageBase
{
public:
    virtual ~PatchStorageBase() = default;

    // True when the stored bytes changed. A patch outside the range stores nothing.
    virtual bool SetValue(const void* data, size_t size, int patch) = 0;
    // Reads the value in its stream form; a patch outside the range reads nothing.
    virtual void SetValue(my_input_stream& stream, int patch) = 0;
    virtual int GetValueSize(int patch) const = 0;
    virtual const void* GetValue(int patch) const = 0;
    virtual int getPatchCount() const = 0;
    // Inline, like every virtual of this class: objects are deleted where
    // only this header is seen, which needs the class's type information.
    virtual void setPatchCount(int count)
    {
        dirty_.assign(static_cast<size_t>(count < 0 ? 0 : count), false);
        dirtyCount_ = 0;
    }

    // Text and blob storage: every patch takes room for `bytes` now, and
    // later values longer than a patch's room are cut to it (in whole
    // `unit`s), or with `wholeOnly` refused (the value before stays), instead
    // of growing it. Others ignore this.
    virtual void ReserveRoom(size_t /*bytes*/, size_t /*unit*/, bool /*wholeOnly*/ = false) {}
    // Length in bytes of the longest value cut or refused since the last call (0: none).
    virtual size_t TakeCutLength() { return 0; }
    // While allowed, values grow their room instead of being cut: for a saved
    // state read back, which must come back whole.
    virtual void AllowGrowth(bool /*allow*/) {}
    // Room in bytes reserved by ReserveRoom (0: none).
    virtual size_t RoomBytes() const { return 0; }
    // Makes `bytes` the value of the patch: copied for fixed sizes, swapped
    // in for text and blob (`bytes` takes the old buffer), so that a value
    // of any length is kept whole without allocating. True when the stored
    // bytes changed.
    virtual bool TakeValue(std::vector<uint8_t>& bytes, int patch) = 0;
    // The host's normalised figure of the next value written, when it is one
    // the host gave (values a store keeps); and a move the engine made on its
    // own, which ends the pairing of the host's copies of one value.
    virtual void HostFigure(double /*normalized*/) {}
    virtual void OwnMove() {}
    void setDirty(int patch, bool dirty);
    bool isDirty(int patch) const
    {
        return patch >= 0 && patch < static_cast<int>(dirty_.size()) && dirty_[static_cast<size_t>(patch)];
    }
    // Some patch holds a value still to be reported.
    bool anyDirty() const { return dirtyCount_ > 0; }

protected:
    explicit PatchStorageBase(int patchCount);
    bool InRange(int patch) const { return patch >= 0 && patch < getPatchCount(); }

    std::vector<bool> dirty_;
    int dirtyCount_ = 0;
};

class PatchStorageFixedSize : public PatchStorageBase
{
public:
    PatchStorageFixedSize(int patchCount, int valueSize);

    bool SetValue(const void* data, size_t size, int patch) override;
    void SetValue(my_input_stream& stream, int patch) override;
    int GetValueSize(int /*patch*/) const override { return valueSize_; }
    const void* GetValue(int patch) const override;
    int getPatchCount() const override { return patchCount_; }
    void setPatchCount(int count) override;
    bool TakeValue(std::vector<uint8_t>& bytes, int patch) override;

private:
    int32_t valueSize_;
    int32_t patchCount_;
    std::vector<uint8_t> values_;
};

class PatchStore;

// The values of a monophonic parameter that the patch store keeps for every
// program: the storage it wraps holds what the engine's modules heard, and
// every value the engine writes goes through to the store (while the store
// is open to the engine: otherwise the engine takes the store's value again
// at its next block). Refresh takes the store's value back.
class PatchStorageShared : public PatchStorageBase
{
public:
    // Takes `own` over.
    PatchStorageShared(PatchStorageBase* own, PatchStore& store, int slot);
    ~PatchStorageShared() override;
    // Gives the wrapped storage back, and is left without it.
    PatchStorageBase* Release();
    int Slot() const { return slot_; }

    bool SetValue(const void* data, size_t size, int patch) override;
    void SetValue(my_input_stream& stream, int patch) override;
    int GetValueSize(int patch) const override { return own_->GetValueSize(patch); }
    const void* GetValue(int patch) const override { return own_->GetValue(patch); }
    int getPatchCount() const override { return own_->getPatchCount(); }
    void setPatchCount(int count) override;
    void ReserveRoom(size_t bytes, size_t unit, bool wholeOnly = false) override;
    size_t TakeCutLength() override { return own_->TakeCutLength(); }
    size_t RoomBytes() const override { return own_->RoomBytes(); }
    bool TakeValue(std::vector<uint8_t>& bytes, int patch) override;
    void HostFigure(double normalized) override
    {
        figure_ = normalized;
        hasFigure_ = true;
    }
    void OwnMove() override;

    // The engine's thread, while the store is open: the store's value of
    // `patch` becomes the wrapped one; true when that changed it.
    bool Refresh(int patch);
    // UI, while no block runs: the wrapped values of every patch go to the store.
    void Publish();

private:
    // The wrapped value of `patch` goes through to the store.
    void WriteThrough(int patch);

    PatchStorageBase* own_;
    PatchStore& store_;
    int slot_;
    bool variable_;
    double figure_ = 0.0;
    bool hasFigure_ = false;
    // Room to read a text or blob from the store into, taken once.
    std::vector<uint8_t> scratch_;
};

class PatchStorageVariableSize : public PatchStorageBase
{
public:
    explicit PatchStorageVariableSize(int patchCount);

    bool SetValue(const void* data, size_t size, int patch) override;
    void SetValue(my_input_stream& stream, int patch) override;
    int GetValueSize(int patch) const override;
    const void* GetValue(int patch) const override;
    int getPatchCount() const override { return static_cast<int>(entries_.size()); }
    void setPatchCount(int count) override;
    void ReserveRoom(size_t bytes, size_t unit, bool wholeOnly = false) override;
    size_t TakeCutLength() override;
    void AllowGrowth(bool allow) override { growing_ = allow; }
    size_t RoomBytes() const override { return roomBytes_; }
    bool TakeValue(std::vector<uint8_t>& bytes, int patch) override;

private:
    // The bytes of a value of `size` that fit the entry (all without a room);
    // `refused` when none are to be kept.
    size_t Fitting(const std::vector<uint8_t>& bytes, size_t size, bool& refused);
    struct Entry
    {
        // Empty with hasBuffer false: nothing was ever stored.
        std::vector<uint8_t> bytes;
        bool hasBuffer = false;
    };
    std::vector<Entry> entries_;
    size_t unit_ = 0;
    size_t roomBytes_ = 0;
    bool wholeOnly_ = false;
    size_t cutLength_ = 0;
    bool growing_ = false;
};
