#pragma once
// The plug-in's own bypass, switched by the host's bypass parameter. While
// it is on, each output channel carries the dry input of the engine channel
// of the same number (silence where there is none, and for an instrument),
// and the engine goes on running: it still takes every note and value. A
// switch crossfades between the engine's output and the dry signal over
// kRampSeconds, from the sample offset the host gave it, one step per
// sample whatever the host's block size. A switch where the engine's signal
// and the dry one were both exactly 0 on every channel for the ramp's
// length before it (or where nothing has played since activation) takes
// effect at once: nothing sounds to be cut, and a ramp would only let
// through the first milliseconds of a sound that starts after the switch.
// One sample of 0 is not silence: a sounding waveform passes through it.
//
// The patch store keeps whether it is on (it is saved with the state): a
// value set on the controller or by a state switches at the start of the
// next block, as a switch in a block without samples does.
//
// Threads: Prepare is UI (on activation); the rest is Audio: no allocation,
// lock or log.

#include <algorithm>
#include <array>
#include <atomic>
#include <vector>

#include "pluginterfaces/vst/ivstparameterchanges.h"

class KvBypass
{
public:
    // The host parameter: after the MIDI controller and program change ids.
    static constexpr Steinberg::Vst::ParamID kParameterId = 10131;
    static constexpr double kRampSeconds = 0.005;
    // Switches taken in one block; a block with more keeps its last in the last place.
    static constexpr int kMaxSwitches = 32;

    // UI, on activation: room for the dry signal of `channels` outputs in
    // blocks of `maxSamples`, and the ramp at `sampleRate`. A bypass that is
    // on stays on, and one that is off stays off, settled: no ramp and no
    // switch carries over.
    void Prepare(double sampleRate, int maxSamples, int channels);

    // Audio. The host's points of the bypass parameter in this block, on
    // at 0.5 and above, their offsets brought inside the block. A block
    // without samples switches at the start of the next one.
    void ReadSwitches(Steinberg::Vst::IParamValueQueue& queue, Steinberg::int32 numSamples);
    // Audio: at the block's start, to where the store has it (a value set on
    // the controller, or a state), when that is not where it goes already.
    void Follow(bool on);
    // Where the switches taken so far leave the bypass.
    bool LastSwitch() const { return switchCount_ > 0 ? switches_[static_cast<std::size_t>(switchCount_ - 1)].on : on_; }

    // Audio, every block with samples, before the engine writes: keeps
    // `count` samples of the first `inputCount` input channels as the dry
    // signal of the outputs of the same number (buffers the host shares
    // between input and output are then overwritten safely) when the block
    // reads it. Samples beyond the room of Prepare read as silence.
    void KeepDry(float* const* inputs, int inputCount, int count);

    // Audio, every block with samples, after the engine wrote its `count`
    // samples: each output goes from the engine's signal to the dry one and
    // back as the switches say.
    void Mix(float* const* outputs, int outputCount, int count);

private:
    struct Switch
    {
        int offset = 0;
        bool on = false;
    };
    // Runs samples [from, to) of every output with the switch as it is.
    void Run(float* const* outputs, int outputCount, int from, int to);
    // Audio (UI in Prepare): adds a switch at `offset`, unless it switches nothing.
    void AddSwitch(int offset, bool on);
    // Whether the block reads the dry signal: the bypass is on, on its way,
    // or switched in the block.
    bool Engaged() const { return on_ || position_ != 0 || switchCount_ > 0; }
    // Audio: the silent runs carried on over samples [from, to) of the
    // engine's outputs, as it wrote them, and of the dry signal kept.
    void FollowSilence(float* const* outputs, int outputCount, int from, int to);
    // A silent run carried on over `length` samples whose last `zeros` are
    // exactly 0 on every channel (counted up to the ramp's length).
    int Carry(int run, int zeros, int length) const
    {
        return zeros == length ? std::min(run + length, rampLength_) : zeros;
    }
    // Whether nothing has sounded, on either side, for the ramp's length.
    bool Silent() const { return engineSilence_ >= rampLength_ && drySilence_ >= rampLength_; }

    std::vector<float> dry_;
    int channels_ = 0;
    int room_ = 0;
    int rampLength_ = 1;
    // 0: the engine's signal only; rampLength_: the dry signal only.
    int position_ = 0;
    bool on_ = false;
    std::array<Switch, kMaxSwitches> switches_{};
    int switchCount_ = 0;
    // Whether this block reads the dry signal (KeepDry to Mix).
    bool engaged_ = false;
    // Samples up to the last one played where every output of the engine,
    // and every dry channel, was exactly 0, up to the ramp's length; that
    // length too where nothing has played since activation.
    int engineSilence_ = 1;
    int drySilence_ = 1;
};
