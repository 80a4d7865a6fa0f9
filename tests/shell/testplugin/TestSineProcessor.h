#pragma once
// The test instrument's processor: one sine per held note, at
// 440 * 2^((key - 69) / 12) Hz and an amplitude of gain * velocity, on one
// stereo output. It reports through output parameters how many messages it
// got from the controller and the tempo it saw.

#include <array>
#include <atomic>

#include "shell/AudioEffect.h"

class TestSineProcessor : public Steinberg::Vst::AudioEffect
{
public:
    TestSineProcessor();

    Steinberg::tresult PLUGIN_API initialize(Steinberg::FUnknown* context) SMTG_OVERRIDE;
    Steinberg::tresult PLUGIN_API setBusArrangements(Steinberg::Vst::SpeakerArrangement* inputs,
                                                     Steinberg::int32 numIns,
                                                     Steinberg::Vst::SpeakerArrangement* outputs,
                                                     Steinberg::int32 numOuts) SMTG_OVERRIDE;
    Steinberg::tresult PLUGIN_API setupProcessing(Steinberg::Vst::ProcessSetup& setup) SMTG_OVERRIDE;
    Steinberg::tresult PLUGIN_API setActive(Steinberg::TBool state) SMTG_OVERRIDE;
    Steinberg::tresult PLUGIN_API setProcessing(Steinberg::TBool state) SMTG_OVERRIDE;
    Steinberg::tresult PLUGIN_API process(Steinberg::Vst::ProcessData& data) SMTG_OVERRIDE;
    Steinberg::tresult PLUGIN_API setState(Steinberg::IBStream* state) SMTG_OVERRIDE;
    Steinberg::tresult PLUGIN_API getState(Steinberg::IBStream* state) SMTG_OVERRIDE;
    Steinberg::tresult PLUGIN_API connect(Steinberg::Vst::IConnectionPoint* other) SMTG_OVERRIDE;
    Steinberg::tresult PLUGIN_API notify(Steinberg::Vst::IMessage* message) SMTG_OVERRIDE;

private:
    struct Voice
    {
        int key = -1;
        double phase = 0.0;
        double increment = 0.0;
        double amplitude = 0.0;
    };

    void startNote(int key, float velocity);
    void stopNote(int key);
    void render(float* left, float* right, Steinberg::int32 from, Steinberg::int32 to);
    void reportOutputs(Steinberg::Vst::ProcessData& data);

    std::array<Voice, 16> voices_;
    std::atomic<float> gain_;
    std::atomic<int> messagesReceived_{0};
};
