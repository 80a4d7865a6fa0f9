#pragma once
// One plug-in instance set up as a DAW sets it up: the processor ("Audio
// Module Class") and the controller it names are created and initialized
// with a host context, their connection points joined so messages pass both
// ways, the processor's state handed to the controller, processing set up,
// buses activated and processing started. Destruction undoes all of it in
// reverse order and releases every plug-in object before the module goes.

#include <memory>
#include <string>
#include <vector>

#include "pluginterfaces/vst/ivstaudioprocessor.h"
#include "pluginterfaces/vst/ivstcomponent.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"
#include "pluginterfaces/vst/ivstmessage.h"
#include "pluginterfaces/vst/ivstmidicontrollers.h"
#include "tools/kvhost/HostContext.h"
#include "tools/kvhost/PluginModule.h"

// Which connection point is joined first; a plug-in must work with either.
enum class ConnectOrder
{
    ProcessorFirst,
    ControllerFirst
};

struct InstanceSetup
{
    double sampleRate = 48000.0;
    Steinberg::int32 maxBlockSize = 512;
    Steinberg::int32 processMode = Steinberg::Vst::kRealtime;
    ConnectOrder connectOrder = ConnectOrder::ProcessorFirst;
    // The name the host context gives (IHostApplication::getName).
    std::string hostName = "Korvane kvhost";
};

class PluginInstance
{
public:
    static std::unique_ptr<PluginInstance> Create(std::shared_ptr<PluginModule> module, const InstanceSetup& setup,
                                                  std::string& error);
    ~PluginInstance();
    PluginInstance(const PluginInstance&) = delete;
    PluginInstance& operator=(const PluginInstance&) = delete;

    Steinberg::Vst::IComponent* component() const { return component_.get(); }
    Steinberg::Vst::IAudioProcessor* processor() const { return processor_.get(); }
    // Null for a plug-in without a controller.
    Steinberg::Vst::IEditController* controller() const { return controller_.get(); }
    HostComponentHandler& componentHandler() { return handler_; }
    const InstanceSetup& setup() const { return setup_; }

    // Channel counts of the audio buses in order, and whether notes can go in.
    const std::vector<Steinberg::int32>& inputChannels() const { return inputChannels_; }
    const std::vector<Steinberg::int32>& outputChannels() const { return outputChannels_; }
    bool hasEventInput() const { return hasEventInput_; }
    // The processor's IProcessContextRequirements flags (0 when not offered).
    Steinberg::uint32 contextRequirements() const { return contextRequirements_; }

    // The parameter that the controller maps a MIDI controller to (IMidiMapping
    // on bus 0), or false when there is none.
    bool mapMidiController(Steinberg::int16 channel, Steinberg::Vst::CtrlNumber controller,
                           Steinberg::Vst::ParamID& id) const;

    // The processor's state, and a state given to the processor and then to
    // the controller, as a DAW saves and restores a project.
    bool saveState(std::vector<char>& bytes, std::string& error);
    bool loadState(const std::vector<char>& bytes, std::string& error);

    // Limits on what a plug-in may report before it is taken for broken.
    static constexpr Steinberg::int32 kMaxBuses = 64;
    static constexpr Steinberg::int32 kMaxChannelsPerBus = 64;
    static constexpr Steinberg::int32 kMaxChannels = 256;

private:
    PluginInstance(std::shared_ptr<PluginModule> module, const InstanceSetup& setup);
    bool create(std::string& error);
    bool createController(std::string& error);
    bool connect(std::string& error);
    bool readBuses(std::string& error);
    bool start(std::string& error);
    void shutDown();

    // Declared first so that it is destroyed last, after every plug-in object.
    std::shared_ptr<PluginModule> module_;
    InstanceSetup setup_;
    KvHostApplication application_;
    HostComponentHandler handler_;

    Steinberg::IPtr<Steinberg::Vst::IComponent> component_;
    Steinberg::IPtr<Steinberg::Vst::IAudioProcessor> processor_;
    Steinberg::IPtr<Steinberg::Vst::IEditController> controller_;
    Steinberg::IPtr<Steinberg::Vst::IConnectionPoint> processorPoint_;
    Steinberg::IPtr<Steinberg::Vst::IConnectionPoint> controllerPoint_;

    bool componentInitialized_ = false;
    bool controllerInitialized_ = false;
    bool separateController_ = false;
    bool connected_ = false;
    bool active_ = false;
    bool processing_ = false;
    std::vector<Steinberg::int32> inputChannels_;
    std::vector<Steinberg::int32> outputChannels_;
    bool hasEventInput_ = false;
    Steinberg::uint32 contextRequirements_ = 0;
};
