// The processor's MIDI: host parameter changes and notes turned into MIDI
// bytes for the engine, and the engine's MIDI controllers sent back to the
// host as output parameter changes.

#include <algorithm>
#include <cmath>

#include "core/ValueRule.h"
#include "engine/runtime/KvAudioMaster.h"
#include "engine/hostio/MidiOutputBuffer.h"
#include "pluginterfaces/vst/ivstevents.h"
#include "pluginterfaces/vst/ivstparameterchanges.h"
#include "shell/ADelayProcessor.h"

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace
{
constexpr int kFirstMidiParameter = 10000;
constexpr int kChannelPressureParameter = 10128;
constexpr int kPitchBendParameter = 10129;
// The controller's program-change parameter: program p at p / steps.
constexpr int kProgramChangeParameter = 10130;

// A host's sample offset inside the block: past its end is its last sample,
// before its start the first. An event kept for a time the block never
// reaches would wait in the engine for good.
int32 InBlock(int32 offset, int32 numSamples)
{
    return std::clamp(offset, 0, std::max(numSamples - 1, 0));
}

// A velocity inside 0..1; anything else counts as 0.
float UnitVelocity(float velocity)
{
    return std::isfinite(velocity) ? std::clamp(velocity, 0.0f, 1.0f) : 0.0f;
}
} // namespace

void ADelayProcessor::MidiIn(int offset, const unsigned char* bytes, int count)
{
    if (KvAudioMaster* master = runtime_.AudioMaster())
        master->MidiIn(offset, bytes, count);
}

void ADelayProcessor::ReadParameterChanges(ProcessData& data)
{
    IParameterChanges* changes = data.inputParameterChanges;
    if (changes == nullptr)
        return;
    KvAudioMaster* master = runtime_.AudioMaster();
    // A program change is taken after the block's other values: those a
    // host sends with it (often the ones it showed until then) belong to the
    // program it leaves, not to the one it chooses.
    int programOffset = -1;
    int program = 0;
    const int32 queues = changes->getParameterCount();
    for (int32 i = 0; i < queues; ++i)
    {
        IParamValueQueue* queue = changes->getParameterData(i);
        if (queue == nullptr)
            continue;
        const int32 points = queue->getPointCount();
        int32 offset = 0;
        ParamValue value = 0.0;
        if (points < 1 || queue->getPoint(points - 1, offset, value) != kResultOk || !std::isfinite(value))
            continue;
        value = std::clamp(value, 0.0, 1.0);
        offset = InBlock(offset, data.numSamples);
        const ParamID id = queue->getParameterId();
        if (id <= 9999)
        {
            if (master)
                master->setParameterNormalizedDsp(offset, static_cast<int>(id), value);
        }
        else if (id < static_cast<ParamID>(kChannelPressureParameter))
        {
            const unsigned char bytes[3] = {0xB0, static_cast<unsigned char>(id - kFirstMidiParameter),
                                            static_cast<unsigned char>(static_cast<int>(value * 127 + 0.5) & 0x7F)};
            MidiIn(offset, bytes, 3);
        }
        else if (id == static_cast<ParamID>(kChannelPressureParameter))
        {
            const auto pressure = static_cast<unsigned char>(static_cast<int>(value * 127 + 0.5) & 0x7F);
            const unsigned char bytes[2] = {0xD0, pressure};
            MidiIn(offset, bytes, 2);
        }
        else if (id == static_cast<ParamID>(kPitchBendParameter))
        {
            const int v = static_cast<int>(value * 16383 + 0.5);
            const unsigned char bytes[3] = {0xE0, static_cast<unsigned char>(v & 0x7F),
                                            static_cast<unsigned char>((v >> 7) & 0x7F)};
            MidiIn(offset, bytes, 3);
        }
        else if (id == static_cast<ParamID>(kProgramChangeParameter))
        {
            programOffset = offset;
            // As the controller's program list reads the value.
            program = static_cast<int>(ValueRule::WholePlain(value, 0.0, programSteps_)) & 0x7F;
        }
    }
    if (programOffset < 0)
        return;
    // The patch's own programs are chosen in its patch manager, whether or
    // not its graph hears MIDI program changes; the patch's MIDI input hears
    // it as one too.
    if (master && patchPrograms_)
        master->setProgramDsp(program);
    const unsigned char bytes[2] = {0xC0, static_cast<unsigned char>(program)};
    MidiIn(programOffset, bytes, 2);
}

