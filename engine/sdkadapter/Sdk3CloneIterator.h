#pragma once
// Iterates over the voice clones of an SDK module, for the module
// (gmpi::IMpCloneIterator): the module it was cloned from first, then each
// clone. One reference is held by whoever created it. Audio thread.

#include "sdk/mp_sdk_audio.h"

class ug_base;

class Sdk3CloneIterator final : public gmpi::IMpCloneIterator
{
public:
    explicit Sdk3CloneIterator(ug_base* firstModule) : first_(firstModule) {}

    int32_t queryInterface(const gmpi::MpGuid& iid, void** returnInterface) override;
    int32_t addRef() override { return ++references_; }
    int32_t release() override;

    // Restarts at the first module.
    int32_t first() override;
    // The current module's SDK object (no reference added), then moves on;
    // MP_FAIL and null past the end or before first().
    int32_t next(void** returnInterface) override;

private:
    ~Sdk3CloneIterator() = default;

    int32_t references_ = 1;
    ug_base* first_;
    ug_base* current_ = nullptr;
};
