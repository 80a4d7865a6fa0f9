// The controller's services for the editor and its message traffic with the
// processor.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>

#include "core/ParameterFieldType.h"
#include "core/QueMessage.h"
#include "core/ValueRule.h"
#include "core/conversion.h"
#include "core/it_enum_list.h"
#include "shell/KvEnumPositions.h"
#include "pluginterfaces/vst/ivstmessage.h"
#include "shell/ADelayController.h"
#include "editor/GuiPatchAutomator2.h"
#include "editor/KVVSTGUIEditor.h"
#include "engine/parameters/PatchStore.h"
#include "shell/KvHostParameter.h"
#include "shell/MyVstPluginFactory.h"
#include "shell/ShellMessageIds.h"

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace
{
constexpr const char* kMessageId = ShellMessageIds::kRecords;
constexpr const char* kAttributeId = ShellMessageIds::kRecordsAttribute;

template <typename T>
void Append(std::string& bytes, const T& value)
{
    bytes.append(reinterpret_cast<const char*>(&value), sizeof(T));
}

template <typename T>
std::string Raw(const T& value)
{
    return std::string(reinterpret_cast<const char*>(&value), sizeof(T));
}

template <typename T>
T FromBytes(const void* data, int size)
{
    T value{};
    if (data != nullptr && size >= static_cast<int>(sizeof(T)))
        std::memcpy(&value, data, sizeof(T));
    return value;
}

// Wide text as 32-bit characters with one terminating zero character.
std::string WideBytes(const std::wstring& text, bool terminate)
{
    std::string bytes;
    for (wchar_t c : text)
        Append(bytes, static_cast<int32_t>(c));
    if (terminate)
        Append(bytes, int32_t{0});
    return bytes;
}
} // namespace

void ADelayController::setParameterFromGui(int handle, int field, int size, const void* data)
{
    const auto found = parameters_.find(handle);
    if (found == parameters_.end() || size < 0 || (size > 0 && data == nullptr))
        return;
    KvParameter& record = found->second;
    Parameter* host = HostParameter(record);

    // A normalized write: the plain value is stored, and the edit goes to the
    // host when the record has a host parameter, else straight to the processor.
    if (field == FT_NORMALIZED)
    {
        const float given = FromBytes<float>(data, size);
        if (!std::isfinite(given))
            return;
        const float n = std::clamp(given, 0.0f, 1.0f);
        double plain = 0.0;
        if (host)
            plain = normalizedParamToPlain(static_cast<ParamID>(record.index), n);
        else if (record.enumList.empty())
            plain = record.rangeMinimum + (record.rangeMaximum - record.rangeMinimum) * n;
        else
            plain = normalised_to_enum(record.enumList, n);
        if (record.valueType == 8)
            record.value = Raw(static_cast<int32_t>(plain + 0.5));
        else if (record.valueType == 6)
            record.value = Raw(static_cast<float>(plain));
        if (host)
            EditFromGui(static_cast<ParamID>(record.index), n);
        else
        {
            ParamToDsp(handle, record);
        }
        return;
    }

    // The MIDI-learn menu: 1 starts learning, 2 forgets the learned controller.
    if (field == FT_MENU_SELECTION)
    {
        const auto choice = FromBytes<int32_t>(data, size);
        if (choice == 1 || choice == 2)
            SendRecord(handle, QueMessageId::CCID, Raw(int32_t{choice == 1 ? -2 : -1}));
        return;
    }

    // A value write: texts, blobs and private values travel as messages;
    // numbers with a host parameter become host edits of their plain value.
    if (field != FT_VALUE)
        return;
    if (size > 0)
        record.value.assign(static_cast<const char*>(data), static_cast<std::size_t>(size));
    else
        record.value.clear();
    if (host == nullptr || record.valueType == 1 || record.valueType == 10)
    {
        ParamToDsp(handle, record);
        return;
    }
    // Every type the host carries is edited there: reads follow the host.
    double plain = 0.0;
    switch (record.valueType)
    {
    case 3:
        plain = FromBytes<double>(data, size);
        break;
    case 4:
        plain = FromBytes<uint8_t>(data, size) != 0 ? 1.0 : 0.0;
        break;
    case 6:
        plain = FromBytes<float>(data, size);
        break;
    case 0:
    case 8:
    {
        int32_t position = 0;
        if (!KvEnumPositions(record.enumList).Position(FromBytes<int32_t>(data, size), position))
            return;
        plain = position;
        break;
    }
    case 9:
        plain = static_cast<double>(FromBytes<int64_t>(data, size));
        break;
    default:
        return;
    }
    if (!std::isfinite(plain))
        return;
    EditHostParameter(record, plain);
}

