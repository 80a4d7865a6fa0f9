#pragma once
// One value of a patch, kept for every patch (program) and, when polyphonic,
// for every MIDI key. This base holds everything that does not depend on the
// value type; the engine's typed parameters (dsp_patch_parameter<T, M>) add
// the type and its metadata. Objects are made by class id through the
// PersistanceFactory and deleted through this base.
//
// The type-independent behaviour (values to pins, to the editor and to MIDI)
// lives in the engine; the virtual operations here have neutral defaults so
// that the class stays usable where the engine is not linked.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "core/QueuedUsers.h"
#include "engine/parameters/PatchStorage.h"
#include "engine/parameters/PatchStore.h"
#include "engine/events/dsp_msg_target.h"

class IDspPatchManager;
class IKvAudioMaster;
class TiXmlElement;
class UPlug;
class my_input_stream;
class my_output_stream;
class ug_container;
struct parameter_description;
class InterfaceObject;

class dsp_patch_parameter_base : public dsp_msg_target, public QueClient
{
public:
    static constexpr int kKeyCount = 128;
    static constexpr int kDefaultPatchCount = 128;
    // Bounds on counts read from documents: nothing is allocated past them.
    static constexpr int kMaxPatchCount = 1024;
    static constexpr int kNoMidiValue = 0x7FFFFFFF;
    static constexpr int kTextDataType = 20;
    static constexpr int kBlobDataType = 28;

    dsp_patch_parameter_base() { lastMidiValues_.fill(kNoMidiValue); }
    ~dsp_patch_parameter_base() override
    {
        for (PatchStorageBase* entry : storage_)
            delete entry;
    }
    dsp_patch_parameter_base(const dsp_patch_parameter_base&) = delete;
    dsp_patch_parameter_base& operator=(const dsp_patch_parameter_base&) = delete;

    // Typed operations.
    virtual void vst_automate(int64_t /*time*/, int /*key*/, double /*normalised*/, bool /*updateGui*/) {}
    virtual bool typeIsVariableSize() const { return false; }
    virtual int typeSize() const { return 0; }
    virtual int dataType() const { return -1; }
    virtual void Initialize(TiXmlElement* /*element*/) {}
    virtual void SetValueFromXml(const std::string& /*text*/, int /*key*/, int /*patch*/) {}
    // Brings a fixed-size raw value from outside into what the parameter can
    // hold, in place (audio thread: no allocation); false refuses it.
    virtual bool ConformValue(void* /*data*/, int /*size*/) const { return true; }
    virtual std::string GetValueAsXml(int /*patch*/, int /*key*/) { return {}; }
    // The raw value a state document's text stands for, by the same rule as
    // SetValueFromXml except what depends on metadata (range, enum list),
    // which ApplyPreparedValue brings in. False: the text is refused.
    // User-interface thread.
    virtual bool PrepareValueFromXml(const std::string& /*text*/, std::vector<uint8_t>& /*bytes*/) const
    {
        return false;
    }
    // The text form of a raw value, as GetValueAsXml gives it. Any thread.
    virtual std::string ValueAsXml(const void* /*data*/, int /*size*/) const { return {}; }
    virtual void SerialiseMetaData(my_input_stream& /*stream*/) {}
    virtual void CopyPlugValue(int /*key*/, UPlug* /*plug*/) {}
    virtual float GetValueNormalised(int /*key*/) { return 0.0f; }
    virtual void setValueNormalised(float /*normalised*/) {}
    virtual void InitializePatchMemory(const wchar_t* /*text*/) {}
    virtual void setMetadataRangeMinimum(double /*minimum*/) {}
    virtual void setMetadataRangeMaximum(double /*maximum*/) {}
    virtual void setMetadataTextMetadata(const std::wstring& /*text*/) {}
    virtual void setUpFromDsp(const parameter_description* /*description*/, InterfaceObject* /*pin*/) {}
    // How the patch store keeps the value; false for a parameter it does not
    // keep (polyphonic ones, and types without a kind of its own).
    virtual bool StoreShape(PatchStore::Shape& /*shape*/) const { return false; }

    // QueClient: nothing to report unless the engine's typed class says so.
    int queryQueMessageLength(int /*available*/) override { return 0; }
    void getQueMessage(my_output_stream& /*out*/, int /*length*/) override {}

