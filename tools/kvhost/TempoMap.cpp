#include "tools/kvhost/TempoMap.h"

#include <algorithm>
#include <cmath>

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace
{
// Keeps the last of several entries at the same position, after a stable sort.
template <typename Point>
void SortKeepingLast(std::vector<Point>& points)
{
    std::stable_sort(points.begin(), points.end(),
                     [](const Point& a, const Point& b) { return a.quarters < b.quarters; });
    std::vector<Point> kept;
    kept.reserve(points.size());
    for (const auto& point : points)
    {
        if (!kept.empty() && kept.back().quarters == point.quarters)
            kept.back() = point;
        else
            kept.push_back(point);
    }
    points.swap(kept);
}
} // namespace

TempoMap::TempoMap(double bpm)
{
    tempos_.push_back({0.0, std::isfinite(bpm) && bpm > 0.0 && bpm <= kMaxTempo ? bpm : 120.0, 0.0});
    meters_.push_back({0.0, 4, 4});
}

bool TempoMap::setTempo(double quarters, double bpm)
{
    if (!std::isfinite(quarters) || quarters < 0.0 || !std::isfinite(bpm) || bpm <= 0.0 || bpm > kMaxTempo)
        return false;
    tempos_.push_back({quarters, bpm, 0.0});
    settled_ = false;
    return true;
}

bool TempoMap::setTimeSignature(double quarters, int numerator, int denominator)
{
    const bool powerOfTwo = denominator > 0 && (denominator & (denominator - 1)) == 0;
    if (!std::isfinite(quarters) || quarters < 0.0 || numerator < 1 || numerator > 255 || !powerOfTwo ||
        denominator > 64)
        return false;
    meters_.push_back({quarters, numerator, denominator});
    settled_ = false;
    return true;
}

void TempoMap::settle() const
{
    if (settled_)
        return;
    SortKeepingLast(tempos_);
    SortKeepingLast(meters_);
    for (std::size_t i = 1; i < tempos_.size(); ++i)
    {
        const auto& previous = tempos_[i - 1];
        tempos_[i].seconds = previous.seconds + (tempos_[i].quarters - previous.quarters) * 60.0 / previous.bpm;
    }
    settled_ = true;
}

double TempoMap::secondsAt(double quarters) const
{
    settle();
    auto after = std::upper_bound(tempos_.begin(), tempos_.end(), quarters,
                                  [](double q, const TempoPoint& point) { return q < point.quarters; });
    const TempoPoint& point = after == tempos_.begin() ? tempos_.front() : *(after - 1);
    return point.seconds + (quarters - point.quarters) * 60.0 / point.bpm;
}

double TempoMap::quartersAt(double seconds) const
{
    settle();
    auto after = std::upper_bound(tempos_.begin(), tempos_.end(), seconds,
                                  [](double s, const TempoPoint& point) { return s < point.seconds; });
    const TempoPoint& point = after == tempos_.begin() ? tempos_.front() : *(after - 1);
    return point.quarters + (seconds - point.seconds) * point.bpm / 60.0;
}

double TempoMap::tempoAt(double seconds) const
{
    settle();
    auto after = std::upper_bound(tempos_.begin(), tempos_.end(), seconds,
                                  [](double s, const TempoPoint& point) { return s < point.seconds; });
    return after == tempos_.begin() ? tempos_.front().bpm : (after - 1)->bpm;
}

void TempoMap::timeSignatureAt(double quarters, int& numerator, int& denominator, double& barStart) const
{
    settle();
    auto after = std::upper_bound(meters_.begin(), meters_.end(), quarters,
                                  [](double q, const MeterPoint& point) { return q < point.quarters; });
    const MeterPoint& meter = after == meters_.begin() ? meters_.front() : *(after - 1);
    numerator = meter.numerator;
    denominator = meter.denominator;
    const double barLength = meter.numerator * 4.0 / meter.denominator;
    // A position a rounding error short of a bar line belongs to the new bar.
    const double bars = std::floor((quarters - meter.quarters) / barLength + 1e-9);
    barStart = meter.quarters + std::max(0.0, bars) * barLength;
}

void TempoMap::fillContext(ProcessContext& context, int64 samplePosition, double sampleRate, bool playing) const
{
    context = ProcessContext{};
    const double seconds = static_cast<double>(samplePosition) / sampleRate;
    context.state = ProcessContext::kTempoValid | ProcessContext::kTimeSigValid |
                    ProcessContext::kProjectTimeMusicValid | ProcessContext::kBarPositionValid |
                    ProcessContext::kContTimeValid | (playing ? ProcessContext::kPlaying : 0);
    context.sampleRate = sampleRate;
    context.projectTimeSamples = samplePosition;
    context.continousTimeSamples = samplePosition;
    context.projectTimeMusic = quartersAt(seconds);
    context.tempo = tempoAt(seconds);
    int numerator = 4;
    int denominator = 4;
    double barStart = 0.0;
    timeSignatureAt(context.projectTimeMusic, numerator, denominator, barStart);
    context.barPositionMusic = barStart;
    context.timeSigNumerator = numerator;
    context.timeSigDenominator = denominator;
}