void ADelayController::EditHostParameter(const KvParameter& record, double plain)
{
    const auto id = static_cast<ParamID>(record.index);
    EditFromGui(id, std::clamp(plainParamToNormalized(id, plain), 0.0, 1.0));
}

void ADelayController::EditFromGui(ParamID id, ParamValue value)
{
    ApplyParamNormalized(id, value);
    // A gesture: begun here unless the pointer's press opened it already,
    // ended here unless its release ends it.
    const bool open = std::find(openGestures_.begin(), openGestures_.end(), id) != openGestures_.end();
    if (!open)
        hostCalls_.Begin(id);
    hostCalls_.Edit(id, value);
    if (!pointerHeld_)
        hostCalls_.End(id);
    else if (!open)
        openGestures_.push_back(id);
    FlushHostCalls();
}

// The raw value of a record as its host parameter holds it now; false for a
// type the host does not carry. A list position without a choice leaves out
// as it was.
bool ADelayController::HostValue(const KvParameter& record, const Parameter& host, std::string& out)
{
    const double normalized = getParamNormalized(static_cast<ParamID>(record.index));
    const double plain = host.toPlain(normalized);
    switch (record.valueType)
    {
    case 3:
        out = Raw(plain);
        return true;
    case 4:
        out = std::string(1, ValueRule::SwitchOn(normalized) ? '\1' : '\0');
        return true;
    case 6:
        out = Raw(static_cast<float>(plain));
        return true;
    case 0:
    case 8:
    {
        int32_t value = 0;
        if (KvEnumPositions(record.enumList).Value(static_cast<int64_t>(plain), value))
            out = Raw(value);
        return true;
    }
    case 9:
        out = Raw(static_cast<int64_t>(plain));
        return true;
    default:
        return false;
    }
}

