#include "shell/KvGuarded.h"

#include <algorithm>

using namespace Steinberg;
using namespace Steinberg::Vst;

// Processor: user-interface thread methods report what process() caught.

tresult PLUGIN_API GuardedProcessor::initialize(FUnknown* context)
{
    ReportProcessFaults();
    return KvGuard::Run("initialize", kInternalError, [&] { return ADelayProcessor::initialize(context); });
}

tresult PLUGIN_API GuardedProcessor::terminate()
{
    ReportProcessFaults();
    return KvGuard::Run("terminate", kInternalError, [&] { return ADelayProcessor::terminate(); });
}

tresult PLUGIN_API GuardedProcessor::getControllerClassId(TUID classId)
{
    ReportProcessFaults();
    return KvGuard::Run("getControllerClassId", kInternalError, [&] { return ADelayProcessor::getControllerClassId(classId); });
}

tresult PLUGIN_API GuardedProcessor::setIoMode(IoMode mode)
{
    ReportProcessFaults();
    return KvGuard::Run("setIoMode", kInternalError, [&] { return ADelayProcessor::setIoMode(mode); });
}

int32 PLUGIN_API GuardedProcessor::getBusCount(MediaType type, BusDirection dir)
{
    ReportProcessFaults();
    return KvGuard::Run("getBusCount", 0, [&] { return ADelayProcessor::getBusCount(type, dir); });
}

tresult PLUGIN_API GuardedProcessor::getBusInfo(MediaType type, BusDirection dir, int32 index, BusInfo& info)
{
    ReportProcessFaults();
    return KvGuard::Run("getBusInfo", kInternalError, [&] { return ADelayProcessor::getBusInfo(type, dir, index, info); });
}

tresult PLUGIN_API GuardedProcessor::getRoutingInfo(RoutingInfo& inInfo, RoutingInfo& outInfo)
{
    ReportProcessFaults();
    return KvGuard::Run("getRoutingInfo", kInternalError, [&] { return ADelayProcessor::getRoutingInfo(inInfo, outInfo); });
}

tresult PLUGIN_API GuardedProcessor::activateBus(MediaType type, BusDirection dir, int32 index, TBool state)
{
    ReportProcessFaults();
    return KvGuard::Run("activateBus", kInternalError, [&] { return ADelayProcessor::activateBus(type, dir, index, state); });
}

tresult PLUGIN_API GuardedProcessor::setActive(TBool state)
{
    ReportProcessFaults();
    return KvGuard::Run("setActive", kInternalError, [&] { return ADelayProcessor::setActive(state); });
}

tresult PLUGIN_API GuardedProcessor::setState(IBStream* state)
{
    ReportProcessFaults();
    return KvGuard::Run("setState", kInternalError, [&] { return ADelayProcessor::setState(state); });
}

tresult PLUGIN_API GuardedProcessor::getState(IBStream* state)
{
    ReportProcessFaults();
    return KvGuard::Run("getState", kInternalError, [&] { return ADelayProcessor::getState(state); });
}

tresult PLUGIN_API GuardedProcessor::setBusArrangements(SpeakerArrangement* inputs, int32 numIns, SpeakerArrangement* outputs, int32 numOuts)
{
    ReportProcessFaults();
    return KvGuard::Run("setBusArrangements", kInternalError, [&] { return ADelayProcessor::setBusArrangements(inputs, numIns, outputs, numOuts); });
}

tresult PLUGIN_API GuardedProcessor::getBusArrangement(BusDirection dir, int32 index, SpeakerArrangement& arr)
{
    ReportProcessFaults();
    return KvGuard::Run("getBusArrangement", kInternalError, [&] { return ADelayProcessor::getBusArrangement(dir, index, arr); });
}

tresult PLUGIN_API GuardedProcessor::canProcessSampleSize(int32 symbolicSampleSize)
{
    ReportProcessFaults();
    return KvGuard::Run("canProcessSampleSize", kResultFalse, [&] { return ADelayProcessor::canProcessSampleSize(symbolicSampleSize); });
}

uint32 PLUGIN_API GuardedProcessor::getLatencySamples()
{
    ReportProcessFaults();
    return KvGuard::Run("getLatencySamples", 0u, [&] { return ADelayProcessor::getLatencySamples(); });
}

tresult PLUGIN_API GuardedProcessor::setupProcessing(ProcessSetup& setup)
{
    ReportProcessFaults();
    return KvGuard::Run("setupProcessing", kInternalError, [&] { return ADelayProcessor::setupProcessing(setup); });
}

tresult PLUGIN_API GuardedProcessor::setProcessing(TBool state)
{
    ReportProcessFaults();
    return KvGuard::Run("setProcessing", kInternalError, [&] { return ADelayProcessor::setProcessing(state); });
}

uint32 PLUGIN_API GuardedProcessor::getTailSamples()
{
    ReportProcessFaults();
    return KvGuard::Run("getTailSamples", 0u, [&] { return ADelayProcessor::getTailSamples(); });
}

uint32 PLUGIN_API GuardedProcessor::getProcessContextRequirements()
{
    ReportProcessFaults();
    return KvGuard::Run("getProcessContextRequirements", 0u, [&] { return ADelayProcessor::getProcessContextRequirements(); });
}

tresult PLUGIN_API GuardedProcessor::connect(IConnectionPoint* other)
{
    ReportProcessFaults();
    return KvGuard::Run("connect", kInternalError, [&] { return ADelayProcessor::connect(other); });
}

tresult PLUGIN_API GuardedProcessor::disconnect(IConnectionPoint* other)
{
    ReportProcessFaults();
    return KvGuard::Run("disconnect", kInternalError, [&] { return ADelayProcessor::disconnect(other); });
}

