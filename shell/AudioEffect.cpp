#include "shell/AudioEffect.h"

#include <cmath>

namespace Steinberg::Vst
{

AudioEffect::AudioEffect()
{
    // What a processor assumes before the host's setupProcessing.
    processSetup_.processMode = kRealtime;
    processSetup_.symbolicSampleSize = kSample32;
    processSetup_.maxSamplesPerBlock = 1024;
    processSetup_.sampleRate = 44100.0;
}

AudioBus* AudioEffect::addAudioInput(const TChar* name, SpeakerArrangement arrangement, BusType busType,
                                     int32 flags)
{
    auto* bus = new AudioBus(name, busType, flags, arrangement);
    audioInputs.push_back(IPtr<Bus>(bus, false));
    return bus;
}

AudioBus* AudioEffect::addAudioOutput(const TChar* name, SpeakerArrangement arrangement, BusType busType,
                                      int32 flags)
{
    auto* bus = new AudioBus(name, busType, flags, arrangement);
    audioOutputs.push_back(IPtr<Bus>(bus, false));
    return bus;
}

EventBus* AudioEffect::addEventInput(const TChar* name, int32 channels, BusType busType, int32 flags)
{
    auto* bus = new EventBus(name, busType, flags, channels);
    eventInputs.push_back(IPtr<Bus>(bus, false));
    return bus;
}

EventBus* AudioEffect::addEventOutput(const TChar* name, int32 channels, BusType busType, int32 flags)
{
    auto* bus = new EventBus(name, busType, flags, channels);
    eventOutputs.push_back(IPtr<Bus>(bus, false));
    return bus;
}

namespace
{
template <typename BusClass>
BusClass* BusAt(BusList& list, int32 index)
{
    if (index < 0 || index >= static_cast<int32>(list.size()))
        return nullptr;
    return FCast<BusClass>(list.at(static_cast<std::size_t>(index)).get());
}
} // namespace

AudioBus* AudioEffect::getAudioInput(int32 index) { return BusAt<AudioBus>(audioInputs, index); }
AudioBus* AudioEffect::getAudioOutput(int32 index) { return BusAt<AudioBus>(audioOutputs, index); }
EventBus* AudioEffect::getEventInput(int32 index) { return BusAt<EventBus>(eventInputs, index); }
EventBus* AudioEffect::getEventOutput(int32 index) { return BusAt<EventBus>(eventOutputs, index); }

tresult PLUGIN_API AudioEffect::setBusArrangements(SpeakerArrangement* inputs, int32 numIns,
                                                   SpeakerArrangement* outputs, int32 numOuts)
{
    if (numIns < 0 || numOuts < 0 || (numIns > 0 && !inputs) || (numOuts > 0 && !outputs))
        return kInvalidArgument;
    if (numIns > static_cast<int32>(audioInputs.size()) || numOuts > static_cast<int32>(audioOutputs.size()))
        return kResultFalse;

    // Checked in full above, so the buses change all together or not at all.
    for (int32 i = 0; i < numIns; ++i)
        getAudioInput(i)->setArrangement(inputs[i]);
    for (int32 i = 0; i < numOuts; ++i)
        getAudioOutput(i)->setArrangement(outputs[i]);
    return kResultTrue;
}

tresult PLUGIN_API AudioEffect::getBusArrangement(BusDirection dir, int32 index, SpeakerArrangement& arr)
{
    AudioBus* bus = dir == kInput ? getAudioInput(index) : dir == kOutput ? getAudioOutput(index) : nullptr;
    if (!bus)
        return kInvalidArgument;
    arr = bus->getArrangement();
    return kResultTrue;
}

tresult PLUGIN_API AudioEffect::canProcessSampleSize(int32 symbolicSampleSize)
{
    return symbolicSampleSize == kSample32 ? kResultTrue : kResultFalse;
}

tresult PLUGIN_API AudioEffect::setupProcessing(ProcessSetup& setup)
{
    // A setup the processor cannot run is refused and the previous one kept.
    if (canProcessSampleSize(setup.symbolicSampleSize) != kResultTrue)
        return kResultFalse;
    // Rates and block sizes beyond any audio hardware are refused: the engine
    // takes the rate as an int and allocates blocks of the maximum size.
    if (!std::isfinite(setup.sampleRate) || setup.sampleRate < kMinSampleRate || setup.sampleRate > kMaxSampleRate ||
        setup.maxSamplesPerBlock <= 0 || setup.maxSamplesPerBlock > kMaxBlockSize ||
        setup.processMode < kRealtime || setup.processMode > kOffline)
        return kInvalidArgument;
    processSetup_ = setup;
    return kResultOk;
}

tresult PLUGIN_API AudioEffect::setProcessing(TBool state)
{
    processing_.store(state != 0);
    return kResultOk;
}

tresult PLUGIN_API AudioEffect::process(ProcessData& /*data*/)
{
    return kNotImplemented;
}

} // namespace Steinberg::Vst
