// Fuzzer: the plug-in's API as a host drives it. The bytes pick a bundle (the
// demo instrument, the fuzz bundle with list, range and text parameters, or
// that bundle with a parameters document taken from the bytes), then a sequence of host calls with their arguments: parameter values and
// texts, state chunks, processing setups, activation, bus arrangements,
// blocks with notes and parameter changes, and messages. Processor and
// controller come from the factory, as a host gets them, and are connected.
//
// It fails on a crash or sanitizer report, on any exception that reached the
// plug-in's boundary, on output that is not a finite number, on a normalised
// value outside 0..1 and on a saved value outside its parameter's range.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "pluginterfaces/vst/ivstaudioprocessor.h"
#include "pluginterfaces/vst/ivstcomponent.h"
#include "pluginterfaces/vst/ivstevents.h"
#include "pluginterfaces/vst/ivstmidicontrollers.h"
#include "shell/KvGuard.h"
#include "shell/fuzz/FuzzShell.h"
#include "tools/kvhost/HostEventList.h"
#include "tools/kvhost/HostMemoryStream.h"
#include "tools/kvhost/HostParameterChanges.h"

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace
{
[[noreturn]] void Fail(const char* what)
{
    std::fprintf(stderr, "fuzz_api: %s\n", what);
    std::abort();
}

// The input, read a piece at a time; an empty reader gives zeros.
class Reader
{
public:
    Reader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    bool empty() const { return at_ >= size_; }
    std::uint8_t byte() { return at_ < size_ ? data_[at_++] : 0; }
    std::uint32_t u32()
    {
        std::uint32_t v = 0;
        for (int i = 0; i < 4; ++i)
            v = (v << 8) | byte();
        return v;
    }
    // A value a host might pass: the edges, the absurd, or any double.
    double value()
    {
        static const double kValues[] = {0.0,
                                         1.0,
                                         0.5,
                                         -1.0,
                                         2.0,
                                         1e30,
                                         -1e300,
                                         1e300,
                                         std::numeric_limits<double>::quiet_NaN(),
                                         std::numeric_limits<double>::infinity(),
                                         -std::numeric_limits<double>::infinity(),
                                         std::numeric_limits<double>::denorm_min(),
                                         0.999999,
                                         1.0 / 6.0};
        const std::uint8_t pick = byte();
        if (pick < 200)
            return pick / 199.0;
        if (pick < 240)
            return kValues[pick % (sizeof(kValues) / sizeof(kValues[0]))];
        double v = 0.0;
        const std::uint64_t bits = (static_cast<std::uint64_t>(u32()) << 32) | u32();
        std::memcpy(&v, &bits, sizeof(v));
        return v;
    }
    std::string bytes(std::size_t most) { return take(byte() % (most + 1)); }
    // Up to 64 KiB, its length in two bytes.
    std::string text()
    {
        const std::size_t length = static_cast<std::size_t>(byte()) << 8;
        return take(length | byte());
    }

private:
    std::string take(std::size_t most)
    {
        const std::size_t n = std::min(most, size_ - std::min(at_, size_));
        std::string out(reinterpret_cast<const char*>(data_ + at_), n);
        at_ += n;
        return out;
    }

    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

const char* const kValueTexts[] = {"0", "1", "5", "10", "20", "-3", "nan", "inf", "-inf", "1e308", "abc", "",
                                   "2.5", "127", "128", "4", "3", "1e-45", " 7 ", "0x10"};

struct Plugin
{
    IPtr<IComponent> component;
    FUnknownPtr<IAudioProcessor> processor;
    IPtr<IEditController> controller;
    ADelayController* records = nullptr;
    FUnknownPtr<IConnectionPoint> processorPoint;
    FUnknownPtr<IConnectionPoint> controllerPoint;
    bool active = false;
    bool processing = false;
    int32 maxBlock = 1024;
};

bool Create(MyVstPluginFactory& factory, Plugin& plugin)
{
    PClassInfo processorClass{};
    PClassInfo controllerClass{};
    if (factory.getClassInfo(0, &processorClass) != kResultOk || factory.getClassInfo(1, &controllerClass) != kResultOk)
        return false;
    void* object = nullptr;
    if (factory.createInstance(processorClass.cid, IComponent::iid, &object) != kResultOk)
        return false;
    plugin.component = owned(static_cast<IComponent*>(object));
    if (factory.createInstance(controllerClass.cid, IEditController::iid, &object) != kResultOk)
        return false;
    plugin.controller = owned(static_cast<IEditController*>(object));
    plugin.records = dynamic_cast<ADelayController*>(plugin.controller.get());
    plugin.processor = FUnknownPtr<IAudioProcessor>(plugin.component);
    plugin.processorPoint = FUnknownPtr<IConnectionPoint>(plugin.component);
    plugin.controllerPoint = FUnknownPtr<IConnectionPoint>(plugin.controller);
    if (!plugin.processor || !plugin.records || !plugin.processorPoint || !plugin.controllerPoint)
        return false;
    // A host terminates what it initialised, and what failed to initialise.
    if (plugin.component->initialize(&fuzz_shell::Host()) != kResultOk)
    {
        plugin.component->terminate();
        return false;
    }
    if (plugin.controller->initialize(&fuzz_shell::Host()) != kResultOk)
    {
        plugin.controller->terminate();
        plugin.component->terminate();
        return false;
    }
    plugin.processorPoint->connect(plugin.controllerPoint);
    plugin.controllerPoint->connect(plugin.processorPoint);
    // The setup the processor starts with, so activation keeps the graph.
    ProcessSetup setup{kRealtime, kSample32, plugin.maxBlock, 44100.0};
    plugin.processor->setupProcessing(setup);
    plugin.active = plugin.component->setActive(true) == kResultOk;
    plugin.processing = plugin.active && plugin.processor->setProcessing(true) == kResultOk;
    return true;
}

void Destroy(Plugin& plugin)
{
    if (plugin.processing)
        plugin.processor->setProcessing(false);
    if (plugin.active)
        plugin.component->setActive(false);
    plugin.processorPoint->disconnect(plugin.controllerPoint);
    plugin.controllerPoint->disconnect(plugin.processorPoint);
    plugin.controller->terminate();
    plugin.component->terminate();
}

ParamID PickParameter(Reader& in, IEditController* controller)
{
    const int32 count = controller->getParameterCount();
    const std::uint8_t pick = in.byte();
    if (count > 0 && pick < 224)
    {
        ParameterInfo info{};
        // Mostly the patch parameters, which come first.
        if (controller->getParameterInfo(pick % std::min<int32>(count, 12), info) == kResultOk)
            return info.id;
    }
    return pick % 3 == 0 ? 10000 + in.byte() % 140 : in.u32();
}

void CheckParameters(IEditController* controller)
{
    const int32 count = controller->getParameterCount();
    for (int32 i = 0; i < count; ++i)
    {
        ParameterInfo info{};
        if (controller->getParameterInfo(i, info) != kResultOk)
            Fail("getParameterInfo of an index in range failed");
        const double n = controller->getParamNormalized(info.id);
        if (!(n >= 0.0 && n <= 1.0))
            Fail("a normalised value outside 0..1");
    }
}

std::string StateText(Plugin& plugin)
{
    // Read as a host saves: the audio thread is not asked to hand it over.
    const bool wasProcessing = plugin.processing;
    if (wasProcessing)
        plugin.processor->setProcessing(false);
    HostMemoryStream out;
    if (plugin.component->getState(&out) != kResultOk)
        Fail("getState failed");
    if (wasProcessing)
        plugin.processor->setProcessing(true);
    std::string text(out.bytes().begin(), out.bytes().end());
    return text.size() >= 4 ? text.substr(4) : std::string();
}

std::vector<char> StateChunk(Reader& in, const std::vector<int>& handles)
{
    std::string text;
    if (in.byte() % 4 == 0)
    {
        text = in.bytes(512);
    }
    else
    {
        text = "<?xml version=\"1.0\" ?><Parameters>";
        const int count = in.byte() % 8;
        for (int i = 0; i < count; ++i)
        {
            const int handle = handles.empty() ? in.byte() : handles[in.byte() % handles.size()];
            const char* value = kValueTexts[in.byte() % (sizeof(kValueTexts) / sizeof(kValueTexts[0]))];
            text += "<Param id=\"" + std::to_string(handle) + "\" index=\"" + std::to_string(in.byte() % 8) +
                    "\" val=\"" + value + "\"/>";
        }
        text += "</Parameters>";
    }
    int32_t count = static_cast<int32_t>(text.size());
    if (in.byte() % 16 == 0)
        count += static_cast<int8_t>(in.byte());
    std::vector<char> bytes(4);
    std::memcpy(bytes.data(), &count, 4);
    bytes.insert(bytes.end(), text.begin(), text.end());
    return bytes;
}

void Process(Reader& in, Plugin& plugin)
{
    const int32 samples = in.byte() % 8 == 0 ? static_cast<int32>(in.u32() % 2048) : in.byte() % 129;
    HostParameterChanges changes;
    HostParameterChanges outputChanges;
    HostEventList events;
    const int parameterCount = in.byte() % 4;
    for (int i = 0; i < parameterCount; ++i)
    {
        int32 index = 0;
        if (IParamValueQueue* queue = changes.addParameterData(PickParameter(in, plugin.controller), index))
        {
            int32 point = 0;
            queue->addPoint(static_cast<int32>(in.byte()) - 8, in.value(), point);
        }
    }
    const int eventCount = in.byte() % 6;
    for (int i = 0; i < eventCount; ++i)
    {
        Event event{};
        event.sampleOffset = static_cast<int32>(in.byte()) - 4;
        const std::uint8_t kind = in.byte();
        event.type = kind % 3 == 0 ? Event::kNoteOffEvent : kind % 3 == 1 ? Event::kNoteOnEvent : Event::kPolyPressureEvent;
        event.noteOn.pitch = static_cast<int16>(static_cast<int8_t>(in.byte()));
        event.noteOn.velocity = static_cast<float>(in.value());
        events.addEvent(event);
    }
    std::vector<std::vector<float>> storage;
    std::vector<std::vector<float*>> pointers;
    std::vector<AudioBusBuffers> inputs;
    std::vector<AudioBusBuffers> outputs;
    const int32 room = std::max<int32>(samples, 1);
    auto make = [&](BusDirection direction, std::vector<AudioBusBuffers>& buses) {
        const int32 count = plugin.component->getBusCount(kAudio, direction);
        for (int32 b = 0; b < count; ++b)
        {
            BusInfo info{};
            plugin.component->getBusInfo(kAudio, direction, b, info);
            AudioBusBuffers bus{};
            bus.numChannels = info.channelCount;
            auto& table = pointers.emplace_back();
            for (int32 c = 0; c < info.channelCount; ++c)
            {
                // Now and then a host leaves a buffer out.
                if (in.byte() % 16 == 0)
                    table.push_back(nullptr);
                else
                    table.push_back(storage.emplace_back(static_cast<std::size_t>(room), 0.25f).data());
            }
            bus.channelBuffers32 = table.data();
            buses.push_back(bus);
        }
    };
    storage.reserve(128);
    pointers.reserve(64);
    make(kInput, inputs);
    make(kOutput, outputs);

    ProcessData data{};
    data.processMode = kRealtime;
    data.symbolicSampleSize = kSample32;
    data.numSamples = samples;
    data.numInputs = static_cast<int32>(inputs.size());
    data.numOutputs = static_cast<int32>(outputs.size());
    data.inputs = inputs.empty() ? nullptr : inputs.data();
    data.outputs = outputs.empty() ? nullptr : outputs.data();
    data.inputParameterChanges = in.byte() % 8 ? &changes : nullptr;
    data.outputParameterChanges = in.byte() % 8 ? &outputChanges : nullptr;
    data.inputEvents = in.byte() % 8 ? &events : nullptr;
    ProcessContext context{};
    context.tempo = in.value() * 300.0;
    context.projectTimeMusic = in.value() * 100.0;
    context.state = in.byte() % 2 ? ProcessContext::kPlaying : 0;
    data.processContext = in.byte() % 4 ? &context : nullptr;

    plugin.processor->process(data);
    for (const auto& buffer : storage)
        for (float sample : buffer)
            if (!std::isfinite(sample))
                Fail("an output sample that is not a finite number");
}

void Step(Reader& in, Plugin& plugin, const std::vector<int>& handles)
{
    IEditController* controller = plugin.controller;
    switch (in.byte() % 18)
    {
    case 0:
    case 1:
        controller->setParamNormalized(PickParameter(in, controller), in.value());
        break;
    case 2:
    {
        String128 text{};
        const ParamID id = PickParameter(in, controller);
        if (controller->getParamStringByValue(id, in.value(), text) == kResultOk)
        {
            if (std::char_traits<char16>::length(text) >= 128)
                Fail("a parameter text without its terminator");
            ParamValue n = 0.0;
            if (controller->getParamValueByString(id, text, n) == kResultOk && !(n >= 0.0 && n <= 1.0))
                Fail("a text read as a normalised value outside 0..1");
        }
        break;
    }
    case 3:
    {
        const ParamID id = PickParameter(in, controller);
        const std::string raw = in.bytes(300);
        std::vector<TChar> text;
        for (std::size_t i = 0; i + 1 < raw.size(); i += 2)
            text.push_back(static_cast<TChar>(static_cast<std::uint8_t>(raw[i]) | (static_cast<std::uint8_t>(raw[i + 1]) << 8)));
        // Terminated mostly; sometimes only within the String128 a host gives.
        text.resize(std::max<std::size_t>(text.size() + 1, in.byte() % 2 ? 0 : 128), 0);
        ParamValue n = 0.0;
        if (controller->getParamValueByString(id, text.data(), n) == kResultOk && !(n >= 0.0 && n <= 1.0))
            Fail("a text read as a normalised value outside 0..1");
        break;
    }
    case 4:
    {
        const ParamID id = PickParameter(in, controller);
        const double plain = controller->normalizedParamToPlain(id, in.value());
        const double n = controller->plainParamToNormalized(id, in.value() * 1000.0 - 500.0);
        if (std::isnan(plain) || !(n >= 0.0 && n <= 1.0))
            Fail("a plain or normalised conversion out of bounds");
        break;
    }
    case 5:
    {
        HostMemoryStream chunk(StateChunk(in, handles));
        plugin.component->setState(&chunk);
        chunk.rewind();
        controller->setComponentState(&chunk);
        break;
    }
    case 6:
    {
        const std::string text = StateText(plugin);
        if (!fuzz_shell::StateValuesInRange(text, plugin.records->Parameters()))
            Fail("a saved value outside its parameter's range");
        std::vector<char> bytes(4);
        const auto count = static_cast<int32_t>(text.size());
        std::memcpy(bytes.data(), &count, 4);
        bytes.insert(bytes.end(), text.begin(), text.end());
        HostMemoryStream chunk(bytes);
        controller->setComponentState(&chunk);
        break;
    }
    case 7:
    {
        static const double kRates[] = {44100.0, 48000.0, 96000.0, 8000.0, 192000.0, 0.0, -1.0, 1e12};
        ProcessSetup setup{static_cast<int32>(in.byte() % 3), static_cast<int32>(in.byte() % 3),
                           static_cast<int32>(in.byte() % 2 ? 1 + in.byte() % 64 : 64 + in.byte() * 4),
                           kRates[in.byte() % 8]};
        if (plugin.processor->setupProcessing(setup) == kResultOk)
        {
            if (plugin.active)
                Fail("setupProcessing accepted while active");
            plugin.maxBlock = setup.maxSamplesPerBlock;
        }
        break;
    }
    case 8:
    {
        const bool state = in.byte() % 2;
        if (plugin.component->setActive(state) == kResultOk)
            plugin.active = state;
        break;
    }
    case 9:
    {
        const bool state = in.byte() % 2;
        if (plugin.processor->setProcessing(state) == kResultOk)
            plugin.processing = state;
        break;
    }
    case 10:
    {
        SpeakerArrangement ins[2] = {in.byte() % 2 ? SpeakerArr::kStereo : SpeakerArr::kMono, SpeakerArr::kStereo};
        SpeakerArrangement outs[2] = {in.byte() % 2 ? SpeakerArr::kStereo : SpeakerArr::kMono, SpeakerArr::kMono};
        const tresult result = plugin.processor->setBusArrangements(ins, in.byte() % 3, outs, in.byte() % 3);
        if (result == kResultOk && plugin.active)
            Fail("setBusArrangements accepted while active");
        break;
    }
    case 11:
    case 12:
    case 13:
        Process(in, plugin);
        break;
    case 14:
    {
        const std::string bytes = in.bytes(200);
        IMessage* raw = nullptr;
        TUID iid;
        std::memcpy(iid, IMessage::iid, sizeof(iid));
        fuzz_shell::Host().createInstance(iid, iid, reinterpret_cast<void**>(&raw));
        IPtr<IMessage> message = owned(raw);
        if (!message || bytes.empty())
            break;
        message->setMessageID(in.byte() % 8 ? "BinaryMessage" : "Other");
        message->getAttributes()->setBinary("MyData", bytes.data(), static_cast<uint32>(bytes.size()));
        if (in.byte() % 2)
            plugin.processorPoint->notify(message);
        else
            plugin.controllerPoint->notify(message);
        break;
    }
    case 15:
    {
        ParamID id = 0;
        FUnknownPtr<IMidiMapping> mapping(controller);
        if (mapping)
            mapping->getMidiControllerAssignment(in.byte() % 2, static_cast<int16>(in.byte() % 17),
                                                 static_cast<CtrlNumber>(static_cast<int16>(in.u32())), id);
        break;
    }
    case 16:
    {
        const auto type = static_cast<MediaType>(in.byte() % 3);
        const auto direction = static_cast<BusDirection>(in.byte() % 3);
        const auto index = static_cast<int32>(static_cast<int8_t>(in.byte()));
        BusInfo info{};
        plugin.component->getBusInfo(type, direction, index, info);
        SpeakerArrangement arrangement = 0;
        plugin.processor->getBusArrangement(direction, index, arrangement);
        plugin.component->activateBus(type, direction, index, in.byte() % 2);
        break;
    }
    default:
    {
        ParameterInfo info{};
        controller->getParameterInfo(static_cast<int32>(in.u32()), info);
        IPlugView* view = controller->createView(in.byte() % 2 ? "editor" : "other");
        if (view)
            view->release();
        break;
    }
    }
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Reader in(data, size);
    // The demo takes ten times longer to build: one input in four plays it.
    // One in four writes the parameters document of the fuzz bundle; such a
    // bundle may be refused, but cleanly.
    const std::uint8_t bundle = in.byte() % 4;
    MyVstPluginFactory& factory = bundle == 1   ? fuzz_shell::DemoFactory()
                                  : bundle == 2 ? fuzz_shell::WrittenFactory(in.text())
                                                : fuzz_shell::Factory();
    const int reportsBefore = KvGuard::ReportCount();
    try
    {
        Plugin plugin;
        if (!Create(factory, plugin))
        {
            if (bundle != 2)
                Fail("the bundle did not load");
            if (KvGuard::ReportCount() != reportsBefore)
                Fail("an exception reached the plug-in's boundary");
            return 0;
        }
        std::vector<int> handles;
        for (const auto& [handle, record] : plugin.records->Parameters())
            handles.push_back(handle);
        for (int step = 0; step < 64 && !in.empty(); ++step)
        {
            Step(in, plugin, handles);
            CheckParameters(plugin.controller);
            // Asked on the user-interface thread: reports what process() caught.
            plugin.component->getBusCount(kAudio, kOutput);
            if (KvGuard::ReportCount() != reportsBefore)
                Fail("an exception reached the plug-in's boundary");
        }
        Destroy(plugin);
    }
    catch (...)
    {
        Fail("an exception escaped from a host call");
    }
    if (KvGuard::ReportCount() != reportsBefore)
        Fail("an exception reached the plug-in's boundary");
    return 0;
}
