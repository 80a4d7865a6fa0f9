// Wave tables of the oscillator: the volts-to-hertz table and the sets of
// band-limited cycles built by additive synthesis, shared process-wide.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "engine/runtime/LookupTable.h"
#include "modules/signal/ug_oscillator2.h"

namespace
{
constexpr double kPi = 3.141592653589793;
constexpr double kGroupRatio = 1.414213562373095;
constexpr double kTwoSemitonesDown = 0.8908987181403393;
constexpr double kOneSemitoneDown = 0.9438743126816934;
constexpr double kRadiansPerPoint = 0.012271846644580364; // 2 pi / 512
constexpr int kTableSize = static_cast<int>(SharedOscWaveTable::kTableSize);
constexpr int kSampleCount = ug_oscillator2::kCyclePoints + 2;

struct Harmonic
{
    int number;
    double amplitude;
};

std::vector<Harmonic> HarmonicList(ug_oscillator2::osc_waveform2 waveform)
{
    std::vector<Harmonic> list;
    switch (waveform)
    {
    case ug_oscillator2::OWF_SINE:
    case ug_oscillator2::OWF_COSINE:
        list.push_back({1, 0.5});
        break;
    case ug_oscillator2::OWF_SAW:
        for (int n = 1; n <= 256; ++n)
            list.push_back({n, -1.0 / n * 0.32});
        break;
    case ug_oscillator2::OWF_TRIANGLE:
    {
        double sign = 1.0;
        for (int n = 1; n <= 255; n += 2)
        {
            list.push_back({n, sign / (static_cast<double>(n) * n) * 0.405});
            sign = -sign;
        }
        break;
    }
    default:
        break;
    }
    return list;
}

// Number of harmonics in each table, from the fewest.
std::vector<int> TableSizes(const std::vector<Harmonic>& list)
{
    std::vector<int> sizes;
    size_t start = 0;
    while (start < list.size())
    {
        sizes.push_back(static_cast<int>(start) + 1);
        const double next = list[start].number * kGroupRatio;
        size_t k = start + 1;
        while (k < list.size() && list[k].number < next)
            ++k;
        start = k;
    }
    if (!list.empty() && sizes.back() != static_cast<int>(list.size()))
        sizes.push_back(static_cast<int>(list.size()));
    return sizes;
}

uint32_t UpperBound(int highestHarmonic)
{
    return static_cast<uint32_t>(2147483648.0 / highestHarmonic * kTwoSemitonesDown);
}

uint32_t HysteresisBound(int highestHarmonic)
{
    return static_cast<uint32_t>(2147483648.0 / highestHarmonic * kTwoSemitonesDown * kOneSemitoneDown);
}

void StoreBound(ULookup& table, int entry, uint32_t value)
{
    // Bounds are increments kept in the float slots' bits.
    std::memcpy(table.GetBlock() + entry, &value, sizeof(value));
}
} // namespace

uint32_t ug_oscillator2::Bound(const ULookup* table, int entry)
{
    uint32_t value = 0;
    std::memcpy(&value, table->GetBlock() + entry, sizeof(value));
    return value;
}

const float* ug_oscillator2::Samples(const ULookup* table)
{
    return table->GetBlock() + kTableHeader;
}

std::wstring ug_oscillator2::WaveTableName(osc_waveform2 waveform, int slot, bool smooth)
{
    return L"KvOsc2Wave" + std::to_wstring(static_cast<int>(waveform)) + L"H" + std::to_wstring(slot) + L"G" +
           (smooth ? L"1" : L"0");
}

std::vector<std::vector<int>> ug_oscillator2::SlotHarmonics(osc_waveform2 waveform)
{
    const std::vector<Harmonic> list = HarmonicList(waveform);
    const std::vector<int> sizes = TableSizes(list);
    std::vector<std::vector<int>> slots;
    for (auto it = sizes.rbegin(); it != sizes.rend(); ++it)
    {
        std::vector<int> numbers;
        for (int k = 0; k < *it; ++k)
            numbers.push_back(list[k].number);
        slots.push_back(numbers);
    }
    return slots;
}

void ug_oscillator2::InitVoltToHzTable(ug_base* owner, ULookup*& table)
{
    const float sampleRate = owner->SampleRate();
    owner->CreateSharedLookup2(L"osc VtoHz", table, static_cast<int>(sampleRate), kVoltToHzSize, true, SLS_GLOBAL);
    if (table && table->GetSize() < kVoltToHzSize)
        table = nullptr;
    if (!table)
        return;
    ULookup* t = table;
    t->FillOnce([t, sampleRate] {
        const double limit = 0.55 * sampleRate;
        for (int i = 0; i < kVoltToHzSize; ++i)
        {
            const double hz = 440.0 * std::pow(2.0, i * 22.0 / 1056.0 - 15.0);
            t->SetValue(i, static_cast<float>(std::min(hz, limit)));
        }
    });
}

bool ug_oscillator2::FillWaveTable(ug_base* /*owner*/, float sampleRate, std::vector<SharedOscWaveTable>& set,
                                   osc_waveform2 waveform, bool smooth)
{
    const std::vector<Harmonic> list = HarmonicList(waveform);
    const std::vector<int> sizes = TableSizes(list);
    const int slots = static_cast<int>(sizes.size());
    set.assign(static_cast<size_t>(std::max(slots, 1)), SharedOscWaveTable());
    const int key = static_cast<int>(sampleRate);

    // Made from the fewest harmonics (the last slot) down to slot 0.
    for (int slot = slots - 1; slot >= 0; --slot)
    {
        const int count = sizes[static_cast<size_t>(slots - 1 - slot)];
        const int highest = list[static_cast<size_t>(count - 1)].number;
        // The next slot down holds more harmonics: its limit is where this one starts.
        const int richer = slot > 0 ? list[static_cast<size_t>(sizes[static_cast<size_t>(slots - slot)] - 1)].number : 0;
        auto fill = [&](ULookup& table) {
            StoreBound(table, 1, UpperBound(highest));
            StoreBound(table, 0, richer ? HysteresisBound(richer) : 0u);
            StoreBound(table, 2, richer ? UpperBound(richer) : 0u);
            const float n = static_cast<float>(count);
            for (int i = 0; i < kSampleCount; ++i)
            {
                double sum = 0.0;
                for (int k = count - 1; k >= 0; --k)
                {
                    const Harmonic& h = list[static_cast<size_t>(k)];
                    double amplitude = h.amplitude;
                    if (smooth)
                    {
                        const float window =
                            0.54f + 0.46f * std::cos(static_cast<float>(h.number - 1) * static_cast<float>(kPi) / n);
                        amplitude *= window;
                    }
                    const double angle = h.number * i * kRadiansPerPoint;
                    sum += amplitude * (waveform == OWF_COSINE ? std::cos(angle) : std::sin(angle));
                }
                table.SetValue(kTableHeader + i, static_cast<float>(sum));
            }
        };
        set[static_cast<size_t>(slot)].Create(WaveTableName(waveform, slot, smooth), key, fill);
        if (!set[static_cast<size_t>(slot)].GetTable() ||
            set[static_cast<size_t>(slot)].GetTable()->GetSize() < kTableSize)
            return false;
    }
    return slots > 0;
}
