#include "engine/graph/smart_output.h"

#include "engine/runtime/IKvAudioMaster.h"
#include "engine/graph/UPlug.h"
#include "engine/graph/ug_base.h"

void smart_output::Announce(int64_t time, int state)
{
    if (plug_)
        plug_->TransmitState(time, static_cast<state_type>(state));
}

void smart_output::Set(int64_t time, float newTarget, int samples)
{
    if (newTarget == target_ && isStatic_)
        return;
    isStatic_ = false;

    const int curve = samples > 0 ? curve_ : CURVE_STEP;
    switch (curve)
    {
    case CURVE_STEP:
    case CURVE_LINEAR:
    {
        const int n = curve == CURVE_STEP ? 1 : samples;
        d1_ = (newTarget - value_) / static_cast<float>(n);
        d2_ = d3_ = 0.0f;
        remaining_ = n - 1;
        target_ = newTarget;
        next_ = value_ + d1_;
        break;
    }
    case CURVE_CUBIC:
    {
        // value + D (3t² - 2t³), t = k / N, stepped by forward differences.
        const float n = static_cast<float>(samples);
        const float d = newTarget - value_;
        const float n3 = n * n * n;
        const float a = (3.0f * n - 2.0f) * d / n3;
        const float b = (n - 2.0f) * 6.0f * d / n3;
        const float c = -12.0f * d / n3;
        next_ = value_ + a;
        d1_ = a + b;
        d2_ = b + c;
        d3_ = c;
        remaining_ = samples - 1;
        target_ = newTarget;
        break;
    }
    default:
        return;
    }

    if (samples >= 2 && curve != CURVE_STEP)
        Announce(time, ST_STREAMING);
}

bool smart_output::process(int blockPosition, int sampleFrames)
{
    if (sampleFrames <= 0)
    {
        value_ = next_;
        return true;
    }
    float* out = buffer_ + blockPosition;
    for (int k = 0; k < sampleFrames; ++k)
    {
        if (remaining_ - k <= 0)
        {
            // Arrived: the last sample is exactly the target.
            next_ = value_ = target_;
            remaining_ = -1;
            int64_t arrival = blockPosition + k;
            if (plug_ && plug_->owner_ && plug_->owner_->audioMaster_)
                arrival += plug_->owner_->audioMaster_->BlockStartClock();
            Announce(arrival, ST_STATIC);
            for (int j = k; j < sampleFrames; ++j)
                out[j] = target_;
            return false;
        }
        out[k] = next_;
        next_ += d1_;
        d1_ += d2_;
        d2_ += d3_;
    }
    remaining_ -= sampleFrames;
    value_ = next_;
    return true;
}
