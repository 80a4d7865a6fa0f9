#include "modules/control/ug_switch2.h"

#include <algorithm>

#include "core/CModuleFactory.h"
#include "core/InterfaceObject.h"
#include "core/Module_Info.h"
#include "core/UnitClass.h"
#include "engine/graph/USampBlock.h"

ug_switch2::ug_switch2()
{
    flags_ |= UGF_SIMD_OVERWRITES_BUFFER_END;
    SetProcessFunction(&ug_switch2::sub_process);
}

void ug_switch2::ListInterface2(std::vector<InterfaceObject*>& pins)
{
    pins.push_back(new InterfaceObject(&choice_, L"Choice", DR_IN, DT_ENUM, L"0", L"{AUTO}", 0,
                                       L"Chooses which output to route the input signal to.  Connect to a 'List "
                                       L"Entry' module."));
    pins.push_back(new InterfaceObject(nullptr, L"Output", DR_OUT, DT_FSAMPLE, L"", L"", 0, L"", &output_ptr_));
    pins.push_back(new InterfaceObject(nullptr, L"Spare Input", DR_IN, DT_FSAMPLE, L"", L"",
                                       IO_LINEAR_INPUT | IO_RENAME | IO_AUTODUPLICATE | IO_CUSTOMISABLE, L""));
}

int ug_switch2::Open()
{
    const int result = ug_base::Open();
    flags_ |= UGF_SIMD_OVERWRITES_BUFFER_END;
    inputCount_ = std::max(0, static_cast<int>(plugs_.size()) - PN_FIRST_INPUT);
    inputStates_.assign(static_cast<size_t>(inputCount_), ST_STOPPED);
    Select();
    ChooseProcessFunction();
    return result;
}

state_type ug_switch2::SelectedState() const
{
    return selected_ < 0 ? ST_STOPPED : static_cast<state_type>(inputStates_[static_cast<size_t>(selected_)]);
}

void ug_switch2::Select()
{
    if (inputCount_ < 1)
    {
        selected_ = -1;
        selectedPin_ = nullptr;
    }
    else
    {
        selected_ = static_cast<int16_t>(std::clamp<int>(choice_, 0, inputCount_ - 1));
        selectedPin_ = plugs_[static_cast<size_t>(PN_FIRST_INPUT + selected_)];
    }
    // A stopped input still leaves a valid constant on the output.
    const state_type state = SelectedState();
    plugs_[PN_OUTPUT]->TransmitState(sampleClock_, state == ST_STOPPED ? ST_STATIC : state);
}

void ug_switch2::ChooseProcessFunction()
{
    ResetStaticOutput();
    if (inputCount_ < 1)
        SetProcessFunction(&ug_switch2::sub_process_no_inputs);
    else if (SelectedState() == ST_STREAMING)
        SetProcessFunction(&ug_switch2::sub_process);
    else
        SetProcessFunction(&ug_switch2::sub_process_static);
}

void ug_switch2::onSetPin(int64_t /*time*/, UPlug* pin, state_type state)
{
    const int k = pin->index_ - PN_FIRST_INPUT;
    if (k >= 0 && k < inputCount_)
    {
        inputStates_[static_cast<size_t>(k)] = state;
        if (k != selected_)
            return;
        plugs_[PN_OUTPUT]->TransmitState(sampleClock_, state);
    }
    else if (pin->index_ == PN_CHOICE)
    {
        if (inputCount_ > 0)
            Select();
    }
    else
    {
        return;
    }
    ChooseProcessFunction();
}

void ug_switch2::sub_process(int start, int count)
{
    USampBlock* block = selectedPin_ ? selectedPin_->GetSampleBlock() : nullptr;
    if (!block)
    {
        std::fill(output_ptr_ + start, output_ptr_ + start + count, 0.0f);
        return;
    }
    const float* in = block->GetBlock();
    std::copy(in + start, in + start + count, output_ptr_ + start);
}

void ug_switch2::sub_process_static(int start, int count)
{
    sub_process(start, count);
    staticOutputCountdown_ -= count;
    if (staticOutputCountdown_ <= 0)
        SetProcessFunction(&ug_base::process_sleep);
}

void ug_switch2::sub_process_no_inputs(int start, int count)
{
    std::fill(output_ptr_ + start, output_ptr_ + start + count, 0.0f);
    staticOutputCountdown_ -= count;
    if (staticOutputCountdown_ <= 0)
        SetProcessFunction(&ug_base::process_sleep);
}

namespace
{
[[maybe_unused]] const bool registered = CModuleFactory::Instance()->RegisterModule(
    new Module_Info(L"Switch (Many->1)", 439, 239, nullptr, &UnitClassOf<ug_switch2>::value, 256));
}
