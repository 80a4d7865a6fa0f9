#include "engine/hostio/ug_vst_out.h"

#include <algorithm>

#include "core/InterfaceObject.h"
#include "engine/runtime/IKvAudioMaster.h"
#include "engine/graph/USampBlock.h"

ug_vst_out::ug_vst_out()
{
    flags_ |= UGF_POLYPHONIC_AGGREGATOR;
}

void ug_vst_out::ListInterface2(std::vector<InterfaceObject*>& pins)
{
    pins.push_back(new InterfaceObject(nullptr, L"MIDI In", DR_IN, DT_MIDI2, L"0", L"", 0));
    pins.push_back(new InterfaceObject(nullptr, L"Audio", DR_IN, DT_FSAMPLE, L"", L"",
                                       IO_LINEAR_INPUT | IO_CUSTOMISABLE | IO_AUTODUPLICATE));
}

int ug_vst_out::Open()
{
    const int result = ug_base::Open();
    SetProcessFunction(&ug_vst_out::process_mode_check);
    const size_t count = plugs_.size() > 1 ? plugs_.size() - 1 : 0;
    writePointers_.assign(count, &scratch_);
    toHost_.assign(count, 0);
    blocks_.assign(count, nullptr);
    for (size_t k = 0; k < count; ++k)
    {
        USampBlock* block = plugs_[k + 1]->GetSampleBlock();
        blocks_[k] = block ? block->GetBlock() : nullptr;
    }
    return result;
}

void ug_vst_out::setOutputs(float** outputs, int count)
{
    for (size_t k = 0; k < writePointers_.size(); ++k)
    {
        const bool host = outputs && static_cast<int>(k) < count && outputs[k];
        writePointers_[k] = host ? outputs[k] : &scratch_;
        toHost_[k] = host ? 1 : 0;
    }
}

void ug_vst_out::StartFadeOut(bool fadeOut)
{
    const float rate = audioMaster_ ? audioMaster_->SampleRate() : 44100.0f;
    gainStep_ = 1000.0f / (rate * 50.0f);
    if (fadeOut)
    {
        targetGain_ = 0.0f;
        gainStep_ = -gainStep_;
    }
    else
    {
        targetGain_ = 1.0f;
    }
    fadeReported_ = false;
    ChooseProcess();
}

void ug_vst_out::ChooseProcess()
{
    SetProcessFunction(&ug_vst_out::process_mode_check);
}

void ug_vst_out::process_mode_check(int blockPosition, int sampleFrames)
{
    // The chosen function also runs this piece.
    if (gain_ != targetGain_)
    {
        SetProcessFunction(&ug_vst_out::process_ramp);
        process_ramp(blockPosition, sampleFrames);
    }
    else if (gain_ > 0.0f)
    {
        SetProcessFunction(&ug_vst_out::process_steady);
        process_steady(blockPosition, sampleFrames);
    }
    else
    {
        // Settled at 0 means silence, not the input unattenuated. A fade-out
        // asked for at gain 0 is complete at once.
        if (gainStep_ < 0.0f && !fadeReported_ && audioMaster_)
            audioMaster_->onFadeOutComplete();
        fadeReported_ = true;
        SetProcessFunction(&ug_vst_out::process_silent);
        process_silent(blockPosition, sampleFrames);
    }
}

void ug_vst_out::process_steady(int blockPosition, int sampleFrames)
{
    for (size_t k = 0; k < writePointers_.size(); ++k)
    {
        const int step = toHost_[k] ? stride_ : 0;
        float* out = writePointers_[k];
        if (const float* in = blocks_[k])
        {
            in += blockPosition;
            for (int i = 0; i < sampleFrames; ++i)
                out[static_cast<ptrdiff_t>(i) * step] = in[i];
        }
        writePointers_[k] = out + static_cast<ptrdiff_t>(sampleFrames) * step;
    }
}

void ug_vst_out::process_silent(int /*blockPosition*/, int sampleFrames)
{
    for (size_t k = 0; k < writePointers_.size(); ++k)
    {
        const int step = toHost_[k] ? stride_ : 0;
        float* out = writePointers_[k];
        for (int i = 0; i < sampleFrames; ++i)
            out[static_cast<ptrdiff_t>(i) * step] = 0.0f;
        writePointers_[k] = out + static_cast<ptrdiff_t>(sampleFrames) * step;
    }
}

void ug_vst_out::process_ramp(int blockPosition, int sampleFrames)
{
    // The gain runs on from one pin's run into the next one's.
    for (size_t k = 0; k < writePointers_.size(); ++k)
    {
        const int step = toHost_[k] ? stride_ : 0;
        float* out = writePointers_[k];
        const float* in = blocks_[k] ? blocks_[k] + blockPosition : nullptr;
        for (int i = 0; i < sampleFrames; ++i)
        {
            out[static_cast<ptrdiff_t>(i) * step] = in ? in[i] * gain_ : 0.0f;
            gain_ = std::clamp(gain_ + gainStep_, 0.0f, 1.0f);
        }
        writePointers_[k] = out + static_cast<ptrdiff_t>(sampleFrames) * step;
    }
    if (gainStep_ < 0.0f && gain_ <= 0.0f)
    {
        gain_ = 0.0f;
        if (!fadeReported_ && audioMaster_)
            audioMaster_->onFadeOutComplete();
        fadeReported_ = true;
        SetProcessFunction(&ug_vst_out::process_mode_check);
    }
    else if (gainStep_ > 0.0f && gain_ >= 1.0f)
    {
        gain_ = 1.0f;
        SetProcessFunction(&ug_vst_out::process_mode_check);
    }
}

void ug_vst_out::HandleEvent(KorvaneEvent* event)
{
    if (event->eventType != UET_EVENT_MIDI)
    {
        ug_midi_device::HandleEvent(event);
        return;
    }
    const int32_t n = event->arg2;
    if (n < 0)
        return;
    const auto* bytes =
        n <= 4 ? reinterpret_cast<const unsigned char*>(&event->arg3) : reinterpret_cast<const unsigned char*>(event->heapData);
    if (n > 4 && !bytes)
        return;
    // A record that does not fit is dropped; the ring keeps what it has.
    midiBuffer_.Write(event->sampleTime, bytes, n);
}
