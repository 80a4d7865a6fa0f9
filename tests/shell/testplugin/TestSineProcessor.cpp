#include "TestSineProcessor.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <string>

#include "TestSineIds.h"
#include "TestSineSettings.h"
#include "pluginterfaces/base/ustring.h"
#include "pluginterfaces/vst/ivstevents.h"
#include "pluginterfaces/vst/ivstparameterchanges.h"
#include "pluginterfaces/vst/ivstprocesscontext.h"

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace
{
bool Fails(const char* call) { return TestSineSettings::Get().fails(call); }
} // namespace

TestSineProcessor::TestSineProcessor() : gain_(static_cast<float>(TestSine::kDefaultGain))
{
    setControllerClass(TestSineSettings::Get().controllerId_);
    setProcessContextRequirements(IProcessContextRequirements::kNeedTempo |
                                  IProcessContextRequirements::kNeedTransportState |
                                  IProcessContextRequirements::kNeedProjectTimeMusic);
}

tresult PLUGIN_API TestSineProcessor::initialize(FUnknown* context)
{
    if (Fails("initialize"))
        return kResultFalse;
    const tresult result = AudioEffect::initialize(context);
    if (result != kResultOk)
        return result;
    addEventInput(STR16("Notes"), 16);
    addAudioOutput(STR16("Out"), SpeakerArr::kStereo);
    return kResultOk;
}

tresult PLUGIN_API TestSineProcessor::setBusArrangements(SpeakerArrangement* inputs, int32 numIns,
                                                         SpeakerArrangement* outputs, int32 numOuts)
{
    // Stereo out and no inputs is the only layout this instrument plays.
    if (numIns != 0 || numOuts != 1 || !outputs || outputs[0] != SpeakerArr::kStereo)
        return kResultFalse;
    return AudioEffect::setBusArrangements(inputs, numIns, outputs, numOuts);
}

tresult PLUGIN_API TestSineProcessor::setupProcessing(ProcessSetup& setup)
{
    return Fails("setupProcessing") ? kResultFalse : AudioEffect::setupProcessing(setup);
}

tresult PLUGIN_API TestSineProcessor::setActive(TBool state)
{
    if (Fails("setActive"))
        return kResultFalse;
    for (auto& voice : voices_)
        voice = Voice();
    return AudioEffect::setActive(state);
}

tresult PLUGIN_API TestSineProcessor::setProcessing(TBool state)
{
    return Fails("setProcessing") ? kResultFalse : AudioEffect::setProcessing(state);
}

void TestSineProcessor::startNote(int key, float velocity)
{
    auto free = std::find_if(voices_.begin(), voices_.end(), [](const Voice& v) { return v.key < 0; });
    Voice& voice = free != voices_.end() ? *free : voices_.front();
    const double frequency = 440.0 * std::pow(2.0, (key - 69) / 12.0);
    voice.key = key;
    voice.phase = 0.0;
    voice.increment = 2.0 * std::numbers::pi * frequency / processSetup_.sampleRate;
    voice.amplitude = velocity;
}

void TestSineProcessor::stopNote(int key)
{
    for (auto& voice : voices_)
        if (voice.key == key)
            voice.key = -1;
}

void TestSineProcessor::render(float* left, float* right, int32 from, int32 to)
{
    const double gain = gain_.load();
    for (int32 i = from; i < to; ++i)
    {
        double sum = 0.0;
        for (auto& voice : voices_)
        {
            if (voice.key < 0)
                continue;
            sum += voice.amplitude * std::sin(voice.phase);
            voice.phase += voice.increment;
            if (voice.phase >= 2.0 * std::numbers::pi)
                voice.phase -= 2.0 * std::numbers::pi;
        }
        if (left)
        {
            left[i] = static_cast<float>(gain * sum);
            right[i] = left[i];
        }
    }
}

