#pragma once
// Where rendered audio goes, block by block: non-interleaved channels.

class AudioSink
{
public:
    virtual ~AudioSink() = default;
    virtual bool write(const float* const* channels, int numChannels, int frames) = 0;
};
