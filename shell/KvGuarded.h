#pragma once
// The processor, controller and editor view as the host gets them: every
// interface method the host can call runs through KvGuard, so an exception
// becomes a result code (kInternalError, or null / 0 where the method returns
// no result) and a log line instead of ending the host. The factory makes
// these; the classes below them carry the behaviour.

#include <atomic>

#include "shell/ADelayController.h"
#include "shell/ADelayProcessor.h"
#include "shell/KvGuard.h"

// SDK interfaces are COM-style: objects die through release(), never through
// a base pointer, so their bases have no virtual destructor.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"

// Threads: process() runs on the audio thread and never logs (an exception
// there is counted and reported by the next call on the user-interface
// thread); every other method runs on the user-interface thread.
class GuardedProcessor final : public ADelayProcessor
{
public:
    using ADelayProcessor::ADelayProcessor;

    Steinberg::tresult PLUGIN_API initialize(Steinberg::FUnknown* context) override;
    Steinberg::tresult PLUGIN_API terminate() override;
    Steinberg::tresult PLUGIN_API getControllerClassId(Steinberg::TUID classId) override;
    Steinberg::tresult PLUGIN_API setIoMode(Steinberg::Vst::IoMode mode) override;
    Steinberg::int32 PLUGIN_API getBusCount(Steinberg::Vst::MediaType type,
                                            Steinberg::Vst::BusDirection dir) override;
    Steinberg::tresult PLUGIN_API getBusInfo(Steinberg::Vst::MediaType type, Steinberg::Vst::BusDirection dir,
                                             Steinberg::int32 index, Steinberg::Vst::BusInfo& info) override;
    Steinberg::tresult PLUGIN_API getRoutingInfo(Steinberg::Vst::RoutingInfo& inInfo,
                                                 Steinberg::Vst::RoutingInfo& outInfo) override;
    Steinberg::tresult PLUGIN_API activateBus(Steinberg::Vst::MediaType type, Steinberg::Vst::BusDirection dir,
                                              Steinberg::int32 index, Steinberg::TBool state) override;
    Steinberg::tresult PLUGIN_API setActive(Steinberg::TBool state) override;
    Steinberg::tresult PLUGIN_API setState(Steinberg::IBStream* state) override;
    Steinberg::tresult PLUGIN_API getState(Steinberg::IBStream* state) override;
    Steinberg::tresult PLUGIN_API setBusArrangements(Steinberg::Vst::SpeakerArrangement* inputs,
                                                     Steinberg::int32 numIns,
                                                     Steinberg::Vst::SpeakerArrangement* outputs,
                                                     Steinberg::int32 numOuts) override;
    Steinberg::tresult PLUGIN_API getBusArrangement(Steinberg::Vst::BusDirection dir, Steinberg::int32 index,
                                                    Steinberg::Vst::SpeakerArrangement& arr) override;
    Steinberg::tresult PLUGIN_API canProcessSampleSize(Steinberg::int32 symbolicSampleSize) override;
    Steinberg::uint32 PLUGIN_API getLatencySamples() override;
    Steinberg::tresult PLUGIN_API setupProcessing(Steinberg::Vst::ProcessSetup& setup) override;
    Steinberg::tresult PLUGIN_API setProcessing(Steinberg::TBool state) override;
    Steinberg::tresult PLUGIN_API process(Steinberg::Vst::ProcessData& data) override;
    Steinberg::uint32 PLUGIN_API getTailSamples() override;
    Steinberg::uint32 PLUGIN_API getProcessContextRequirements() override;
    Steinberg::tresult PLUGIN_API connect(Steinberg::Vst::IConnectionPoint* other) override;
    Steinberg::tresult PLUGIN_API disconnect(Steinberg::Vst::IConnectionPoint* other) override;
    Steinberg::tresult PLUGIN_API notify(Steinberg::Vst::IMessage* message) override;

private:
    // Exceptions caught in process(), not yet reported.
    std::atomic<int> processFaults_{0};
    void ReportProcessFaults() { KvGuard::ReportCounted("process", processFaults_); }
};

// Threads: user-interface thread.
class GuardedController final : public ADelayController
{
public:
    using ADelayController::ADelayController;

