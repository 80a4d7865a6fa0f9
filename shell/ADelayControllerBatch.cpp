// Reading the batch of records that the processor sends: parameter values
// reported by the engine and messages to GUI modules. Every read is bounded
// by its record, so a bad length or count skips that record only.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include "core/QueMessage.h"
#include "core/StagingMemoryBuffer.h"
#include "shell/ADelayController.h"
#include "editor/GuiPatchAutomator2.h"
#include "editor/GuiModuleWrapper.h"
#include "editor/KVVSTGUIEditor.h"
#include "shell/KvClock.h"
#include "shell/KvEnumPositions.h"

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace
{
// Reads an int32 count and that many bytes; false when the record is short.
bool ReadCounted(my_input_stream& in, std::string& bytes)
{
    int32_t count = 0;
    in >> count;
    if (in.failed() || count < 0 || static_cast<unsigned>(count) > in.BytesRemaining())
        return false;
    bytes.resize(static_cast<std::size_t>(count));
    if (count > 0)
        in.Read(bytes.data(), static_cast<unsigned>(count));
    return !in.failed();
}

template <typename T>
bool ReadPlain(my_input_stream& in, T& value)
{
    in.Read(&value, sizeof(T));
    return !in.failed();
}

// The processor's stamp before the records of a batch: the moment its block
// began (the largest moment before any: unstamped records count as new).
struct Stamp
{
    int64_t moment = std::numeric_limits<int64_t>::max();
};

// Calls visit(header, payload, stamp) for each whole record of a batch but
// the processor's stamps, with the last stamp before it. A bad length ends
// the walk.
template <class Visit>
void WalkRecords(const unsigned char* bytes, int size, Visit visit)
{
    Stamp stamp;
    StagingMemoryBufferInputStream records(bytes, size);
    while (!records.AtEnd())
    {
        QueMessageHeader header;
        if (!header.Read(records) || header.length_ < 0 ||
            static_cast<unsigned>(header.length_) > records.BytesRemaining())
            return;
        const unsigned char* payload = bytes + records.Position();
        records.Skip(static_cast<unsigned>(header.length_));
        if (header.id_ == QueMessageId::time && header.length_ == static_cast<int32_t>(sizeof(stamp)))
            std::memcpy(&stamp, payload, sizeof(stamp));
        else
            visit(header, payload, stamp);
    }
}

template <typename T>
std::string Raw(const T& value)
{
    return std::string(reinterpret_cast<const char*>(&value), sizeof(T));
}

// One fixed-size value: its number for the host and its raw bytes for the record.
template <typename T>
bool ReadNumber(StagingMemoryBufferInputStream& in, double& plain, std::string& value)
{
    T v{};
    const bool ok = ReadPlain(in, v);
    plain = static_cast<double>(v);
    value = Raw(v);
    return ok;
}
} // namespace

