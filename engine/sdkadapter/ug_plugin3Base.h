#pragma once
// engine/sdkadapter/: running modules written against the module SDK. The
// adapter is the module's host, hands it buffers and events, iterates its
// pins and voice clones, and notes a module that threw (SdkFaultLog).
// Threads: the audio thread; fault notes are read on the user-interface thread.
//
// The engine unit that runs a module written against the module SDK. It is the
// module's host (gmpi::IMpHost): it hands the module its audio buffers and its
// due events as one list per run, turns the module's pin outputs into pin
// events and state announcements, and offers block size, sample rate, sleep,
// shared memory, messages to the editor, file names and iteration over its
// pins and voice clones. The two concrete adapters, one per plug-in
// interface, are ug_plugin3<gmpi::IMpPlugin2> and ug_plugin3<gmpi::IMpPlugin>.
//
// A module that throws out of open, process or receiveMessageFromGui is
// silenced for good: its audio outputs give silence, it sleeps, and the fault
// is recorded once (SdkFaultLog).

#include <cstdint>
#include <map>
#include <vector>

#include "engine/graph/ug_base.h"
#include "sdk/mp_sdk_audio.h"

class dsp_patch_parameter_base;

class ug_plugin3Base : public ug_base, public gmpi::IMpHost
{
public:
    static constexpr int32_t kHostVersion = 122770;
    // Room for messages from the editor kept from Open on; larger ones grow it.
    static constexpr size_t kMessageReserve = 4096;

    ug_plugin3Base() = default;
    ~ug_plugin3Base() override = default;

    // gmpi::IMpUnknown (audio thread). MP_IID_HOST and MP_IID_UNKNOWN give the
    // host; the adapter's life is the graph's, so counting always answers 1.
    int32_t queryInterface(const gmpi::MpGuid& iid, void** returnInterface) override;
    int32_t addRef() override { return 1; }
    int32_t release() override { return 1; }

    // 0 when the module type describes a DSP pin with that id, direction and datatype.
    virtual int32_t verifyPinMatchesXml(int pinId, int direction, int datatype);

    // gmpi::IMpHost, called by the module on the audio thread. A pin id the
    // module does not have, a null pointer, or a call before the module has an
    // engine gives MP_FAIL and changes nothing.
    int32_t setPin(int32_t blockPosition, int32_t pinId, int32_t size, const void* data) override;
    int32_t setPinStreaming(int32_t blockPosition, int32_t pinId, int32_t isStreaming) override;
    int32_t getBlockSize(int32_t& returnBlockSize) override;
    int32_t getSampleRate(float& returnSampleRate) override;
    int32_t sleep() override;
    int32_t allocateSharedMemory(const wchar_t* tableName, void** returnTablePointer, float sampleRate, int32_t size,
                                 int32_t& returnNeedInitialise) override;
    int32_t getHandle(int32_t& returnHandle) override;
    // A message too large for the editor's batch gives MP_FAIL and is dropped whole.
    int32_t sendMessageToGui(int32_t id, int32_t size, const void* messageData) override;
    // Copies "Korvane" within maxChars (terminated).
    int32_t getHostId(int32_t maxChars, wchar_t* returnString) override;
    int32_t getHostVersion(int32_t& returnValue) override;
    int32_t createPinIterator(void** returnInterface) override;
    int32_t isCloned(int32_t* returnValue) override;
    int32_t createCloneIterator(void** returnInterface) override;
    int32_t resolveFilename(const wchar_t* shortFilename, int32_t maxChars, wchar_t* returnFullFilename) override;
    int32_t openProtectedFile(const wchar_t* shortFilename, gmpi::IProtectedFile** file) override;

    // The SDK object this unit holds (no reference added).
    virtual gmpi::IMpUnknown* GetGmpiPlugin() = 0;

    // Graph building (host user-interface thread).
    void Setup(IKvAudioMaster* master, TiXmlElement* element) override;
    ug_base* Clone(CUGLookupList& lookup) override;
    void BuildHelperModule() override;

    // True once the module threw and was silenced.
    bool Faulted() const { return faulted_; }
    int LastBufferPosition() const { return lastBufferPosition_; }

protected:
    // Takes every event due before the end of the run off the list and links
    // them as SDK events; returns the first or null.
    KorvaneEvent* TakeDueEvents(int64_t end);
    static void FreeEvents(KorvaneEvent* first);
    // Audio pins (inputs and outputs) in pin order, found at Open.
    void CollectAudioPins();
    float* BufferOf(const UPlug* pin, int blockPosition) const;
    // Silences the module after it threw: outputs static at zero, asleep.
    void Fault(const char* where, const char* what);
    // Inside a handler of what the module's process threw: the fault, with
    // the exception's text when it has one.
    void ProcessFailed();
    // Reads an "sdk" record from the editor; false when it is malformed.
    bool ReadGuiMessage(my_input_stream& stream, int32_t& id, int32_t& size);
    // Parameters for the module's own parameter pins the document left unbound.
    void CreateOwnParameters();

    int32_t lastBufferPosition_ = 0;
    bool faulted_ = false;
    std::vector<UPlug*> audioPins_;
    std::vector<char> message_;
};