tresult PLUGIN_API TestSineProcessor::process(ProcessData& data)
{
    if (Fails("process"))
        return kResultFalse;

    IParamValueQueue* gainQueue = nullptr;
    if (IParameterChanges* changes = data.inputParameterChanges)
        for (int32 q = 0; q < changes->getParameterCount(); ++q)
            if (IParamValueQueue* queue = changes->getParameterData(q))
                if (queue->getParameterId() == TestSine::kGainId)
                    gainQueue = queue;
    const int32 gainPoints = gainQueue ? gainQueue->getPointCount() : 0;
    reportOutputs(data);

    // A block without samples only flushes parameters: the last gain counts.
    if (data.numSamples <= 0)
    {
        int32 offset = 0;
        ParamValue value = 0.0;
        if (gainPoints > 0 && gainQueue->getPoint(gainPoints - 1, offset, value) == kResultOk)
            gain_ = static_cast<float>(std::clamp(value, 0.0, 1.0));
        return kResultOk;
    }

    float* left = nullptr;
    float* right = nullptr;
    if (data.numOutputs > 0 && data.outputs && data.outputs[0].numChannels >= 2 && data.outputs[0].channelBuffers32 &&
        data.outputs[0].channelBuffers32[0] && data.outputs[0].channelBuffers32[1])
    {
        left = data.outputs[0].channelBuffers32[0];
        right = data.outputs[0].channelBuffers32[1];
        data.outputs[0].silenceFlags = 0;
    }

    // Gain points and notes take effect on their own samples, in time order.
    IEventList* events = data.inputEvents;
    const int32 eventCount = events ? events->getEventCount() : 0;
    int32 gainIndex = 0;
    int32 eventIndex = 0;
    int32 done = 0;
    constexpr int32 kNever = std::numeric_limits<int32>::max();
    for (;;)
    {
        int32 gainAt = kNever;
        int32 eventAt = kNever;
        int32 offset = 0;
        ParamValue value = 0.0;
        Event event{};
        if (gainIndex < gainPoints && gainQueue->getPoint(gainIndex, offset, value) == kResultOk)
            gainAt = std::clamp(offset, done, data.numSamples);
        if (eventIndex < eventCount && events->getEvent(eventIndex, event) == kResultOk)
            eventAt = std::clamp(event.sampleOffset, done, data.numSamples);
        if (gainAt == kNever && eventAt == kNever)
            break;
        const int32 at = std::min(gainAt, eventAt);
        render(left, right, done, at);
        done = at;
        if (gainAt <= eventAt)
        {
            gain_ = static_cast<float>(std::clamp(value, 0.0, 1.0));
            ++gainIndex;
        }
        else
        {
            if (event.type == Event::kNoteOnEvent)
                startNote(event.noteOn.pitch, event.noteOn.velocity);
            else if (event.type == Event::kNoteOffEvent)
                stopNote(event.noteOff.pitch);
            ++eventIndex;
        }
    }
    render(left, right, done, data.numSamples);
    return kResultOk;
}

void TestSineProcessor::reportOutputs(ProcessData& data)
{
    IParameterChanges* out = data.outputParameterChanges;
    if (!out)
        return;
    int32 index = 0;
    if (IParamValueQueue* queue = out->addParameterData(TestSine::kProcessorMessagesId, index))
        queue->addPoint(0, std::min(messagesReceived_.load(), 100) / 100.0, index);
    if (data.processContext && (data.processContext->state & ProcessContext::kTempoValid))
        if (IParamValueQueue* queue = out->addParameterData(TestSine::kTempoId, index))
            queue->addPoint(0, std::clamp(data.processContext->tempo / 1000.0, 0.0, 1.0), index);
}

tresult PLUGIN_API TestSineProcessor::setState(IBStream* state)
{
    float gain = 0.0f;
    if (Fails("setState") || !TestSine::ReadGainState(state, gain))
        return kResultFalse;
    gain_ = gain;
    return kResultOk;
}

tresult PLUGIN_API TestSineProcessor::getState(IBStream* state)
{
    if (Fails("getState"))
        return kResultFalse;
    return TestSine::WriteGainState(state, gain_.load()) ? kResultOk : kResultFalse;
}

tresult PLUGIN_API TestSineProcessor::connect(IConnectionPoint* other)
{
    if (Fails("connect"))
        return kResultFalse;
    const tresult result = AudioEffect::connect(other);
    if (result == kResultOk)
        sendMessageID(TestSine::kHelloMessage);
    return result;
}

tresult PLUGIN_API TestSineProcessor::notify(IMessage* message)
{
    if (!message || !message->getMessageID())
        return kInvalidArgument;
    const std::string id = message->getMessageID();
    if (id == TestSine::kHelloMessage)
    {
        ++messagesReceived_;
        sendMessageID(TestSine::kHelloBackMessage);
        return kResultOk;
    }
    if (id == TestSine::kHelloBackMessage)
    {
        ++messagesReceived_;
        return kResultOk;
    }
    return AudioEffect::notify(message);
}
