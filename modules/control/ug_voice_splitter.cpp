#include "modules/control/ug_voice_splitter.h"

#include <algorithm>

#include "core/CModuleFactory.h"
#include "core/InterfaceObject.h"
#include "core/Module_Info.h"
#include "core/UnitClass.h"
#include "engine/graph/USampBlock.h"

ug_voice_splitter::ug_voice_splitter()
{
    flags_ |= UGF_PP_REACHED;
    SetProcessFunction(&ug_voice_splitter::sub_process);
}

void ug_voice_splitter::ListInterface2(std::vector<InterfaceObject*>& pins)
{
    pins.push_back(new InterfaceObject(nullptr, L"Input", DR_IN, DT_FSAMPLE, L"0", L"", 0, L"", &input_));
    pins.push_back(new InterfaceObject(nullptr, L"Output", DR_OUT, DT_FSAMPLE, L"", L"",
                                       IO_AUTODUPLICATE | IO_CUSTOMISABLE));
}

int ug_voice_splitter::Open()
{
    const int result = ug_base::Open();
    SetProcessFunction(&ug_base::process_sleep);
    outputCount_ = std::max(0, static_cast<int>(plugs_.size()) - 1);
    const int index = std::max(0, static_cast<int>(voiceNumber_));
    if (plugs_.size() < 2 || index >= outputCount_)
        return result;
    UPlug* pin = plugs_[static_cast<size_t>(index + 1)];
    USampBlock* block = pin->Direction() == DR_OUT && pin->IsAudio() ? pin->GetSampleBlock() : nullptr;
    // A pin that is no audio output (a damaged document) is never written.
    if (!block || !input_)
        return result;
    outputIndex_ = index;
    pinIndex_ = index + 1;
    output_ = pin;
    outputBuffer_ = block->GetBlock();
    return result;
}

void ug_voice_splitter::onSetPin(int64_t time, UPlug* pin, state_type state)
{
    if (!output_ || pin->index_ != PN_INPUT)
        return;
    output_->TransmitState(time, state);
    if (state != ST_STREAMING)
    {
        SetProcessFunction(&ug_voice_splitter::sub_process_static);
        ResetStaticOutput();
    }
    else
    {
        SetProcessFunction(&ug_voice_splitter::sub_process);
    }
}

void ug_voice_splitter::sub_process(int start, int count)
{
    if (output_)
        std::copy(input_ + start, input_ + start + count, outputBuffer_ + start);
}

void ug_voice_splitter::sub_process_static(int start, int count)
{
    sub_process(start, count);
    staticOutputCountdown_ -= count;
    if (staticOutputCountdown_ <= 0)
        SetProcessFunction(&ug_base::process_sleep);
}

namespace
{
[[maybe_unused]] const bool registered = CModuleFactory::Instance()->RegisterModule(
    new Module_Info(L"VoiceSplitter", 152, 324, nullptr, &UnitClassOf<ug_voice_splitter>::value, 256));
}
