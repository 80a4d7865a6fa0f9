#pragma once
// Iterates over the pins of an SDK module's adapter, for the module
// (gmpi::IMpPinIterator). One reference is held by whoever created it.
// Audio thread (or wherever the module asks).

#include "sdk/mp_sdk_audio.h"

class ug_base;

class MpPinIterator final : public gmpi::IMpPinIterator
{
public:
    explicit MpPinIterator(ug_base* module) : module_(module) {}

    int32_t queryInterface(const gmpi::MpGuid& iid, void** returnInterface) override;
    int32_t addRef() override { return ++references_; }
    int32_t release() override;

    int32_t getCount(int32_t& returnCount) override;
    // MP_FAIL past the last pin (or without pins).
    int32_t first() override;
    int32_t next() override;
    // MP_FAIL unless first() has placed the iterator on a pin.
    int32_t getPinId(int32_t& returnValue) override;
    int32_t getPinDirection(int32_t& returnValue) override;
    int32_t getPinDatatype(int32_t& returnValue) override;

private:
    ~MpPinIterator() = default;
    bool Valid() const;

    int32_t references_ = 1;
    ug_base* module_;
    int position_ = -1;
};
