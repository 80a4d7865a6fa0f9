// The processor's MIDI: host parameter changes and notes turned into MIDI
// bytes for the engine, and the engine's MIDI controllers sent back to the
// host as output parameter changes.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

#include "core/ValueRule.h"
#include "engine/runtime/KvAudioMaster.h"
#include "engine/hostio/MidiOutputBuffer.h"
#include "pluginterfaces/vst/ivstevents.h"
#include "pluginterfaces/vst/ivstparameterchanges.h"
#include "shell/ADelayProcessor.h"
#include "engine/parameters/PatchStore.h"

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

void ADelayProcessor::ReleaseAllKeys()
{
    // An all-notes-off: controller 123 on channel 1.
    const unsigned char allNotesOff[3] = {0xB0, 0x7B, 0x00};
    MidiIn(0, allNotesOff, 3);
}

// What a place in the host's lists holds for the pass that reads it.
enum class ReadResult
{
    Input,
    Skip,
    // Nothing more is read from here on.
    Stop
};

template <class ReadAt, class Hand>
void ADelayProcessor::HandInSampleOrder(int32 count, ReadAt readAt, Hand hand)
{
    // Sample order, and the host's order within a sample.
    const auto before = [](const TimedInput& a, const TimedInput& b) {
        return a.offset != b.offset ? a.offset < b.offset : a.place < b.place;
    };
    const std::size_t room = ordered_.size();
    if (room == 0)
    {
        // Never activated: nothing to order in.
        for (int32 place = 0; place < count; ++place)
        {
            TimedInput input;
            const ReadResult read = readAt(place, input);
            if (read == ReadResult::Stop)
                break;
            if (read == ReadResult::Input)
                hand(input);
        }
        return;
    }
    // Each pass keeps the earliest inputs after those already handed over:
    // the room fills, then turns into a heap whose top is the latest kept.
    // One pass for a block that fits, as many as it needs for one that does
    // not; the engine then receives every input in order either way. Inputs
    // the host listed in order take one pass more at most, however many.
    bool handedSome = false;
    TimedInput lastHanded;
    for (;;)
    {
        std::size_t kept = 0;
        bool left = false;
        bool inOrder = true;
        int32 lastOffset = 0;
        for (int32 place = 0; place < count; ++place)
        {
            TimedInput input;
            const ReadResult read = readAt(place, input);
            if (read == ReadResult::Stop)
                break;
            if (read == ReadResult::Skip)
                continue;
            input.place = place;
            if (handedSome && !before(lastHanded, input))
                continue;
            inOrder = inOrder && input.offset >= lastOffset;
            lastOffset = input.offset;
            if (kept < room)
            {
                ordered_[kept++] = input;
                if (kept == room)
                    std::make_heap(ordered_.begin(), ordered_.end(), before);
                continue;
            }
            left = true;
            if (before(input, ordered_.front()))
            {
                std::pop_heap(ordered_.begin(), ordered_.end(), before);
                ordered_.back() = input;
                std::push_heap(ordered_.begin(), ordered_.end(), before);
            }
        }
        const auto end = ordered_.begin() + static_cast<std::ptrdiff_t>(kept);
        if (kept == room)
            std::sort_heap(ordered_.begin(), end, before);
        else if (!inOrder)
            std::sort(ordered_.begin(), end, before);
        for (auto it = ordered_.begin(); it != end; ++it)
            hand(*it);
        if (!left)
            return;
        lastHanded = ordered_[kept - 1];
        handedSome = true;
        if (!inOrder)
            continue;
        // The rest is in order already: as it is read.
        for (int32 place = 0; place < count; ++place)
        {
            TimedInput input;
            const ReadResult read = readAt(place, input);
            if (read == ReadResult::Stop)
                break;
            input.place = place;
            if (read == ReadResult::Input && before(lastHanded, input))
                hand(input);
        }
        return;
    }
}

