#include "modules/signal/ug_oscillator_pd.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "core/CModuleFactory.h"
#include "core/InterfaceObject.h"
#include "core/Module_Info.h"
#include "core/UnitClass.h"
#include "modules/signal/ug_oscillator2.h"

namespace
{
constexpr double kTwoTo32 = 4294967296.0;
constexpr float kTwoTo32Float = 4294967296.0f;

struct Breakpoint
{
    float x;
    float y;
    float z;
};
struct Shape
{
    int count;
    bool resonant;
    Breakpoint points[6];
};

// Breakpoints (position, target phase, depth weight or window) per wave.
constexpr Shape kShapes[ug_oscillator_pd::WV_COUNT] = {
    {3, false, {{0, 0, 0}, {0.5f, 0.5f, -0.5f}, {1, 1, 0}}},
    {6, false, {{0, 0, 0}, {0, 0, 0.25f}, {0.5f, 0.5f, -0.25f}, {0.5f, 0.5f, 0.25f}, {1, 1, -0.25f}, {1, 1, 0}}},
    {4, false, {{0, 0, 0}, {0, 0, 0.5f}, {1, 1, -0.5f}, {1, 1, 0}}},
    {3, false, {{0, 0, 0}, {0.5f, 1, -0.5f}, {1, 2, 0}}},
    {4, false, {{0, 0, 0}, {0.5f, 0.5f, 0}, {1, 1, -0.5f}, {1, 1, 0}}},
    {2, true, {{0, 0, 1}, {1, 1, 0}}},
    {3, true, {{0, 0, 0}, {0.5f, 0.5f, 1}, {1, 1, 0}}},
    {3, true, {{0, 0, 1}, {0.5f, 0.5f, 1}, {1, 1, 0}}},
};

// Linear interpolation between two of the 512 cosine points: the top 9 bits
// of the phase pick the point, the low 23 bits give the fraction.
inline float ReadTable(const float* samples, uint32_t phase)
{
    const uint32_t index = phase >> 23;
    const uint32_t bits = (phase & 0x7fffffu) | 0x3f800000u;
    float fraction;
    std::memcpy(&fraction, &bits, sizeof(fraction));
    fraction -= 1.0f;
    const float a = samples[index];
    return a + (samples[index + 1] - a) * fraction;
}

// The top 23 bits of the phase as a float in [0, 1).
inline float PhaseFraction(uint32_t phase)
{
    const uint32_t bits = (phase >> 9) | 0x3f800000u;
    float p;
    std::memcpy(&p, &bits, sizeof(p));
    return p - 1.0f;
}
} // namespace

ug_oscillator_pd::ug_oscillator_pd()
{
    SetProcessFunction(&ug_oscillator_pd::sub_process_overload);
}

void ug_oscillator_pd::ListInterface2(std::vector<InterfaceObject*>& pins)
{
    pins.push_back(new InterfaceObject(nullptr, L"Pitch", DR_IN, DT_FSAMPLE, L"5", L"100, 0, 10, 0",
                                       IO_POLYPHONIC_ACTIVE, L"1 Volt per Octave, 5V = Middle A", &pitch_ptr_));
    pins.push_back(new InterfaceObject(nullptr, L"Modulation Depth", DR_IN, DT_FSAMPLE, L"5", L"",
                                       IO_POLYPHONIC_ACTIVE,
                                       L"Controls the wave shape distortion, 0 to 10 Volts gives 0 to 100%",
                                       &depth_ptr_));
    pins.push_back(new InterfaceObject(nullptr, L"Audio Out", DR_OUT, DT_FSAMPLE, L"0", L"", 0, L"", &output_ptr_));
    pins.push_back(new InterfaceObject(&wave1_, L"Wave1", DR_IN, DT_ENUM, L"0",
                                       L"Saw,Square,Pulse,Dbl Sine,Saw-Pulse,Reso1,Reso2,Reso3", IO_POLYPHONIC_ACTIVE,
                                       L"Selects different wave shapes"));
    pins.push_back(new InterfaceObject(&wave2_, L"Wave2", DR_IN, DT_ENUM, L"0",
                                       L"None=-1,Saw,Square,Pulse,Dbl Sine,Saw-Pulse,Reso1,Reso2,Reso3",
                                       IO_POLYPHONIC_ACTIVE, L"Selects different wave shapes"));
    pins.push_back(new InterfaceObject(&freqScale_, L"Freq Scale", DR_IN, DT_ENUM, L"0", L"1 Volt/Octave, 1 Volt/kHz ",
                                       IO_MINIMISED,
                                       L"Switches between 1 Volt per Octave or 1 Volt per kHz response."));
}

