#pragma once
// Tables of precomputed values (filter coefficients, curves, wave tables) that
// depend only on a name and a sample rate, made once and shared by the modules
// of one plug-in instance or of the whole process. The first requester of a
// table fills it; tables live until the process ends.

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

enum SharedLookupScope : int
{
    SLS_PER_INSTANCE = 0, // keyed by the asking instance
    SLS_GLOBAL = 1,       // one table for the process
};

class LookupTable
{
public:
    LookupTable() = default;
    virtual ~LookupTable();
    LookupTable(const LookupTable&) = delete;
    LookupTable& operator=(const LookupTable&) = delete;

    // Frees the old array and allocates n 32-bit elements (zeroed, 32-byte
    // aligned). The size becomes n only when that succeeds; false otherwise.
    bool SetSize(int n);
    int GetSize() const { return size_; }

    bool IsFilled() const { return filled_.load(std::memory_order_acquire); }
    void SetFilled(bool filled = true) { filled_.store(filled, std::memory_order_release); }

    // Runs fill() when the table is not yet filled, then marks it filled.
    // Concurrent callers wait for the one that fills, so none sees a half-
    // filled table. True when this call filled the table.
    template <class Fill>
    bool FillOnce(Fill&& fill)
    {
        if (IsFilled())
            return false;
        std::lock_guard<std::mutex> lock(fillMutex_);
        if (filled_.load(std::memory_order_relaxed))
            return false;
        fill();
        filled_.store(true, std::memory_order_release);
        return true;
    }

    // A held table is handed to the module registry at process end instead of
    // being freed.
    bool GetHold() const { return hold_ != 0; }
    void SetHold(bool hold) { hold_ = hold ? 1 : 0; }

protected:
    void* Data() const { return data_; }

private:
    void Free();

    uint64_t hold_ = 0;
    void* data_ = nullptr;
    int32_t size_ = 0;
    std::atomic<bool> filled_{false};
    std::mutex fillMutex_;
};

class ULookup : public LookupTable
{
public:
    // Values strictly between -1e-20 and 1e-20 (other than zero) are stored as
    // 0.0, so that tables never feed denormals. Indices outside the table are ignored.
    void SetValue(int index, float value);
    float GetValueIndexed2(int index) const { return GetBlock()[index]; }
    float* GetBlock() const { return static_cast<float*>(Data()); }
};

class ULookup_Integer : public LookupTable
{
public:
    // Indices outside the table are ignored.
    void SetValue(int index, int32_t value);
    int32_t GetValueIndexed2(int index) const { return GetBlock()[index]; }
    int32_t* GetBlock() const { return static_cast<int32_t*>(Data()); }
};

// One shared table with its key.
struct lookup_table_entry
{
    lookup_table_entry(std::unique_ptr<LookupTable> table, int sampleRate, const void* owner, const std::wstring& name,
                       bool integer);
    ~lookup_table_entry();
    lookup_table_entry(const lookup_table_entry&) = delete;
    lookup_table_entry& operator=(const lookup_table_entry&) = delete;

    std::unique_ptr<LookupTable> table;
    int sampleRate;
    const void* owner; // the instance for a per-instance table; null for a global one
    std::wstring name;
    bool integer;
};

// Finds the table of that name, sample rate and owner (the owner counts only
// for SLS_PER_INSTANCE), or makes one when `create` is true. A table is only
// handed to a caller that asks for its element type and, when creating, its
// exact size: another type or size gets a table of its own under the same name,
// and a request without `create` gets an existing table only when it holds at
// least `size` elements. *result is null when nothing is found or made.
// Serialised by a process-wide lock.
void CreateSharedLookup(const std::wstring& name, LookupTable** result, int sampleRate, unsigned long size,
                        bool integer, bool create, SharedLookupScope scope, const void* owner);

// Drops the per-instance tables of `owner`, an engine that goes away: an
// engine made later, perhaps at the same address, starts with tables of its own.
void ReleaseSharedLookups(const void* owner);

// Number of shared tables in the process.
size_t SharedLookupCount();
