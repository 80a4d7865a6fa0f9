#pragma once
// The host model of the tests that drive a bundle as a host does: an
// instance under the host's name, blocks with values at their samples, the
// states hosts save and restore, and a component handler that keeps a copy
// of the values as JUCE-framework hosts and Ardour do: refreshed only by the
// plug-in's restart and performEdit, the changed values waiting for the next
// block, edits marked for a shown window's write-back (Ardour also sets an
// edit on the controller at once). Its restart takes
// the lock the host holds in its loads: a call under it is counted, not
// waited on. Its run loop, if offered, turns only when the test says so.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <mutex>
#include <numeric>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "pluginterfaces/gui/iplugview.h"
#include "tests/shell/BlockEventList.h"
#include "tools/kvhost/HostMemoryStream.h"
#include "tools/kvhost/HostParameterChanges.h"
#include "tools/kvhost/PluginInstance.h"

#ifdef KV_ALL_BUNDLES
#include "tests/AllBundles.h"
#endif

namespace host_model
{
using namespace Steinberg;
using namespace Steinberg::Vst;
using Values = std::map<ParamID, double>;

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
class ModelHost : public HostComponentHandler, public Linux::IRunLoop
{
public:
    tresult PLUGIN_API restartComponent(int32 flags) override
    {
        const std::unique_lock<std::mutex> held(lock, std::try_to_lock);
        if (!held.owns_lock())
            return ++underLock, kResultFalse;
        if ((flags & kParamValuesChanged) && controller)
            ++rereads, Reread();
        return HostComponentHandler::restartComponent(flags);
    }
    tresult PLUGIN_API performEdit(ParamID id, ParamValue value) override
    {
        copy[id] = pending[id] = shown[id] = value;
        marks.insert(id);
        // Ardour sets an edit on the controller at once, as its own.
        if (setsEdits && controller)
            controller->setParamNormalized(id, value);
        return HostComponentHandler::performEdit(id, value);
    }
    // Every value read again into the copy; those that changed wait.
    void Reread()
    {
        for (int32 i = 0; i < controller->getParameterCount(); ++i)
        {
            ParameterInfo info{};
            if (controller->getParameterInfo(i, info) != kResultOk)
                continue;
            const double value = controller->getParamNormalized(info.id);
            if (copy.count(info.id) && copy[info.id] != value)
                pending[info.id] = value;
            if (!copy.count(info.id) || copy[info.id] != value)
                shown[info.id] = value;
            copy[info.id] = value;
            infoFlags[info.id] = info.flags;
        }
    }
    // A load: the calls into the plug-in with the host's lock held.
    template <typename Call>
    auto Load(Call call)
    {
        const std::lock_guard<std::mutex> held(lock);
        return call();
    }
    // The timer of a shown window: every marked value written back.
    void WriteBack()
    {
        for (const ParamID id : marks)
            if (infoFlags[id] & (ParameterInfo::kCanAutomate | ParameterInfo::kIsReadOnly))
                controller->setParamNormalized(id, copy[id]);
        marks.clear();
    }
    // One turn of the run loop: every timer fires.
    void Turn()
    {
        for (Linux::ITimerHandler* timer : std::vector<Linux::ITimerHandler*>(timers))
            timer->onTimer();
    }

    tresult PLUGIN_API registerEventHandler(Linux::IEventHandler*, Linux::FileDescriptor) override
    {
        return kResultFalse;
    }
    tresult PLUGIN_API unregisterEventHandler(Linux::IEventHandler*) override { return kResultFalse; }
    tresult PLUGIN_API registerTimer(Linux::ITimerHandler* timer, Linux::TimerInterval) override
    {
        return timers.push_back(timer), kResultOk;
    }
    tresult PLUGIN_API unregisterTimer(Linux::ITimerHandler* timer) override
    {
        timers.erase(std::remove(timers.begin(), timers.end(), timer), timers.end());
        return kResultOk;
    }
    tresult PLUGIN_API queryInterface(const TUID queried, void** obj) override
    {
        if (!offersRunLoop || !FUnknownPrivate::iidEqual(queried, Linux::IRunLoop::iid))
            return HostComponentHandler::queryInterface(queried, obj);
        *obj = static_cast<Linux::IRunLoop*>(this);
        return kResultOk;
    }
    uint32 PLUGIN_API addRef() override { return 1; }
    uint32 PLUGIN_API release() override { return 1; }

    IEditController* controller = nullptr;
    bool offersRunLoop = true;
    bool setsEdits = false;
    std::vector<Linux::ITimerHandler*> timers;
    std::mutex lock;
    Values copy, pending;
    // What Ardour's generic controls show: they follow a reread's changes
    // and performEdit, not output changes that filled the copy before.
    Values shown;
    std::map<ParamID, int32> infoFlags;
    std::set<ParamID> marks;
    int rereads = 0;
    int underLock = 0;

};
#pragma GCC diagnostic pop

struct Change
{
    ParamID id;
    double value;
    int32 offset = 0;
};

// A bundle's instance as a host holds it, the model its component handler.
struct Plugin
{
    explicit Plugin(const std::string& bundle, const std::string& hostName = "Korvane kvhost", bool runLoop = true)
    {
        InstanceSetup setup;
        setup.hostName = hostName;
        std::string error;
        module = PluginModule::Load(bundle, error);
        if (module)
            instance = PluginInstance::Create(module, setup, error);
        EXPECT_TRUE(instance) << bundle << ": " << error;
        host.offersRunLoop = runLoop;
        host.setsEdits = hostName == "Ardour";
        host.controller = instance ? instance->controller() : nullptr;
        if (host.controller)
        {
            host.controller->setComponentHandler(&host);
            host.Reread();
        }
    }
    ~Plugin()
    {
        EXPECT_EQ(host.underLock, 0) << "a handler call under the host's own lock";
        if (host.controller)
            host.controller->setComponentHandler(&instance->componentHandler());
    }
    IComponent* component() const { return instance->component(); }
    IEditController* controller() const { return instance->controller(); }

