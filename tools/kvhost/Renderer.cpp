#include "tools/kvhost/Renderer.h"

#include <algorithm>
#include <cmath>

#include "pluginterfaces/vst/ivstmidicontrollers.h"

using namespace Steinberg;
using namespace Steinberg::Vst;

Renderer::Renderer(PluginInstance& instance) : instance_(instance)
{
}

void Renderer::prepareBuffers()
{
    const auto blockSize = static_cast<std::size_t>(instance_.setup().maxBlockSize);
    auto build = [blockSize](const std::vector<int32>& channelCounts, std::vector<std::vector<float>>& storage,
                             std::vector<std::vector<float*>>& pointers, std::vector<AudioBusBuffers>& buses) {
        storage.clear();
        pointers.clear();
        buses.clear();
        for (int32 count : channelCounts)
            for (int32 c = 0; c < count; ++c)
                storage.emplace_back(blockSize, 0.0f);
        std::size_t next = 0;
        for (int32 count : channelCounts)
        {
            pointers.emplace_back();
            for (int32 c = 0; c < count; ++c)
                pointers.back().push_back(storage[next++].data());
        }
        for (std::size_t b = 0; b < channelCounts.size(); ++b)
        {
            AudioBusBuffers bus{};
            bus.numChannels = channelCounts[b];
            bus.silenceFlags = 0;
            bus.channelBuffers32 = pointers[b].empty() ? nullptr : pointers[b].data();
            buses.push_back(bus);
        }
    };
    build(instance_.inputChannels(), inputStorage_, inputPointers_, inputBuses_);
    build(instance_.outputChannels(), outputStorage_, outputPointers_, outputBuses_);
    outputChannels_.clear();
    for (const auto& channel : outputStorage_)
        outputChannels_.push_back(channel.data());
}

void Renderer::addEvent(const PerformanceEvent& event, int32 offset, double quarters, RenderResult& result)
{
    switch (event.kind)
    {
    case PerformanceEvent::Kind::NoteOn:
    case PerformanceEvent::Kind::NoteOff:
    case PerformanceEvent::Kind::PolyPressure:
    {
        if (!instance_.hasEventInput())
        {
            ++result.droppedNotes;
            return;
        }
        Event note{};
        note.busIndex = 0;
        note.sampleOffset = offset;
        note.ppqPosition = quarters;
        note.flags = Event::kIsLive;
        const auto channel = static_cast<int16>(event.channel);
        const auto pitch = static_cast<int16>(event.number);
        const auto value = static_cast<float>(event.value);
        if (event.kind == PerformanceEvent::Kind::NoteOn)
        {
            note.type = Event::kNoteOnEvent;
            note.noteOn = {channel, pitch, 0.0f, value, 0, -1};
        }
        else if (event.kind == PerformanceEvent::Kind::NoteOff)
        {
            note.type = Event::kNoteOffEvent;
            note.noteOff = {channel, pitch, value, -1, 0.0f};
        }
        else
        {
            note.type = Event::kPolyPressureEvent;
            note.polyPressure = {channel, pitch, value, -1};
        }
        if (events_.addEvent(note) != kResultOk)
            ++result.droppedNotes;
        return;
    }
    case PerformanceEvent::Kind::ProgramChange:
    {
        const ProgramTarget& target = programTarget(event.channel);
        if (!target.found)
        {
            ++result.unmappedControllers;
            return;
        }
        // Program p of a parameter with n steps is the value p / n.
        const double steps = target.stepCount > 0 ? target.stepCount : 127.0;
        inputChanges_.add(target.id, offset, std::clamp(event.number / steps, 0.0, 1.0));
        return;
    }
    case PerformanceEvent::Kind::Parameter:
        inputChanges_.add(event.parameterId, offset, event.value);
        return;
    case PerformanceEvent::Kind::Controller:
    {
        const auto key = std::make_pair(event.channel, event.number);
        auto found = controllerMap_.find(key);
        if (found == controllerMap_.end())
        {
            ParamID id = 0;
            const bool mapped = instance_.mapMidiController(static_cast<int16>(event.channel),
                                                            static_cast<CtrlNumber>(event.number), id);
            found = controllerMap_.emplace(key, std::make_pair(mapped, id)).first;
        }
        if (found->second.first)
            inputChanges_.add(found->second.second, offset, event.value);
        else
            ++result.unmappedControllers;
        return;
    }
    }
}

