#pragma once
// Base of GUI modules without a view: a reference count of their own.
// UI thread only.

#include "sdk/MpGuiBase2.h"

class KvGuiInvisibleBase : public MpGuiBase2
{
public:
    // UI: the new count; release deletes the module at 0.
    int32_t addRef() override { return ++refCount_; }
    int32_t release() override
    {
        const int32_t count = --refCount_;
        if (count == 0)
            delete this;
        return count;
    }

protected:
    int32_t refCount_ = 1;
};
