#pragma once
// The base of a DSP module written against the module SDK: reference
// counting, the host, the module's pins by id and the dispatch of events to
// them. Modules derive from MpBase or MpBase2, which add block processing.
// Every operation runs on the host's audio thread, except construction and
// destruction, which happen where the host builds and discards its graph.

#include <map>

#include "mp_sdk_audio.h"

class MpPinBase;

class MpPluginBase : public gmpi::IMpPlugin, public gmpi::IMpPlugin2, public gmpi::IoldSchoolInitialisation
{
public:
    // Handler of a pin's events: a member of the module taking the event.
    using MpBaseMemberPtr = void (MpPluginBase::*)(const gmpi::MpEvent*);

    // The older style hands the host over at construction.
    explicit MpPluginBase(gmpi::IMpUnknown* host = nullptr);

    // gmpi::IMpUnknown. MP_IID_UNKNOWN and MP_IID_PLUGIN give the IMpPlugin view
    // without a new reference; MP_IID_PLUGIN2 gives the IMpPlugin2 view with one.
    int32_t queryInterface(const gmpi::MpGuid& iid, void** returnInterface) override;
    int32_t addRef() override;
    // At 0 the module deletes itself.
    int32_t release() override;

    // gmpi::IMpPlugin and gmpi::IMpPlugin2.
    int32_t open() override;
    // 0, or -1 when no pin has that id.
    int32_t setBuffer(int32_t pinId, float* buffer) override;
    void process(int32_t count, gmpi::MpEvent* events) override;
    int32_t receiveMessageFromGui(int32_t id, int32_t size, void* messageData) override;

    // The module's own operations, in this order.
    virtual ~MpPluginBase();
    // Asks the host for MP_IID_HOST and keeps it; the host's result.
    int32_t setHost(gmpi::IMpUnknown* host) override;
    void process(int32_t count, const gmpi::MpEvent* events) override = 0;
    // Either form of receiveMessageFromGui reaches a module overriding the other.
    int32_t receiveMessageFromGui(int32_t id, int32_t size, const void* messageData) override;
    virtual void onMidiMessage(int pin, const unsigned char* midiMessage, int size);
    virtual void onMidiMessage(int pin, unsigned char* midiMessage, int size);
    virtual void onSetPins();
    virtual void OnPinStreamingChange(bool isStreaming) = 0;
    // Every output pin sends its first update, in pin-id order.
    virtual void onGraphStart();

    // Gives the pin its id, module and handler (an input without one takes the
    // pin's default) and enters it; a second pin with an id already used is not entered.
    void initializePin(int pinId, MpPinBase& pin, MpBaseMemberPtr handler = nullptr);
    template <class Module>
    void initializePin(int pinId, MpPinBase& pin, void (Module::*handler)(const gmpi::MpEvent*))
    {
        initializePin(pinId, pin, static_cast<MpBaseMemberPtr>(handler));
    }

    // The default handler of MIDI input pins.
    void midiHelper(const gmpi::MpEvent* event);

    // Events 100-103 go to the pin with id parm1; unknown ids are ignored.
    void preProcessEvent(const gmpi::MpEvent* event);
    // Also sends event 104 to onGraphStart.
    void processEvent(const gmpi::MpEvent* event);
    void postProcessEvent(const gmpi::MpEvent* event);

    // The sleep count restarts at one block size.
    void resetSleepCounter();

    gmpi::IMpHost* getHost() const { return host_; }
    int getBlockPosition() const { return blockPosition_; }
    MpPinBase* getPin(int pinId) const;

    MpPluginBase(const MpPluginBase&) = delete;
    MpPluginBase& operator=(const MpPluginBase&) = delete;

protected:
    // Runs a block: the piece before each run of same-time events, the events
    // in three passes, then the rest. runPiece(bufferOffset, count).
    template <class RunPiece>
    void processEvents(int32_t sampleFrames, const gmpi::MpEvent* events, bool advancePosition, RunPiece runPiece);

    int32_t referenceCount_ = 1;
    gmpi::IMpHost* host_ = nullptr;
    std::map<int, MpPinBase*> pins_;
    int32_t blockPosition_ = 0;
    int32_t sleepCount_ = 0;
    int32_t streamingPins_ = 0;
    // -1 automatic, 1 sleep allowed now, 0 never sleep.
    int32_t sleepMode_ = -1;
    bool canSleepNow_ = true;
    bool inMessage_ = false;
};

template <class RunPiece>
void MpPluginBase::processEvents(int32_t sampleFrames, const gmpi::MpEvent* events, bool advancePosition,
                                 RunPiece runPiece)
{
    blockPosition_ = 0;
    int bufferOffset = 0;
    int remaining = sampleFrames;

    const gmpi::MpEvent* event = events;
    while (event)
    {
        // Times outside the block, or out of order, are held within it.
        int t = event->timeDelta;
        if (t < bufferOffset)
            t = bufferOffset;
        if (t > sampleFrames)
            t = sampleFrames;

        if (t > bufferOffset)
        {
            const int count = t - bufferOffset;
            canSleepNow_ = false;
            runPiece(bufferOffset, count);
            canSleepNow_ = true;
            if (advancePosition)
                blockPosition_ += count;
            remaining -= count;
            bufferOffset = t;
            if (remaining <= 0)
                return;
        }
        if (!advancePosition)
            blockPosition_ = t;

        // The run: every event at this time.
        const gmpi::MpEvent* runEnd = event;
        bool pinsSet = false;
        while (runEnd && runEnd->timeDelta == event->timeDelta)
            runEnd = runEnd->next;
        for (const gmpi::MpEvent* e = event; e != runEnd; e = e->next)
            preProcessEvent(e);
        for (const gmpi::MpEvent* e = event; e != runEnd; e = e->next)
        {
            processEvent(e);
            if (e->eventType >= gmpi::EVENT_PIN_SET && e->eventType <= gmpi::EVENT_PIN_STREAMING_STOP)
                pinsSet = true;
        }
        if (pinsSet)
            onSetPins();
        for (const gmpi::MpEvent* e = event; e != runEnd; e = e->next)
            postProcessEvent(e);
        event = runEnd;
    }

    if (remaining > 0)
        runPiece(bufferOffset, remaining);
}
