#include "engine/graph/ug_adder2.h"

#include <algorithm>

#include "core/InterfaceObject.h"
#include "engine/graph/USampBlock.h"

namespace
{
// The buffers of two modules never overlap, and an output written over the
// input it is read from is read at the same sample first: the loops need no
// test of overlap before they take four samples at a time.
void SumInto(float* __restrict out, const float* __restrict a, const float* __restrict b, int n)
{
    for (int i = 0; i < n; ++i)
        out[i] = a[i] + b[i];
}

void OffsetInto(float* __restrict out, const float* __restrict a, float offset, int n)
{
    for (int i = 0; i < n; ++i)
        out[i] = a[i] + offset;
}

// (a + offset) + b: the two passes of an offset and a sum in one.
void OffsetSumInto(float* __restrict out, const float* __restrict a, float offset, const float* __restrict b, int n)
{
    for (int i = 0; i < n; ++i)
        out[i] = (a[i] + offset) + b[i];
}

void AddInto(float* __restrict out, const float* __restrict a, int n)
{
    for (int i = 0; i < n; ++i)
        out[i] += a[i];
}

// Four inputs added in turn, a first, in one pass: the same sums as four
// passes, for a quarter of the loads and stores of the output.
void AddFourInto(float* __restrict out, const float* __restrict a, const float* __restrict b,
                 const float* __restrict c, const float* __restrict d, int n)
{
    for (int i = 0; i < n; ++i)
        out[i] = (((out[i] + a[i]) + b[i]) + c[i]) + d[i];
}
} // namespace

ug_adder2::ug_adder2()
{
    flags_ |= UGF_SIMD_OVERWRITES_BUFFER_END;
    SetProcessFunction(&ug_adder2::process_static);
}

void ug_adder2::ListInterface2(std::vector<InterfaceObject*>& pins)
{
    pins.push_back(new InterfaceObject(nullptr, L"Out", DR_OUT, DT_FSAMPLE, L"0", L"", 0, L"", &output_));
    pins.push_back(new InterfaceObject(nullptr, L"In", DR_IN, DT_FSAMPLE, L"0", L"", IO_LINEAR_INPUT | IO_ADDER));
}

void ug_adder2::NewConnection(UPlug* source)
{
    UPlug* first = plugs_.size() > PN_IN ? plugs_[PN_IN] : nullptr;
    if (!first)
        return;
    if (first->connections_.empty())
    {
        connect(source, first);
        return;
    }
    auto* pin = new UPlug(this, first);
    pin->CreateBuffer();
    AddPlug(pin);
    connect(source, pin);
}

int ug_adder2::Open()
{
    const int result = ug_base::Open();
    inputCount_ = std::max(0, static_cast<int>(plugs_.size()) - 1);
    // Sized once here: the block loop only fills it.
    streamingInputs_.assign(static_cast<size_t>(inputCount_), nullptr);
    RebuildStreamingInputs();
    ResetStaticOutput();
    SetProcessFunction(&ug_adder2::process_static);
    return result;
}

int ug_adder2::RebuildStreamingInputs()
{
    int used = 0;
    float sum = 0.0f;
    const int position = BlockPos();
    for (size_t i = PN_IN; i < plugs_.size(); ++i)
    {
        USampBlock* block = plugs_[i]->GetSampleBlock();
        if (!block)
            continue;
        if (plugs_[i]->state_ == ST_STREAMING && used < static_cast<int>(streamingInputs_.size()))
            streamingInputs_[static_cast<size_t>(used++)] = block->GetBlock();
        else
            sum += block->GetBlock()[std::clamp(position, 0, block->GetSize() - 1)];
    }
    staticSum_ = sum;
    lastStreaming_ = used - 1;
    CopyFirstTwo();
    return used;
}

void ug_adder2::CopyFirstTwo()
{
    for (size_t i = 0; i < 2; ++i)
        firstTwo_[i] = i < streamingInputs_.size() ? streamingInputs_[i] : nullptr;
}

