// The records a patch parameter exchanges with the editor: values, learn
// codes, SysEx templates and metadata from the editor; "ppc" records with
// the values marked dirty to the editor, spread over batches when long.
#include "core/QueMessage.h"
#include "engine/parameters/dsp_patch_parameter_base.h"
#include "core/my_streams.h"
#include "engine/runtime/IKvAudioMaster.h"
#include "engine/runtime/IKvShellDsp.h"

void dsp_patch_parameter_base::MarkEngineChange(int key)
{
    if (moduleOwned_)
        return;
    engineChangePending_ = true;
    if (PatchStorageBase* entry = Storage(key))
        entry->setDirty(EffectivePatch(), true);
    RequestQue();
}

void dsp_patch_parameter_base::MarkOwnMove(int key)
{
    // What the host sent of the value before is no longer what it holds.
    if (PatchStorageBase* entry = polyphonic_ ? nullptr : Storage(key))
        entry->OwnMove();
    if (moduleOwned_)
        return;
    ownMovePending_ = true;
    MarkEngineChange(key);
}

void dsp_patch_parameter_base::UpdateUI(bool keepEngineFlag, int key)
{
    if (moduleOwned_)
        return;
    if (!keepEngineFlag)
        engineChangePending_ = true;
    if (PatchStorageBase* entry = Storage(key))
        entry->setDirty(EffectivePatch(), true);
    RequestQue();
}

void dsp_patch_parameter_base::RequestQue()
{
    IKvAudioMaster* master = AudioMaster();
    if (IKvShellDsp* shell = master ? master->Application() : nullptr)
        shell->RequestQue(this, sdk2BackwardCompatibility_);
}

void dsp_patch_parameter_base::SerialiseValue(my_output_stream& out, int key, int patch) const
{
    const PatchStorageBase* entry = Storage(key);
    const int size = entry ? entry->GetValueSize(patch) : 0;
    const void* data = entry ? entry->GetValue(patch) : nullptr;
    if (typeIsVariableSize())
        out << static_cast<int32_t>(data ? size : 0);
    if (data && size > 0)
        out.Write(data, static_cast<unsigned>(size));
}

void dsp_patch_parameter_base::HandleUiMsg(int id, my_input_stream& stream)
{
    switch (id)
    {
    case QueMessageId::CCID:
    {
        int32_t code = -1;
        stream >> code;
        if (!stream.failed())
            setAutomation(code);
        break;
    }
    case QueMessageId::CCSX:
    {
        // Read into the room the template took at graph build; a longer one
        // is refused (a cut template would send other bytes), the one before
        // staying.
        int32_t count = 0;
        stream >> count;
        if (stream.failed() || count < 0 || static_cast<uint64_t>(count) * 4u > stream.BytesRemaining())
            break;
        if (static_cast<size_t>(count) > automationSysex_.capacity())
        {
            if (IKvAudioMaster* master = AudioMaster())
                master->OnSysexRefused(count);
            break;
        }
        automationSysex_.resize(static_cast<size_t>(count));
        if (count > 0)
            stream.Read(automationSysex_.data(), static_cast<unsigned>(count) * 4u);
        break;
    }
    case QueMessageId::meta:
        SerialiseMetaData(stream);
        break;
    case QueMessageId::ppc:
    {
        uint8_t programChange = 0;
        int32_t patch = 0;
        int32_t key = 0;
        stream >> programChange >> patch;
        if (polyphonic_)
            stream >> key;
        PatchStorageBase* entry = Storage(key);
        if (stream.failed() || !entry || patch < 0 || patch >= entry->getPatchCount())
            break;
        if (typeIsVariableSize())
        {
            entry->SetValue(stream, patch);
            ReportCut(*entry);
        }
        else
        {
            // A number is checked by the value rule before it is stored.
            unsigned char bytes[16] = {};
            const int size = typeSize();
            if (size <= 0 || size > static_cast<int>(sizeof(bytes)))
                break;
            stream.Read(bytes, static_cast<unsigned>(size));
            if (stream.failed() || !ConformValue(bytes, size))
                break;
            entry->SetValue(bytes, static_cast<size_t>(size), patch);
        }
        if (!stream.failed() && patch == EffectivePatch())
            OnValueChangedFromGUI(programChange != 0, key, false);
        break;
    }
    default:
        break;
    }
}

int dsp_patch_parameter_base::QueMessageLength(int maximum) const
{
    int total = 5;
    const int extra = typeIsVariableSize() ? 4 : 0;
    for (const PatchStorageBase* entry : storage_)
    {
        if (!entry->anyDirty())
            continue;
        for (int patch = entry->getPatchCount() - 1; patch >= 0; --patch)
        {
            if (!entry->isDirty(patch))
                continue;
            const int next = total + 8 + extra + entry->GetValueSize(patch);
            if (next > maximum)
                return total;
            total = next;
        }
    }
    return total;
}

void dsp_patch_parameter_base::WriteQueMessage(my_output_stream& out, int length)
{
    out << static_cast<int32_t>(handle_) << QueMessageId::ppc << static_cast<int32_t>(length)
        << static_cast<uint8_t>((engineChangePending_ ? 0 : 1) | (ownMovePending_ ? QueMessageId::kOwnMove : 0));
    int total = 5;
    const int extra = typeIsVariableSize() ? 4 : 0;
    for (size_t key = 0; key < storage_.size(); ++key)
    {
        PatchStorageBase* entry = storage_[key];
        if (!entry->anyDirty())
            continue;
        for (int patch = entry->getPatchCount() - 1; patch >= 0; --patch)
        {
            if (!entry->isDirty(patch))
                continue;
            const int next = total + 8 + extra + entry->GetValueSize(patch);
            if (next > length)
            {
                // The rest waits for the next batch.
                RequestQue();
                out << static_cast<int32_t>(-1);
                return;
            }
            total = next;
            out << static_cast<int32_t>(key) << static_cast<int32_t>(patch);
            SerialiseValue(out, static_cast<int>(key), patch);
            entry->setDirty(patch, false);
        }
    }
    out << static_cast<int32_t>(-1);
    engineChangePending_ = false;
    ownMovePending_ = false;
}
