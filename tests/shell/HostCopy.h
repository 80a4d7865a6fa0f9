#pragma once
// What hosts keep of a plug-in's parameters: a copy of every value, which
// only the host's own reading refreshes, and the values it is to send the
// processor with its next block. Shared by the tests of hosts that keep one
// (JUCE-framework hosts, Ardour), and a block of the instance's processor
// run with those values.

#include <array>
#include <cmath>
#include <map>
#include <numeric>
#include <vector>

#include "tools/kvhost/HostParameterChanges.h"
#include "tools/kvhost/PluginInstance.h"

namespace host_copy
{
using Steinberg::Vst::ParamID;
using Values = std::map<ParamID, double>;

// The three-program bundle (tests/patches/KvProgramSynth): its program
// change, and the values of Wave, Tone, Level and Steps in each program.
constexpr ParamID kProgramChange = 10130;
inline const std::vector<ParamID> kIds = {0, 1, 2, 3};
inline const std::array<Values, 3> kPrograms = {
    Values{{0, 0.0}, {1, 0.5}, {2, 0.8}, {3, 0.0}},
    Values{{0, 1.0 / 6}, {1, 0.25}, {2, 0.2}, {3, 7.0 / 12}},
    Values{{0, 3.0 / 6}, {1, 0.9}, {2, 0.5}, {3, 1.0}},
};

struct HostCopy
{
    // Every parameter the controller lists, read again; the ones that
    // changed go to the processor with the next block when `send`.
    void Reread(Steinberg::Vst::IEditController& controller, bool send)
    {
        for (Steinberg::int32 i = 0; i < controller.getParameterCount(); ++i)
        {
            Steinberg::Vst::ParameterInfo info{};
            if (controller.getParameterInfo(i, info) != Steinberg::kResultOk)
                continue;
            const double value = controller.getParamNormalized(info.id);
            const auto known = copy.find(info.id);
            if (send && known != copy.end() && known->second != value)
                pending[info.id] = value;
            copy[info.id] = value;
            parameterFlags[info.id] = info.flags;
        }
    }
    // The copy's values of these ids.
    Values Of(const std::vector<ParamID>& ids) const
    {
        Values values;
        for (ParamID id : ids)
            values[id] = copy.count(id) ? copy.at(id) : -1.0;
        return values;
    }

    Values copy;
    std::map<ParamID, Steinberg::int32> parameterFlags;
    Values pending;
};

// One block of `frames` samples with these values at sample 0: the left
// channel, and the processor's output changes (their last values).
inline std::vector<float> Block(PluginInstance& instance, const Values& values, Values* reported = nullptr,
                                Steinberg::int32 frames = 256)
{
    using namespace Steinberg::Vst;
    HostParameterChanges in;
    HostParameterChanges out;
    for (const auto& [id, value] : values)
        in.add(id, 0, value);
    std::vector<float> left(static_cast<std::size_t>(frames)), right(static_cast<std::size_t>(frames));
    float* channels[2] = {left.data(), right.data()};
    AudioBusBuffers bus{};
    bus.numChannels = 2;
    bus.channelBuffers32 = channels;
    ProcessData data{};
    data.processMode = kRealtime;
    data.symbolicSampleSize = kSample32;
    data.numSamples = frames;
    data.numOutputs = 1;
    data.outputs = &bus;
    data.inputParameterChanges = &in;
    data.outputParameterChanges = &out;
    instance.processor()->process(data);
    for (Steinberg::int32 i = 0; reported && i < out.getParameterCount(); ++i)
    {
        IParamValueQueue* queue = out.getParameterData(i);
        Steinberg::int32 offset = 0;
        double value = 0.0;
        if (queue && queue->getPoint(queue->getPointCount() - 1, offset, value) == Steinberg::kResultOk)
            (*reported)[queue->getParameterId()] = value;
    }
    return left;
}

inline double Rms(const std::vector<float>& samples)
{
    return std::sqrt(std::inner_product(samples.begin(), samples.end(), samples.begin(), 0.0) /
                     static_cast<double>(std::max<std::size_t>(samples.size(), 1)));
}
} // namespace host_copy
