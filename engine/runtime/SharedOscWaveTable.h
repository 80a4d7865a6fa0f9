#pragma once
// Holder of one process-wide wave table of an oscillator, made for one sample
// rate and filled once by whichever oscillator gets there first.

#include <string>

#include "engine/runtime/LookupTable.h"

class SharedOscWaveTable
{
public:
    static constexpr unsigned long kTableSize = 517;

    // Attaches the global table of that name and rate, and fills it with
    // fill(ULookup&) when no one has yet. Concurrent callers wait for the
    // filler. True when this call filled the table (and recorded the rate);
    // false when it was filled already or could not be made (GetTable() null).
    template <class Fill>
    bool Create(const std::wstring& name, int sampleRate, Fill&& fill)
    {
        LookupTable* table = nullptr;
        CreateSharedLookup(name, &table, sampleRate, kTableSize, false, true, SLS_GLOBAL, nullptr);
        table_ = static_cast<ULookup*>(table);
        if (!table_)
            return false;

        ULookup& lookup = *table_;
        const bool filled = table_->FillOnce([&] { fill(lookup); });
        if (filled)
            sampleRate_ = sampleRate;
        return filled;
    }

    ULookup* GetTable() const { return table_; }
    int GetSampleRate() const { return sampleRate_; }

private:
    ULookup* table_ = nullptr;
    int sampleRate_ = -99;
};