bool ADelayController::getParameterValue(int handle, int field, std::string& out)
{
    // Handle -1 is the editor's preset menu.
    if (handle == -1)
    {
        if (field == FT_VALUE)
        {
            out = Raw(int32_t{0});
            return true;
        }
        if (field == FT_ENUM_LIST)
        {
            out = WideBytes(L"Export Preset=1,Import Preset", true);
            return true;
        }
        return false;
    }
    const auto found = parameters_.find(handle);
    if (found == parameters_.end())
        return false;
    const KvParameter& record = found->second;
    Parameter* host = HostParameter(record);
    const int type = record.valueType;
    const double low = record.rangeMinimum;
    const double high = record.rangeMaximum;
    const std::string value = RecordValue(handle, record);

    // Values with a host parameter are read from it: the host may have moved them.
    switch (field)
    {
    case FT_VALUE:
        if (host && type != 1 && type != 10)
            return HostValue(record, *host, out);
        if (type == 1 || type == 4 || type == 10)
        {
            out = value;
            return true;
        }
        if (type == 6 || type == 8)
        {
            if (value.size() != 4)
                return false;
            out = value;
            return true;
        }
        return false;
    case FT_SHORT_NAME:
    case 2:
    case FT_AUTOMATION_SYSEX:
        out.clear();
        return true;
    case FT_MENU_ITEMS:
        out = (type == 1 || type == 10) ? std::string() : WideBytes(L"Learn=1, UnLearn", false);
        return true;
    case FT_RANGE_LO:
        if (host)
            out = Raw(static_cast<float>(host->toPlain(0.0)));
        else if (type == 3)
            out = Raw(low);
        else if (type == 4)
            out = std::string(1, '\0');
        else if (type == 6)
            out = Raw(static_cast<float>(low));
        else
            out = Raw(int32_t{0});
        return true;
    case FT_RANGE_HI:
        if (host)
            out = Raw(static_cast<float>(host->toPlain(1.0)));
        else if (type == 3)
            out = Raw(high);
        else if (type == 4)
            out = std::string(1, '\1');
        else if (type == 6)
            out = Raw(static_cast<float>(high));
        else
            out = Raw(1.0f);
        return true;
    case FT_ENUM_LIST:
    case FT_FILE_EXTENSION:
        out = WideBytes(record.enumList, false);
        return true;
    case FT_NORMALIZED:
    {
        if (host)
        {
            out = Raw(static_cast<float>(getParamNormalized(static_cast<ParamID>(record.index))));
            return true;
        }
        const std::size_t size = value.size();
        // An empty range gives 0 rather than a division by zero.
        const double span = high - low;
        auto normalize = [&](double v) { return static_cast<float>(span != 0.0 ? (v - low) / span : 0.0); };
        if (type == 3 || type == 4 || type == 6)
        {
            if ((type == 3 && size != 8) || (type == 4 && size != 1) || (type == 6 && size != 4))
                return false;
            if (type == 3)
                out = Raw(normalize(FromBytes<double>(value.data(), 8)));
            else if (type == 4)
                out = Raw(value[0] != 0 ? 1.0f : 0.0f);
            else
                out = Raw(normalize(FromBytes<float>(value.data(), 4)));
            return true;
        }
        out = Raw(0.0f);
        return true;
    }
    default:
        return false;
    }
}

int ADelayController::getParameterHandle(int moduleHandle, int moduleParamId) const
{
    for (const auto& [handle, record] : parameters_)
    {
        if (record.moduleHandle == moduleHandle && record.moduleParamId == moduleParamId)
            return handle;
    }
    return -1;
}

void ADelayController::AddPatchAutomator(GuiPatchAutomator2* automator)
{
    if (automator)
        automators_.push_back(automator);
}

void ADelayController::RemovePatchAutomator(GuiPatchAutomator2* automator)
{
    const auto found = std::find(automators_.begin(), automators_.end(), automator);
    if (found != automators_.end())
        automators_.erase(found);
}

// One record per message, through the staging buffer: a record too large for
// it is not sent, and the caller hears so.
bool ADelayController::SendRecord(int handle, int32_t id, const std::string& payload)
{
    staging_.Clear();
    StagingMemoryBufferOutputStream out(&staging_);
    if (!WriteQueMessage(out, handle, id, payload.data(), static_cast<int32_t>(payload.size())))
        return false;
    IPtr<IMessage> message = owned(allocateMessage());
    if (!message)
        return false;
    message->setMessageID(kMessageId);
    message->getAttributes()->setBinary(kAttributeId, staging_.data_, staging_.used_);
    return sendMessage(message) == kResultOk;
}

bool ADelayController::ParamToDsp(int handle, const KvParameter& record)
{
    // A value the store holds is written there: the engine hears of it at
    // its next block.
    PatchStore& store = Store();
    if (const int slot = store.SlotOfHandle(handle); slot >= 0)
    {
        const int patch = store.PatchOf(slot, store.Program());
        const PatchStore::Kind kind = store.ShapeOf(slot).kind;
        bool written = true;
        if (kind == PatchStore::Kind::Text || kind == PatchStore::Kind::Blob)
            written = store.WriteBytes(slot, patch, record.value.data(), record.value.size(), PatchStore::Writer::Editor);
        else if (record.value.size() >= (kind == PatchStore::Kind::Bool ? 1u : 4u))
        {
            uint32_t bits = 0;
            std::memcpy(&bits, record.value.data(), std::min(record.value.size(), sizeof(bits)));
            // The editor's number keeps to the rule of the engine's.
            if (kind == PatchStore::Kind::Bool)
                bits = (bits & 0xFF) != 0;
            store.WriteRaw(slot, patch, bits, PatchStore::Writer::Editor);
        }
        else
            written = false;
        if (!written)
            std::fprintf(stderr, "Korvane: the editor's value of parameter %d does not fit its room; it is refused.\n",
                         handle);
        NotifyAutomators(handle);
        return written;
    }
    std::string payload;
    Append(payload, uint8_t{0});
    Append(payload, int32_t{0});
    if (record.valueType == 1 || record.valueType == 10)
        Append(payload, static_cast<int32_t>(record.value.size()));
    payload += record.value;
    return SendRecord(handle, QueMessageId::ppc, payload);
}