    // Type-independent behaviour, defined by the engine.
    int EffectivePatch() const;
    int PatchCount() const;
    bool isTiming() const;
    bool SetValueRaw2(const void* data, int size, int patch, int key);
    // The current value of the key at the effective patch; null and 0 when none.
    const void* SerialiseForEvent(int key, int& size) const;
    void setAutomation(int code);
    void setAutomationSysex(const std::wstring& text) { automationSysex_ = text; }
    void RegisterHandle(int handle);
    void ConnectPin2(UPlug* plug);
    void SendValue(int64_t time, int key);
    // Voice -1 sends to the unvoiced pins; key picks the storage entry.
    void SendValuePt2(int64_t time, int voice, int key);
    void SendData(int64_t time, int voice, int key, const void* data, int size);
    // A gate of 0 to one voice, the stored value left as it is.
    void SendGateOff(int64_t time, int voice);
    // The value goes to the pins at `time` (-1: where the next run of the
    // engine starts; never before it).
    void OnValueChangedFromGUI(bool programChange, int key, bool initialUpdate, int64_t time = -1);
    void outputMidiAutomation(bool programChange, int key);
    void vst_automate2(int64_t time, int key, const void* data, int size, bool updateGui);
    void UpdateOutputParameter(int key, UPlug* plug);
    // Audio thread: the patch manager moved to another program.
    // ownChoice: the patch's MIDI chose the program, not the host.
    void OnPatchChanged(int oldPatch, int newPatch, int64_t time = -1, bool ownChoice = false);
    // Audio thread: a polyphonic value driven by the voices (a host
    // control) keeps each key's value in the new program.
    void CarryVoiceValues(int oldPatch, int newPatch);
    // Audio thread (or with the blocks held off): the editor and the host
    // hear of the value the parameter holds now, with the next batch.
    void ReportValue() { MarkEngineChange(0); }
    void UpdateUI(bool keepEngineFlag, int key);
    void createPatchMemory(int patchCount, int voiceCount);
    // Takes the master's rooms at graph build, so that values set on the
    // audio thread never allocate: a text parameter room for texts of the
    // text room in every patch and key (longer ones are cut to it), a blob
    // parameter room for blobs of the blob room (larger ones are refused),
    // and every parameter room for a SysEx template of the text room (a
    // longer one from the editor is refused). The rooms of all patches and
    // keys of one parameter stay within kRoomBudget bytes: a polyphonic
    // parameter of many patches gets a smaller room.
    void ReserveValueRoom(IKvAudioMaster& master);
    static constexpr size_t kRoomBudget = size_t{4} << 20;
    // Room in bytes that the value of key 0 has in every patch (0: none).
    // Fixed after the graph is built; any thread.
    size_t ValueRoom() const;
    // Makes a value from PrepareValueFromXml the value of key 0 at the
    // effective patch, as a preset state does: numbers are brought into range
    // or refused, a text or blob is taken whole (its buffer is swapped in,
    // and `bytes` takes the old one). True when the value changed. Audio
    // thread; allocates nothing.
    bool ApplyPreparedValue(std::vector<uint8_t>& bytes);
    void SerialiseValue(my_output_stream& out, int key, int patch) const;
    IKvAudioMaster* AudioMaster() const;
    // For an engine built again from its document, which keeps the values
    // of the one before. ReleaseValues hands out the values of every patch
    // and key, and the parameter is left with none. ExchangeValues takes
    // values of the same shape as its own (keys, patches, storage type,
    // value size or room) and gives its own back in `values`; false, and
    // nothing exchanged, for any other. User-interface thread, while no
    // block runs.
    std::vector<PatchStorageBase*> ReleaseValues();
    bool ExchangeValues(std::vector<PatchStorageBase*>& values);
    // The storage of key 0 becomes `with`; the one it had is given back.
    // User-interface thread, while no block runs.
    PatchStorageBase* SwapStorage(PatchStorageBase* with);

    // Plain fields and their accessors.
    int getIndex() const { return index_; }
    void setIndex(int index) { index_ = index; }
    int Handle() const { return handle_; }
    int getAutomation() const { return automation_; }
    const std::wstring& getAutomationSysex() const { return automationSysex_; }
    bool isPolyphonic() const { return polyphonic_; }
    bool isPolyphonicGate() const { return polyphonicGate_; }
    int getHostControl() const { return hostControl_; }
    bool isModuleOwned() const { return moduleOwned_; }
    bool EngineChangePending() const { return engineChangePending_; }
    // The engine moved the value on its own (a MIDI controller bound to it,
    // the patch's own MIDI program change, a watcher pin) since the last
    // record: the host hears of it. What the host set does not go back to it.
    bool OwnMovePending() const { return ownMovePending_; }
    int getContainerHandle() const { return containerHandle_; }
    void setContainerHandle(int handle) { containerHandle_ = handle; }
    ug_container* getContainer() const { return container_; }
    void setContainer(ug_container* container) { container_ = container; }
    IDspPatchManager* getPatchManager() const { return patchManager_; }
    void setPatchManager(IDspPatchManager* manager) { patchManager_ = manager; }
    int VoiceEntryCount() const { return static_cast<int>(storage_.size()); }
    PatchStorageBase* Storage(int key) const
    {
        return key >= 0 && key < static_cast<int>(storage_.size()) ? storage_[static_cast<size_t>(key)] : nullptr;
    }
    const std::vector<UPlug*>& ConnectedPins() const { return connectedPins_; }
    int LastMidiValue(int key) const { return key >= 0 && key < kKeyCount ? lastMidiValues_[key] : kNoMidiValue; }

protected:
    // Shared by the typed classes: document reading, editor records.
    void InitializeCommon(TiXmlElement* element);
    void HandleUiMsg(int id, my_input_stream& stream);
    int QueMessageLength(int maximum) const;
    void WriteQueMessage(my_output_stream& out, int length);
    void MarkEngineChange(int key);
    // As MarkEngineChange, for a move the host did not make.
    void MarkOwnMove(int key);
    void RequestQue();
    // Passes a cut the storage made to the audio master for its log.
    void ReportCut(PatchStorageBase& entry);

    int32_t index_ = -1;
    IDspPatchManager* patchManager_ = nullptr;
    int32_t automation_ = -1;
    std::wstring automationSysex_;
    bool polyphonic_ = false;
    bool polyphonicGate_ = false;
    int32_t hostControl_ = -1;
    std::vector<PatchStorageBase*> storage_;
    bool engineChangePending_ = false;
    bool ownMovePending_ = false;
    bool sdk2BackwardCompatibility_ = false;
    std::vector<UPlug*> connectedPins_;
    std::array<int32_t, kKeyCount> lastMidiValues_{};
    bool moduleOwned_ = false;
    std::string sharedParameterId_;
    int32_t containerHandle_ = -1;
    ug_container* container_ = nullptr;
};
