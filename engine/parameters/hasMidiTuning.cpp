#include "engine/parameters/hasMidiTuning.h"

hasMidiTuning::hasMidiTuning()
{
    for (int k = 0; k < kKeyCount; ++k)
        tune_[static_cast<size_t>(k)] = k * 16384;
}

float hasMidiTuning::KeyPitch(int key) const
{
    const double semitones = static_cast<double>(KeyTune(key)) / 16384.0;
    return static_cast<float>((semitones / 12.0 - 0.75) * 0.1);
}

bool hasMidiTuning::Store(int64_t time, int key, const unsigned char* entry, bool notify)
{
    if (key < 0 || key >= kKeyCount)
        return false;
    const int32_t tune = (entry[0] & 0x7F) * 16384 + (entry[1] & 0x7F) * 128 + (entry[2] & 0x7F);
    if (tune == kNoChange || tune == tune_[static_cast<size_t>(key)])
        return false;
    tune_[static_cast<size_t>(key)] = tune;
    if (notify)
        OnKeyTuningChanged(time, key, tune);
    return true;
}

void hasMidiTuning::OnMidiTuneMessage(int64_t time, const unsigned char* bytes, int size)
{
    if (!bytes || size < 5)
        return;
    switch (bytes[4])
    {
    case 1: // bulk dump
    case 4: // key-based dump with bank
    {
        const int start = bytes[4] == 1 ? 22 : 23;
        for (int key = 0; key < kKeyCount && start + key * 3 + 3 <= size; ++key)
            Store(time, key, bytes + start + key * 3, true);
        break;
    }
    case 2: // single note change
    case 7: // single note change with bank
    {
        const int countAt = bytes[4] == 2 ? 6 : 7;
        if (size <= countAt)
            return;
        const int count = bytes[countAt] & 0x7F;
        const bool notify = bytes[4] == 2;
        for (int i = 0; i < count; ++i)
        {
            const int at = countAt + 1 + i * 4;
            if (at + 4 > size)
                break;
            Store(time, bytes[at] & 0x7F, bytes + at + 1, notify);
        }
        break;
    }
    default:
        break;
    }
}