uint32_t ug_oscillator_pd::PitchToIncrement(float pitch, int freqScale, float sampleRate)
{
    if (!(sampleRate > 0.0f))
        return 0;
    float hz;
    if (freqScale == FS_VOLT_PER_KHZ)
    {
        hz = pitch * 10000.0f;
        if (!(hz > 0.0f))
            return 0;
        hz = std::min(0.5f * sampleRate, hz);
    }
    else
    {
        if (!(pitch > -11.0f && pitch < 12.0f))
            return 0;
        hz = 440.0f * std::exp2f(pitch * 10.0f - 5.0f);
    }
    // High pitches pass one cycle per sample: the largest increment keeps
    // them above the table bound (silence) instead of wrapping.
    const double increment = std::trunc(static_cast<double>(hz) * kTwoTo32 / sampleRate + 0.5);
    return increment < kTwoTo32 ? static_cast<uint32_t>(increment) : 0xFFFFFFFFu;
}

float ug_oscillator_pd::TrackingCoefficient(float sampleRate)
{
    return 2.0f * std::sin(21.99115f / sampleRate);
}

int ug_oscillator_pd::Open()
{
    // Tables are shared by name, so one cosine serves every sample rate.
    if (cosineSet_.empty())
        ug_oscillator2::FillWaveTable(this, -1.0f, cosineSet_, ug_oscillator2::OWF_COSINE, true);
    const ULookup* table = cosineSet_.empty() ? nullptr : cosineSet_.front().GetTable();

    const int result = ug_base::Open();
    increment_ = 0;
    if (table && table->IsFilled() && table->GetSize() >= static_cast<int>(SharedOscWaveTable::kTableSize))
    {
        cosine_ = ug_oscillator2::Samples(table);
        upperBound_ = ug_oscillator2::Bound(table, 1);
    }
    FillSegmentTable();
    const float sampleRate = SampleRate();
    tracking_ = sampleRate > 0.0f ? TrackingCoefficient(sampleRate) : 0.0f;
    plugs_[PN_AUDIO_OUT]->TransmitState(sampleClock_, ST_STREAMING);
    ChooseProcessFunction();
    return result;
}

void ug_oscillator_pd::onSetPin(int64_t /*time*/, UPlug* pin, state_type /*state*/)
{
    const int index = pin->index_;
    if ((index == PN_PITCH || index == PN_FREQ_SCALE) && plugs_[PN_PITCH]->state_ != ST_STREAMING)
    {
        increment_ = PitchToIncrement(plugs_[PN_PITCH]->getValue(), freqScale_, SampleRate());
        overload_ = upperBound_ < increment_;
    }
    if (index == PN_WAVE1 || index == PN_WAVE2)
        FillSegmentTable();
    ChooseProcessFunction();
}

void ug_oscillator_pd::FillSegmentTable()
{
    slot_ = 0;
    point_ = 0;
    slotCount_ = 0;
    int count = 0;
    // Values outside the lists add nothing, as None does.
    for (int wave : {static_cast<int>(wave1_), static_cast<int>(wave2_)})
    {
        if (wave < 0 || wave >= WV_COUNT)
            continue;
        const Shape& shape = kShapes[wave];
        Slot& slot = slots_[static_cast<size_t>(slotCount_++)];
        slot.first = count;
        slot.phaseMultiply = shape.resonant ? 1.0f : 0.0f;
        for (int j = 0; j < shape.count; ++j)
        {
            const Breakpoint& b = shape.points[j];
            points_[static_cast<size_t>(count++)] =
                shape.resonant ? Point{b.x, b.y, 0.0f, b.z} : Point{b.x, b.y, b.z, 1.0f};
        }
        slot.last = count - 1;
    }
    if (slotCount_ > 0)
        EnterSlot(0);
}

void ug_oscillator_pd::EnterSlot(int slot)
{
    slot_ = slot;
    point_ = slots_[static_cast<size_t>(slot)].first;
}

void ug_oscillator_pd::UpdateOverload()
{
    const bool overload = upperBound_ < increment_;
    if (overload != overload_)
    {
        overload_ = overload;
        ChooseProcessFunction();
    }
}

