#pragma once
// A module holding a sub-graph: its modules, its voice counts, its patch
// manager when it has one, and the default setter that feeds its unconnected
// inputs. Its own signal work is nil; its pins are tied to the pins of its
// "IO Mod" and re-routed at build time so that signals flow module to module
// across container borders.

#include <vector>

#include "core/EPlugDataType.h"
#include "engine/voices/VoiceList.h"
#include "engine/graph/ug_base.h"

class IDspPatchManager;
class TiXmlElement;
class ug_patch_automator;
class ug_patch_automator_out;
class ug_patch_param_setter;
class ug_patch_param_watcher;

class ug_container : public VoiceList, public ug_base
{
public:
    ug_container();
    ~ug_container() override;

    ug_base* Create() override { return new ug_container(); }
    int Open() override;
    int Close() override;

    // Takes ownership; the module joins voice 0.
    void AddUG(ug_base* module);
    const std::vector<ug_base*>& Modules() const { return modules_; }

    // After the content is built: defaults for unfed inputs and, for the top
    // container only, re-routing, upstream flags and sort order over the graph.
    void PostBuildStuff(bool first);
    void ReRoutePlugs();
    void SortOrderSetup();
    // Every module, those of nested containers first.
    void ExportUgs(std::vector<ug_base*>& list);
    void SortAll();

    ug_base* GetDefaultSetter();
    // A summing module for the datatype, added here; null for datatypes
    // without one (only audio has an adder).
    ug_base* InsertAdder(EPlugDataType datatype);

    // Voice suspension from a voice monitor and the wake-up of held-back notes.
    void HandleEvent(KorvaneEvent* event) override;

    // Whole copies for other voices (ug_container_copy.cpp). A nested
    // container that holds per-voice modules is copied whole for each voice
    // of its polyphonic parent; its modules take the voice's number.
    ug_base* Clone(CUGLookupList& lookup) override;
    void CloneConnectorsFrom(ug_base* model, CUGLookupList& lookup) override;
    void CopyConnectorsFrom(ug_base* model, CUGLookupList& lookup) override;
    void SetPPVoiceNumber(int voice) override;
    void Suspend() override;
    void Resume(int64_t time) override;
    // Whether a module here (or in a nested container) runs per voice.
    bool HoldsPolyphonicModules() const;
    // Makes this container and everything in it run per voice.
    void MarkPolyphonic();
    // Copies this container's voice-0 modules (`everything`, or only those
    // that run per voice) into `copy`, each pair noted in `lookup`.
    void CopyModulesInto(ug_container* copy, CUGLookupList& lookup, bool everything);
    bool BelongsToVoice(const ug_base* module) const;

    // Voices (ug_container_poly.cpp). Polyphony over voice 0: which modules
    // run per voice, voice mutes and adders where voices meet, voice monitors.
    void PolyphonicSetup();
    // Pass 1 or 2 of the monitor placement for one voice (voice 0 when none
    // is given) over its modules, or over `modules` when given; true when a
    // monitor was made.
    bool SetUpNoteMonitor(int pass, Voice* voice = nullptr, const std::vector<ug_base*>* modules = nullptr);
    // Voices that a note source gives the modules it feeds (a drum per
    // voice): those modules move from voice 0 into their voice, which gets a
    // monitor of its own.
    void SetUpNoteSourceVoices();
    // The modules of the first voice, with those of nested containers that
    // have no notes of their own.
    void CollectVoiceModules(std::vector<ug_base*>& list);
    // Nested containers first, then this container's voices.
    void CloneContainerVoices();
    void AssignVoiceNumbers();
    void MarkVoicesOpen(bool open);
    void SetPolyphonicContainer(bool polyphonic) { polyphonic_ = polyphonic; }
    bool IsPolyphonicContainer() const { return polyphonic_; }

    // Owned. Null until patch managers are built; the container then runs without.
    void setPatchManager(IDspPatchManager* manager);
    bool has_own_patch_manager() const { return patchManager_ != nullptr; }
    IDspPatchManager* get_patch_manager();

    int64_t CalculateOversampledTimestamp(ug_container* top, int64_t time);

    // Patch parameters and automation (ug_container_patch.cpp).
    // Reads Program, MidiChannel and the Parameters of a PatchManager element.
    void BuildPatchManager(TiXmlElement* patchManagerElement);
    // The patch automator and the MIDI automation output of a container
    // with its own patch manager.
    void BuildAutomationModules();
    ug_patch_automator* PatchAutomator() const { return patchAutomator_; }
    ug_patch_automator_out* AutomationOutput() const { return automationOutput_; }
    // Service modules, made on first use.
    ug_patch_param_setter* GetParameterSetter();
    ug_patch_param_setter* GetParameterSetterSecondary();
    ug_patch_param_watcher* GetParameterWatcher();
    ug_patch_param_setter* ParameterSetterIfAny() const { return parameterSetter_; }
    ug_patch_param_watcher* ParameterWatcherIfAny() const { return parameterWatcher_; }
    // A module pin wants a host control: this container's patch manager, else the parent's.
    bool ConnectHostControl(int hostControl, UPlug* pin);
    // Moves setter connections that loop back through a watcher to the secondary setter.
    void SetupSecondaryPatchParameterSetter();
    // At open: the automation modules learn the MIDI channel, the parameters send their values.
    void OpenPatchManager();
    // "setp" and "setc" from the editor go to the patch manager and automation modules.
    void OnUiNotify2(int id, my_input_stream& stream) override;

protected:
    float InitializeVoiceParameters(int64_t time, Voice* voice, bool retrigger) override;
    void SendVoiceAutomation(int64_t time, int automationCode, float value) override;
    void ReleaseSustainedGate(int64_t time, Voice* voice) override;
    void PostPlayHeldBackNotes() override;
    float VoiceSampleRate() override;
    int64_t PinTimestamp(UPlug* pin, int64_t time) override;
    void QueueProgramChange(ug_base* module, int program) override;
    void CloneVoiceModules(Voice* model, const std::vector<Voice*>& voices) override;

private:
    std::vector<ug_base*> modules_;
    IDspPatchManager* patchManager_ = nullptr;
    ug_base* defaultSetter_ = nullptr;
    ug_patch_automator* patchAutomator_ = nullptr;
    ug_patch_automator_out* automationOutput_ = nullptr;
    ug_patch_param_setter* parameterSetter_ = nullptr;
    ug_patch_param_setter* parameterSetterSecondary_ = nullptr;
    ug_patch_param_watcher* parameterWatcher_ = nullptr;
    bool polyphonic_ = false;
};
