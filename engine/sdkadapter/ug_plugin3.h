#pragma once
// The SDK module adapter for one version of the plug-in interface:
// ug_plugin3<gmpi::IMpPlugin2> and ug_plugin3<gmpi::IMpPlugin>. Both interfaces
// have open, setBuffer, process and receiveMessageFromGui; they differ in
// their slots and in whether the events are const.

#include <exception>

#include "core/conversion.h"
#include "core/my_streams.h"
#include "engine/runtime/IKvAudioMaster.h"
#include "engine/sdkadapter/ug_plugin3Base.h"

template <class Interface>
class ug_plugin3 : public ug_plugin3Base
{
public:
    // A row of SDK modules of this interface with no event due runs in one
    // call of the block loop, each by RunPlugin.
    ug_plugin3() { copiesFunction_ = &RunCopies<&ug_plugin3::RunPlugin>; }
    ~ug_plugin3() override
    {
        if (plugin_)
            plugin_->release();
    }

    // Takes over one reference (graph-building thread).
    void SetPlugin(Interface* plugin)
    {
        if (plugin_)
            plugin_->release();
        plugin_ = plugin;
        runData_ = plugin;
    }

    ug_base* Create() override { return new ug_plugin3<Interface>(); }
    gmpi::IMpUnknown* GetGmpiPlugin() override { return plugin_; }

    // The module's open, then its audio buffers (graph-opening thread).
    int Open() override
    {
        const int opened = ug_base::Open();
        if (opened != 0)
            return opened;
        CollectAudioPins();
        message_.reserve(kMessageReserve);
        lastBufferPosition_ = 0;
        if (!plugin_ || faulted_)
            return 0;
        int result = 0;
        try
        {
            result = plugin_->open();
            for (UPlug* pin : audioPins_)
                plugin_->setBuffer(pin->id_, BufferOf(pin, 0));
        }
        catch (const std::exception& e)
        {
            Fault("open", e.what());
        }
        catch (...)
        {
            Fault("open", "unknown exception");
        }
        // A module that refuses to open (its pins not matching its module XML,
        // say) would run half set up: it is silenced too.
        if (result != 0)
            Fault("open", "the module refused to open");
        return result;
    }

    // One call of the module's process per run, with every due event.
    void DoProcess(int blockPosition, int sampleFrames) override { RunPlugin(blockPosition, sampleFrames); }
    // Audio thread.
    void RunPlugin(int blockPosition, int sampleFrames)
    {
        const int64_t end = sampleClock_ + sampleFrames;
        // Most pieces bring no event and read the blocks the module has: the
        // call alone, without the frame of the rest.
        if (plugin_ && !faulted_ && blockPosition == lastBufferPosition_ && NoEventBefore(end))
        {
            CallProcess(sampleFrames, nullptr);
            sampleClock_ = end;
            return;
        }
        RunWithEvents(blockPosition, sampleFrames);
    }

    // The module's process; what it throws silences it.
    void CallProcess(int sampleFrames, gmpi::MpEvent* events)
    {
        try
        {
            plugin_->process(sampleFrames, events);
        }
        catch (...)
        {
            ProcessFailed();
        }
    }

    // The rest: due events, a new block position, a module that failed.
    [[gnu::noinline]] void RunWithEvents(int blockPosition, int sampleFrames)
    {
        const int64_t end = sampleClock_ + sampleFrames;
        KorvaneEvent* events = NoEventBefore(end) ? nullptr : TakeDueEvents(end);
        if (plugin_ && !faulted_)
        {
            if (blockPosition != lastBufferPosition_)
            {
                for (UPlug* pin : audioPins_)
                    plugin_->setBuffer(pin->id_, BufferOf(pin, blockPosition));
                lastBufferPosition_ = blockPosition;
            }
            CallProcess(sampleFrames, events ? reinterpret_cast<gmpi::MpEvent*>(&events->timeDelta) : nullptr);
        }
        else
        {
            SleepMode();
        }
        sampleClock_ = end;
        if (events)
            FreeEvents(events);
    }

    // A new source block: the module reads it from the current run position.
    bool BypassPin(UPlug* source, UPlug* input) override
    {
        const bool result = ug_base::BypassPin(source, input);
        if (plugin_ && !faulted_ && source && input && input->datatype_ == DT_FSAMPLE)
            plugin_->setBuffer(input->id_, BufferOf(source, lastBufferPosition_));
        return result;
    }

    // "sdk" records from the editor go to the module and every voice clone.
    void OnUiNotify2(int id, my_input_stream& stream) override
    {
        ug_base::OnUiNotify2(id, stream);
        if (id != id_to_long("sdk"))
            return;
        int32_t messageId = 0;
        int32_t size = 0;
        if (!ReadGuiMessage(stream, messageId, size))
            return;
        for (ug_base* module = this; module; module = module->nextClone_)
        {
            auto* clone = dynamic_cast<ug_plugin3<Interface>*>(module);
            if (!clone)
                continue;
            if (clone->sleeping_ && (clone->flags_ & UGF_SUSPENDED) == 0)
                clone->Wake();
            clone->DeliverGuiMessage(messageId, size, message_.data());
        }
    }

private:
    void DeliverGuiMessage(int32_t id, int32_t size, char* data)
    {
        if (!plugin_ || faulted_)
            return;
        try
        {
            plugin_->receiveMessageFromGui(id, size, data);
        }
        catch (const std::exception& e)
        {
            Fault("receiveMessageFromGui", e.what());
        }
        catch (...)
        {
            Fault("receiveMessageFromGui", "unknown exception");
        }
    }

    Interface* plugin_ = nullptr;
};
