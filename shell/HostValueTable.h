#pragma once
// Which of the engine's parameter value records are host parameter values,
// and how they read as the host's normalised values. Built from
// parameters.kv.xml on the user-interface thread, before the audio thread
// runs; the audio thread only reads it.
//
// Threads: Build and Size are UI; Report is Audio (no allocation, lock or log).

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "base/source/fobject.h"
#include "pluginterfaces/vst/ivstparameterchanges.h"
#include "engine/parameters/PatchStore.h"
#include "shell/KvEnumPositions.h"


namespace Steinberg::Vst
{
class Parameter;
}

class HostValueTable
{
public:
    HostValueTable();
    ~HostValueTable();
    HostValueTable(const HostValueTable&) = delete;
    HostValueTable& operator=(const HostValueTable&) = delete;

    // UI. The numeric parameters of the document that have a host index;
    // an unreadable document leaves the table empty.
    void Build(const std::string& parametersXml);
    // UI. The number of parameters in the table.
    std::size_t Size() const { return slots_.size(); }

    // Audio. Adds the host value of each "ppc" record of the batch that the
    // engine moved on its own to `changes` at sampleOffset: the monophonic
    // value only, normalised as the controller normalises it, finite and
    // inside 0..1, and tells `store` what the host was told. Records of
    // other parameters, values the host caused, and anything malformed, are
    // skipped.
    void Report(const unsigned char* batch, std::size_t size, Steinberg::Vst::IParameterChanges& changes,
                Steinberg::int32 sampleOffset, PatchStore& store) const;

private:
    struct Slot
    {
        int handle = -1;
        Steinberg::Vst::ParamID id = 0;
        int32_t valueType = 6;
        Steinberg::IPtr<Steinberg::Vst::Parameter> parameter;
        // The host counts the choices of a list by position.
        KvEnumPositions positions;
    };
    // Sorted by handle.
    std::vector<Slot> slots_;

    const Slot* Find(int handle) const;
};