void ug_adder2::onSetPin(int64_t time, UPlug* /*pin*/, state_type /*state*/)
{
    UPlug* out = plugs_[PN_OUT];
    if (RebuildStreamingInputs() == 0)
    {
        ResetStaticOutput();
        SetProcessFunction(&ug_adder2::process_static);
        out->TransmitState(time, ST_STATIC);
        return;
    }
    // A NaN static sum is not 0 and takes the mixed sum.
    if (staticSum_ != 0.0f || staticSum_ != staticSum_)
        SetProcessFunction<&ug_adder2::process_mixed>();
    else
        SetProcessFunction<&ug_adder2::process_sum>();
    out->TransmitState(time, ST_STREAMING);
}

bool ug_adder2::BypassPin(UPlug* source, UPlug* input)
{
    const USampBlock* before = input ? input->GetSampleBlock() : nullptr;
    const bool result = ug_base::BypassPin(source, input);
    if (streamingInputs_.empty())
        return result;
    // A streaming input that now reads another block: only its slot changes
    // (a voice's mute going in and out of the loop does this on every note).
    const USampBlock* after = input->GetSampleBlock();
    if (before && after && input->state_ == ST_STREAMING)
    {
        const auto first = streamingInputs_.begin();
        const auto last = first + (lastStreaming_ + 1);
        const auto slot = std::find(first, last, before->GetBlock());
        if (slot != last)
        {
            *slot = after->GetBlock();
            CopyFirstTwo();
            return result;
        }
    }
    RebuildStreamingInputs();
    return result;
}

void ug_adder2::process_static(int blockPosition, int sampleFrames)
{
    std::fill(output_ + blockPosition, output_ + blockPosition + sampleFrames, staticSum_);
    staticOutputCountdown_ -= sampleFrames;
    if (staticOutputCountdown_ <= 0)
        SetProcessFunction(&ug_base::process_sleep);
}

void ug_adder2::process_sum(int blockPosition, int sampleFrames)
{
    // Two streaming inputs, the common case, without the set-up of the others.
    if (lastStreaming_ == 1)
    {
        SumInto(output_ + blockPosition, firstTwo_[0] + blockPosition, firstTwo_[1] + blockPosition, sampleFrames);
        return;
    }
    SumAny(blockPosition, sampleFrames);
}

void ug_adder2::SumAny(int blockPosition, int sampleFrames)
{
    float* const* in = streamingInputs_.data();
    if (lastStreaming_ < 0)
    {
        process_static(blockPosition, sampleFrames);
        return;
    }
    float* out = output_ + blockPosition;
    if (lastStreaming_ == 0)
    {
        std::copy(in[0] + blockPosition, in[0] + blockPosition + sampleFrames, out);
        return;
    }
    // The first and the last input in one pass, then the others in turn.
    SumInto(out, in[0] + blockPosition, in[lastStreaming_] + blockPosition, sampleFrames);
    if (lastStreaming_ > 1)
        AddMore(out, blockPosition, sampleFrames, lastStreaming_ - 1);
}

void ug_adder2::process_mixed(int blockPosition, int sampleFrames)
{
    if (lastStreaming_ == 1)
    {
        OffsetSumInto(output_ + blockPosition, firstTwo_[0] + blockPosition, staticSum_, firstTwo_[1] + blockPosition,
                      sampleFrames);
        return;
    }
    if (lastStreaming_ < 0)
    {
        process_static(blockPosition, sampleFrames);
        return;
    }
    float* const* in = streamingInputs_.data();
    float* out = output_ + blockPosition;
    OffsetInto(out, in[0] + blockPosition, staticSum_, sampleFrames);
    if (lastStreaming_ > 0)
        AddMore(out, blockPosition, sampleFrames, lastStreaming_);
}

void ug_adder2::AddMore(float* out, int blockPosition, int sampleFrames, int last)
{
    // Inputs last to 1, in that order.
    float* const* in = streamingInputs_.data();
    int slot = last;
    for (; slot >= 4; slot -= 4)
        AddFourInto(out, in[slot] + blockPosition, in[slot - 1] + blockPosition, in[slot - 2] + blockPosition,
                    in[slot - 3] + blockPosition, sampleFrames);
    for (; slot >= 1; --slot)
        AddInto(out, in[slot] + blockPosition, sampleFrames);
}
