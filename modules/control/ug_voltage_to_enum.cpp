#include "modules/control/ug_voltage_to_enum.h"

#include <tinyxml.h>

#include <algorithm>
#include <cmath>

#include "core/CModuleFactory.h"
#include "core/InterfaceObject.h"
#include "core/Module_Info.h"
#include "core/UnitClass.h"
#include "core/conversion.h"
#include "core/it_enum_list.h"

void ug_voltage_to_enum::ListInterface2(std::vector<InterfaceObject*>& pins)
{
    pins.push_back(new InterfaceObject(nullptr, L"Signal in", DR_IN, DT_FSAMPLE, L"0", L"", IO_LINEAR_INPUT,
                                       L"Input signal", &input_ptr_));
    pins.push_back(new InterfaceObject(&listValue_, L"List Out", DR_OUT, DT_ENUM, L"0", L"", 0, L""));
}

void ug_voltage_to_enum::Setup(IKvAudioMaster* master, TiXmlElement* element)
{
    ug_base::Setup(master, element);
    if (!element)
        return;
    TiXmlElement* plugs = element->FirstChildElement("Plugs");
    if (!plugs)
        return;
    // Whatever the entries are called, the last list given wins.
    for (TiXmlElement* entry = plugs->FirstChildElement(); entry; entry = entry->NextSiblingElement())
    {
        if (const char* text = entry->Attribute("EnumList"))
            listText_ = Utf8ToWstring(text);
    }
}

ug_base* ug_voltage_to_enum::Clone(CUGLookupList& lookup)
{
    ug_base* clone = ug_base::Clone(lookup);
    if (auto* copy = dynamic_cast<ug_voltage_to_enum*>(clone))
        copy->listText_ = listText_;
    return clone;
}

int ug_voltage_to_enum::Open()
{
    const int result = ug_base::Open();
    lowerBound_ = upperBound_ = 1e8f;
    listValue_ = -32768;

    it_enum_list it(listText_);
    int count = 0;
    for (it.First(); !it.IsDone() && count < kMaxItems; it.Next())
        ++count;
    itemValues_.assign(static_cast<size_t>(count), 0);
    int i = 0;
    for (it.First(); !it.IsDone() && i < count; it.Next())
        itemValues_[static_cast<size_t>(i++)] = static_cast<int16_t>(it.CurrentItem()->value);

    SetProcessFunction(&ug_base::process_sleep);
    return result;
}

void ug_voltage_to_enum::Convert(float x, int64_t time)
{
    // NaN is neither below nor above the window and never leaves it.
    if (!(x < lowerBound_ || x > upperBound_) || itemValues_.empty())
        return;
    const int n = static_cast<int>(itemValues_.size());
    // Clamped before the integer conversion; f stays one step past either end
    // so the window below keeps its shape for inputs just outside 0 ... 1.
    double raw = std::floor(static_cast<double>(x) * (n - 1) + 0.5);
    if (std::isnan(raw))
        raw = 0.0; // an infinite input on a one-item list
    const int f = static_cast<int>(std::clamp(raw, -1.0, static_cast<double>(n)));
    const int16_t item = itemValues_[static_cast<size_t>(std::clamp(f, 0, n - 1))];
    if (item == listValue_)
        return;
    listValue_ = item;
    SendPinsCurrentValue(time, plugs_[PN_LIST_OUT]);

    const float w = 1.0f / static_cast<float>(std::max(1, n));
    lowerBound_ = static_cast<float>(f) * w - w / 3.0f;
    upperBound_ = static_cast<float>(f + 1) * w + w / 3.0f;
    if (f == 0)
        lowerBound_ = -1e8f;
    if (f >= n - 1)
        upperBound_ = 1e8f;
}

void ug_voltage_to_enum::onSetPin(int64_t time, UPlug* pin, state_type state)
{
    if (pin->index_ != PN_SIGNAL_IN)
        return;
    if (state == ST_STREAMING)
    {
        SetProcessFunction(&ug_voltage_to_enum::sub_process);
        return;
    }
    Convert(pin->getValue(), time);
    SetProcessFunction(&ug_base::process_sleep);
}

void ug_voltage_to_enum::sub_process(int start, int count)
{
    const float* in = input_ptr_ + start;
    for (int i = 0; i < count; ++i)
        Convert(in[i], sampleClock_ + i);
}

namespace
{
[[maybe_unused]] const bool registered = CModuleFactory::Instance()->RegisterModule(
    new Module_Info(L"Voltage To List", 499, 299, nullptr, &UnitClassOf<ug_voltage_to_enum>::value, 256));
}