    Steinberg::tresult PLUGIN_API initialize(Steinberg::FUnknown* context) override;
    Steinberg::tresult PLUGIN_API terminate() override;
    void PLUGIN_API update(Steinberg::FUnknown* changedUnknown, Steinberg::int32 message) override;
    Steinberg::tresult PLUGIN_API connect(Steinberg::Vst::IConnectionPoint* other) override;
    Steinberg::tresult PLUGIN_API disconnect(Steinberg::Vst::IConnectionPoint* other) override;
    Steinberg::tresult PLUGIN_API notify(Steinberg::Vst::IMessage* message) override;
    Steinberg::tresult PLUGIN_API setComponentState(Steinberg::IBStream* state) override;
    Steinberg::tresult PLUGIN_API setState(Steinberg::IBStream* state) override;
    Steinberg::tresult PLUGIN_API getState(Steinberg::IBStream* state) override;
    Steinberg::int32 PLUGIN_API getParameterCount() override;
    Steinberg::tresult PLUGIN_API getParameterInfo(Steinberg::int32 paramIndex,
                                                   Steinberg::Vst::ParameterInfo& info) override;
    Steinberg::tresult PLUGIN_API getParamStringByValue(Steinberg::Vst::ParamID tag,
                                                        Steinberg::Vst::ParamValue valueNormalized,
                                                        Steinberg::Vst::String128 string) override;
    Steinberg::tresult PLUGIN_API getParamValueByString(Steinberg::Vst::ParamID tag, Steinberg::Vst::TChar* string,
                                                        Steinberg::Vst::ParamValue& valueNormalized) override;
    Steinberg::Vst::ParamValue PLUGIN_API normalizedParamToPlain(Steinberg::Vst::ParamID tag,
                                                                 Steinberg::Vst::ParamValue valueNormalized) override;
    Steinberg::Vst::ParamValue PLUGIN_API plainParamToNormalized(Steinberg::Vst::ParamID tag,
                                                                 Steinberg::Vst::ParamValue plainValue) override;
    Steinberg::Vst::ParamValue PLUGIN_API getParamNormalized(Steinberg::Vst::ParamID tag) override;
    Steinberg::tresult PLUGIN_API setParamNormalized(Steinberg::Vst::ParamID tag,
                                                     Steinberg::Vst::ParamValue value) override;
    Steinberg::tresult PLUGIN_API setComponentHandler(Steinberg::Vst::IComponentHandler* handler) override;
    Steinberg::IPlugView* PLUGIN_API createView(Steinberg::FIDString name) override;
    Steinberg::tresult PLUGIN_API setKnobMode(Steinberg::Vst::KnobMode mode) override;
    Steinberg::tresult PLUGIN_API openHelp(Steinberg::TBool onlyCheck) override;
    Steinberg::tresult PLUGIN_API openAboutBox(Steinberg::TBool onlyCheck) override;
    Steinberg::tresult PLUGIN_API getMidiControllerAssignment(Steinberg::int32 busIndex, Steinberg::int16 channel,
                                                              Steinberg::Vst::CtrlNumber midiControllerNumber,
                                                              Steinberg::Vst::ParamID& id) override;

private:
    template <typename Failed, typename Body>
    std::invoke_result_t<Body&> Call(const char* where, Failed failed, Body&& body) noexcept
    {
        return KvGuard::HostCall(where, failed, body);
    }
    // A call a host makes to describe or show its parameters, or to open the
    // editor: hosts make these outside their own loads of programs, presets
    // and states, which some make holding a lock their handler takes. So a
    // host without a run loop hears here, first, of the handler calls that
    // wait.
    template <typename Failed, typename Body>
    std::invoke_result_t<Body&> CallServingHandler(const char* where, Failed failed, Body&& body) noexcept
    {
        KvGuard::Run("the host's handler", [&] { ServeHostCallsBeforeHostCall(); });
        return KvGuard::HostCall(where, failed, body);
    }
};

// The editor view's IPlugView methods, guarded. Threads: user-interface thread.
template <class View>
class GuardedView final : public View
{
public:
    using View::View;

    Steinberg::tresult PLUGIN_API isPlatformTypeSupported(Steinberg::FIDString type) override
    {
        return KvGuard::HostCall("isPlatformTypeSupported", Steinberg::kResultFalse,
                            [&] { return View::isPlatformTypeSupported(type); });
    }
    Steinberg::tresult PLUGIN_API attached(void* parent, Steinberg::FIDString type) override
    {
        return KvGuard::HostCall("attached", Steinberg::kInternalError, [&] { return View::attached(parent, type); });
    }
    Steinberg::tresult PLUGIN_API removed() override
    {
        return KvGuard::HostCall("removed", Steinberg::kInternalError, [&] { return View::removed(); });
    }
    Steinberg::tresult PLUGIN_API onWheel(float distance) override
    {
        return KvGuard::HostCall("onWheel", Steinberg::kInternalError, [&] { return View::onWheel(distance); });
    }
    Steinberg::tresult PLUGIN_API onKeyDown(Steinberg::char16 key, Steinberg::int16 keyCode,
                                            Steinberg::int16 modifiers) override
    {
        return KvGuard::HostCall("onKeyDown", Steinberg::kInternalError,
                            [&] { return View::onKeyDown(key, keyCode, modifiers); });
    }
    Steinberg::tresult PLUGIN_API onKeyUp(Steinberg::char16 key, Steinberg::int16 keyCode,
                                          Steinberg::int16 modifiers) override
    {
        return KvGuard::HostCall("onKeyUp", Steinberg::kInternalError,
                            [&] { return View::onKeyUp(key, keyCode, modifiers); });
    }
    Steinberg::tresult PLUGIN_API getSize(Steinberg::ViewRect* size) override
    {
        return KvGuard::HostCall("getSize", Steinberg::kInternalError, [&] { return View::getSize(size); });
    }
    Steinberg::tresult PLUGIN_API onSize(Steinberg::ViewRect* newSize) override
    {
        return KvGuard::HostCall("onSize", Steinberg::kInternalError, [&] { return View::onSize(newSize); });
    }
    Steinberg::tresult PLUGIN_API onFocus(Steinberg::TBool state) override
    {
        return KvGuard::HostCall("onFocus", Steinberg::kInternalError, [&] { return View::onFocus(state); });
    }
    Steinberg::tresult PLUGIN_API setFrame(Steinberg::IPlugFrame* frame) override
    {
        return KvGuard::HostCall("setFrame", Steinberg::kInternalError, [&] { return View::setFrame(frame); });
    }
    Steinberg::tresult PLUGIN_API canResize() override
    {
        return KvGuard::HostCall("canResize", Steinberg::kResultFalse, [&] { return View::canResize(); });
    }
    Steinberg::tresult PLUGIN_API checkSizeConstraint(Steinberg::ViewRect* wanted) override
    {
        return KvGuard::HostCall("checkSizeConstraint", Steinberg::kInternalError,
                            [&] { return View::checkSizeConstraint(wanted); });
    }
};
#pragma GCC diagnostic pop
