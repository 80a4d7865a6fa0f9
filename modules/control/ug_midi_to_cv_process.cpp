// The process function of "Midi to CV": pitch written piecewise between the
// end points of glide and bend, and the smoothed gate, velocity and aftertouch.
#include <algorithm>
#include <limits>

#include "engine/runtime/IKvAudioMaster.h"
#include "modules/control/ug_midi_to_cv.h"

namespace
{
// Whole samples from here to a target moving by `increment` per sample,
// rounded, never negative and never past what an int holds.
int StepsTo(float distance, float increment)
{
    const double steps = static_cast<double>(distance) / static_cast<double>(increment) + 0.5;
    if (!(steps > 0.0))
        return 0;
    return static_cast<int>(std::min(steps, static_cast<double>(std::numeric_limits<int>::max())));
}
} // namespace

void ug_midi_to_cv::WritePitch(int start, int count)
{
    float* out = pitchBuffer_ + start;
    int done = 0;
    // Glide and bend are written piecewise between their end points.
    while (done < count && (glideIncrement_ != 0.0f || bendIncrement_ != 0.0f))
    {
        const int glideEnd = glideIncrement_ != 0.0f ? StepsTo(glideTarget_ - glidePitch_, glideIncrement_)
                                                     : std::numeric_limits<int>::max();
        const int bendEnd =
            bendIncrement_ != 0.0f ? StepsTo(bendTarget_ - bend_, bendIncrement_) : std::numeric_limits<int>::max();
        const int n = std::min({count - done, glideEnd, bendEnd});
        for (int i = 0; i < n; ++i)
        {
            bend_ += bendIncrement_;
            glidePitch_ += glideIncrement_;
            out[done + i] = glidePitch_ + bend_;
        }
        done += n;
        if (n == glideEnd)
        {
            glidePitch_ = glideTarget_;
            glideIncrement_ = 0.0f;
        }
        if (n == bendEnd)
        {
            bend_ = bendTarget_;
            bendIncrement_ = 0.0f;
        }
        if (glideIncrement_ == 0.0f && bendIncrement_ == 0.0f)
            AnnouncePitchState(sampleClock_ + done, ST_STOPPED);
    }
    if (done < count)
    {
        std::fill(out + done, out + count, glidePitch_ + bend_);
        staticOutputCountdown_ -= count - done;
    }
}

void ug_midi_to_cv::sub_process(int start, int count)
{
    if (staticOutputCountdown_ > 0)
        WritePitch(start, count);

    bool running = staticOutputCountdown_ > 0;
    const int blockSize = audioMaster_->BlockSize();
    for (smart_output& out : outputs_)
    {
        if (!out.isStatic_)
        {
            running = true;
            if (!out.process(start, count))
            {
                out.isStatic_ = true;
                out.staticCountdown_ = blockSize;
            }
        }
        else if (out.staticCountdown_ > 0)
        {
            running = true;
            std::fill(out.buffer_ + start, out.buffer_ + start + std::min(out.staticCountdown_, count), out.value_);
            out.staticCountdown_ -= count;
        }
    }
    if (!running)
        SetProcessFunction(&ug_base::process_sleep);
}
