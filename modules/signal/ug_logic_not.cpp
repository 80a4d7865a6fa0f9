#include "modules/signal/ug_logic_not.h"

#include "core/CModuleFactory.h"
#include "core/Module_Info.h"
#include "core/UnitClass.h"
#include "modules/signal/logic_levels.h"

int ug_logic_not::Open()
{
    RunDelayed<&ug_logic_not::OnFirstSample>(sampleClock_);
    return ug_generic_1_1::Open();
}

void ug_logic_not::OnFirstSample()
{
    plugs_[PN_OUTPUT]->TransmitState(sampleClock_, ST_STATIC);
}

void ug_logic_not::Flip()
{
    level_ = !level_;
    outputValue_ = logic_levels::OutputOf(!level_);
    SetProcessFunction(&ug_logic_not::sub_process);
    ResetStaticOutput();
    plugs_[PN_OUTPUT]->TransmitState(sampleClock_, ST_STATIC);
}

void ug_logic_not::onSetPin(int64_t /*time*/, UPlug* pin, state_type state)
{
    if (pin->index_ != PN_INPUT)
        return;
    inputState_ = state;
    if (state == ST_STREAMING)
    {
        SetProcessFunction(&ug_logic_not::sub_process);
        ResetStaticOutput();
        return;
    }
    if (logic_levels::Schmitt(level_, plugs_[PN_INPUT]->getValue()) != level_)
        Flip();
}

void ug_logic_not::sub_process(int start, int count)
{
    const int64_t clock = sampleClock_;
    const float* in = input_ptr_;
    float* out = output_ptr_;
    const int end = start + count;
    int lastChange = start;
    int i = start;
    while (i < end)
    {
        const float value = outputValue_;
        if (level_)
        {
            while (i < end && !(in[i] < logic_levels::kLowThreshold))
                out[i++] = value;
        }
        else
        {
            while (i < end && !(in[i] > logic_levels::kHighThreshold))
                out[i++] = value;
        }
        if (i < end)
        {
            // The crossing sample already carries the new output.
            sampleClock_ = clock + (i - start);
            Flip();
            lastChange = i;
        }
    }
    sampleClock_ = clock;

    // Unlike a piece with a change, a quiet piece counts down too, so a gate
    // whose input has gone static sleeps one block after its last change.
    if (inputState_ != ST_STREAMING)
    {
        staticOutputCountdown_ -= end - lastChange;
        if (staticOutputCountdown_ <= 0)
            SetProcessFunction(&ug_base::process_sleep);
    }
}

namespace
{
[[maybe_unused]] const bool registered = CModuleFactory::Instance()->RegisterModule(
    new Module_Info(L"NOT Gate", 456, 325, nullptr, &UnitClassOf<ug_logic_not>::value, 256));
}