namespace
{
// The last point of the host's queue `index`, with its offset inside the
// block and its value inside 0..1; false for a queue without one.
bool LastPoint(IParameterChanges& changes, int32 index, int32 numSamples, ParamID& id, int32& offset,
               ParamValue& value)
{
    IParamValueQueue* queue = changes.getParameterData(index);
    if (queue == nullptr)
        return false;
    const int32 points = queue->getPointCount();
    if (points < 1 || queue->getPoint(points - 1, offset, value) != kResultOk || !std::isfinite(value))
        return false;
    value = std::clamp(value, 0.0, 1.0);
    offset = InBlock(offset, numSamples);
    id = queue->getParameterId();
    return true;
}

uint32 PackMidi(unsigned char b0, unsigned char b1, unsigned char b2, int count)
{
    return static_cast<uint32>(b0) | (static_cast<uint32>(b1) << 8) | (static_cast<uint32>(b2) << 16) |
           (static_cast<uint32>(count) << 24);
}

// Controllers whose message acts each time it comes (channel mode, RPN and
// NRPN selection, data entry), not a value that stays.
bool IsEventController(int controller)
{
    return controller >= 120 || controller == 6 || controller == 38 || (controller >= 96 && controller <= 101);
}

// The MIDI of a MIDI parameter's host value (id 10000 + slot), packed.
uint32 MidiParameterBytes(int slot, double value)
{
    if (slot < 128)
        return PackMidi(0xB0, static_cast<unsigned char>(slot),
                        static_cast<unsigned char>(static_cast<int>(value * 127 + 0.5) & 0x7F), 3);
    if (slot + kFirstMidiParameter == kChannelPressureParameter)
        return PackMidi(0xD0, static_cast<unsigned char>(static_cast<int>(value * 127 + 0.5) & 0x7F), 0, 2);
    const int bend = static_cast<int>(value * 16383 + 0.5) & 0x3FFF;
    return PackMidi(0xE0, static_cast<unsigned char>(bend & 0x7F), static_cast<unsigned char>(bend >> 7), 3);
}

// The MIDI bytes of a host note event; false for other events and keys
// outside 0..127, which would turn into status bytes.
bool NoteBytes(const Event& event, uint32& word)
{
    if (event.type == Event::kNoteOnEvent)
    {
        if (event.noteOn.pitch < 0 || event.noteOn.pitch > 127)
            return false;
        const float velocity = UnitVelocity(event.noteOn.velocity);
        // A soft note stays a note: velocity 0 would mean note-off.
        const int scaled = std::max(1, static_cast<int>(velocity * 127));
        word = PackMidi(0x90, static_cast<unsigned char>(event.noteOn.pitch), static_cast<unsigned char>(scaled), 3);
        return true;
    }
    if (event.type == Event::kPolyPressureEvent)
    {
        if (event.polyPressure.pitch < 0 || event.polyPressure.pitch > 127)
            return false;
        const float pressure = UnitVelocity(event.polyPressure.pressure);
        word = PackMidi(0xA0, static_cast<unsigned char>(event.polyPressure.pitch),
                        static_cast<unsigned char>(static_cast<int>(pressure * 127 + 0.5f)), 3);
        return true;
    }
    if (event.type == Event::kNoteOffEvent)
    {
        if (event.noteOff.pitch < 0 || event.noteOff.pitch > 127)
            return false;
        const float velocity = UnitVelocity(event.noteOff.velocity);
        word = PackMidi(0x80, static_cast<unsigned char>(event.noteOff.pitch),
                        static_cast<unsigned char>(static_cast<int>(velocity * 127)), 3);
        return true;
    }
    return false;
}
} // namespace

void ADelayProcessor::ReadParameterChanges(ProcessData& data)
{
    blockProgram_ = -1;
    IParameterChanges* changes = data.inputParameterChanges;
    if (changes == nullptr)
        return;
    KvAudioMaster* master = runtime_.AudioMaster();
    PatchStore& store = runtime_.Store();
    // The program chosen in the block, and its sample. One the host chose
    // on the controller already (one action on both routes) plays from
    // here, where the engine does not play it yet.
    const int32 queues = changes->getParameterCount();
    for (int32 index = 0; index < queues; ++index)
    {
        ParamID id = 0;
        int32 offset = 0;
        ParamValue value = 0.0;
        if (LastPoint(*changes, index, data.numSamples, id, offset, value) &&
            id == static_cast<ParamID>(kProgramChangeParameter) &&
            (!store.PointIsTwin(static_cast<int>(id), value) ||
             (master && ProgramOf(value) != master->ProgramDsp())))
        {
            blockProgramOffset_ = offset;
            // As the controller's program list reads the value.
            blockProgram_ = ProgramOf(value);
        }
    }
    // The patch's own programs are chosen in its patch manager, whether or
    // not its graph hears MIDI program changes; the patch's MIDI input hears
    // it as one too (ReadMidi). Values of earlier samples belong to the
    // program before, those of its sample and later ones to the new one.
    bool programTaken = blockProgram_ < 0 || master == nullptr || !patchPrograms_;
    const auto takeProgram = [&] {
        programTaken = true;
        hostChoseProgram_ = true;
        master->setProgramDsp(blockProgram_, blockProgramOffset_);
    };
    const auto readAt = [&](int32 index, TimedInput& input) {
        ParamID id = 0;
        int32 offset = 0;
        ParamValue value = 0.0;
        if (!LastPoint(*changes, index, data.numSamples, id, offset, value) || id > 9999)
            return ReadResult::Skip;
        input.offset = offset;
        input.word = id;
        input.value = value;
        return ReadResult::Input;
    };
    HandInSampleOrder(queues, readAt, [&](const TimedInput& input) {
            if (!programTaken && input.offset >= blockProgramOffset_)
            takeProgram();
        const auto id = static_cast<int>(input.word);
        if (store.PointIsTwin(id, input.value) || store.FigureFromBlock(id, input.value))
            return;
        if (master)
            master->setParameterNormalizedDsp(input.offset, id, input.value);
    });
    if (!programTaken)
        takeProgram();
}

