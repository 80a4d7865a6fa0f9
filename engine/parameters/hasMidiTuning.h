#pragma once
// A 128-key tuning table fed by MIDI Tuning Standard messages. Each key's
// tuning is in 1/16384 semitone units; untuned, key k is k x 16384.

#include <array>
#include <cstddef>
#include <cstdint>

class hasMidiTuning
{
public:
    static constexpr int kKeyCount = 128;
    // Three 7-bit bytes 7F 7F 7F: leave the key as it is.
    static constexpr int32_t kNoChange = 0x1FFFFF;

    hasMidiTuning();
    virtual ~hasMidiTuning() = default;

    virtual void OnKeyTuningChanged(int64_t /*time*/, int /*key*/, int /*tune*/) {}
    // A universal real-time tuning message (sub-id 8); size bounds every read.
    void OnMidiTuneMessage(int64_t time, const unsigned char* bytes, int size);
    int KeyTune(int key) const { return key >= 0 && key < kKeyCount ? tune_[static_cast<size_t>(key)] : 0; }
    // Pitch of a key as a signal value: key 69 untuned is 0.5 (5 V, 440 Hz).
    float KeyPitch(int key) const;
    // The whole table, for an engine built again from its document; setting
    // it tells no one (notes take their pitch from it as they start).
    using Table = std::array<int32_t, kKeyCount>;
    const Table& Tuning() const { return tune_; }
    void SetTuning(const Table& table) { tune_ = table; }

protected:
    Table tune_{};

private:
    bool Store(int64_t time, int key, const unsigned char* entry, bool notify);
};
