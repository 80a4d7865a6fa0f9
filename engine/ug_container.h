#pragma once
// A module holding a sub-graph: its modules, its voice counts, its patch
// manager when it has one, and the default setter that feeds its unconnected
// inputs. Its own signal work is nil; its pins are tied to the pins of its
// "IO Mod" and re-routed at build time so that signals flow module to module
// across container borders.

#include <vector>

#include "core/EPlugDataType.h"
#include "engine/ug_base.h"

class IDspPatchManager;

class ug_container : public ug_base
{
public:
    static constexpr int kMaxVoiceCount = 128;
    static constexpr int kMaxVoiceReserveCount = 32;

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

    void setVoiceCount(int count);
    void setVoiceReserveCount(int count);
    int VoiceCount() const { return voiceCount_; }
    int VoiceReserveCount() const { return voiceReserveCount_; }
    void SetPolyphonicContainer(bool polyphonic) { polyphonic_ = polyphonic; }
    bool IsPolyphonicContainer() const { return polyphonic_; }

    // Owned. Null until patch managers are built; the container then runs without.
    void setPatchManager(IDspPatchManager* manager);
    bool has_own_patch_manager() const { return patchManager_ != nullptr; }
    IDspPatchManager* get_patch_manager();

    int64_t CalculateOversampledTimestamp(ug_container* top, int64_t time);

private:
    std::vector<ug_base*> modules_;
    IDspPatchManager* patchManager_ = nullptr;
    ug_base* defaultSetter_ = nullptr;
    int voiceCount_ = 6;
    int voiceReserveCount_ = 3;
    bool polyphonic_ = false;
};