const Renderer::ProgramTarget& Renderer::programTarget(int channel)
{
    auto found = programTargets_.find(channel);
    if (found != programTargets_.end())
        return found->second;
    // As a DAW does: the controller's MIDI mapping of program change first,
    // else its parameter flagged as the program change.
    ProgramTarget target;
    IEditController* controller = instance_.controller();
    ParamID id = 0;
    if (instance_.mapMidiController(static_cast<int16>(channel), static_cast<CtrlNumber>(kCtrlProgramChange), id))
    {
        target.found = true;
        target.id = id;
    }
    for (int32 i = 0; controller && i < controller->getParameterCount(); ++i)
    {
        ParameterInfo info{};
        if (controller->getParameterInfo(i, info) != kResultOk)
            continue;
        if (target.found ? info.id == target.id : (info.flags & ParameterInfo::kIsProgramChange) != 0)
        {
            target.found = true;
            target.id = info.id;
            target.stepCount = info.stepCount;
            break;
        }
    }
    return programTargets_.emplace(channel, target).first->second;
}

void Renderer::updateController(HostParameterChanges& changes)
{
    IEditController* controller = instance_.controller();
    if (!controller)
        return;
    for (int32 q = 0; q < changes.getParameterCount(); ++q)
    {
        IParamValueQueue* queue = changes.getParameterData(q);
        int32 offset = 0;
        ParamValue value = 0.0;
        if (queue && queue->getPointCount() > 0 &&
            queue->getPoint(queue->getPointCount() - 1, offset, value) == kResultOk && std::isfinite(value) &&
            value >= 0.0 && value <= 1.0)
            controller->setParamNormalized(queue->getParameterId(), value);
    }
}

bool Renderer::render(const Performance& performance, const RenderSettings& settings, AudioSink* sink,
                      RenderResult& result, std::string& error)
{
    result = RenderResult();
    const double sampleRate = instance_.setup().sampleRate;
    const int32 blockSize = instance_.setup().maxBlockSize;
    double seconds = settings.seconds;
    if (!(seconds >= 0.0))
    {
        seconds = performance.lastSeconds() + std::max(0.0, settings.tailSeconds);
        if (seconds > kMaxAutomaticSeconds)
        {
            seconds = kMaxAutomaticSeconds;
            result.lengthCapped = true;
        }
    }
    const auto totalFrames = static_cast<int64>(std::llround(seconds * sampleRate));

    prepareBuffers();
    controllerMap_.clear();
    programTargets_.clear();
    result.channels = static_cast<int>(outputChannels_.size());
    LevelMeter meter;

    ProcessData data;
    data.processMode = instance_.setup().processMode;
    data.symbolicSampleSize = kSample32;
    data.numInputs = static_cast<int32>(inputBuses_.size());
    data.numOutputs = static_cast<int32>(outputBuses_.size());
    data.inputs = inputBuses_.empty() ? nullptr : inputBuses_.data();
    data.outputs = outputBuses_.empty() ? nullptr : outputBuses_.data();
    data.inputParameterChanges = &inputChanges_;
    data.outputParameterChanges = &outputChanges_;
    data.inputEvents = &events_;
    data.processContext = &context_;

    std::size_t next = 0;
    const auto& timeline = performance.events;
    for (int64 position = 0; position < totalFrames; position += blockSize)
    {
        const auto frames = static_cast<int32>(std::min<int64>(blockSize, totalFrames - position));
        inputChanges_.clear();
        outputChanges_.clear();
        events_.clear();

        // Edits the controller made since the last block arrive at its start.
        for (const auto& [id, value] : instance_.componentHandler().takeEdits())
            inputChanges_.add(id, 0, value);
        for (; next < timeline.size(); ++next)
        {
            const auto sample = static_cast<int64>(std::llround(timeline[next].seconds * sampleRate));
            if (sample >= position + frames)
                break;
            const auto offset = static_cast<int32>(std::max<int64>(0, sample - position));
            addEvent(timeline[next], offset, performance.tempo.quartersAt(timeline[next].seconds), result);
        }

        performance.tempo.fillContext(context_, position, sampleRate, settings.playing);
        for (auto& channel : outputStorage_)
            std::fill(channel.begin(), channel.end(), 0.0f);
        for (auto& bus : outputBuses_)
            bus.silenceFlags = 0;
        data.numSamples = frames;

        const tresult processed = instance_.processor()->process(data);
        if (processed != kResultOk)
        {
            error = "process failed (result " + std::to_string(processed) + ") at sample " + std::to_string(position);
            return false;
        }
        // The controller shows what was played and what the processor reported.
        updateController(inputChanges_);
        updateController(outputChanges_);

        meter.add(outputChannels_.data(), result.channels, frames);
        if (sink && !sink->write(outputChannels_.data(), result.channels, frames))
        {
            error = "the rendered audio could not be written";
            return false;
        }
        result.frames += frames;
    }
    result.peak = meter.peak();
    result.rms = meter.rms();
    return true;
}
