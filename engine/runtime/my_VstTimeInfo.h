#pragma once
// The host's transport and tempo record, as the processor fills it each block.

#include <cstdint>

struct my_VstTimeInfo
{
    double samplePos = 0.0;
    double sampleRate = 0.0;
    double nanoSeconds = 0.0;
    double ppqPos = 0.0;
    double tempo = 0.0;
    double barStartPos = 0.0;
    double cycleStartPos = 0.0;
    double cycleEndPos = 0.0;
    int32_t timeSigNumerator = 0;
    int32_t timeSigDenominator = 0;
    int32_t smpteOffset = 0;
    int32_t smpteFrameRate = 0;
    int32_t samplesToNextClock = 0;
    int32_t flags = 0;
};