void ug_oscillator_pd::ChooseProcessFunction()
{
    const bool pitchStreaming = plugs_.size() > PN_PITCH && plugs_[PN_PITCH]->state_ == ST_STREAMING;
    // Without a table or a waveform there is nothing to play: silence.
    if (overload_ || !cosine_ || slotCount_ == 0)
    {
        if (pitchStreaming)
            SetProcessFunction(&ug_oscillator_pd::sub_process_overload_pitch);
        else
            SetProcessFunction(&ug_oscillator_pd::sub_process_overload);
    }
    else if (pitchStreaming)
    {
        if (freqScale_ == FS_VOLT_PER_KHZ)
            SetProcessFunction(&ug_oscillator_pd::sub_process_khz);
        else
            SetProcessFunction(&ug_oscillator_pd::sub_process);
    }
    else
    {
        SetProcessFunction(&ug_oscillator_pd::sub_process_fp);
    }
}

inline float ug_oscillator_pd::Step(float depthVolts)
{
    // Also maps NaN to 0.
    const float d = depthVolts > 0.0f ? std::min(depthVolts, kMaxDepth) : 0.0f;
    const float p = PhaseFraction(phase_);
    const Slot& slot = slots_[static_cast<size_t>(slot_)];

    int k = point_;
    auto position = [this, d](int j) {
        const Point& pt = points_[static_cast<size_t>(j)];
        return pt.x + pt.dz * d;
    };
    while (k + 1 < slot.last && p >= position(k + 1))
        ++k;
    while (k > slot.first && position(k) > p)
        --k;
    point_ = k;

    const Point& a = points_[static_cast<size_t>(k)];
    const Point& b = points_[static_cast<size_t>(k + 1)];
    const float xa = position(k);
    const float span = position(k + 1) - xa;
    const float t = span > 0.0f ? (p - xa) / span : 0.0f;
    const float w = a.w + t * (b.w - a.w);
    // Resonant shapes: y equals x, so the curve gives p and the depth multiplies it.
    const float q = (a.y + t * (b.y - a.y)) * (1.0f + slot.phaseMultiply * d * 10.0f);
    const auto tablePhase = static_cast<uint32_t>(static_cast<int64_t>(q * kTwoTo32Float));
    const float value = ReadTable(cosine_, tablePhase) * w + (0.5f - 0.5f * w);

    const float out = value - dcLevel_;
    dcLevel_ += (value - dcLevel_) * tracking_;

    const uint32_t next = phase_ + increment_;
    if (next < phase_)
    {
        const int following = slot_ + 1;
        EnterSlot(following < slotCount_ ? following : 0);
    }
    phase_ = next;
    return out;
}

void ug_oscillator_pd::sub_process_fp(int start, int count)
{
    const float* depth = depth_ptr_ + start;
    float* out = output_ptr_ + start;
    for (int i = 0; i < count; ++i)
        out[i] = Step(depth[i]);
}

template <bool PerKilohertz>
void ug_oscillator_pd::ProcessStreaming(int start, int count)
{
    const float* pitch = pitch_ptr_ + start;
    const float* depth = depth_ptr_ + start;
    float* out = output_ptr_ + start;
    const float sampleRate = SampleRate();
    for (int i = 0; i < count; ++i)
    {
        increment_ = PitchToIncrement(pitch[i], PerKilohertz ? FS_VOLT_PER_KHZ : FS_VOLT_PER_OCTAVE, sampleRate);
        out[i] = Step(depth[i]);
    }
    // The process function chosen here runs from the next call.
    UpdateOverload();
}

void ug_oscillator_pd::sub_process_overload(int start, int count)
{
    std::fill(output_ptr_ + start, output_ptr_ + start + count, 0.0f);
}

void ug_oscillator_pd::sub_process_overload_pitch(int start, int count)
{
    increment_ = PitchToIncrement(pitch_ptr_[start], freqScale_, SampleRate());
    UpdateOverload();
    std::fill(output_ptr_ + start, output_ptr_ + start + count, 0.0f);
}

namespace
{
[[maybe_unused]] const bool registered = CModuleFactory::Instance()->RegisterModule(
    new Module_Info(L"Phase Dist Osc", 32822, 32820, nullptr, &UnitClassOf<ug_oscillator_pd>::value, 256));
}
