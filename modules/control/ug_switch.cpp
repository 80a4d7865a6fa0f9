#include "modules/control/ug_switch.h"

#include <algorithm>

#include "core/CModuleFactory.h"
#include "core/InterfaceObject.h"
#include "core/Module_Info.h"
#include "core/UnitClass.h"
#include "engine/runtime/IKvAudioMaster.h"
#include "engine/graph/USampBlock.h"

ug_switch::ug_switch()
{
    flags_ |= UGF_SIMD_OVERWRITES_BUFFER_END;
    SetProcessFunction(&ug_switch::sub_process);
}

void ug_switch::ListInterface2(std::vector<InterfaceObject*>& pins)
{
    pins.push_back(new InterfaceObject(&choice_, L"Choice", DR_IN, DT_ENUM, L"0", L"{AUTO}", 0,
                                       L"Chooses which output to route the input signal to.  Connect to a 'List "
                                       L"Entry' module."));
    pins.push_back(new InterfaceObject(nullptr, L"Input", DR_IN, DT_FSAMPLE, L"0", L"", IO_LINEAR_INPUT, L"",
                                       &input_ptr_));
    // Copies of the duplicating pin come from the registry's description, so
    // outputs are reached through their blocks rather than bound variables.
    pins.push_back(new InterfaceObject(nullptr, L"Spare Output", DR_OUT, DT_FSAMPLE, L"", L"",
                                       IO_RENAME | IO_AUTODUPLICATE | IO_CUSTOMISABLE, L""));
}

int ug_switch::BlockSize() const
{
    return audioMaster_ ? std::max(1, audioMaster_->BlockSize()) : 1;
}

int ug_switch::Open()
{
    const int result = ug_base::Open();
    outputCount_ = std::max(0, static_cast<int>(plugs_.size()) - PN_FIRST_OUTPUT);
    countdowns_.assign(static_cast<size_t>(outputCount_), BlockSize());
    selected_ = -1;
    selectedBuffer_ = nullptr;
    return result;
}

void ug_switch::Resume(int64_t time)
{
    ug_base::Resume(time);
    for (int& countdown : countdowns_)
    {
        if (countdown > 0)
            countdown = BlockSize();
    }
}

void ug_switch::Select()
{
    if (outputCount_ < 1)
        return;
    if (selected_ >= 0)
    {
        countdowns_[static_cast<size_t>(selected_)] = BlockSize();
        OutputPin(selected_)->TransmitState(sampleClock_, ST_STATIC);
    }
    selected_ = std::clamp<int>(choice_, 0, outputCount_ - 1);
    UPlug* out = OutputPin(selected_);
    USampBlock* block = out->GetSampleBlock();
    selectedBuffer_ = block ? block->GetBlock() : nullptr;
    out->TransmitState(sampleClock_, inputState_ == ST_STOPPED ? ST_STATIC : static_cast<state_type>(inputState_));
    ResetStaticOutput();
}

void ug_switch::onSetPin(int64_t /*time*/, UPlug* pin, state_type state)
{
    const bool firstSelection = selected_ < 0;
    if (firstSelection && outputCount_ > 0)
    {
        // Every output but the one about to be chosen starts as a static 0.
        const int target = std::clamp<int>(choice_, 0, outputCount_ - 1);
        for (int k = 0; k < outputCount_; ++k)
        {
            if (k != target)
                OutputPin(k)->TransmitState(sampleClock_, ST_STATIC);
        }
    }
    if (pin->index_ == PN_CHOICE || firstSelection)
        Select();
    if (pin->index_ == PN_INPUT)
    {
        inputState_ = state;
        if (selected_ >= 0)
            OutputPin(selected_)->TransmitState(sampleClock_, state);
    }

    if (outputCount_ < 1)
    {
        SetProcessFunction(&ug_base::process_sleep);
        return;
    }
    if (inputState_ != ST_STREAMING)
    {
        countdowns_[static_cast<size_t>(selected_)] = BlockSize();
        SetProcessFunction(&ug_switch::sub_process_static);
        ResetStaticOutput();
        return;
    }
    const bool pending = std::any_of(countdowns_.begin(), countdowns_.end(), [](int c) { return c > 0; });
    if (pending)
        SetProcessFunction(&ug_switch::sub_process2);
    else
        SetProcessFunction(&ug_switch::sub_process);
    countdowns_[static_cast<size_t>(selected_)] = -1;
}

bool ug_switch::ClearDeselected(int start, int count)
{
    bool pending = false;
    for (int k = outputCount_ - 1; k >= 0; --k)
    {
        int& countdown = countdowns_[static_cast<size_t>(k)];
        if (countdown <= 0 || k == selected_)
        {
            pending = pending || countdown > 0;
            continue;
        }
        if (USampBlock* block = OutputPin(k)->GetSampleBlock())
            std::fill(block->GetBlock() + start, block->GetBlock() + start + count, 0.0f);
        countdown -= count;
        pending = pending || countdown > 0;
    }
    return pending;
}

void ug_switch::sub_process(int start, int count)
{
    if (selectedBuffer_ && input_ptr_)
        std::copy(input_ptr_ + start, input_ptr_ + start + count, selectedBuffer_ + start);
}

void ug_switch::sub_process2(int start, int count)
{
    if (!ClearDeselected(start, count))
        SetProcessFunction(&ug_switch::sub_process);
    sub_process(start, count);
}

void ug_switch::sub_process_static(int start, int count)
{
    ClearDeselected(start, count);
    sub_process(start, count);
    staticOutputCountdown_ -= count;
    if (staticOutputCountdown_ <= 0)
        SetProcessFunction(&ug_base::process_sleep);
}

namespace
{
[[maybe_unused]] const bool registered = CModuleFactory::Instance()->RegisterModule(
    new Module_Info(L"Switch (1->Many)", 438, 239, nullptr, &UnitClassOf<ug_switch>::value, 256));
}
