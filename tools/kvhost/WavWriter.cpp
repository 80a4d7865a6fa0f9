#include "tools/kvhost/WavWriter.h"

#include <cerrno>
#include <cmath>
#include <cstring>

namespace
{
constexpr std::uint64_t kMaxDataBytes = 0xFFFFFFFFull - 64;

void Put16(std::vector<unsigned char>& out, std::uint32_t value)
{
    out.push_back(static_cast<unsigned char>(value & 0xFF));
    out.push_back(static_cast<unsigned char>((value >> 8) & 0xFF));
}

void Put32(std::vector<unsigned char>& out, std::uint32_t value)
{
    Put16(out, value & 0xFFFF);
    Put16(out, value >> 16);
}

void PutTag(std::vector<unsigned char>& out, const char* tag)
{
    out.insert(out.end(), tag, tag + 4);
}
} // namespace

WavWriter::~WavWriter()
{
    std::string ignored;
    close(ignored);
}

bool WavWriter::open(const std::string& path, int numChannels, int sampleRate, WavFormat format, std::string& error)
{
    std::string ignored;
    close(ignored);
    if (numChannels < 1 || numChannels > 256 || sampleRate < 1)
    {
        error = "cannot write a WAV file of " + std::to_string(numChannels) + " channels at " +
                std::to_string(sampleRate) + " Hz";
        return false;
    }
    file_ = std::fopen(path.c_str(), "wb");
    if (!file_)
    {
        error = "cannot create \"" + path + "\": " + std::strerror(errno);
        return false;
    }
    path_ = path;
    numChannels_ = numChannels;
    sampleRate_ = sampleRate;
    format_ = format;
    frames_ = 0;
    failed_ = false;
    failure_.clear();
    if (!writeHeader())
    {
        error = failure_;
        close(ignored);
        return false;
    }
    return true;
}

bool WavWriter::writeHeader()
{
    const bool isFloat = format_ == WavFormat::Float32;
    const std::uint32_t bytesPerSample = isFloat ? 4 : 2;
    const std::uint64_t dataBytes = frames_ * numChannels_ * bytesPerSample;
    std::vector<unsigned char> header;
    // Float files carry the extended format size and a fact chunk, as the format asks.
    const std::uint32_t formatSize = isFloat ? 18 : 16;
    const std::uint32_t factSize = isFloat ? 12 : 0;
    PutTag(header, "RIFF");
    Put32(header, static_cast<std::uint32_t>(4 + 8 + formatSize + factSize + 8 + dataBytes));
    PutTag(header, "WAVE");
    PutTag(header, "fmt ");
    Put32(header, formatSize);
    Put16(header, isFloat ? 3 : 1);
    Put16(header, static_cast<std::uint32_t>(numChannels_));
    Put32(header, static_cast<std::uint32_t>(sampleRate_));
    Put32(header, static_cast<std::uint32_t>(sampleRate_) * numChannels_ * bytesPerSample);
    Put16(header, numChannels_ * bytesPerSample);
    Put16(header, bytesPerSample * 8);
    if (isFloat)
    {
        Put16(header, 0);
        PutTag(header, "fact");
        Put32(header, 4);
        Put32(header, static_cast<std::uint32_t>(frames_));
    }
    PutTag(header, "data");
    Put32(header, static_cast<std::uint32_t>(dataBytes));

    if (std::fseek(file_, 0, SEEK_SET) != 0 || std::fwrite(header.data(), 1, header.size(), file_) != header.size())
    {
        failed_ = true;
        failure_ = "error writing \"" + path_ + "\"";
        return false;
    }
    return true;
}

bool WavWriter::write(const float* const* channels, int numChannels, int frames)
{
    if (!file_ || failed_)
        return false;
    if (numChannels != numChannels_ || frames < 0 || !channels)
    {
        failed_ = true;
        failure_ = "audio of the wrong shape for \"" + path_ + "\"";
        return false;
    }
    const std::uint64_t bytesPerSample = format_ == WavFormat::Float32 ? 4 : 2;
    if ((frames_ + frames) * numChannels_ * bytesPerSample > kMaxDataBytes)
    {
        failed_ = true;
        failure_ = "\"" + path_ + "\" would exceed the 4 GiB a WAV file can hold";
        return false;
    }

    buffer_.clear();
    for (int i = 0; i < frames; ++i)
    {
        for (int c = 0; c < numChannels_; ++c)
        {
            const float sample = channels[c] ? channels[c][i] : 0.0f;
            if (format_ == WavFormat::Float32)
            {
                std::uint32_t bits = 0;
                std::memcpy(&bits, &sample, sizeof(bits));
                Put32(buffer_, bits);
            }
            else
            {
                // Clipped to full scale; NaN is written as silence.
                const float clipped = std::isnan(sample) ? 0.0f : std::fmax(-1.0f, std::fmin(1.0f, sample));
                const auto value = static_cast<std::int16_t>(std::lrint(clipped * 32767.0f));
                Put16(buffer_, static_cast<std::uint16_t>(value));
            }
        }
    }
    if (!buffer_.empty() && std::fwrite(buffer_.data(), 1, buffer_.size(), file_) != buffer_.size())
    {
        failed_ = true;
        failure_ = "error writing \"" + path_ + "\"";
        return false;
    }
    frames_ += static_cast<std::uint64_t>(frames);
    return true;
}

bool WavWriter::close(std::string& error)
{
    if (!file_)
        return true;
    if (!failed_)
        writeHeader();
    if (std::fclose(file_) != 0 && !failed_)
    {
        failed_ = true;
        failure_ = "error closing \"" + path_ + "\"";
    }
    file_ = nullptr;
    if (failed_)
        error = failure_;
    return !failed_;
}
