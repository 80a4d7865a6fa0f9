#include "modules/signal/ug_test_tone.h"

#include <cmath>

#include "core/CModuleFactory.h"
#include "core/InterfaceObject.h"
#include "core/Module_Info.h"
#include "core/UnitClass.h"

namespace
{
constexpr double kTwoPi = 6.283185307179586;
constexpr float kTwoPiFloat = 6.2831855f;
} // namespace

ug_test_tone::ug_test_tone()
{
    SetProcessFunction(&ug_test_tone::sub_process);
}

void ug_test_tone::ListInterface2(std::vector<InterfaceObject*>& pins)
{
    pins.push_back(new InterfaceObject(nullptr, L"Signal Out", DR_OUT, DT_FSAMPLE, L"0", L"", 0, L"Output Signal",
                                       &output_ptr_));
}

int ug_test_tone::Open()
{
    const int result = ug_base::Open();
    plugs_[PN_SIGNAL_OUT]->TransmitState(sampleClock_, ST_STREAMING);
    phase_ = 0.0f;
    const float sampleRate = SampleRate();
    // A sample rate of zero or less would give an infinite step: hold still instead.
    increment_ = sampleRate > 0.0f ? kRadiansPerSecondAt1kHz / sampleRate : 0.0f;
    return result;
}

void ug_test_tone::sub_process(int start, int count)
{
    float* out = output_ptr_ + start;
    float phase = phase_;
    const float increment = increment_;
    for (int i = 0; i < count; ++i)
    {
        phase += increment;
        out[i] = std::sin(phase) * 0.5f;
        if (phase > kTwoPi)
            phase -= kTwoPiFloat;
    }
    phase_ = phase;
}

namespace
{
[[maybe_unused]] const bool registered = CModuleFactory::Instance()->RegisterModule(
    new Module_Info(L"1 KHz Tone", 480, 150, nullptr, &UnitClassOf<ug_test_tone>::value, 256));
}