bool ADelayProcessor::BlockPlaysProgram(IParameterChanges* changes, int32 numSamples)
{
    const int32 queues = changes ? changes->getParameterCount() : 0;
    for (int32 index = 0; index < queues; ++index)
    {
        ParamID id = 0;
        int32 offset = 0;
        ParamValue value = 0.0;
        if (LastPoint(*changes, index, numSamples, id, offset, value) &&
            id == static_cast<ParamID>(kProgramChangeParameter))
            return runtime_.Store().PointWouldPair(static_cast<int>(id), value)
                       ? ProgramOf(value) == runtime_.Store().Program()
                       : offset == 0;
    }
    return false;
}

void ADelayProcessor::ReadBypass(IParameterChanges* changes, int32 numSamples)
{
    const int32 queues = changes ? changes->getParameterCount() : 0;
    for (int32 index = 0; index < queues; ++index)
    {
        ParamID id = 0;
        int32 offset = 0;
        ParamValue value = 0.0;
        IParamValueQueue* queue = changes->getParameterData(index);
        if (queue == nullptr || !LastPoint(*changes, index, numSamples, id, offset, value) ||
            id != KvBypass::kParameterId || runtime_.Store().PointIsTwin(static_cast<int>(id), value))
            continue;
        bypass_.ReadSwitches(*queue, numSamples);
        runtime_.Store().BypassFromBlock(ValueRule::SwitchOn(value), value);
    }
}

void ADelayProcessor::ReadMidi(ProcessData& data, bool withNotes)
{
    IParameterChanges* changes = data.inputParameterChanges;
    IEventList* events = withNotes ? data.inputEvents : nullptr;
    const int64_t queues = changes ? std::max<int32>(changes->getParameterCount(), 0) : 0;
    const int64_t notes = events ? std::max<int32>(events->getEventCount(), 0) : 0;
    // Within a sample the program change first (what the host's parameters
    // move there belongs to the new program, as their values do), then the
    // host's parameters, then the notes, read from index 0 up to the first
    // that cannot be read.
    const auto notesPlace = static_cast<int32>(std::min<int64_t>(queues + 1, std::numeric_limits<int32>::max()));
    const auto readAt = [&](int32 place, TimedInput& input) {
        if (place == 0)
        {
            if (blockProgram_ < 0)
                return ReadResult::Skip;
            input.offset = blockProgramOffset_;
            input.word = PackMidi(0xC0, static_cast<unsigned char>(blockProgram_), 0, 2);
            return ReadResult::Input;
        }
        if (place < notesPlace)
        {
            ParamID id = 0;
            int32 offset = 0;
            ParamValue value = 0.0;
            if (!LastPoint(*changes, place - 1, data.numSamples, id, offset, value))
                return ReadResult::Skip;
            if (id < static_cast<ParamID>(kFirstMidiParameter) || id > static_cast<ParamID>(kPitchBendParameter))
                return ReadResult::Skip;
            // Every value is a message, also one that repeats the last: an
            // all-notes-off, a data entry or an RPN selection acts each time.
            // But a controller's value that the patch parameters bound to it
            // stand at already (the controller shows them, and a host writes
            // back what it read) would move them to its nearest step: it is
            // no change, and no message.
            const int slot = static_cast<int>(id - kFirstMidiParameter);
            input.word = MidiParameterBytes(slot, value);
            input.id = static_cast<int32>(id);
            input.value = value;
            KvAudioMaster* master = runtime_.AudioMaster();
            if (slot < 128 && !IsEventController(slot) && master &&
                master->ControllerStandsAt(slot, static_cast<int>((input.word >> 16) & 0x7F)))
                return ReadResult::Skip;
            input.offset = offset;
            return ReadResult::Input;
        }
        Event event{};
        if (events->getEvent(place - notesPlace, event) != kResultOk)
            return ReadResult::Stop;
        if (!NoteBytes(event, input.word))
            return ReadResult::Skip;
        input.offset = InBlock(event.sampleOffset, data.numSamples);
        return ReadResult::Input;
    };
    const auto count = static_cast<int32>(std::min<int64_t>(queues + 1 + notes, std::numeric_limits<int32>::max()));
    HandInSampleOrder(count, readAt, [&](const TimedInput& input) {
        // The host's copy of what the controller showed, coming back.
        if (input.id >= 0 && runtime_.Store().PointIsTwin(input.id, input.value))
            return;
        const unsigned char bytes[3] = {static_cast<unsigned char>(input.word & 0xFF),
                                        static_cast<unsigned char>((input.word >> 8) & 0xFF),
                                        static_cast<unsigned char>((input.word >> 16) & 0xFF)};
        MidiIn(input.offset, bytes, static_cast<int>(input.word >> 24));
    });
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
