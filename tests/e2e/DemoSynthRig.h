#pragma once
// The demo instrument run as the plug-in runs it: the patch document built by
// SynthRuntime, host MIDI into KvAudioMaster::MidiIn, host-sized blocks out.

#include <algorithm>
#include <cmath>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "engine/runtime/KvAudioMaster.h"
#include "engine/runtime/SynthRuntime.h"

namespace kvtest
{

inline std::string ReadPatchFile(const std::string& path)
{
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

struct DemoSynthRig
{
    explicit DemoSynthRig(int rate = 48000, const std::string& document = KV_DEMO_SYNTH_DOCUMENT)
        : sampleRate(rate)
    {
        const std::string text = ReadPatchFile(document);
        built = runtime.initialize(rate, 512, text.c_str());
        AtPhraseVolume(text);
    }

    // A patch document given as text rather than as a file.
    struct Text
    {
        std::string document;
    };
    explicit DemoSynthRig(const Text& text, int rate = 48000) : sampleRate(rate)
    {
        built = runtime.initialize(rate, 512, text.document.c_str());
        AtPhraseVolume(text.document);
    }

    // The demo and its variants play at the volume of the demo's phrase
    // (8 V), above the instrument's default, which leaves room for all its
    // voices at once.
    void AtPhraseVolume(const std::string& document)
    {
        if (document.find(R"(Index="5" Handle="105")") != std::string::npos)
            Parameter(0, kVolumeIndex, 0.8f);
    }
    static constexpr int kVolumeIndex = 5;

    KvAudioMaster& Master() { return *runtime.AudioMaster(); }

    // MIDI due at absolute sample `time` (which must lie in a coming block).
    void Midi(int64_t time, unsigned char status, unsigned char d1, unsigned char d2)
    {
        pending.push_back({time, {status, d1, d2}});
    }
    void NoteOn(int64_t time, int key, int velocity = 100)
    {
        Midi(time, 0x90, static_cast<unsigned char>(key), static_cast<unsigned char>(velocity));
    }
    void NoteOff(int64_t time, int key) { Midi(time, 0x80, static_cast<unsigned char>(key), 64); }
    // A host parameter change (normalised) due at absolute sample `time`.
    void Parameter(int64_t time, int index, float value) { parameters.push_back({time, index, value}); }

    // Renders until `total` samples have been produced, in host blocks of the
    // given sizes (cycled); MIDI is handed over with the block it falls in.
    void RunTo(int64_t total, const std::vector<int>& blocks = {100})
    {
        for (size_t b = 0; rendered < total; ++b)
        {
            const int n = static_cast<int>(std::min<int64_t>(blocks[b % blocks.size()], total - rendered));
            for (auto it = pending.begin(); it != pending.end();)
            {
                if (it->time < rendered + n)
                {
                    Master().MidiIn(static_cast<int>(it->time - rendered), it->bytes, 3);
                    it = pending.erase(it);
                }
                else
                    ++it;
            }
            for (auto it = parameters.begin(); it != parameters.end();)
            {
                if (it->time < rendered + n)
                {
                    Master().setParameterNormalizedDsp(static_cast<int>(it->time - rendered), it->index, it->value);
                    it = parameters.erase(it);
                }
                else
                    ++it;
            }
            std::vector<float> left(static_cast<size_t>(n), -99.0f), right(static_cast<size_t>(n), -99.0f);
            float* outs[2] = {left.data(), right.data()};
            Master().DoProcess(n, nullptr, outs, 0, 2);
            out.insert(out.end(), left.begin(), left.end());
            outRight.insert(outRight.end(), right.begin(), right.end());
            rendered += n;
        }
    }

    // Largest magnitude of the output over [from, to).
    float Peak(int64_t from, int64_t to) const
    {
        float peak = 0.0f;
        for (int64_t i = from; i < to && i < static_cast<int64_t>(out.size()); ++i)
            peak = std::max(peak, std::fabs(out[static_cast<size_t>(i)]));
        return peak;
    }
    // Root mean square of the output over [from, to).
    float Rms(int64_t from, int64_t to) const
    {
        double sum = 0.0;
        for (int64_t i = from; i < to; ++i)
            sum += static_cast<double>(out[static_cast<size_t>(i)]) * out[static_cast<size_t>(i)];
        return static_cast<float>(std::sqrt(sum / static_cast<double>(to - from)));
    }
    // First sample at or after `from` whose magnitude exceeds `threshold`; -1 when none.
    int64_t Onset(int64_t from, float threshold = 1e-6f) const
    {
        for (int64_t i = from; i < static_cast<int64_t>(out.size()); ++i)
            if (std::fabs(out[static_cast<size_t>(i)]) > threshold)
                return i;
        return -1;
    }

    struct Message
    {
        int64_t time;
        unsigned char bytes[3];
    };

    struct ParameterChange
    {
        int64_t time;
        int index;
        float value;
    };

    SynthRuntime runtime;
    int sampleRate;
    bool built = false;
    int64_t rendered = 0;
    std::vector<Message> pending;
    std::vector<ParameterChange> parameters;
    std::vector<float> out, outRight;
};

} // namespace kvtest

namespace kvtest
{
// Frequency from the rising zero crossings of out[from, to), located to a
// fraction of a sample by linear interpolation; 0 when fewer than two.
inline double MeasureFrequency(const std::vector<float>& out, int64_t from, int64_t to, double sampleRate)
{
    double first = -1.0, last = -1.0;
    int crossings = 0;
    for (int64_t i = from + 1; i < to; ++i)
    {
        const float a = out[static_cast<size_t>(i - 1)], b = out[static_cast<size_t>(i)];
        if (a < 0.0f && b >= 0.0f)
        {
            const double t = static_cast<double>(i - 1) + a / (a - b);
            if (first < 0.0)
                first = t;
            last = t;
            ++crossings;
        }
    }
    return crossings < 2 ? 0.0 : (crossings - 1) * sampleRate / (last - first);
}

// Pitch in volts/10 to hertz: 0.5 (5 V) is 440 Hz, one volt an octave.
inline double PitchToHz(double pitch)
{
    return 440.0 * std::pow(2.0, 10.0 * pitch - 5.0);
}
// The pitch the patch manager gives an untuned key.
inline double KeyPitch(int key)
{
    return (key / 12.0 - 0.75) * 0.1;
}
} // namespace kvtest

namespace kvtest
{
// Amplitude of the component at `hz` in out[from, from + n) (Goertzel).
inline double ToneAmplitude(const std::vector<float>& out, int64_t from, int n, double hz, double sampleRate)
{
    const double w = 2.0 * 3.14159265358979323846 * hz / sampleRate;
    const double coefficient = 2.0 * std::cos(w);
    double s1 = 0.0, s2 = 0.0;
    for (int i = 0; i < n; ++i)
    {
        const double s0 = out[static_cast<size_t>(from + i)] + coefficient * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    const double power = s1 * s1 + s2 * s2 - coefficient * s1 * s2;
    return 2.0 * std::sqrt(std::max(power, 0.0)) / n;
}
} // namespace kvtest
