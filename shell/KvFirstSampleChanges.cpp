#include "shell/KvFirstSampleChanges.h"

using namespace Steinberg;
using namespace Steinberg::Vst;

tresult PLUGIN_API KvFirstSampleValue::queryInterface(const TUID, void** object)
{
    *object = nullptr;
    return kNoInterface;
}

tresult PLUGIN_API KvFirstSampleValue::getPoint(int32 index, int32& sampleOffset, ParamValue& point)
{
    if (index != 0)
        return kResultFalse;
    sampleOffset = 0;
    point = value;
    return kResultOk;
}

tresult PLUGIN_API KvFirstSampleChanges::queryInterface(const TUID, void** object)
{
    *object = nullptr;
    return kNoInterface;
}

IParamValueQueue* PLUGIN_API KvFirstSampleChanges::getParameterData(int32 index)
{
    return index >= 0 && index < count_ ? &first_[index] : nullptr;
}
