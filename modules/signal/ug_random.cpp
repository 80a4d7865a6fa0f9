#include "modules/signal/ug_random.h"

#include <algorithm>

#include "core/CModuleFactory.h"
#include "core/InterfaceObject.h"
#include "core/Module_Info.h"
#include "core/UnitClass.h"
#include "engine/runtime/IKvAudioMaster.h"
#include "engine/runtime/LookupTable.h"

ug_random::ug_random() : output_(nullptr, smart_output::CURVE_LINEAR)
{
    SetProcessFunction(&ug_random::sub_process);
}

void ug_random::ListInterface2(std::vector<InterfaceObject*>& pins)
{
    pins.push_back(new InterfaceObject(&trigger_, L"Trigger in", DR_IN, DT_BOOL, L"1", L"", IO_POLYPHONIC_ACTIVE));
    pins.push_back(new InterfaceObject(nullptr, L"Output", DR_OUT, DT_FSAMPLE, L"", L"", 0, L"", &output_ptr_));
}

int ug_random::Open()
{
    ULookup_Integer* shared = nullptr;
    CreateSharedLookup2(L"Random-State", shared, -1, 1, true, SLS_PER_INSTANCE);
    if (shared)
    {
        shared->FillOnce([shared] { shared->SetValue(0, static_cast<int32_t>(kFirstState)); });
        state_ = reinterpret_cast<uint32_t*>(shared->GetBlock());
    }
    else
    {
        state_ = &ownState_;
    }
    const int result = ug_base::Open();
    output_.plug_ = plugs_[PN_OUTPUT];
    output_.buffer_ = output_ptr_;
    ResetStaticOutput();
    finished_ = false;
    output_.Set(sampleClock_, 0.0f, 1);
    return result;
}

int ug_random::NextRandom(uint32_t& state)
{
    // A Weyl sequence scrambled by a 32-bit mixer.
    uint32_t x = state;
    state += 0x9E3779B9u;
    x ^= x >> 16;
    x *= 0x7FEB352Du;
    x ^= x >> 15;
    x *= 0x846CA68Bu;
    x ^= x >> 16;
    return static_cast<int>(x >> 1);
}

void ug_random::SeedRandom(uint32_t seed)
{
    if (state_)
        *state_ = seed;
}

float ug_random::Draw(int randValue)
{
    // Near RAND_MAX the float product rounds up to 1.0: keep levels below 1.
    const float r = static_cast<float>(randValue) * kRandScale;
    return std::min(r, kLargestLevel);
}

void ug_random::onSetPin(int64_t time, UPlug* /*pin*/, state_type /*state*/)
{
    if (!trigger_)
        return;
    const float r = Draw(NextRandom(state_ ? *state_ : ownState_));
    if (!(r == output_.target_ && finished_))
    {
        finished_ = false;
        output_.Set(time, r, 1);
    }
    SetProcessFunction(&ug_random::sub_process);
}

void ug_random::sub_process(int start, int count)
{
    if (!finished_)
    {
        if (!output_.process(start, count))
        {
            finished_ = true;
            ResetStaticOutput();
        }
        return;
    }
    // Held: one block of the level after it went static, then sleep.
    if (staticOutputCountdown_ <= 0)
    {
        SetProcessFunction(&ug_base::process_sleep);
        return;
    }
    std::fill(output_ptr_ + start, output_ptr_ + start + std::min<int>(staticOutputCountdown_, count), output_.value_);
    staticOutputCountdown_ -= count;
}

namespace
{
[[maybe_unused]] const bool registered = CModuleFactory::Instance()->RegisterModule(
    new Module_Info(L"random", 148, 324, nullptr, &UnitClassOf<ug_random>::value, 256));
}
