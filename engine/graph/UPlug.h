#pragma once
// One pin of a module: direction, datatype, the module variable it is bound
// to, the pins it is joined to and its signal state. Audio travels through
// the output's sample block, read in place by the inputs; other values travel
// as pin events carrying a copy of the bytes.

#include <cstdint>
#include <string>
#include <vector>

#include "core/EPlugDataType.h"

class InterfaceObject;
class USampBlock;
class ug_base;

enum state_type : int32_t
{
    ST_STOPPED = 0,   // no signal change pending
    ST_STATIC = 1,    // one new constant value
    ST_STREAMING = 2, // the value changes every sample
};

enum UPlugFlags : uint32_t
{
    PF_PP_ACTIVE = 0x2,       // propagates polyphony
    PF_PP_DOWNSTREAM = 0x4,   // reached by polyphony propagation
    PF_ADDER = 0x10,          // input of an adder
    PF_VALUE_PENDING = 0x20,  // a default value not sent yet
    PF_OWNS_STORAGE = 0x40,   // the pin owns what storage points to
    PF_PARAMETER = 0x80,      // bound to a patch parameter
    PF_HOST_CONTROLLED = 0x100,
    PF_SPECIAL = 0x200,
    // A parameter setter's audio output whose value differs per voice: each
    // voice's module reads a block of its own.
    PF_PER_VOICE_BLOCK = 0x4000,
};

class UPlug
{
public:
    UPlug(ug_base* owner, const InterfaceObject& description);
    UPlug(ug_base* owner, EDirection direction, EPlugDataType datatype);
    UPlug(ug_base* owner, const UPlug* model);
    virtual ~UPlug();

    UPlug(const UPlug&) = delete;
    UPlug& operator=(const UPlug&) = delete;

    // Gives the pin storage of its own when it has no variable; an audio
    // output always gets a new block of the master's block size.
    void CreateBuffer();
    void DestroyBuffer();

    // An output's own block; for an input, the block of the output feeding it.
    USampBlock* GetSampleBlock() const;
    // The sample at the owner's current block position (0 without a block).
    float getValue() const;

    // Sends a value to every input this output feeds, as pin events.
    void Transmit(int64_t time, int size, const void* data);
    // The same, only to polyphonic modules of the given voice.
    void TransmitPolyphonic(int64_t time, int voice, int size, const void* data);
    // Announces the pin's signal state to every input it feeds.
    void TransmitState(int64_t time, state_type state);

    // Sets the value that reaches this pin when nothing else drives it.
    void SetDefault(const char* text);
    void SetBufferValue(const char* text);
    void CloneBufferValue(const UPlug& other);

    // A pin tied across a container border: its partners are joined straight
    // through to the partners of the tied pin.
    void ReRoute();

    void DeleteConnection(UPlug* other);
    void DisConnect(UPlug* other);
    void DeleteConnectors();

    UPlug* GetTiedTo() const { return tiedTo_; }
    bool IsAdder() const { return (plugFlags_ & PF_ADDER) != 0; }
    bool InUse() const { return !connections_.empty(); }
    bool IsAudio() const { return datatype_ == DT_FSAMPLE; }
    EDirection Direction() const { return static_cast<EDirection>(direction_); }
    EPlugDataType DataType() const { return static_cast<EPlugDataType>(datatype_); }
    int getPlugIndex() const { return index_; }

    // The pin's own value storage. The pointer comes first: `storage_{}`
    // zeroes the first member only, and an audio input with no source reads
    // the pointer as its block (null until it is given one).
    union Storage
    {
        void* pointer;
        int16_t enumValue;
        bool boolValue;
        float floatValue;
        int32_t intValue;
    };

    ug_base* owner_;
    void* variable_ = nullptr;
    float** moduleBuffer_ = nullptr;
    std::vector<UPlug*> connections_;
    int32_t direction_;
    int32_t datatype_;
    UPlug* tiedTo_ = nullptr;
    uint32_t plugFlags_ = 0;
    UPlug* proxy_ = nullptr;
    Storage storage_{};
    int32_t state_ = ST_STOPPED;
    int64_t stateTime_ = INT64_MAX;
    int32_t id_ = -1;
    int32_t index_ = -1;
    // A default from the patch document for an input, applied when the graph
    // is built if the input is still unconnected then.
    std::string documentDefault_;
    bool hasDocumentDefault_ = false;
    // Whether connections_ lie in voice order (polyphonic owners by voice
    // number, others first): -1 not known yet. Reset when they change.
    int8_t connectionsByVoice_ = -1;
};
