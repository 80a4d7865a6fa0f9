#include "shell/HostValueTable.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "core/QueMessage.h"
#include "core/StagingMemoryBuffer.h"
#include "public.sdk/source/vst/vstparameters.h"
#include "shell/KvParameterList.h"

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace
{
bool IsNumeric(int32_t valueType)
{
    switch (valueType)
    {
    case 0:
    case 3:
    case 4:
    case 6:
    case 8:
    case 9:
        return true;
    default:
        return false;
    }
}

template <typename T>
bool ReadNumber(my_input_stream& in, double& plain)
{
    T value{};
    in.Read(&value, sizeof(T));
    plain = static_cast<double>(value);
    return !in.failed();
}

// One value in its serialised form as a plain number.
bool ReadPlain(my_input_stream& in, int32_t valueType, double& plain)
{
    switch (valueType)
    {
    case 0:
    case 8:
        return ReadNumber<int32_t>(in, plain);
    case 3:
        return ReadNumber<double>(in, plain);
    case 4:
    {
        uint8_t v = 0;
        in.Read(&v, 1);
        plain = v != 0 ? 1.0 : 0.0;
        return !in.failed();
    }
    case 6:
        return ReadNumber<float>(in, plain);
    case 9:
        return ReadNumber<int64_t>(in, plain);
    default:
        return false;
    }
}
} // namespace

HostValueTable::HostValueTable() = default;
HostValueTable::~HostValueTable() = default;

void HostValueTable::Build(const std::string& parametersXml)
{
    slots_.clear();
    std::vector<KvParameterEntry> entries;
    KvParameterList::ReadDocument(parametersXml, entries);
    for (KvParameterEntry& entry : entries)
    {
        // Taken over, so that every host parameter made is released.
        IPtr<Parameter> parameter = owned(entry.host);
        if (!parameter || !IsNumeric(entry.record.valueType))
            continue;
        // A handle given twice is the first one's, as in the controller.
        if (Find(entry.handle) != nullptr)
            continue;
        Slot slot;
        slot.handle = entry.handle;
        slot.id = static_cast<ParamID>(entry.record.index);
        slot.valueType = entry.record.valueType;
        slot.parameter = parameter;
        if (entry.record.HasChoices())
            slot.positions = KvEnumPositions(entry.record.enumList);
        const auto at = std::lower_bound(slots_.begin(), slots_.end(), slot.handle,
                                         [](const Slot& s, int handle) { return s.handle < handle; });
        slots_.insert(at, std::move(slot));
    }
}

const HostValueTable::Slot* HostValueTable::Find(int handle) const
{
    const auto at = std::lower_bound(slots_.begin(), slots_.end(), handle,
                                     [](const Slot& s, int h) { return s.handle < h; });
    return at != slots_.end() && at->handle == handle ? &*at : nullptr;
}

void HostValueTable::Report(const unsigned char* batch, std::size_t size, IParameterChanges& changes,
                            int32 sampleOffset, PatchStore& store) const
{
    if (batch == nullptr || slots_.empty() || size > static_cast<std::size_t>(std::numeric_limits<int>::max()))
        return;
    StagingMemoryBufferInputStream records(batch, static_cast<int>(size));
    while (!records.AtEnd())
    {
        QueMessageHeader header;
        if (!header.Read(records) || header.length_ < 0 ||
            static_cast<unsigned>(header.length_) > records.BytesRemaining())
            return;
        StagingMemoryBufferInputStream in(batch + records.Position(), header.length_);
        records.Skip(static_cast<unsigned>(header.length_));
        const Slot* slot = header.id_ == QueMessageId::ppc ? Find(header.handle_) : nullptr;
        if (slot == nullptr)
            continue;

        // Only what the engine moved on its own: the host knows what it set.
        uint8_t flag = 0;
        in.Read(&flag, 1);
        if (in.failed() || (flag & QueMessageId::kOwnMove) == 0)
            continue;
        // The last monophonic value of the record is the one the host keeps.
        bool found = false;
        double plain = 0.0;
        for (;;)
        {
            int32_t key = 0;
            int32_t patch = 0;
            in.Read(&key, sizeof(key));
            if (in.failed() || key == -1)
                break;
            in.Read(&patch, sizeof(patch));
            double value = 0.0;
            if (!ReadPlain(in, slot->valueType, value))
                break;
            // Other keys are the voices of a polyphonic parameter.
            if (key != 0)
                continue;
            plain = value;
            found = true;
        }
        if (!found)
            continue;
        int32_t position = 0;
        if (slot->positions.HasList())
        {
            // A value that is no choice of the list is not reported.
            if (!slot->positions.Position(static_cast<int64_t>(plain), position))
                continue;
            plain = position;
        }
        const double normalized = slot->valueType == 4 ? plain : slot->parameter->toNormalized(plain);
        if (!std::isfinite(normalized))
            continue;
        int32 index = 0;
        if (IParamValueQueue* queue = changes.addParameterData(slot->id, index))
        {
            queue->addPoint(sampleOffset, std::clamp(normalized, 0.0, 1.0), index);
            store.Reported(static_cast<int>(slot->id), std::clamp(normalized, 0.0, 1.0));
        }
    }
}