    // The parameter flagged as the given kind, if any.
    std::optional<ParameterInfo> Flagged(int32 flag) const
    {
        for (int32 i = 0; controller() && i < controller()->getParameterCount(); ++i)
            if (ParameterInfo info{}; controller()->getParameterInfo(i, info) == kResultOk && (info.flags & flag))
                return info;
        return std::nullopt;
    }

    // One block of `frames` with these values, key 69 struck at its start
    // when asked (followed by any other events given) and every input at
    // kDry (or each carrying `input`): every output channel, one after
    // another, and the last value of each id the processor reported.
    static constexpr float kDry = 0.25f;
    std::vector<float> Block(int32 frames, const std::vector<Change>& changes = {}, bool note = false,
                             Values* reported = nullptr, const std::vector<float>* input = nullptr,
                             const std::vector<Event>& more = {})
    {
        HostParameterChanges in, out;
        for (const Change& change : changes)
            in.add(change.id, change.offset, change.value);
        Event on{};
        on.type = Event::kNoteOnEvent;
        on.noteOn = {0, 69, 0.0f, 1.0f, 0, -1};
        BlockEventList events(note ? std::vector<Event>{on} : std::vector<Event>{});
        events.events.insert(events.events.end(), more.begin(), more.end());
        std::vector<std::vector<float>> channels;
        std::vector<float*> pointers(PluginInstance::kMaxChannels);
        std::vector<AudioBusBuffers> buses;
        const std::vector<int32>& ins = instance->inputChannels();
        for (const auto* counts : {&ins, &instance->outputChannels()})
            for (const int32 count : *counts)
            {
                buses.emplace_back().numChannels = count;
                buses.back().channelBuffers32 = pointers.data() + channels.size();
                for (int32 c = 0; c < count; ++c)
                {
                    channels.emplace_back(std::max(frames, 1), counts == &ins ? kDry : 0.0f);
                    if (counts == &ins && input)
                        std::copy(input->begin(), input->begin() + std::min<std::size_t>(input->size(), frames),
                                  channels.back().begin());
                    pointers[channels.size() - 1] = channels.back().data();
                }
            }
        ProcessData data{};
        data.processMode = kRealtime;
        data.symbolicSampleSize = kSample32;
        data.numSamples = frames;
        data.numInputs = static_cast<int32>(ins.size());
        data.inputs = ins.empty() ? nullptr : buses.data();
        data.numOutputs = static_cast<int32>(buses.size() - ins.size());
        data.outputs = data.numOutputs > 0 ? buses.data() + ins.size() : nullptr;
        data.inputParameterChanges = &in;
        data.outputParameterChanges = &out;
        data.inputEvents = instance->hasEventInput() ? &events : nullptr;
        EXPECT_EQ(instance->processor()->process(data), kResultOk);
        for (int32 i = 0; reported && i < out.getParameterCount(); ++i)
        {
            IParamValueQueue* queue = out.getParameterData(i);
            int32 offset = 0;
            double value = 0.0;
            if (queue && queue->getPoint(queue->getPointCount() - 1, offset, value) == kResultOk)
                (*reported)[queue->getParameterId()] = value;
        }
        std::vector<float> played;
        for (auto c = static_cast<std::size_t>(std::accumulate(ins.begin(), ins.end(), 0)); c < channels.size(); ++c)
            played.insert(played.end(), channels[c].begin(), channels[c].begin() + frames);
        return played;
    }

    std::vector<char> ProcessorState() const { return State(component()); }
    std::vector<char> ControllerState() const { return State(controller()); }
    template <typename Part>
    static std::vector<char> State(Part* part)
    {
        HostMemoryStream out;
        EXPECT_EQ(part->getState(&out), kResultOk);
        return out.bytes();
    }
    // As hosts restore a project: the processor, the controller from the
    // processor's state, then the controller's own.
    void Restore(const std::vector<char>& processor, const std::vector<char>& own) const
    {
        HostMemoryStream component(processor), shown(processor), mine(own);
        EXPECT_EQ(this->component()->setState(&component), kResultOk);
        EXPECT_EQ(controller()->setComponentState(&shown), kResultOk);
        EXPECT_EQ(controller()->setState(&mine), kResultOk);
    }

    std::shared_ptr<PluginModule> module;
    std::unique_ptr<PluginInstance> instance;
    ModelHost host;
};

inline double Rms(const std::vector<float>& samples)
{
    return std::sqrt(std::inner_product(samples.begin(), samples.end(), samples.begin(), 0.0) /
                     static_cast<double>(std::max<std::size_t>(samples.size(), 1)));
}

} // namespace host_model
