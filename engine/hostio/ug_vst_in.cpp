#include "engine/hostio/ug_vst_in.h"

#include "core/InterfaceObject.h"
#include "engine/graph/USampBlock.h"

namespace
{
// What a pin without a host channel reads: never advanced.
const float kSilence = 0.0f;
} // namespace

void ug_vst_in::ListInterface2(std::vector<InterfaceObject*>& pins)
{
    pins.push_back(new InterfaceObject(nullptr, L"MIDI Out", DR_OUT, DT_MIDI2, L"0", L"", 0));
    pins.push_back(new InterfaceObject(nullptr, L"Audio", DR_OUT, DT_FSAMPLE, L"", L"", IO_AUTODUPLICATE));
}

int ug_vst_in::Open()
{
    const int result = ug_base::Open();
    const size_t count = plugs_.size() > 1 ? plugs_.size() - 1 : 0;
    readPointers_.assign(count, &kSilence);
    fromHost_.assign(count, 0);
    blocks_.assign(count, nullptr);
    for (size_t k = 0; k < count; ++k)
    {
        UPlug* pin = plugs_[k + 1];
        USampBlock* block = pin->GetSampleBlock();
        blocks_[k] = block ? block->GetBlock() : nullptr;
        pin->TransmitState(sampleClock_, ST_STREAMING);
    }
    if (count > 0)
        SetProcessFunction(&ug_vst_in::process_copy);
    else
        SetProcessFunction(&ug_base::process_sleep);
    return result;
}

void ug_vst_in::setInputs(float** inputs, int count, int extra)
{
    extra_ = extra;
    for (size_t k = 0; k < readPointers_.size(); ++k)
    {
        const bool host = inputs && static_cast<int>(k) < count && inputs[k];
        readPointers_[k] = host ? inputs[k] : &kSilence;
        fromHost_[k] = host ? 1 : 0;
    }
}

void ug_vst_in::process_copy(int blockPosition, int sampleFrames)
{
    for (size_t k = 0; k < readPointers_.size(); ++k)
    {
        float* out = blocks_[k];
        if (!out)
            continue;
        out += blockPosition;
        const int step = fromHost_[k] ? stride_ : 0;
        const float* in = readPointers_[k];
        for (int i = 0; i < sampleFrames; ++i)
            out[i] = in[static_cast<ptrdiff_t>(i) * step];
        readPointers_[k] = in + static_cast<ptrdiff_t>(sampleFrames) * step;
    }
}
