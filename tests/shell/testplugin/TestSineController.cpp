#include "TestSineController.h"

#include <algorithm>
#include <string>

#include "TestSineIds.h"
#include "TestSineSettings.h"
#include "pluginterfaces/base/ustring.h"

using namespace Steinberg;
using namespace Steinberg::Vst;

tresult PLUGIN_API TestSineController::initialize(FUnknown* context)
{
    if (TestSineSettings::Get().fails("controllerInitialize"))
        return kResultFalse;
    const tresult result = EditController::initialize(context);
    if (result != kResultOk)
        return result;
    parameters.addParameter(STR16("Gain"), nullptr, 0, TestSine::kDefaultGain, ParameterInfo::kCanAutomate,
                            TestSine::kGainId);
    parameters.addParameter(STR16("Controller messages"), nullptr, 0, 0.0, ParameterInfo::kIsReadOnly,
                            TestSine::kControllerMessagesId);
    parameters.addParameter(STR16("Processor messages"), nullptr, 0, 0.0, ParameterInfo::kIsReadOnly,
                            TestSine::kProcessorMessagesId);
    parameters.addParameter(STR16("Tempo"), nullptr, 0, 0.0, ParameterInfo::kIsReadOnly, TestSine::kTempoId);
    return kResultOk;
}

tresult PLUGIN_API TestSineController::setComponentState(IBStream* state)
{
    float gain = 0.0f;
    if (TestSineSettings::Get().fails("setComponentState") || !TestSine::ReadGainState(state, gain))
        return kResultFalse;
    setParamNormalized(TestSine::kGainId, gain);
    return kResultOk;
}

tresult PLUGIN_API TestSineController::connect(IConnectionPoint* other)
{
    const tresult result = EditController::connect(other);
    if (result == kResultOk)
        sendMessageID(TestSine::kHelloMessage);
    return result;
}

tresult PLUGIN_API TestSineController::notify(IMessage* message)
{
    if (!message || !message->getMessageID())
        return kInvalidArgument;
    const std::string id = message->getMessageID();
    if (id != TestSine::kHelloMessage && id != TestSine::kHelloBackMessage)
        return EditController::notify(message);
    ++messagesReceived_;
    setParamNormalized(TestSine::kControllerMessagesId, std::min(messagesReceived_, 100) / 100.0);
    if (id == TestSine::kHelloMessage)
        sendMessageID(TestSine::kHelloBackMessage);
    return kResultOk;
}

tresult PLUGIN_API TestSineController::getMidiControllerAssignment(int32 busIndex, int16 /*channel*/,
                                                                   CtrlNumber midiControllerNumber, ParamID& id)
{
    if (busIndex != 0 || midiControllerNumber != TestSine::kMidiVolume)
        return kResultFalse;
    id = TestSine::kGainId;
    return kResultOk;
}
