#include "shell/KvGuarded.h"

#include <algorithm>

using namespace Steinberg;
using namespace Steinberg::Vst;

// Processor: user-interface thread methods report what process() caught.

tresult PLUGIN_API GuardedProcessor::initialize(FUnknown* context)
{
    ReportProcessFaults();
    return KvGuard::HostCall("initialize", kInternalError, [&] { return ADelayProcessor::initialize(context); });
}

tresult PLUGIN_API GuardedProcessor::terminate()
{
    ReportProcessFaults();
    return KvGuard::HostCall("terminate", kInternalError, [&] { return ADelayProcessor::terminate(); });
}

tresult PLUGIN_API GuardedProcessor::getControllerClassId(TUID classId)
{
    ReportProcessFaults();
    return KvGuard::HostCall("getControllerClassId", kInternalError, [&] { return ADelayProcessor::getControllerClassId(classId); });
}

tresult PLUGIN_API GuardedProcessor::setIoMode(IoMode mode)
{
    ReportProcessFaults();
    return KvGuard::HostCall("setIoMode", kInternalError, [&] { return ADelayProcessor::setIoMode(mode); });
}

int32 PLUGIN_API GuardedProcessor::getBusCount(MediaType type, BusDirection dir)
{
    ReportProcessFaults();
    return KvGuard::HostCall("getBusCount", 0, [&] { return ADelayProcessor::getBusCount(type, dir); });
}

tresult PLUGIN_API GuardedProcessor::getBusInfo(MediaType type, BusDirection dir, int32 index, BusInfo& info)
{
    ReportProcessFaults();
    return KvGuard::HostCall("getBusInfo", kInternalError, [&] { return ADelayProcessor::getBusInfo(type, dir, index, info); });
}

tresult PLUGIN_API GuardedProcessor::getRoutingInfo(RoutingInfo& inInfo, RoutingInfo& outInfo)
{
    ReportProcessFaults();
    return KvGuard::HostCall("getRoutingInfo", kInternalError, [&] { return ADelayProcessor::getRoutingInfo(inInfo, outInfo); });
}

tresult PLUGIN_API GuardedProcessor::activateBus(MediaType type, BusDirection dir, int32 index, TBool state)
{
    ReportProcessFaults();
    return KvGuard::HostCall("activateBus", kInternalError, [&] { return ADelayProcessor::activateBus(type, dir, index, state); });
}

tresult PLUGIN_API GuardedProcessor::setActive(TBool state)
{
    ReportProcessFaults();
    return KvGuard::HostCall("setActive", kInternalError, [&] { return ADelayProcessor::setActive(state); });
}

tresult PLUGIN_API GuardedProcessor::setState(IBStream* state)
{
    ReportProcessFaults();
    return KvGuard::HostCall("setState", kInternalError, [&] { return ADelayProcessor::setState(state); });
}

tresult PLUGIN_API GuardedProcessor::getState(IBStream* state)
{
    ReportProcessFaults();
    return KvGuard::HostCall("getState", kInternalError, [&] { return ADelayProcessor::getState(state); });
}

tresult PLUGIN_API GuardedProcessor::setBusArrangements(SpeakerArrangement* inputs, int32 numIns, SpeakerArrangement* outputs, int32 numOuts)
{
    ReportProcessFaults();
    return KvGuard::HostCall("setBusArrangements", kInternalError, [&] { return ADelayProcessor::setBusArrangements(inputs, numIns, outputs, numOuts); });
}

tresult PLUGIN_API GuardedProcessor::getBusArrangement(BusDirection dir, int32 index, SpeakerArrangement& arr)
{
    ReportProcessFaults();
    return KvGuard::HostCall("getBusArrangement", kInternalError, [&] { return ADelayProcessor::getBusArrangement(dir, index, arr); });
}

tresult PLUGIN_API GuardedProcessor::canProcessSampleSize(int32 symbolicSampleSize)
{
    ReportProcessFaults();
    return KvGuard::HostCall("canProcessSampleSize", kResultFalse, [&] { return ADelayProcessor::canProcessSampleSize(symbolicSampleSize); });
}

uint32 PLUGIN_API GuardedProcessor::getLatencySamples()
{
    ReportProcessFaults();
    return KvGuard::HostCall("getLatencySamples", 0u, [&] { return ADelayProcessor::getLatencySamples(); });
}

tresult PLUGIN_API GuardedProcessor::setupProcessing(ProcessSetup& setup)
{
    ReportProcessFaults();
    return KvGuard::HostCall("setupProcessing", kInternalError, [&] { return ADelayProcessor::setupProcessing(setup); });
}

tresult PLUGIN_API GuardedProcessor::setProcessing(TBool state)
{
    ReportProcessFaults();
    return KvGuard::HostCall("setProcessing", kInternalError, [&] { return ADelayProcessor::setProcessing(state); });
}

uint32 PLUGIN_API GuardedProcessor::getTailSamples()
{
    ReportProcessFaults();
    return KvGuard::HostCall("getTailSamples", 0u, [&] { return ADelayProcessor::getTailSamples(); });
}

uint32 PLUGIN_API GuardedProcessor::getProcessContextRequirements()
{
    ReportProcessFaults();
    return KvGuard::HostCall("getProcessContextRequirements", 0u, [&] { return ADelayProcessor::getProcessContextRequirements(); });
}

