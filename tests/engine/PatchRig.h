#pragma once
// An engine built from an inline patch document whose top container has a
// patch manager: a recorder module with parameter-bound inputs and a source
// module with a parameter-bound output, run block by block; the batches the
// engine sends to the editor are kept.

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "core/CModuleFactory.h"
#include "core/QueMessage.h"
#include "core/Module_Info.h"
#include "core/UnitClass.h"
#include "engine/parameters/dsp_patch_parameter_base.h"
#include "engine/parameters/DspPatchManager.h"
#include "engine/graph/EngineModules.h"
#include "engine/runtime/KvAudioMaster.h"
#include "engine/parameters/PatchStore.h"
#include "engine/runtime/SynthRuntime.h"
#include "engine/TestGraph.h"
#include "engine/parameters/dsp_patch_parameter.h"
#include "engine/graph/ug_container.h"

namespace kvtest
{

struct BatchSender : IDspToGuiSender
{
    bool SendDspToGuiBatch(const unsigned char* data, int size) override
    {
        batches.emplace_back(data, data + size);
        return true;
    }
    std::vector<std::vector<unsigned char>> batches;
};

inline void RegisterPatchTestModules()
{
    RegisterEngineModules();
    static const bool registered = [] {
        CModuleFactory::Instance()->RegisterModule(
            new Module_Info(L"KV Test Recorder", 0, 0, nullptr, &UnitClassOf<Recorder>::value, 8));
        CModuleFactory::Instance()->RegisterModule(
            new Module_Info(L"KV Test Source", 0, 0, nullptr, &UnitClassOf<TestSource>::value, 8));
        return true;
    }();
    (void)registered;
}

// Recorder 10: Float In bound to parameter 100, Text In to parameter 102.
// Source 11: Float Out watched by parameter 101.
inline std::string PatchDocument(const std::string& parameters, const std::string& patchManagerAttributes = "")
{
    return "<DSP><Container Id=\"1\"><PatchManager" + patchManagerAttributes + "><Parameters>" + parameters +
           "</Parameters></PatchManager><Modules>"
           "<Module Type=\"Container\" Id=\"2\" ExpandInline=\"0\"><Modules>"
           "<Module Type=\"KV Test Recorder\" Id=\"10\"><Plugs><Plug Idx=\"1\" Parameter=\"100\"/>"
           "<Plug Idx=\"2\" Parameter=\"102\"/></Plugs></Module>"
           "<Module Type=\"KV Test Source\" Id=\"11\"><Plugs><Plug Idx=\"1\" Parameter=\"101\"/></Plugs></Module>"
           "</Modules></Module></Modules></Container></DSP>";
}

inline const char* kStandardParameters =
    "<P DataType=\"22\" Handle=\"100\" Index=\"0\" RangeMinimum=\"0\" RangeMaximum=\"10\" PatchCount=\"4\">"
    "<patch>2.5 7.5 1 1</patch></P>"
    "<P DataType=\"22\" Handle=\"101\" Index=\"1\" PatchCount=\"4\"/>"
    "<P DataType=\"20\" Handle=\"102\" PatchCount=\"4\"><patch>'hello world' b c d</patch></P>"
    "<P DataType=\"24\" Handle=\"103\" Index=\"2\" Automation=\"33554439\" RangeMaximum=\"10\" PatchCount=\"4\"/>"
    "<P DataType=\"21\" Handle=\"104\" Index=\"3\" MetaData=\"a,b,c\" PatchCount=\"4\"/>"
    "<P DataType=\"23\" Handle=\"105\" Index=\"4\" PatchCount=\"4\"/>"
    "<P DataType=\"28\" Handle=\"106\" PatchCount=\"4\"><patch>AQID</patch></P>";

struct PatchRig
{
    explicit PatchRig(const std::string& document = PatchDocument(kStandardParameters), int hostBlock = 512)
        : runtime(&sender)
    {
        RegisterPatchTestModules();
        built = runtime.initialize(44100, hostBlock, document.c_str());
    }

    KvAudioMaster* master() { return runtime.AudioMaster(); }
    DspPatchManager* manager()
    {
        return dynamic_cast<DspPatchManager*>(master()->TopContainer()->get_patch_manager());
    }
    dsp_patch_parameter_base* parameter(int handle) { return manager()->GetParameter(handle); }
    template <class P>
    P* typed(int handle)
    {
        return dynamic_cast<P*>(parameter(handle));
    }
    Recorder* recorder() { return dynamic_cast<Recorder*>(master()->HandleToObject(10)); }
    TestSource* source() { return dynamic_cast<TestSource*>(master()->HandleToObject(11)); }

    void Run(int samples)
    {
        std::vector<float> scratch(static_cast<size_t>(samples));
        float* channel = scratch.data();
        master()->DoProcess(samples, &channel, &channel, 0, 0);
    }
    // A block as the processor runs one: it hears what others set in the
    // patch store first, unless a state is being written there.
    void Block(int samples, float* channel)
    {
        PatchStore& store = runtime.Store();
        if (store.EnterBlock())
            master()->HearStore();
        master()->DoProcess(samples, &channel, &channel, 0, 0);
        store.LeaveBlock();
    }

    BatchSender sender;
    SynthRuntime runtime;
    bool built = false;
};

// A record to the engine: header and payload, as the editor side writes it.
struct Record
{
    template <class T>
    Record& operator<<(const T& value)
    {
        const auto* bytes = reinterpret_cast<const unsigned char*>(&value);
        payload.insert(payload.end(), bytes, bytes + sizeof(T));
        return *this;
    }
    void SendTo(SynthRuntime& runtime, int handle, int32_t id) const
    {
        WriteQueMessage(runtime.QueueFromGui(), handle, id, payload.data(), static_cast<int32_t>(payload.size()));
        runtime.QueueFromGui().Send();
    }
    std::vector<unsigned char> payload;
};

// The records of every batch the engine sent, in order.
struct SentRecord
{
    int32_t handle;
    int32_t id;
    std::vector<unsigned char> payload;
};

inline std::vector<SentRecord> SentRecords(const BatchSender& sender)
{
    std::vector<SentRecord> records;
    for (const auto& batch : sender.batches)
    {
        size_t at = 0;
        while (at + 12 <= batch.size())
        {
            int32_t header[3];
            std::memcpy(header, batch.data() + at, 12);
            at += 12;
            const auto length = static_cast<size_t>(header[2]);
            if (at + length > batch.size())
                break;
            records.push_back({header[0], header[1], {batch.begin() + static_cast<std::ptrdiff_t>(at),
                                                      batch.begin() + static_cast<std::ptrdiff_t>(at + length)}});
            at += length;
        }
    }
    return records;
}

inline std::vector<SentRecord> RecordsFor(const BatchSender& sender, int handle, int32_t id)
{
    std::vector<SentRecord> result;
    for (auto& r : SentRecords(sender))
    {
        if (r.handle == handle && r.id == id)
            result.push_back(r);
    }
    return result;
}

// An expected payload, built field by field.
struct Payload
{
    template <class T>
    Payload& operator<<(const T& value)
    {
        const auto* bytes = reinterpret_cast<const unsigned char*>(&value);
        data.insert(data.end(), bytes, bytes + sizeof(T));
        return *this;
    }
    std::vector<unsigned char> data;
};

} // namespace kvtest
