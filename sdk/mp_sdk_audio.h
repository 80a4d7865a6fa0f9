#pragma once
// Module SDK, DSP side: the event a module receives, the two plug-in
// interfaces a host drives and the host interface a module calls. Slot order,
// field layout and result codes are the binary contract with modules compiled
// elsewhere; never reorder.

#include "mp_sdk_common.h"

namespace gmpi
{

// Event types of MpEvent::eventType.
enum MpEventType : int32_t
{
    EVENT_PIN_SET = 100,             // a new pin value: parm2 bytes
    EVENT_PIN_STREAMING_START = 101, // the pin's value changes every sample from now
    EVENT_PIN_STREAMING_STOP = 102,  // the pin's value is constant from now
    EVENT_MIDI = 103,                // MIDI bytes: parm2 bytes
    EVENT_GRAPH_START = 104,         // first event after open
};

// Pin directions and datatypes as the host's pin iterator reports them.
enum MpPinDirection : int32_t
{
    MP_IN = 0,
    MP_OUT = 1,
};

enum MpPinDatatype : int32_t
{
    MP_ENUM = 0,
    MP_STRING = 1, // wide text, 4-byte characters
    MP_MIDI = 2,
    MP_FLOAT64 = 3,
    MP_BOOL = 4,
    MP_AUDIO = 5,
    MP_FLOAT32 = 6,
    MP_INT32 = 8,
    MP_BLOB = 10,
};

// One timed event handed to a module, linked in time order.
struct MpEvent
{
    int32_t timeDelta; // sample offset within the current block
    int32_t eventType; // MpEventType
    int32_t parm1;     // pin id
    int32_t parm2;     // size of the data in bytes (pin set, MIDI) or a value
    int32_t parm3;     // first 4 data bytes when the data is inline
    int32_t parm4;     // next 4 data bytes when the data is inline
    char* extraData;   // the data when it is not inline, else null
    MpEvent* next;     // the next event of the block, or null
};
static_assert(sizeof(MpEvent) == 24 + 2 * sizeof(void*), "MpEvent layout is part of the module ABI");

// The data bytes of a pin-set or MIDI event.
inline const void* MpEventData(const MpEvent* event)
{
    return event->extraData ? static_cast<const void*>(event->extraData) : static_cast<const void*>(&event->parm3);
}

class IMpHost;

// The older plug-in interface (MP_IID_PLUGIN): the host is given at creation.
class IMpPlugin : public IMpUnknown
{
public:
    virtual int32_t open() = 0;
    virtual int32_t setBuffer(int32_t pinId, float* buffer) = 0;
    virtual void process(int32_t count, MpEvent* events) = 0;
    virtual int32_t receiveMessageFromGui(int32_t id, int32_t size, void* messageData) = 0;

protected:
    ~IMpPlugin() = default;
};

// The newer plug-in interface (MP_IID_PLUGIN2).
class IMpPlugin2 : public IMpUnknown
{
public:
    virtual int32_t setHost(IMpUnknown* host) = 0;
    virtual int32_t open() = 0;
    virtual int32_t setBuffer(int32_t pinId, float* buffer) = 0;
    virtual void process(int32_t count, const MpEvent* events) = 0;
    virtual int32_t receiveMessageFromGui(int32_t id, int32_t size, const void* messageData) = 0;

protected:
    ~IMpPlugin2() = default;
};

// Iterates over the pins of the calling module ({647969F3-7C78-49B9-B73F-21431FAD751A}).
// first() must come before the getters; first and next give MP_FAIL past the end.
inline constexpr MpGuid MP_IID_PIN_ITERATOR = {0x647969F3, 0x7C78, 0x49B9, {0xB7, 0x3F, 0x21, 0x43, 0x1F, 0xAD, 0x75, 0x1A}};
class IMpPinIterator : public IMpUnknown
{
public:
    virtual int32_t getCount(int32_t& returnCount) = 0;
    virtual int32_t first() = 0;
    virtual int32_t next() = 0;
    virtual int32_t getPinId(int32_t& returnValue) = 0;
    virtual int32_t getPinDirection(int32_t& returnValue) = 0;
    virtual int32_t getPinDatatype(int32_t& returnValue) = 0;

protected:
    ~IMpPinIterator() = default;
};

// Iterates over the voice clones of the calling module ({D880BA72-8C7E-4D9E-92BA-644231E373C1}).
// next() gives each clone's plug-in (no reference added), MP_FAIL and null past the end.
inline constexpr MpGuid MP_IID_CLONE_ITERATOR = {0xD880BA72, 0x8C7E, 0x4D9E, {0x92, 0xBA, 0x64, 0x42, 0x31, 0xE3, 0x73, 0xC1}};
class IMpCloneIterator : public IMpUnknown
{
public:
    virtual int32_t first() = 0;
    virtual int32_t next(void** returnInterface) = 0;

protected:
    ~IMpCloneIterator() = default;
};

// What a module may ask of its host (MP_IID_HOST). Called on the audio thread
// from inside open, process or receiveMessageFromGui. blockPosition arguments
// are sample offsets within the block being processed.
class IMpHost : public IMpUnknown
{
public:
    virtual int32_t setPin(int32_t blockPosition, int32_t pinId, int32_t size, const void* data) = 0;
    virtual int32_t setPinStreaming(int32_t blockPosition, int32_t pinId, int32_t isStreaming) = 0;
    virtual int32_t sleep() = 0;
    virtual int32_t sendMessageToGui(int32_t id, int32_t size, const void* messageData) = 0;
    virtual int32_t getBlockSize(int32_t& returnBlockSize) = 0;
    virtual int32_t getSampleRate(float& returnSampleRate) = 0;
    virtual int32_t getHandle(int32_t& returnHandle) = 0;
    virtual int32_t getHostId(int32_t maxChars, wchar_t* returnString) = 0;
    virtual int32_t getHostVersion(int32_t& returnValue) = 0;
    virtual int32_t createPinIterator(void** returnInterface) = 0;
    virtual int32_t isCloned(int32_t* returnValue) = 0;
    virtual int32_t createCloneIterator(void** returnInterface) = 0;
    virtual int32_t allocateSharedMemory(const wchar_t* tableName, void** returnTablePointer, float sampleRate,
                                         int32_t size, int32_t& returnNeedInitialise) = 0;
    virtual int32_t resolveFilename(const wchar_t* shortFilename, int32_t maxChars, wchar_t* returnFullFilename) = 0;
    virtual int32_t openProtectedFile(const wchar_t* shortFilename, IProtectedFile** file) = 0;

protected:
    ~IMpHost() = default;
};

} // namespace gmpi