void ADelayProcessor::ReadNotes(ProcessData& data)
{
    IEventList* events = data.inputEvents;
    if (events == nullptr)
        return;
    const int32 count = events->getEventCount();
    for (int32 i = 0; i < count; ++i)
    {
        Event event{};
        if (events->getEvent(i, event) != kResultOk)
            break;
        unsigned char bytes[3] = {};
        if (event.type == Event::kNoteOnEvent)
        {
            // Keys outside 0..127 would turn into status bytes.
            if (event.noteOn.pitch < 0 || event.noteOn.pitch > 127)
                continue;
            const float velocity = UnitVelocity(event.noteOn.velocity);
            // A soft note stays a note: velocity 0 would mean note-off.
            const int scaled = std::max(1, static_cast<int>(velocity * 127));
            bytes[0] = 0x90;
            bytes[1] = static_cast<unsigned char>(event.noteOn.pitch);
            bytes[2] = static_cast<unsigned char>(scaled);
        }
        else if (event.type == Event::kPolyPressureEvent)
        {
            if (event.polyPressure.pitch < 0 || event.polyPressure.pitch > 127)
                continue;
            bytes[0] = 0xA0;
            bytes[1] = static_cast<unsigned char>(event.polyPressure.pitch);
            const float pressure = UnitVelocity(event.polyPressure.pressure);
            bytes[2] = static_cast<unsigned char>(static_cast<int>(pressure * 127 + 0.5f));
        }
        else if (event.type == Event::kNoteOffEvent)
        {
            if (event.noteOff.pitch < 0 || event.noteOff.pitch > 127)
                continue;
            const float velocity = UnitVelocity(event.noteOff.velocity);
            bytes[0] = 0x80;
            bytes[1] = static_cast<unsigned char>(event.noteOff.pitch);
            bytes[2] = static_cast<unsigned char>(static_cast<int>(velocity * 127));
        }
        else
        {
            continue;
        }
        MidiIn(InBlock(event.sampleOffset, data.numSamples), bytes, 3);
    }
}

void ADelayProcessor::SendControllers(ProcessData& data, int64_t blockStart)
{
    KvAudioMaster* master = runtime_.AudioMaster();
    MidiOutputBuffer* ring = master ? master->getMidiOutputBuffer() : nullptr;
    if (data.outputParameterChanges == nullptr || ring == nullptr || ring->IsEmpty())
        return;
    IParamValueQueue* queues[128] = {};
    while (!ring->IsEmpty())
    {
        int64_t time = 0;
        if (!ring->PeekTime(time))
            break;
        int64_t offset = time - blockStart;
        if (offset >= data.numSamples)
            break;
        offset = std::max<int64_t>(offset, 0);
        unsigned char bytes[3] = {};
        int32_t length = 0;
        if (!ring->Read(time, bytes, 3, length))
            break;
        // Control change on channel 1 only, whole, with a controller number.
        if (length < 3 || bytes[0] != 0xB0 || bytes[1] > 127)
            continue;
        const int controller = bytes[1];
        if (queues[controller] == nullptr)
        {
            int32 index = 0;
            queues[controller] =
                data.outputParameterChanges->addParameterData(ParamID(kFirstMidiParameter + controller), index);
            if (queues[controller] == nullptr)
                continue;
        }
        int32 pointIndex = 0;
        queues[controller]->addPoint(static_cast<int32>(offset), (bytes[2] & 0x7F) / 127.0, pointIndex);
    }
}
