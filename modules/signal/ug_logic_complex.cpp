#include "modules/signal/ug_logic_complex.h"

#include <algorithm>

#include "engine/runtime/IKvAudioMaster.h"
#include "engine/graph/USampBlock.h"
#include "modules/signal/logic_levels.h"

namespace
{
constexpr int kTransitionSamples = 4;
} // namespace

ug_logic_complex::ug_logic_complex()
{
    SetProcessFunction(&ug_logic_complex::sub_process);
}

int ug_logic_complex::Open()
{
    const int result = ug_base::Open();
    const int blockSize = audioMaster_ ? std::max(1, audioMaster_->BlockSize()) : 1;

    inputPins_.clear();
    outputs_.clear();
    for (UPlug* pin : plugs_)
    {
        if (pin->direction_ == DR_IN)
        {
            inputPins_.push_back(pin->index_);
            continue;
        }
        // Outputs are written through their own blocks; a non-audio output
        // gets a record with no buffer, which is never written.
        USampBlock* block = pin->datatype_ == DT_FSAMPLE ? pin->GetSampleBlock() : nullptr;
        smart_output record(pin, smart_output::CURVE_STEP);
        record.buffer_ = block && block->GetSize() >= blockSize ? block->GetBlock() : nullptr;
        record.staticCountdown_ = blockSize;
        record.isStatic_ = false;
        outputs_.push_back(record);
    }
    inputCount_ = static_cast<int>(inputPins_.size());
    outputCount_ = static_cast<int>(outputs_.size());
    levels_.assign(inputPins_.size(), false);
    readPositions_.assign(inputPins_.size(), nullptr);
    silence_.assign(static_cast<size_t>(blockSize), 0.0f);
    return result;
}

void ug_logic_complex::onSetPin(int64_t /*time*/, UPlug* /*pin*/, state_type /*state*/)
{
    Wake();
    for (int index : inputPins_)
    {
        if (plugs_[static_cast<size_t>(index)]->state_ == ST_STREAMING)
        {
            streaming_ = true;
            SetProcessFunction(&ug_logic_complex::process_run);
            return;
        }
    }
    streaming_ = false;
    SetProcessFunction(&ug_logic_complex::sub_process);
    input_changed();
}

void ug_logic_complex::SetOutput(int k, float value)
{
    if (k >= 0 && k < outputCount_)
        outputs_[static_cast<size_t>(k)].Set(sampleClock_, value, kTransitionSamples);
}

bool ug_logic_complex::ReadLevel(int pin, bool level) const
{
    const UPlug* plug = pin >= 0 && pin < static_cast<int>(plugs_.size()) ? plugs_[static_cast<size_t>(pin)] : nullptr;
    return plug ? logic_levels::Schmitt(level, plug->getValue()) : level;
}

void ug_logic_complex::sub_process(int start, int count)
{
    const int blockSize = static_cast<int>(silence_.size());
    bool busy = false;
    for (smart_output& out : outputs_)
    {
        if (out.isStatic_)
        {
            if (out.staticCountdown_ > 0)
            {
                if (out.buffer_)
                    std::fill_n(out.buffer_ + start, std::min(count, out.staticCountdown_), out.value_);
                out.staticCountdown_ -= count;
                busy = true;
            }
            continue;
        }
        busy = true;
        if (!out.buffer_)
        {
            // Nothing to write into: take the new value at once.
            out.value_ = out.next_ = out.target_;
            out.remaining_ = -1;
            out.isStatic_ = true;
            out.staticCountdown_ = blockSize;
        }
        else if (!out.process(start, count))
        {
            out.isStatic_ = true;
            out.staticCountdown_ = blockSize;
        }
    }
    if (!busy && !streaming_)
        SetProcessFunction(&ug_base::process_sleep);
}

void ug_logic_complex::process_run(int start, int count)
{
    for (size_t k = 0; k < inputPins_.size(); ++k)
    {
        const USampBlock* block = plugs_[static_cast<size_t>(inputPins_[k])]->GetSampleBlock();
        readPositions_[k] = block && start + count <= block->GetSize() ? block->GetBlock() + start : silence_.data();
    }

    const int64_t clock = sampleClock_;
    int rendered = 0;
    for (int i = 0; i < count; ++i)
    {
        bool changed = false;
        for (size_t k = 0; k < readPositions_.size(); ++k)
        {
            const bool level = logic_levels::Schmitt(levels_[k], readPositions_[k][i]);
            if (level != levels_[k])
            {
                levels_[k] = level;
                changed = true;
            }
        }
        if (!changed)
            continue;
        // Outputs up to this sample keep their old values.
        if (i > rendered)
        {
            sub_process(start + rendered, i - rendered);
            rendered = i;
        }
        sampleClock_ = clock + i;
        input_changed();
    }
    if (count > rendered)
        sub_process(start + rendered, count - rendered);
    sampleClock_ = clock;
}
