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
