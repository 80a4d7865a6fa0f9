#pragma once
// Musical time of a performance: tempo and time-signature changes placed in
// quarter notes, and the conversions between seconds and quarter notes that
// fill the process context of each block.

#include <vector>

#include "pluginterfaces/vst/ivstprocesscontext.h"

class TempoMap
{
public:
    explicit TempoMap(double bpm = 120.0);

    // A tempo from `quarters` on (a later change at the same place replaces
    // it). False for a position or tempo that is not a finite positive number.
    bool setTempo(double quarters, double bpm);
    // A time signature from `quarters` on; its bars are counted from there.
    bool setTimeSignature(double quarters, int numerator, int denominator);

    double secondsAt(double quarters) const;
    double quartersAt(double seconds) const;
    double tempoAt(double seconds) const;
    // The time signature in force at `quarters` and the start of its bar.
    void timeSignatureAt(double quarters, int& numerator, int& denominator, double& barStart) const;

    // Transport of the block that starts at `samplePosition`.
    void fillContext(Steinberg::Vst::ProcessContext& context, Steinberg::int64 samplePosition, double sampleRate,
                     bool playing) const;

    static constexpr double kMaxTempo = 1.0e6;

private:
    struct TempoPoint
    {
        double quarters;
        double bpm;
        double seconds;
    };
    struct MeterPoint
    {
        double quarters;
        int numerator;
        int denominator;
    };

    // Changes may come in any order; they are sorted and timed on first use.
    void settle() const;

    mutable std::vector<TempoPoint> tempos_;
    mutable std::vector<MeterPoint> meters_;
    mutable bool settled_ = true;
};
