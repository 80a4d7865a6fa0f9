#pragma once
// Two processor states of one instrument that differ in every value it
// keeps, written in the state format (the chunk's XML, count first), and a
// third that mixes them: the first state with one value of the second.
// For the demo instrument and the large patch (tests/patches/KvLargePatch,
// whose documents tests/patches/make_large_patch.py writes).

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/conversion.h"

namespace state_pairs
{
struct StatePair
{
    std::string document; // the instrument's dsp.kv.xml
    std::vector<char> first;
    std::vector<char> second;
    std::vector<char> mixture;
};

inline std::string Param(int id, int index, const std::string& value)
{
    return " <Param id=\"" + std::to_string(id) + "\"" + (index >= 0 ? " index=\"" + std::to_string(index) + "\"" : "") +
           " val=\"" + value + "\" />\n";
}

inline std::string Number(double value)
{
    return DoubleToFixedUtf8(value, 4);
}

// The chunk the processor reads: the text's length, then the text.
inline std::vector<char> StateChunk(const std::string& params)
{
    const std::string text = "<?xml version=\"1.0\" ?>\n<Parameters>\n" + params + "</Parameters>\n";
    const auto count = static_cast<int32_t>(text.size());
    std::string bytes(sizeof(count), '\0');
    std::memcpy(bytes.data(), &count, sizeof(count));
    bytes += text;
    return std::vector<char>(bytes.begin(), bytes.end());
}

// The demo instrument: waveform, attack, decay, sustain, release, volume.
// The first is the document's; the mixture has the second's volume.
inline StatePair DemoSynth()
{
    const auto state = [](int wave, double attack, double decay, double sustain, double release, double volume) {
        return StateChunk(Param(100, 0, std::to_string(wave)) + Param(101, 1, Number(attack)) +
                          Param(102, 2, Number(decay)) + Param(103, 3, Number(sustain)) +
                          Param(104, 4, Number(release)) + Param(105, 5, Number(volume)));
    };
    return {KV_DEMO_SYNTH_DOCUMENT, state(0, 0, 3, 7, 3, 1.6), state(4, 1, 4, 10, 4, 4), state(0, 0, 3, 7, 3, 4)};
}

// The large patch: the waveform (index 0), 1,500 parts of the level
// (handles 1000 on, indexes 1 on) and 50 texts of 2,000 characters (handles
// 3000 on). The first is the document's: parts of 1 to 3 mV, a sine, texts
// "tNN-doc-" repeated; the second adds 2 mV to every part, plays a pulse and
// says "tNN-set-". The mixture is the first with the second's last part.
inline StatePair LargePatch(const std::string& folder)
{
    constexpr int kParts = 1500, kTexts = 50, kTextLength = 2000;
    const auto state = [](bool second, int secondFrom) {
        std::string params = Param(100, 0, second ? "4" : "0");
        for (int i = 0; i < kParts; ++i)
            params += Param(1000 + i, i + 1, Number(0.001 * (1 + i % 3) + (second || i >= secondFrom ? 0.002 : 0.0)));
        for (int i = 0; i < kTexts; ++i)
        {
            char unit[16];
            std::snprintf(unit, sizeof(unit), "t%02d-%s-", i, second ? "set" : "doc");
            std::string text;
            while (text.size() < kTextLength)
                text += unit;
            params += Param(3000 + i, -1, text.substr(0, kTextLength));
        }
        return StateChunk(params);
    };
    return {folder + "/KvLargePatch/dsp.kv.xml", state(false, kParts), state(true, 0), state(false, kParts - 1)};
}
} // namespace state_pairs
