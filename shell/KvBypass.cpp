#include "shell/KvBypass.h"

#include <algorithm>
#include <cmath>

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace
{
// How many samples at the end of [from, to) of `row` are exactly 0, looking
// back at most `limit`; a null row is silent, and so is each sample from
// `valid` on.
int ZerosAtEnd(const float* row, int valid, int from, int to, int limit)
{
    int n = to;
    const int stop = std::max(from, to - limit);
    while (n > stop && (row == nullptr || n > valid || row[n - 1] == 0.0f))
        --n;
    return to - n;
}
} // namespace

void KvBypass::Prepare(double sampleRate, int maxSamples, int channels)
{
    channels_ = std::max(channels, 0);
    room_ = std::max(maxSamples, 1);
    dry_.assign(static_cast<std::size_t>(channels_) * static_cast<std::size_t>(room_), 0.0f);
    const double ramp = std::isfinite(sampleRate) ? sampleRate * kRampSeconds : 1.0;
    rampLength_ = static_cast<int>(std::lround(std::clamp(ramp, 1.0, 1.0e6)));
    // A switch still waiting (from a block without samples) is where the
    // host left it.
    on_ = LastSwitch();
    switchCount_ = 0;
    position_ = on_ ? rampLength_ : 0;
    engaged_ = false;
    engineSilence_ = rampLength_;
    drySilence_ = rampLength_;
}

void KvBypass::Follow(bool on)
{
    AddSwitch(0, on);
}

void KvBypass::AddSwitch(int offset, bool on)
{
    const Switch* before = switchCount_ > 0 ? &switches_[static_cast<std::size_t>(switchCount_ - 1)] : nullptr;
    // A point that switches nothing is not one.
    if (on == (before ? before->on : on_))
        return;
    // Out of order, it takes effect where the one before it did.
    const int at = std::max(offset, before ? before->offset : 0);
    const std::size_t slot = static_cast<std::size_t>(std::min(switchCount_, kMaxSwitches - 1));
    switches_[slot] = {at, on};
    switchCount_ = static_cast<int>(slot) + 1;
}

void KvBypass::ReadSwitches(IParamValueQueue& queue, int32 numSamples)
{
    const int32 last = std::max(numSamples - 1, 0);
    const int32 points = queue.getPointCount();
    for (int32 p = 0; p < points; ++p)
    {
        int32 offset = 0;
        ParamValue value = 0.0;
        if (queue.getPoint(p, offset, value) != kResultOk || !std::isfinite(value))
            continue;
        AddSwitch(std::clamp(offset, 0, last), value >= 0.5);
    }
}

void KvBypass::KeepDry(float* const* inputs, int inputCount, int count)
{
    const int n = std::clamp(count, 0, room_);
    engaged_ = Engaged();
    if (!engaged_)
    {
        // Only its silence counts, for a switch in the next block.
        if (count <= 0)
            return;
        int zeros = std::min(count, rampLength_);
        for (int c = 0; c < channels_ && zeros > 0; ++c)
            zeros = std::min(zeros, ZerosAtEnd(inputs && c < inputCount ? inputs[c] : nullptr, n, 0, count, zeros));
        drySilence_ = Carry(drySilence_, zeros, count);
        return;
    }
    for (int c = 0; c < channels_; ++c)
    {
        float* row = dry_.data() + static_cast<std::size_t>(c) * static_cast<std::size_t>(room_);
        const float* input = inputs && c < inputCount ? inputs[c] : nullptr;
        if (input)
            std::copy(input, input + n, row);
        else
            std::fill(row, row + n, 0.0f);
    }
}

void KvBypass::FollowSilence(float* const* outputs, int outputCount, int from, int to)
{
    const int length = to - from;
    if (length <= 0)
        return;
    int zeros = std::min(length, rampLength_);
    for (int c = 0; outputs && c < outputCount && zeros > 0; ++c)
        zeros = std::min(zeros, ZerosAtEnd(outputs[c], to, from, to, zeros));
    engineSilence_ = Carry(engineSilence_, zeros, length);
    // A block that does not read the dry signal followed it in KeepDry.
    if (!engaged_)
        return;
    zeros = std::min(length, rampLength_);
    for (int c = 0; c < channels_ && zeros > 0; ++c)
        zeros = std::min(zeros, ZerosAtEnd(dry_.data() + static_cast<std::size_t>(c) * static_cast<std::size_t>(room_),
                                           room_, from, to, zeros));
    drySilence_ = Carry(drySilence_, zeros, length);
}

void KvBypass::Mix(float* const* outputs, int outputCount, int count)
{
    if (count <= 0)
        return;
    int from = 0;
    for (int i = 0; engaged_ && i < switchCount_; ++i)
    {
        const Switch& at = switches_[static_cast<std::size_t>(i)];
        const int to = std::clamp(at.offset, from, count);
        // Followed before the run overwrites the engine's samples.
        FollowSilence(outputs, outputCount, from, to);
        Run(outputs, outputCount, from, to);
        on_ = at.on;
        // Nothing sounds on either side: no ramp.
        if (Silent())
            position_ = on_ ? rampLength_ : 0;
        from = to;
    }
    FollowSilence(outputs, outputCount, from, count);
    if (engaged_)
        Run(outputs, outputCount, from, count);
    switchCount_ = 0;
}

void KvBypass::Run(float* const* outputs, int outputCount, int from, int to)
{
    if (from >= to || (!on_ && position_ == 0))
        return;
    const bool settled = on_ && position_ == rampLength_;
    const auto length = static_cast<float>(rampLength_);
    for (int c = 0; outputs && c < outputCount; ++c)
    {
        float* out = outputs[c];
        if (out == nullptr)
            continue;
        const float* dry =
            c < channels_ ? dry_.data() + static_cast<std::size_t>(c) * static_cast<std::size_t>(room_) : nullptr;
        const int kept = dry ? std::clamp(room_, from, to) : from;
        if (settled)
        {
            // dry
            if (dry)
                std::copy(dry + from, dry + kept, out + from);
            std::fill(out + kept, out + to, 0.0f);
            continue;
        }
        // crossfade, one step of the ramp per sample; its ends are exact
        int p = position_;
        for (int n = from; n < to; ++n)
        {
            p = on_ ? std::min(p + 1, rampLength_) : std::max(p - 1, 0);
            const float gain = static_cast<float>(p) / length;
            const float d = n < kept ? dry[n] : 0.0f;
            out[n] = out[n] * (1.0f - gain) + d * gain;
        }
    }
    const int samples = to - from;
    position_ = on_ ? std::min(position_ + samples, rampLength_) : std::max(position_ - samples, 0);
}
