#pragma once
// A byte blob with value semantics: the value type of blob pins and parameters.
// Copies are deep; the blob owns its array.

#include <cstdint>

class MpBlob
{
public:
    MpBlob() = default;
    MpBlob(int size, const void* data);
    MpBlob(const MpBlob& other);
    MpBlob(MpBlob&& other) noexcept;
    ~MpBlob();

    MpBlob& operator=(const MpBlob& other);
    MpBlob& operator=(MpBlob&& other) noexcept;

    // Same as assignment from (size, data). A size below 1 empties the blob.
    void setValueRaw(int size, const void* data);

    // Grows the array when needed; contents are not kept on growth.
    void resize(int size);
    // Takes room for values up to `bytes` long, keeping the value: later
    // values that fit are copied into it without allocating.
    void reserve(int bytes);
    int32_t capacity() const { return capacity_; }

    int32_t getSize() const { return size_; }
    char* getData() const { return data_; }

    bool operator==(const MpBlob& other) const;
    bool operator!=(const MpBlob& other) const { return !(*this == other); }
    bool compare(const char* data, int size) const;

private:
    void release();

    int32_t size_ = 0;
    int32_t capacity_ = 0;
    char* data_ = nullptr;
};
