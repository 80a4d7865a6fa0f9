#include "shell/KvEchoes.h"

#include <algorithm>
#include <cmath>

using namespace Steinberg::Vst;

void KvEchoes::Told(ParamID id, ParamValue value)
{
    std::lock_guard<std::mutex> lock(mutex_);
    std::deque<ParamValue>& told = told_[id];
    told.push_back(value);
    if (told.size() > kKept)
        told.pop_front();
}

bool KvEchoes::IsEcho(ParamID id, ParamValue value)
{
    std::lock_guard<std::mutex> lock(mutex_);
    const auto found = told_.find(id);
    if (found == told_.end())
        return false;
    std::deque<ParamValue>& told = found->second;
    // The newest match: a host passes back the last it holds.
    const auto same = [value](ParamValue t) {
        return static_cast<float>(t) == static_cast<float>(value) || std::fabs(t - value) < 1e-7;
    };
    const auto match = std::find_if(told.rbegin(), told.rend(), same);
    if (match == told.rend())
        return false;
    told.erase(told.begin(), match.base());
    if (told.empty())
        told_.erase(found);
    return true;
}

void KvEchoes::Overtaken(ParamID id)
{
    std::lock_guard<std::mutex> lock(mutex_);
    told_.erase(id);
}