void ADelayController::ReadBatch(const unsigned char* bytes, int size)
{
    struct Reading
    {
        bool& flag;
        bool was;
        ~Reading() { flag = was; }
    } reading{readingBatch_, readingBatch_};
    readingBatch_ = true;
    // Each batch follows the processor's stamp of the moment its block
    // began; what a batch reports of a parameter (or of the program) that
    // the host, the editor, a program or a state set after that moment is
    // older than what the controller holds, and is passed over. First, the
    // engine's last report of a program in the batch that is newer than the
    // host's choice.
    int32_t reported = -1;
    WalkRecords(bytes, size, [&](const QueMessageHeader& header, const unsigned char* payload, const Stamp& stamp) {
        if (header.id_ == QueMessageId::pat2 && header.length_ >= 4 && ledger_.ProgramReportIsNewer(stamp.moment))
            std::memcpy(&reported, payload, sizeof(reported));
    });
    // A batch that moves the engine to another program carries that
    // program's values: those the parameters hold now are the program's
    // they leave, kept before the batch's values replace them.
    if (reported >= 0 && reported != currentProgram_ && reported < static_cast<int32_t>(programNames_.size()))
        SaveProgram(currentProgram_);
    const int64_t now = KvClock::Now();
    // The engine reports a program change before the values it moved.
    bool programChanged = false;
    bool shown = false;
    const auto Show = [&](ParamID id, ParamValue value, int64_t at) {
        const Parameter* parameter = getParameterObject(id);
        const double was = parameter ? parameter->getNormalized() : value;
        ApplyParamNormalized(id, value, at);
        shown = shown || (parameter && parameter->getNormalized() != was);
    };
    int32_t program = 0;
    WalkRecords(bytes, size, [&](const QueMessageHeader& header, const unsigned char* payload, const Stamp& stamp) {
        const int64_t moment = stamp.moment;
        StagingMemoryBufferInputStream in(payload, header.length_);
        const auto found = parameters_.find(header.handle_);
        if (found != parameters_.end() && header.id_ == QueMessageId::ppc)
        {
            // The host had what the engine moved on its own as an output
            // change, which not every host takes into its copy: it rereads,
            // and finds the newest value. A report older than what set the
            // parameter since is not shown.
            uint8_t flag = 0;
            in >> flag;
            shown = shown || ((flag & QueMessageId::kOwnMove) != 0 && HostParameter(found->second) != nullptr);
            const bool newer = ledger_.ReportIsNewer(header.handle_, moment);
            if (!newer)
                return;
            const int64_t reportedAt = std::min(moment, now);
            KvParameter& record = found->second;
            Parameter* host = HostParameter(record);
            // The host counts the choices of a list by position.
            const KvEnumPositions positions(record.HasChoices() ? record.enumList : std::wstring());
            for (;;)
            {
                int32_t key = 0;
                int32_t patch = 0;
                in >> key;
                if (in.failed() || key == -1)
                    break;
                in >> patch;
                std::string value;
                double plain = 0.0;
                bool numeric = true;
                bool ok = true;
                switch (record.valueType)
                {
                case 0:
                case 8:
                    ok = ReadNumber<int32_t>(in, plain, value);
                    break;
                case 3:
                    ok = ReadNumber<double>(in, plain, value);
                    break;
                case 4:
                {
                    uint8_t v = 0;
                    ok = ReadPlain(in, v);
                    plain = v != 0 ? 1.0 : 0.0;
                    value = std::string(1, static_cast<char>(v != 0));
                    break;
                }
                case 6:
                    ok = ReadNumber<float>(in, plain, value);
                    break;
                case 9:
                    ok = ReadNumber<int64_t>(in, plain, value);
                    break;
                case 1:
                case 10:
                    ok = ReadCounted(in, value);
                    numeric = false;
                    break;
                default:
                    // No value travels for these types.
                    ok = !in.failed();
                    numeric = false;
                    value = record.value;
                    break;
                }
                if (!ok || in.failed())
                    break;
                // Other keys are the voices of a polyphonic parameter, no host value.
                int32_t position = 0;
                if (host && numeric && key == 0 && positions.HasList())
                {
                    // A value that is no choice of the list leaves the host alone.
                    if (!positions.Position(static_cast<int64_t>(plain), position))
                        continue;
                    plain = position;
                }
                if (host && numeric && key == 0)
                {
                    const ParamValue n = record.valueType == 4
                                             ? plain
                                             : plainParamToNormalized(static_cast<ParamID>(record.index), plain);
                    if (!std::isfinite(n) || !newer)
                        continue;
                    Show(static_cast<ParamID>(record.index), std::clamp(n, 0.0, 1.0), reportedAt);
                }
                else if (!host && newer)
                {
                    record.value = value;
                }
            }
            if (newer)
                NotifyAutomators(header.handle_);
            return;
        }

        if (found == parameters_.end() && header.id_ == QueMessageId::sdk)
        {
            int32_t messageId = 0;
            in >> messageId;
            std::string data;
            if (!ReadCounted(in, data))
                return;
            const auto automators = automators_;
            for (GuiPatchAutomator2* automator : automators)
            {
                KVVSTGUIEditor* editor = automator->Editor();
                if (GuiModuleWrapper* module = editor ? editor->HandleToObject(header.handle_) : nullptr)
                    module->receiveMessageFromAudio(messageId, static_cast<int>(data.size()), data.data());
            }
        }
        // Values a host's block carried: taken as the host's, unless the
        // parameter was set after the block began. A stamp no block could
        // have is refused.
        if (header.id_ == QueMessageId::hval && moment > 0 && moment <= now)
        {
            constexpr int32_t kEach = sizeof(uint32_t) + sizeof(double);
            for (int32_t at = 0; at + kEach <= header.length_; at += kEach)
            {
                uint32_t id = 0;
                double value = 0.0;
                std::memcpy(&id, payload + at, sizeof(id));
                std::memcpy(&value, payload + at + sizeof(id), sizeof(value));
                if (!std::isfinite(value))
                    continue;
                // Just older than what the engine reports of the same block.
                const int64_t before = moment - 1;
                if (id == static_cast<uint32_t>(kProgramChangeParameter))
                {
                    if (ledger_.ProgramReportIsNewer(moment))
                        Show(static_cast<ParamID>(id), std::clamp(value, 0.0, 1.0), before);
                    continue;
                }
                const int handle = id == static_cast<uint32_t>(kBypassParameter) ? kBypassLedger : HandleOf(id);
                if (handle == -1 || !ledger_.ReportIsNewer(handle, moment))
                    continue;
                ledger_.Note(handle, before);
                Show(static_cast<ParamID>(id), std::clamp(value, 0.0, 1.0), before);
            }
            return;
        }
        // The engine moved to another program: the host hears of it once
        // the batch's values are in place.
        if (header.id_ == QueMessageId::pat2)
        {
            int32_t moved = 0;
            in >> moved;
            if (in.failed() || !ledger_.ProgramReportIsNewer(moment))
                return;
            programChanged = true;
            program = moved;
            return;
        }
        // Every other record is skipped whole.
    });
    if (programChanged)
        ProgramChanged(program);
    // The host's copy follows what the batch moved.
    if (shown)
        ValuesChanged();
    // The host rereads what the batch moved once it is all in place.
    readingBatch_ = reading.was;
    FlushHostCalls();
}