tresult PLUGIN_API GuardedProcessor::connect(IConnectionPoint* other)
{
    ReportProcessFaults();
    return KvGuard::HostCall("connect", kInternalError, [&] { return ADelayProcessor::connect(other); });
}

tresult PLUGIN_API GuardedProcessor::disconnect(IConnectionPoint* other)
{
    ReportProcessFaults();
    return KvGuard::HostCall("disconnect", kInternalError, [&] { return ADelayProcessor::disconnect(other); });
}

tresult PLUGIN_API GuardedProcessor::notify(IMessage* message)
{
    ReportProcessFaults();
    return KvGuard::HostCall("notify", kInternalError, [&] { return ADelayProcessor::notify(message); });
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
    return Call("initialize", kInternalError, [&] { return ADelayController::initialize(context); });
}

tresult PLUGIN_API GuardedController::terminate()
{
    return Call("terminate", kInternalError, [&] { return ADelayController::terminate(); });
}

tresult PLUGIN_API GuardedController::connect(IConnectionPoint* other)
{
    return Call("connect", kInternalError, [&] { return ADelayController::connect(other); });
}

tresult PLUGIN_API GuardedController::disconnect(IConnectionPoint* other)
{
    return Call("disconnect", kInternalError, [&] { return ADelayController::disconnect(other); });
}

tresult PLUGIN_API GuardedController::notify(IMessage* message)
{
    return Call("notify", kInternalError, [&] { return ADelayController::notify(message); });
}

tresult PLUGIN_API GuardedController::setComponentState(IBStream* state)
{
    return Call("setComponentState", kInternalError, [&] { return ADelayController::setComponentState(state); });
}

tresult PLUGIN_API GuardedController::setState(IBStream* state)
{
    return Call("setState", kInternalError, [&] { return ADelayController::setState(state); });
}

tresult PLUGIN_API GuardedController::getState(IBStream* state)
{
    return Call("getState", kInternalError, [&] { return ADelayController::getState(state); });
}

int32 PLUGIN_API GuardedController::getParameterCount()
{
    return CallServingHandler("getParameterCount", 0, [&] { return ADelayController::getParameterCount(); });
}

tresult PLUGIN_API GuardedController::getParameterInfo(int32 paramIndex, ParameterInfo& info)
{
    return CallServingHandler("getParameterInfo", kInternalError, [&] { return ADelayController::getParameterInfo(paramIndex, info); });
}

tresult PLUGIN_API GuardedController::getParamStringByValue(ParamID tag, ParamValue valueNormalized, String128 string)
{
    return CallServingHandler("getParamStringByValue", kInternalError, [&] { return ADelayController::getParamStringByValue(tag, valueNormalized, string); });
}

tresult PLUGIN_API GuardedController::getParamValueByString(ParamID tag, TChar* string, ParamValue& valueNormalized)
{
    return CallServingHandler("getParamValueByString", kInternalError, [&] { return ADelayController::getParamValueByString(tag, string, valueNormalized); });
}

ParamValue PLUGIN_API GuardedController::normalizedParamToPlain(ParamID tag, ParamValue valueNormalized)
{
    return Call("normalizedParamToPlain", 0.0, [&] { return ADelayController::normalizedParamToPlain(tag, valueNormalized); });
}

ParamValue PLUGIN_API GuardedController::plainParamToNormalized(ParamID tag, ParamValue plainValue)
{
    return Call("plainParamToNormalized", 0.0, [&] { return ADelayController::plainParamToNormalized(tag, plainValue); });
}

ParamValue PLUGIN_API GuardedController::getParamNormalized(ParamID tag)
{
    return Call("getParamNormalized", 0.0, [&] { return ADelayController::getParamNormalized(tag); });
}

tresult PLUGIN_API GuardedController::setParamNormalized(ParamID tag, ParamValue value)
{
    return Call("setParamNormalized", kInternalError, [&] { return ADelayController::setParamNormalized(tag, value); });
}

tresult PLUGIN_API GuardedController::setComponentHandler(IComponentHandler* handler)
{
    return Call("setComponentHandler", kInternalError, [&] { return ADelayController::setComponentHandler(handler); });
}

IPlugView* PLUGIN_API GuardedController::createView(FIDString name)
{
    return CallServingHandler("createView", static_cast<IPlugView*>(nullptr), [&] { return ADelayController::createView(name); });
}

tresult PLUGIN_API GuardedController::setKnobMode(KnobMode mode)
{
    return Call("setKnobMode", kInternalError, [&] { return ADelayController::setKnobMode(mode); });
}

tresult PLUGIN_API GuardedController::openHelp(TBool onlyCheck)
{
    return Call("openHelp", kResultFalse, [&] { return ADelayController::openHelp(onlyCheck); });
}

tresult PLUGIN_API GuardedController::openAboutBox(TBool onlyCheck)
{
    return Call("openAboutBox", kResultFalse, [&] { return ADelayController::openAboutBox(onlyCheck); });
}

tresult PLUGIN_API GuardedController::getMidiControllerAssignment(int32 busIndex, int16 channel, CtrlNumber midiControllerNumber, ParamID& id)
{
    return Call("getMidiControllerAssignment", kResultFalse, [&] { return ADelayController::getMidiControllerAssignment(busIndex, channel, midiControllerNumber, id); });
}
