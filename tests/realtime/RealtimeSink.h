// The module and graph helpers the realtime tests share.
#pragma once

#include <string>
#include <vector>

#include "core/CModuleFactory.h"
#include "core/InterfaceObject.h"
#include "core/Module_Info.h"
#include "core/MpBlob.h"
#include "core/UnitClass.h"
#include "engine/TestGraph.h"
#include "modules/signal/ug_filter_1pole.h"

namespace kvrt
{
using kvtest::TestGraph;
using kvtest::TestSource;

// Sums what reaches it; allocates nothing while it runs.
class Sink : public ug_base
{
public:
    Sink() { SetProcessFunction(&Sink::process_sum); }
    ug_base* Create() override { return new Sink(); }

    void ListInterface2(std::vector<InterfaceObject*>& pins) override
    {
        pins.push_back(new InterfaceObject(nullptr, L"In", DR_IN, DT_FSAMPLE, L"0", L"", 0, L"", &in_));
        pins.push_back(new InterfaceObject(&value_, L"Value", DR_IN, DT_FLOAT, L"0", L"", 0));
        pins.push_back(new InterfaceObject(&text_, L"Text", DR_IN, DT_TEXT, L"", L"", 0));
        pins.push_back(new InterfaceObject(&blob_, L"Blob", DR_IN, DT_BLOB, L"", L"", 0));
    }

    void onSetPin(int64_t /*time*/, UPlug* /*pin*/, state_type /*state*/) override { ++pinChanges; }

    void process_sum(int start, int count)
    {
        for (int i = 0; i < count; ++i)
            sum += in_[start + i];
    }

    float* in_ = nullptr;
    float value_ = 0.0f;
    std::wstring text_;
    MpBlob blob_;
    double sum = 0.0;
    long pinChanges = 0;
};

inline ug_filter_1pole* AddFilter(TestGraph& g, const wchar_t* type, int sortOrder)
{
    auto* f = static_cast<ug_filter_1pole*>(CModuleFactory::Instance()->GetById(type)->BuildSynthOb());
    f->Setup(&g.master, nullptr);
    f->sortOrder_ = sortOrder;
    g.modules.emplace_back(f);
    return f;
}

inline void Connect(ug_base* from, int out, ug_base* to, int in)
{
    ug_base::connect(from->plugs_[out], to->plugs_[in]);
}

// Registers "KV Realtime Sink" once per process.
inline void RegisterRealtimeSink()
{
    static const bool registered = CModuleFactory::Instance()->RegisterModule(
        new Module_Info(L"KV Realtime Sink", 0, 0, nullptr, &UnitClassOf<Sink>::value, 8));
    (void)registered;
}
} // namespace kvrt