bool ADelayController::sendMessageToAudio(int handle, int messageId, int size, const void* data)
{
    if (size < 0 || (size > 0 && data == nullptr))
        return false;
    std::string payload;
    Append(payload, static_cast<int32_t>(messageId));
    Append(payload, static_cast<int32_t>(size));
    payload.append(static_cast<const char*>(data), static_cast<std::size_t>(size));
    return SendRecord(handle, QueMessageId::sdk, payload);
}

bool ADelayController::PollProcessor()
{
    IPtr<IMessage> message = owned(allocateMessage());
    if (!message)
        return false;
    message->setMessageID(ShellMessageIds::kPollBatches);
    const bool sent = sendMessage(message) == kResultOk;
    // What the batches asked of the host.
    FlushHostCalls();
    return sent;
}

tresult PLUGIN_API ADelayController::connect(IConnectionPoint* other)
{
    const tresult result = EditController::connect(other);
    if (result != kResultOk)
        return result;
    // A processor connected already answers with its store.
    if (IPtr<IMessage> message = owned(allocateMessage()))
    {
        message->setMessageID(ShellMessageIds::kStoreWanted);
        sendMessage(message);
    }
    return result;
}

tresult PLUGIN_API ADelayController::notify(IMessage* message)
{
    if (message == nullptr)
        return kInvalidArgument;
    const void* data = nullptr;
    uint32 size = 0;
    const char* id = message->getMessageID();
    int64 token = 0;
    if (id != nullptr && std::strcmp(id, ShellMessageIds::kStore) == 0)
    {
        // Found only in the processor's own process.
        if (message->getAttributes() == nullptr ||
            message->getAttributes()->getInt(ShellMessageIds::kStoreToken, token) != kResultOk)
            return kResultFalse;
        TakeStore(PatchStore::Borrow(token));
        return kResultOk;
    }
    if (id == nullptr || std::strcmp(id, kMessageId) != 0 || message->getAttributes() == nullptr ||
        message->getAttributes()->getBinary(kAttributeId, data, size) != kResultOk)
        return EditController::notify(message);
    if (data == nullptr || size == 0 || size > static_cast<uint32>(INT32_MAX))
        return kResultOk;
    // The records, the automators and the modules are the editor's: a batch
    // sent on another thread (a host calling the processor there) waits for
    // the user-interface thread, behind whatever waits already; so does one
    // that comes while that work is served.
    if (!OnUiThread() || servicing_)
    {
        DeferBatch(static_cast<const unsigned char*>(data), static_cast<int>(size));
        return kResultOk;
    }
    ServiceOtherThreads();
    ReadBatch(static_cast<const unsigned char*>(data), static_cast<int>(size));
    return kResultOk;
}

int ADelayController::resolveFilename(const wchar_t* name, int maxChars, wchar_t* result) const
{
    if (result == nullptr || maxChars <= 0)
        return 0;
    const std::wstring text = name ? std::wstring(name) : std::wstring();
    std::wstring path = text;
    if (text.find(L':') == std::wstring::npos || (!text.empty() && text[0] == L'/'))
    {
        const std::wstring folder = factory_ ? factory_->getImbeddedFileFolder() : std::wstring();
        path = combine_path_and_file(folder, text);
    }
    WStringToWchars(path, result, maxChars);
    return 0;
}
