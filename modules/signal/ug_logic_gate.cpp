#include "modules/signal/ug_logic_gate.h"

#include <algorithm>

#include "core/CModuleFactory.h"
#include "core/InterfaceObject.h"
#include "core/Module_Info.h"
#include "core/UnitClass.h"
#include "engine/runtime/IKvAudioMaster.h"
#include "engine/graph/USampBlock.h"
#include "modules/signal/logic_levels.h"

ug_logic_gate::ug_logic_gate()
{
    SetProcessFunction(&ug_logic_gate::sub_process);
}

void ug_logic_gate::ListInterface2(std::vector<InterfaceObject*>& pins)
{
    pins.push_back(new InterfaceObject(nullptr, L"Output", DR_OUT, DT_FSAMPLE, L"", L"", 0, L"", &output_ptr_));
    // The copies of an auto-duplicating pin are made from the registry's
    // description, so it binds no module variable; inputs are read from
    // their blocks instead.
    pins.push_back(new InterfaceObject(nullptr, L"Input", DR_IN, DT_FSAMPLE, L"", L"",
                                       IO_CUSTOMISABLE | IO_AUTODUPLICATE | IO_POLYPHONIC_ACTIVE, L""));
}

int ug_logic_gate::Open()
{
    inputCount_ = std::max(0, static_cast<int>(plugs_.size()) - 1);
    levels_.assign(static_cast<size_t>(inputCount_), false);
    states_.assign(static_cast<size_t>(inputCount_), ST_STATIC);
    readPositions_.assign(static_cast<size_t>(inputCount_), nullptr);
    streaming_ = inputCount_ > 0 ? ST_STATIC : ST_STOPPED;

    const int result = ug_base::Open();
    silence_.assign(static_cast<size_t>(audioMaster_ ? std::max(1, audioMaster_->BlockSize()) : 1), 0.0f);
    RunDelayed<&ug_logic_gate::OnFirstSample>(sampleClock_);
    return result;
}

void ug_logic_gate::onSetPin(int64_t /*time*/, UPlug* pin, state_type state)
{
    const int k = pin->index_ - PN_FIRST_INPUT;
    if (k < 0 || k >= inputCount_)
        return;

    states_[static_cast<size_t>(k)] = state;
    streaming_ = ST_STOPPED;
    for (size_t j = 0; j < states_.size(); ++j)
    {
        // A static state is a one-off: only the newest one stays.
        if (static_cast<int>(j) != k && states_[j] == ST_STATIC)
            states_[j] = ST_STOPPED;
        streaming_ = std::max<int>(streaming_, states_[j]);
    }
    SetProcessFunction(&ug_logic_gate::sub_process);
}

void ug_logic_gate::OnFirstSample()
{
    RecalcOutput(sampleClock_);
}

void ug_logic_gate::RecalcOutput(int64_t time)
{
    const float value = logic_levels::OutputOf(OnInputLogicChange());
    if (value == outputValue_)
        return;
    outputValue_ = value;
    plugs_[PN_OUTPUT]->TransmitState(time, ST_STATIC);
    ResetStaticOutput();
    SetProcessFunction(&ug_logic_gate::sub_process);
}

void ug_logic_gate::sub_process(int start, int count)
{
    for (int k = 0; k < inputCount_; ++k)
    {
        const USampBlock* block = plugs_[static_cast<size_t>(k + PN_FIRST_INPUT)]->GetSampleBlock();
        readPositions_[static_cast<size_t>(k)] =
            block && start + count <= block->GetSize() ? block->GetBlock() + start : silence_.data();
    }

    int sinceLastChange = count;
    for (int i = 0; i < count; ++i)
    {
        bool changed = false;
        for (int k = 0; k < inputCount_; ++k)
        {
            const size_t kk = static_cast<size_t>(k);
            const bool level = logic_levels::Schmitt(levels_[kk], readPositions_[kk][i]);
            if (level != levels_[kk])
            {
                levels_[kk] = level;
                changed = true;
            }
        }
        if (changed)
        {
            RecalcOutput(sampleClock_ + i);
            sinceLastChange = count - i;
        }
        output_ptr_[start + i] = outputValue_;
    }

    if (streaming_ != ST_STREAMING)
    {
        staticOutputCountdown_ -= sinceLastChange;
        if (staticOutputCountdown_ <= 0)
            SetProcessFunction(&ug_base::process_sleep);
    }
}

bool ug_logic_AND::OnInputLogicChange()
{
    for (bool level : levels_)
    {
        if (!level)
            return false;
    }
    return true;
}

bool ug_logic_OR::OnInputLogicChange()
{
    return std::find(levels_.begin(), levels_.end(), true) != levels_.end();
}

bool ug_logic_XOR::OnInputLogicChange()
{
    const auto high = std::count(levels_.begin(), levels_.end(), true);
    return (high & 1) != 0;
}

bool ug_logic_NAND::OnInputLogicChange()
{
    return std::find(levels_.begin(), levels_.end(), false) != levels_.end();
}

bool ug_logic_NOR::OnInputLogicChange()
{
    for (bool level : levels_)
    {
        if (level)
            return false;
    }
    return true;
}

namespace
{
[[maybe_unused]] const bool registeredAnd = CModuleFactory::Instance()->RegisterModule(
    new Module_Info(L"AND Gate", 452, 325, nullptr, &UnitClassOf<ug_logic_AND>::value, 256));
[[maybe_unused]] const bool registeredOr = CModuleFactory::Instance()->RegisterModule(
    new Module_Info(L"OR Gate", 453, 325, nullptr, &UnitClassOf<ug_logic_OR>::value, 256));
[[maybe_unused]] const bool registeredXor = CModuleFactory::Instance()->RegisterModule(
    new Module_Info(L"XOR Gate", 454, 325, nullptr, &UnitClassOf<ug_logic_XOR>::value, 256));
[[maybe_unused]] const bool registeredNand = CModuleFactory::Instance()->RegisterModule(
    new Module_Info(L"NAND Gate", 455, 325, nullptr, &UnitClassOf<ug_logic_NAND>::value, 256));
[[maybe_unused]] const bool registeredNor = CModuleFactory::Instance()->RegisterModule(
    new Module_Info(L"NOR Gate", 357, 325, nullptr, &UnitClassOf<ug_logic_NOR>::value, 256));
} // namespace
