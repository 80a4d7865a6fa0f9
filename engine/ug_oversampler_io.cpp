#include "engine/ug_oversampler_io.h"

ug_oversampler_io::ug_oversampler_io(ug_oversampler* oversampler, int factor, int filterSetting)
    : oversampler_(oversampler), factor_(factor < 1 ? 1 : factor), filterSetting_(filterSetting),
      fir_(filterSetting > 10)
{
    flags_ |= kBorderFlag | UGF_NEVER_SUSPEND;
    SetProcessFunction(&ug_base::process_nothing);
}

UPlug* ug_oversampler_io::AddBorderPin(UPlug* outerPin, EDirection direction)
{
    auto* pin = new UPlug(this, direction, static_cast<EPlugDataType>(outerPin->datatype_));
    if (direction == DR_OUT)
        pin->CreateBuffer();
    AddPlug(pin);
    outerPins_.push_back(outerPin);
    filters_.emplace_back();
    filters_.back().Init(factor_);
    firs_.emplace_back();
    if (fir_)
        firs_.back().Init(filterSetting_, factor_);
    return pin;
}

void ug_oversampler_io::BeginOuterPiece(int outerBlockPosition)
{
    outerIndex_ = outerBlockPosition;
    phase_ = 0;
}

int ug_oversampler_io::Open()
{
    for (OversamplerFilter& filter : filters_)
        filter.Reset();
    for (OversamplerFir& fir : firs_)
        fir.Reset();
    return ug_base::Open();
}

void ug_oversampler_io::AnnounceAudioStreaming(int64_t time)
{
    for (UPlug* pin : plugs_)
    {
        if (pin->datatype_ == DT_FSAMPLE && pin->direction_ == DR_OUT)
            pin->TransmitState(time, ST_STREAMING);
    }
}
