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
#include "engine/parameters/PatchStore.h"
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

// Calls visit(header, payload) for each whole record of a batch. A bad
// length ends the walk.
template <class Visit>
void WalkRecords(const unsigned char* bytes, int size, Visit visit)
{
    StagingMemoryBufferInputStream records(bytes, size);
    while (!records.AtEnd())
    {
        QueMessageHeader header;
        if (!header.Read(records) || header.length_ < 0 ||
            static_cast<unsigned>(header.length_) > records.BytesRemaining())
            return;
        const unsigned char* payload = bytes + records.Position();
        records.Skip(static_cast<unsigned>(header.length_));
        visit(header, payload);
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
    PatchStore& store = Store();
    const bool shared = Shared();
    // The host had what the engine moved on its own as an output change,
    // which not every host takes into its copy: it rereads.
    bool shown = false;
    WalkRecords(bytes, size, [&](const QueMessageHeader& header, const unsigned char* payload) {
        StagingMemoryBufferInputStream in(payload, header.length_);
        const auto found = parameters_.find(header.handle_);
        if (found != parameters_.end() && header.id_ == QueMessageId::ppc)
        {
            uint8_t flag = 0;
            in >> flag;
            KvParameter& record = found->second;
            Parameter* host = HostParameter(record);
            shown = shown || ((flag & QueMessageId::kOwnMove) != 0 && host != nullptr);
            // A figure alone takes the host's normalised value below.
            const int slot = Figure(header.handle_) ? -1 : store.SlotOfHandle(header.handle_);
            // The engine wrote the shared store itself.
            if (shared && slot >= 0)
            {
                NotifyAutomators(header.handle_);
                return;
            }
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
                // Other keys are the voices of a polyphonic parameter.
                if (key != 0)
                    continue;
                // A controller keeping its own store takes what the engine
                // reports into it, in the patch it names.
                if (slot >= 0 && patch >= 0 && patch < store.ShapeOf(slot).patches)
                {
                    const PatchStore::Kind kind = store.ShapeOf(slot).kind;
                    if (kind == PatchStore::Kind::Text || kind == PatchStore::Kind::Blob)
                        store.WriteBytes(slot, patch, value.data(), value.size(), PatchStore::Writer::Engine);
                    else
                    {
                        uint32_t bits = 0;
                        std::memcpy(&bits, value.data(), std::min(value.size(), sizeof(bits)));
                        store.WriteRaw(slot, patch, bits, PatchStore::Writer::Engine);
                    }
                    continue;
                }
                int32_t position = 0;
                if (host && numeric && positions.HasList())
                {
                    // A value that is no choice of the list leaves the host alone.
                    if (!positions.Position(static_cast<int64_t>(plain), position))
                        continue;
                    plain = position;
                }
                if (host && numeric)
                {
                    const ParamValue n = record.valueType == 4
                                             ? plain
                                             : plainParamToNormalized(static_cast<ParamID>(record.index), plain);
                    if (!std::isfinite(n))
                        continue;
                    if (store.HasHostId(record.index))
                        store.SetFigure(record.index, std::clamp(n, 0.0, 1.0));
                    else
                        EditController::setParamNormalized(static_cast<ParamID>(record.index), std::clamp(n, 0.0, 1.0));
                }
                else if (!host)
                {
                    record.value = value;
                }
            }
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
            return;
        }
        // The engine moved to another program: the shared store has it, a
        // controller's own takes it.
        if (header.id_ == QueMessageId::pat2 && !shared)
        {
            int32_t moved = 0;
            in >> moved;
            if (!in.failed())
                store.ProgramFromEngine(moved, false);
        }
        // Every other record is skipped whole.
    });
    // The host rereads what the batch moved once it is all in place.
    ShowStoreChanges();
    if (shown)
        ValuesChanged();
    readingBatch_ = reading.was;
    FlushHostCalls();
}
