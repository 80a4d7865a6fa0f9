#pragma once
// The windowed-sinc alternative to the IIR cascade of an oversampler border:
// N taps (Hann window, cut-off at the outer Nyquist), a history of the newest
// samples, a polyphase sum for interpolation and a plain sum for decimation.

#include <cstddef>
#include <vector>

class OversamplerFir
{
public:
    static constexpr int kMaxTaps = 256;
    static constexpr int kMinTapsPerPhase = 4;

    // Taps for a filter setting above 10: the two lowest bits cleared, then
    // rounded up to a whole number of polyphase branches of at least
    // kMinTapsPerPhase taps, within kMaxTaps where the factor allows.
    static int TapCount(int setting, int factor);
    // Coefficient k of the design, scaled to gain 1 at DC (O(taps)).
    static double Coefficient(int k, int taps, int factor);

    // Allocates the history and computes the coefficients; not on the audio
    // thread. With shared tables (TapCount entries each, plain and polyphase
    // order, filled by FillTables) the coefficients are read from there.
    void Init(int setting, int factor, const float* sharedPlain = nullptr, const float* sharedPolyphase = nullptr);
    // The plain table and the polyphase table (each branch times the factor).
    static void FillTables(int taps, int factor, float* plain, float* polyphase);
    const float* Coefficients() const { return plain_; }
    void Reset();
    int Taps() const { return taps_; }

    void Push(float x)
    {
        write_ = (write_ + 1) & mask_;
        history_[static_cast<std::size_t>(write_)] = x;
    }
    // Interpolation: inner sample `phase` (0 ... factor-1) after the newest outer sample.
    float Interpolate(int phase) const
    {
        float sum = 0.0f;
        for (int j = 0; j < branchLength_; ++j)
            sum += polyphase_[phase * branchLength_ + j] *
                   history_[static_cast<std::size_t>((write_ - j) & mask_)];
        return sum;
    }
    // Decimation: the filtered value at the newest inner sample.
    float Decimate() const
    {
        float sum = 0.0f;
        for (int k = 0; k < taps_; ++k)
            sum += plain_[k] * history_[static_cast<std::size_t>((write_ - k) & mask_)];
        return sum;
    }

private:
    std::vector<float> ownPlain_;
    std::vector<float> ownPolyphase_;
    const float* plain_ = nullptr;
    const float* polyphase_ = nullptr;
    std::vector<float> history_;
    int taps_ = 0;
    int branchLength_ = 0;
    int mask_ = 0;
    int write_ = 0;
};