tresult PLUGIN_API GuardedProcessor::notify(IMessage* message)
{
    ReportProcessFaults();
    return KvGuard::Run("notify", kInternalError, [&] { return ADelayProcessor::notify(message); });
}

tresult PLUGIN_API GuardedProcessor::process(ProcessData& data)
{
    const tresult result =
        KvGuard::RunCounted(processFaults_, kInternalError, [&] { return ADelayProcessor::process(data); });
    // A block cut short by an exception is not played half-made.
    if (result == kInternalError)
        Silence(data);
    return result;
}

// Controller.

void PLUGIN_API GuardedController::update(FUnknown* changedUnknown, int32 message)
{
    KvGuard::Run("update", [&] { ADelayController::update(changedUnknown, message); });
}

tresult PLUGIN_API GuardedController::initialize(FUnknown* context)
{
    return KvGuard::Run("initialize", kInternalError, [&] { return ADelayController::initialize(context); });
}

tresult PLUGIN_API GuardedController::terminate()
{
    return KvGuard::Run("terminate", kInternalError, [&] { return ADelayController::terminate(); });
}

tresult PLUGIN_API GuardedController::connect(IConnectionPoint* other)
{
    return KvGuard::Run("connect", kInternalError, [&] { return ADelayController::connect(other); });
}

tresult PLUGIN_API GuardedController::disconnect(IConnectionPoint* other)
{
    return KvGuard::Run("disconnect", kInternalError, [&] { return ADelayController::disconnect(other); });
}

tresult PLUGIN_API GuardedController::notify(IMessage* message)
{
    return KvGuard::Run("notify", kInternalError, [&] { return ADelayController::notify(message); });
}

tresult PLUGIN_API GuardedController::setComponentState(IBStream* state)
{
    return KvGuard::Run("setComponentState", kInternalError, [&] { return ADelayController::setComponentState(state); });
}

tresult PLUGIN_API GuardedController::setState(IBStream* state)
{
    return KvGuard::Run("setState", kInternalError, [&] { return ADelayController::setState(state); });
}

tresult PLUGIN_API GuardedController::getState(IBStream* state)
{
    return KvGuard::Run("getState", kInternalError, [&] { return ADelayController::getState(state); });
}

int32 PLUGIN_API GuardedController::getParameterCount()
{
    return KvGuard::Run("getParameterCount", 0, [&] { return ADelayController::getParameterCount(); });
}

tresult PLUGIN_API GuardedController::getParameterInfo(int32 paramIndex, ParameterInfo& info)
{
    return KvGuard::Run("getParameterInfo", kInternalError, [&] { return ADelayController::getParameterInfo(paramIndex, info); });
}

tresult PLUGIN_API GuardedController::getParamStringByValue(ParamID tag, ParamValue valueNormalized, String128 string)
{
    return KvGuard::Run("getParamStringByValue", kInternalError, [&] { return ADelayController::getParamStringByValue(tag, valueNormalized, string); });
}

tresult PLUGIN_API GuardedController::getParamValueByString(ParamID tag, TChar* string, ParamValue& valueNormalized)
{
    return KvGuard::Run("getParamValueByString", kInternalError, [&] { return ADelayController::getParamValueByString(tag, string, valueNormalized); });
}

ParamValue PLUGIN_API GuardedController::normalizedParamToPlain(ParamID tag, ParamValue valueNormalized)
{
    return KvGuard::Run("normalizedParamToPlain", 0.0, [&] { return ADelayController::normalizedParamToPlain(tag, valueNormalized); });
}

ParamValue PLUGIN_API GuardedController::plainParamToNormalized(ParamID tag, ParamValue plainValue)
{
    return KvGuard::Run("plainParamToNormalized", 0.0, [&] { return ADelayController::plainParamToNormalized(tag, plainValue); });
}

ParamValue PLUGIN_API GuardedController::getParamNormalized(ParamID tag)
{
    return KvGuard::Run("getParamNormalized", 0.0, [&] { return ADelayController::getParamNormalized(tag); });
}

tresult PLUGIN_API GuardedController::setParamNormalized(ParamID tag, ParamValue value)
{
    return KvGuard::Run("setParamNormalized", kInternalError, [&] { return ADelayController::setParamNormalized(tag, value); });
}

tresult PLUGIN_API GuardedController::setComponentHandler(IComponentHandler* handler)
{
    return KvGuard::Run("setComponentHandler", kInternalError, [&] { return ADelayController::setComponentHandler(handler); });
}

IPlugView* PLUGIN_API GuardedController::createView(FIDString name)
{
    return KvGuard::Run("createView", static_cast<IPlugView*>(nullptr), [&] { return ADelayController::createView(name); });
}

tresult PLUGIN_API GuardedController::setKnobMode(KnobMode mode)
{
    return KvGuard::Run("setKnobMode", kInternalError, [&] { return ADelayController::setKnobMode(mode); });
}

tresult PLUGIN_API GuardedController::openHelp(TBool onlyCheck)
{
    return KvGuard::Run("openHelp", kResultFalse, [&] { return ADelayController::openHelp(onlyCheck); });
}

tresult PLUGIN_API GuardedController::openAboutBox(TBool onlyCheck)
{
    return KvGuard::Run("openAboutBox", kResultFalse, [&] { return ADelayController::openAboutBox(onlyCheck); });
}

tresult PLUGIN_API GuardedController::getMidiControllerAssignment(int32 busIndex, int16 channel, CtrlNumber midiControllerNumber, ParamID& id)
{
    return KvGuard::Run("getMidiControllerAssignment", kResultFalse, [&] { return ADelayController::getMidiControllerAssignment(busIndex, channel, midiControllerNumber, id); });
}
