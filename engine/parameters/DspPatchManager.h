#pragma once
// engine/parameters/: patch parameters and the patch manager. Typed patch
// parameters and their per-patch, per-key storage, preset values on their way
// between the threads, MIDI automation and tuning, and the modules that bind
// parameters to module pins (setters, watchers, automators).
// Threads: the audio thread; preset state is made and read on the
// user-interface thread and handed across by the audio master.
//
// The patch parameters of a container with its own patch manager: MIDI to
// automation (controllers, RPN/NRPN, notes, tuning, MIDI learn), the current
// program and MIDI channel, host parameters by index, and the preset state
// document. Audio thread, except the preset state, which the audio master
// hands between the threads.

#include <array>
#include <cstdint>
#include <utility>
#include <string>
#include <vector>

#include "engine/parameters/IDspPatchManager.h"
#include "engine/parameters/PatchStore.h"
#include "engine/parameters/hasMidiTuning.h"

class IKvShellDsp;
class PatchStore;
class IVoiceControl;
class InterfaceObject;
struct parameter_description;

class DspPatchManager : public IDspPatchManager, public hasMidiTuning
{
public:
    static constexpr int kMaxIndex = 9999;
    static constexpr int kControllerTableSize = 32;
    static constexpr uint16_t kNoParameterNumber = 0xFFFF;
    static constexpr int kDataEntrySlots = 0x8000;

    explicit DspPatchManager(ug_container* container);
    ~DspPatchManager() override;
    DspPatchManager(const DspPatchManager&) = delete;
    DspPatchManager& operator=(const DspPatchManager&) = delete;

    void InitializeAllParameters() override;
    void OnMidi(VoiceControlState* state, int64_t time, const unsigned char* bytes, int size,
                bool fromMidiCv) override;
    float InitializeVoiceParameters(ug_container* container, int64_t time, int voice, int key,
                                    bool retrigger) override;
    void ReleaseVoiceGate(ug_container* container, int64_t time, int voice) override;
    void SendInitialUpdates() override;
    void OnUiMsg(int id, my_input_stream& stream) override;
    void vst_Automation(ug_container* container, int64_t time, int code, float value) override;
    void vst_Automation2(int64_t time, int code, const void* data, int size) override;
    void setPresetState(const std::string& text) override;
    void setParameterNormalized(int64_t time, int index, double value) override;
    void getPresetState(std::string& out) override;
    dsp_patch_parameter_base* createPatchParameter(const parameter_description* description,
                                                   InterfaceObject* pin) override;
    dsp_patch_parameter_base* createPatchParameter(int persistenceId);
    dsp_patch_parameter_base* ConnectHostControl(int hostControl, UPlug* plug) override;
    dsp_patch_parameter_base* ConnectParameter(int handle, UPlug* plug) override;
    void setProgram(int program) override { program_ = program; }
    int getProgram() override { return program_; }
    void setProgramDspThread(int program, int64_t time = -1) override;
    void setMidiChannel(int channel) override { midiChannel_ = channel; }
    int getMidiChannel() override { return midiChannel_; }
    void setMidiCvVoiceControl() override { midiCvVoiceControl_ = true; }
    void vst_setAutomationId(dsp_patch_parameter_base* parameter, int code) override;
    bool ControllerStandsAt(int controller, int value) override;
    ug_container* Container() override { return container_; }
    void setupContainerHandles(ug_container* container) override;

    void OnKeyTuningChanged(int64_t time, int key, int tune) override;

    dsp_patch_parameter_base* GetParameter(int handle);
    dsp_patch_parameter_base* GetParameter(ug_container* container, int hostControl);
    void AddParam(dsp_patch_parameter_base* parameter);
    const std::vector<dsp_patch_parameter_base*>& Parameters() const { return parameters_; }
    dsp_patch_parameter_base* LearnParameter() const { return learnParameter_; }
    // Program count of the patch: that of the first parameter, 1 without parameters.
    int PatchCount() const;

    // UI, once the graph is built and opened, while no block runs: the store
    // keeps every program's value of the monophonic parameters from now on.
    // A store of other shapes takes the engine's values; one of the same
    // shapes gives the engine its own, and the program that plays.
    // `figures`: the host's parameters no patch parameter holds, of which
    // the store keeps the host's figure.
    void AttachStore(PatchStore& store, int hostPrograms, int programSteps,
                     const std::vector<PatchStore::Shape>& figures = {});
    // UI, while no block runs: the parameters keep their values themselves again.
    void DetachStore();
    PatchStore* Store() const { return store_; }
    // Audio, at a block's start (or with no block running): the program
    // others chose in the store (true when there is one) and the values they
    // set since play from `time`.
    bool HearStore(int64_t time, bool programLater = false);

private:
    void OnController(ug_container* container, int64_t time, int controller, int value, bool fromMidiCv);
    void OnSysex(ug_container* container, int64_t time, const unsigned char* bytes, int size, bool fromMidiCv);
    void OnPerVoiceSysex(ug_container* container, int64_t time, const unsigned char* bytes, bool fromMidiCv);
    void NoteOn(ug_container* container, int64_t time, int key, float velocity);
    void NoteOff(ug_container* container, int64_t time, int key, float velocity);
    // Audio thread: a MIDI program change is choosing the program.
    bool midiChoice_ = false;
    void ChangeProgram(int program, int64_t time);
    // The store's values of a program become the parameters' before it plays.
    void RefreshProgramFromStore(int program);
    PatchStore* store_ = nullptr;
    // The parameters the store keeps, by slot.
    std::vector<dsp_patch_parameter_base*> storeParameters_;
    // The store's program when it was last heard.
    int heardProgram_ = -1;
    void SendToEditor(int handle, int32_t id, int32_t value);
    IKvShellDsp* Shell() const;
    int ContainerHandleOf(ug_container* container) const;
    IVoiceControl* VoicesOf(ug_container* container) const;

    std::vector<dsp_patch_parameter_base*> parameters_;
    std::vector<dsp_patch_parameter_base*> polyphonicParameters_;
    dsp_patch_parameter_base* learnParameter_ = nullptr;
    // Automation code to parameter, sorted by code (same codes in the order
    // they were set). At most one entry per parameter, and room for one per
    // parameter is taken as parameters are added, so that binding a code on
    // the audio thread (MIDI learn, the editor's "CCID") never allocates.
    using AutomationEntry = std::pair<int32_t, dsp_patch_parameter_base*>;
    std::vector<AutomationEntry> automationMap_;
    std::pair<std::vector<AutomationEntry>::const_iterator, std::vector<AutomationEntry>::const_iterator>
    AutomationRange(int32_t code) const;
    ug_container* container_;
    int32_t program_ = 0;
    int32_t midiChannel_ = 0;
    int32_t triggerCounter_ = 0;
    std::vector<dsp_patch_parameter_base*> indexTable_;
    std::array<int16_t, kControllerTableSize> controllerValues_{};
    uint16_t rpnNumber_ = kNoParameterNumber;
    uint16_t nrpnNumber_ = kNoParameterNumber;
    // 14-bit value per parameter number: NRPN n at n, RPN n at 0x4000 + n.
    // Sized once so that data entry never allocates on the audio thread.
    std::vector<int16_t> dataEntryValues_;
    ug_container* tuningContainer_ = nullptr;
    bool midiCvVoiceControl_ = false;
};
