#include "tools/kvhost/PluginInstance.h"

#include <cstring>

#include "pluginterfaces/vst/vstspeaker.h"
#include "tools/kvhost/HostMemoryStream.h"

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace
{
std::string Failed(const char* call, tresult result)
{
    return std::string(call) + " failed (result " + std::to_string(result) + ")";
}

bool Succeeded(tresult result)
{
    return result == kResultOk;
}
} // namespace

std::unique_ptr<PluginInstance> PluginInstance::Create(std::shared_ptr<PluginModule> module, const InstanceSetup& setup,
                                                       std::string& error)
{
    if (!module)
    {
        error = "no plug-in module";
        return nullptr;
    }
    std::unique_ptr<PluginInstance> instance(new PluginInstance(std::move(module), setup));
    if (!instance->create(error))
        return nullptr;
    return instance;
}

PluginInstance::PluginInstance(std::shared_ptr<PluginModule> module, const InstanceSetup& setup)
    : module_(std::move(module)), setup_(setup)
{
    application_.name = setup_.hostName;
}

PluginInstance::~PluginInstance()
{
    shutDown();
}

bool PluginInstance::create(std::string& error)
{
    const PluginModule::ClassEntry* processorClass = module_->findClass(kVstAudioEffectClass);
    if (!processorClass)
    {
        error = "the plug-in offers no \"" + std::string(kVstAudioEffectClass) + "\"";
        return false;
    }

    void* object = nullptr;
    tresult result = module_->factory()->createInstance(processorClass->cid, IComponent::iid, &object);
    if (!Succeeded(result) || !object)
    {
        error = Failed("creating the processor", result) + (object ? "" : ": no object");
        return false;
    }
    component_ = owned(static_cast<IComponent*>(object));

    result = component_->initialize(&application_);
    if (!Succeeded(result))
    {
        error = Failed("processor initialize", result);
        return false;
    }
    componentInitialized_ = true;

    processor_ = FUnknownPtr<IAudioProcessor>(component_);
    if (!processor_)
    {
        error = "the processor has no IAudioProcessor";
        return false;
    }
    if (FUnknownPtr<IProcessContextRequirements> requirements{component_})
        contextRequirements_ = requirements->getProcessContextRequirements();

    return createController(error) && connect(error) && readBuses(error) && start(error);
}

bool PluginInstance::createController(std::string& error)
{
    // A single-component plug-in is its own controller.
    controller_ = FUnknownPtr<IEditController>(component_);
    if (controller_)
        return true;

    TUID controllerId{};
    if (component_->getControllerClassId(controllerId) != kResultOk)
        return true;

    void* object = nullptr;
    const tresult result = module_->factory()->createInstance(controllerId, IEditController::iid, &object);
    if (!Succeeded(result) || !object)
    {
        error = Failed("creating the controller", result) + (object ? "" : ": no object");
        return false;
    }
    controller_ = owned(static_cast<IEditController*>(object));
    separateController_ = true;

    const tresult initialized = controller_->initialize(&application_);
    if (!Succeeded(initialized))
    {
        error = Failed("controller initialize", initialized);
        return false;
    }
    controllerInitialized_ = true;
    controller_->setComponentHandler(&handler_);
    return true;
}

bool PluginInstance::connect(std::string& error)
{
    if (!separateController_)
        return true;
    processorPoint_ = FUnknownPtr<IConnectionPoint>(component_);
    controllerPoint_ = FUnknownPtr<IConnectionPoint>(controller_);
    if (processorPoint_ && controllerPoint_)
    {
        connected_ = true;
        const bool processorFirst = setup_.connectOrder == ConnectOrder::ProcessorFirst;
        IConnectionPoint* first = processorFirst ? processorPoint_.get() : controllerPoint_.get();
        IConnectionPoint* second = processorFirst ? controllerPoint_.get() : processorPoint_.get();
        tresult result = first->connect(second);
        if (Succeeded(result))
            result = second->connect(first);
        if (!Succeeded(result))
        {
            error = Failed("connecting processor and controller", result);
            return false;
        }
    }

    // The controller starts from the processor's state, as after loading a project.
    IPtr<HostMemoryStream> stream = owned(new HostMemoryStream());
    tresult result = component_->getState(stream);
    if (!Succeeded(result))
    {
        error = Failed("getState", result);
        return false;
    }
    stream->rewind();
    result = controller_->setComponentState(stream);
    if (!Succeeded(result) && result != kNotImplemented)
    {
        error = Failed("the controller's setComponentState", result);
        return false;
    }
    return true;
}

