#pragma once
// Pins of an SDK DSP module. A pin is a member of its module, entered in the
// module's pin map by MpPluginBase::initializePin; the host addresses it by id.
// Audio thread only.

#include "MpPluginBase.h"

class MpPinBase
{
public:
    MpPinBase() = default;
    virtual ~MpPinBase() = default;
    virtual void setBuffer(float* /*buffer*/) {}
    virtual void preProcessEvent(const gmpi::MpEvent* /*event*/) {}
    // Calls the handler on the module, when there is one.
    virtual void processEvent(const gmpi::MpEvent* event);
    virtual void postProcessEvent(const gmpi::MpEvent* /*event*/) {}
    virtual int getDatatype() const = 0;
    virtual int getDirection() const = 0;
    virtual MpPluginBase::MpBaseMemberPtr getDefaultEventHandler() { return nullptr; }
    virtual void sendFirstUpdate() {}

    // The host's setPin for this pin; -1 means the module's block position.
    void sendPinUpdate(int32_t size, const void* data, int32_t blockPosition = -1);

    int getId() const { return id_; }
    MpPluginBase* getModule() const { return module_; }

    MpPinBase(const MpPinBase&) = delete;
    MpPinBase& operator=(const MpPinBase&) = delete;

protected:
    friend class MpPluginBase;
    int32_t resolvePosition(int32_t blockPosition) const;

    int32_t id_ = -1;
    MpPluginBase* module_ = nullptr;
    MpPluginBase::MpBaseMemberPtr eventHandler_ = nullptr;
};

class MpAudioPinBase : public MpPinBase
{
public:
    void setBuffer(float* buffer) override { buffer_ = buffer; }
    int getDatatype() const override { return gmpi::MP_AUDIO; }
    float* getBuffer() const { return buffer_; }
    // buffer[index], or the sample at the module's block position when index < 0.
    float getValue(int index = -1) const;
    void setValueRaw(int /*size*/, const void* /*data*/) {}

protected:
    float* buffer_ = nullptr;
};

class AudioInPin : public MpAudioPinBase
{
public:
    int getDirection() const override { return gmpi::MP_IN; }
    // Streaming start and stop change isStreaming and tell the module.
    void preProcessEvent(const gmpi::MpEvent* event) override;
    void postProcessEvent(const gmpi::MpEvent* event) override;
    void sendFirstUpdate() override {}
    bool isStreaming() const { return isStreaming_; }
    // True while the events of a run that changed the streaming state are handled.
    bool isUpdated() const { return streamingChanged_; }

private:
    bool isStreaming_ = false;
    bool streamingChanged_ = false;
};

class AudioOutPin : public MpAudioPinBase
{
public:
    int getDirection() const override { return gmpi::MP_OUT; }
    // Announces the streaming state to the host; a stop restarts the module's
    // sleep count at one block. -1 means the module's block position.
    void setStreaming(bool isStreaming, int blockPosition = -1);
    // The state the pin holds, sent when the graph starts.
    void sendFirstUpdate() override;
    bool isStreaming() const { return isStreaming_; }

private:
    bool isStreaming_ = false;
};

class MidiInPin : public MpPinBase
{
public:
    int getDatatype() const override { return gmpi::MP_MIDI; }
    int getDirection() const override { return gmpi::MP_IN; }
    MpPluginBase::MpBaseMemberPtr getDefaultEventHandler() override { return &MpPluginBase::midiHelper; }
    void setBuffer(float* /*buffer*/) override {}
    void sendFirstUpdate() override {}
};

class MidiOutPin : public MidiInPin
{
public:
    int getDirection() const override { return gmpi::MP_OUT; }
    MpPluginBase::MpBaseMemberPtr getDefaultEventHandler() override { return nullptr; }
    // The host's setPin with the bytes; -1 means the module's block position.
    void send(const unsigned char* data, int size, int blockPosition = -1);
};
