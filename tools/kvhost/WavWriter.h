#pragma once
// A RIFF/WAVE file of 32-bit float or 16-bit PCM samples, written as blocks
// arrive; the sizes in the header are filled in by close().

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "tools/kvhost/AudioSink.h"

enum class WavFormat
{
    Float32,
    Pcm16
};

class WavWriter : public AudioSink
{
public:
    WavWriter() = default;
    ~WavWriter() override;
    WavWriter(const WavWriter&) = delete;
    WavWriter& operator=(const WavWriter&) = delete;

    bool open(const std::string& path, int numChannels, int sampleRate, WavFormat format, std::string& error);
    // Takes exactly the channel count given to open().
    bool write(const float* const* channels, int numChannels, int frames) override;
    // Completes the header; false (with `error`) when any write failed.
    bool close(std::string& error);

    std::uint64_t framesWritten() const { return frames_; }

private:
    bool writeHeader();

    std::FILE* file_ = nullptr;
    std::string path_;
    int numChannels_ = 0;
    int sampleRate_ = 0;
    WavFormat format_ = WavFormat::Float32;
    std::uint64_t frames_ = 0;
    bool failed_ = false;
    std::string failure_;
    std::vector<unsigned char> buffer_;
};