bool PluginInstance::readBuses(std::string& error)
{
    const int32 inputs = component_->getBusCount(kAudio, kInput);
    const int32 outputs = component_->getBusCount(kAudio, kOutput);
    const int32 eventInputs = component_->getBusCount(kEvent, kInput);
    if (inputs < 0 || outputs < 0 || eventInputs < 0 || inputs > kMaxBuses || outputs > kMaxBuses ||
        eventInputs > kMaxBuses)
    {
        error = "the processor reports an impossible number of buses";
        return false;
    }

    int32 totalChannels = 0;
    for (BusDirection direction : {kInput, kOutput})
    {
        auto& channels = direction == kInput ? inputChannels_ : outputChannels_;
        const int32 count = direction == kInput ? inputs : outputs;
        for (int32 i = 0; i < count; ++i)
        {
            BusInfo info{};
            if (component_->getBusInfo(kAudio, direction, i, info) != kResultOk || info.channelCount < 0 ||
                info.channelCount > kMaxChannelsPerBus)
            {
                error = "the processor's audio bus " + std::to_string(i) + " cannot be read";
                return false;
            }
            const tresult result = component_->activateBus(kAudio, direction, i, true);
            if (!Succeeded(result))
            {
                error = Failed("activating an audio bus", result);
                return false;
            }
            channels.push_back(info.channelCount);
            totalChannels += info.channelCount;
        }
    }
    if (totalChannels > kMaxChannels)
    {
        error = "the processor reports " + std::to_string(totalChannels) + " audio channels, more than " +
                std::to_string(kMaxChannels);
        return false;
    }
    for (int32 i = 0; i < eventInputs; ++i)
    {
        const tresult result = component_->activateBus(kEvent, kInput, i, true);
        if (!Succeeded(result))
        {
            error = Failed("activating the event input", result);
            return false;
        }
    }
    hasEventInput_ = eventInputs > 0;
    return true;
}

bool PluginInstance::start(std::string& error)
{
    if (processor_->canProcessSampleSize(kSample32) != kResultTrue)
    {
        error = "the processor cannot process 32-bit samples";
        return false;
    }
    ProcessSetup processSetup{setup_.processMode, kSample32, setup_.maxBlockSize, setup_.sampleRate};
    tresult result = processor_->setupProcessing(processSetup);
    if (!Succeeded(result))
    {
        error = Failed("setupProcessing", result);
        return false;
    }
    result = component_->setActive(true);
    if (!Succeeded(result))
    {
        error = Failed("setActive", result);
        return false;
    }
    active_ = true;
    result = processor_->setProcessing(true);
    // Processing may legitimately be "not implemented"; any other answer is a failure.
    if (!Succeeded(result) && result != kNotImplemented)
    {
        error = Failed("setProcessing", result);
        return false;
    }
    processing_ = true;
    return true;
}

bool PluginInstance::mapMidiController(int16 channel, CtrlNumber controller, ParamID& id) const
{
    if (!controller_)
        return false;
    FUnknownPtr<IMidiMapping> mapping(controller_);
    ParamID mapped = 0;
    if (!mapping || mapping->getMidiControllerAssignment(0, channel, controller, mapped) != kResultOk)
        return false;
    id = mapped;
    return true;
}

bool PluginInstance::saveState(std::vector<char>& bytes, std::string& error)
{
    IPtr<HostMemoryStream> stream = owned(new HostMemoryStream());
    const tresult result = component_->getState(stream);
    if (!Succeeded(result))
    {
        error = Failed("getState", result);
        return false;
    }
    bytes = stream->bytes();
    return true;
}

bool PluginInstance::loadState(const std::vector<char>& bytes, std::string& error)
{
    IPtr<HostMemoryStream> stream = owned(new HostMemoryStream(bytes));
    tresult result = component_->setState(stream);
    if (!Succeeded(result))
    {
        error = Failed("setState", result);
        return false;
    }
    if (separateController_)
    {
        stream->rewind();
        result = controller_->setComponentState(stream);
        if (!Succeeded(result) && result != kNotImplemented)
        {
            error = Failed("the controller's setComponentState", result);
            return false;
        }
    }
    return true;
}

void PluginInstance::shutDown()
{
    if (processing_ && processor_)
        processor_->setProcessing(false);
    processing_ = false;
    if (active_ && component_)
        component_->setActive(false);
    active_ = false;
    if (connected_)
    {
        // Each side holds the other until disconnected.
        processorPoint_->disconnect(controllerPoint_);
        controllerPoint_->disconnect(processorPoint_);
        connected_ = false;
    }
    processorPoint_ = nullptr;
    controllerPoint_ = nullptr;
    if (controllerInitialized_)
    {
        controller_->setComponentHandler(nullptr);
        controller_->terminate();
        controllerInitialized_ = false;
    }
    if (componentInitialized_)
    {
        component_->terminate();
        componentInitialized_ = false;
    }
    controller_ = nullptr;
    processor_ = nullptr;
    component_ = nullptr;
}
