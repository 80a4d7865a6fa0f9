#pragma once
// Walks the GUI pins of one module for the module (its host's
// createPinIterator). Reference-counted; UI thread only.

#include "sdk/mp_sdk_audio.h"

class GuiModuleWrapper;

class PinIteratorGuiVst3 final : public gmpi::IMpPinIterator
{
public:
    // UI. One reference, for the caller.
    explicit PinIteratorGuiVst3(GuiModuleWrapper* wrapper) : wrapper_(wrapper) {}
    PinIteratorGuiVst3(const PinIteratorGuiVst3&) = delete;
    PinIteratorGuiVst3& operator=(const PinIteratorGuiVst3&) = delete;

    // UI: all of these.
    int32_t queryInterface(const gmpi::MpGuid& iid, void** returnInterface) override;
    int32_t addRef() override { return ++refCount_; }
    int32_t release() override;
    int32_t getCount(int32_t& returnCount) override;
    int32_t first() override;
    int32_t next() override;
    int32_t getPinId(int32_t& returnValue) override;
    int32_t getPinDirection(int32_t& returnValue) override;
    int32_t getPinDatatype(int32_t& returnValue) override;

private:
    ~PinIteratorGuiVst3() = default;

    int32_t refCount_ = 1;
    GuiModuleWrapper* wrapper_;
    int index_ = 0;
};
