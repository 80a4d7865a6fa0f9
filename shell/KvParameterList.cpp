#include "shell/KvParameterList.h"

#include <tinyxml.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <set>

#include "core/Base64.h"
#include "core/ExactXmlText.h"
#include "core/ModuleXml.h"
#include "core/RawConversions.h"
#include "core/SafeXmlText.h"
#include "core/ValueRule.h"
#include "core/conversion.h"
#include "core/it_enum_list.h"
#include "shell/KvEnumPositions.h"
#include "shell/KvHostParameter.h"

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace
{
std::u16string Utf16(const std::wstring& wide)
{
    std::u16string text;
    for (wchar_t c : wide)
        text.push_back(static_cast<char16_t>(c & 0xFFFF));
    return text;
}

// A range bound of the parameters document kept within the limit all values
// share, with a line saying so.
void LimitRangeBound(const KvParameter& record, const char* attribute, double& bound, double fallback)
{
    const double given = bound;
    if (!ValueRule::LimitBound(bound, fallback))
        std::fprintf(stderr, "parameters.kv.xml: parameter \"%s\": %s %s is out of bounds, using %s.\n",
                     record.name.c_str(), attribute, DoubleToUtf8(given).c_str(), DoubleToUtf8(bound).c_str());
}

int IntAttribute(const TiXmlElement* element, const char* name, int fallback)
{
    int value = fallback;
    return element->QueryIntAttribute(name, &value) == TIXML_SUCCESS ? value : fallback;
}

// A number attribute read the same in every locale; a missing or unreadable
// one keeps the fallback.
double DoubleAttribute(const TiXmlElement* element, const char* name, double fallback)
{
    double value = fallback;
    return XmlNumberAttribute(*element, name, value) ? value : fallback;
}

Parameter* MakeHostParameter(const KvParameter& record, const std::string& defaultText)
{
    using KvParameterList::kMaxListItems;
    const int type = record.valueType;
    ParameterInfo info{};
    info.id = static_cast<ParamID>(record.index);
    KvHostParameter::WriteTitle(info.title, record.name);
    info.flags = ParameterInfo::kCanAutomate;
    info.unitId = kRootUnitId;

    Parameter* parameter = nullptr;
    const double low = record.rangeMinimum;
    const double high = record.rangeMaximum;
    const int listSize = record.HasChoices() && !record.enumList.empty() ? it_enum_list(record.enumList).size() : 0;
    // Whole numbers in a range: an enum or int without a list, a 64-bit int.
    const bool wholeRange = (record.HasChoices() && record.enumList.empty()) || type == 9;
    if (listSize > kMaxListItems)
    {
        // Too many names to list: the host sees the positions as a range.
        info.stepCount = listSize - 1;
        parameter = new KvRangeHostParameter(info, 0.0, listSize - 1.0, 0, true);
    }
    else if (type == 3 || type == 6 || wholeRange)
    {
        // Whole numbers between bounds cut toward zero, as the engine's int
        // parameters hold them: one step per number, in either order.
        const double steps = wholeRange ? std::fabs(std::trunc(high) - std::trunc(low)) : 0.0;
        info.stepCount = steps < kMaxListItems * 1e6 ? static_cast<int32>(steps) : 0;
        parameter = new KvRangeHostParameter(info, low, high, wholeRange ? 0 : 3, wholeRange);
    }
    else if (record.HasChoices())
    {
        info.flags = ParameterInfo::kCanAutomate | ParameterInfo::kIsList;
        std::vector<std::u16string> names;
        it_enum_list items(record.enumList);
        for (items.First(); !items.IsDone(); items.Next())
            names.push_back(Utf16(items.CurrentItem()->text));
        parameter = new KvListHostParameter(info, std::move(names));
    }
    else if (type == 4)
    {
        // One step, off and on: hosts show a switch.
        info.stepCount = 1;
        parameter = new KvSwitchHostParameter(info);
    }
    else
    {
        info.stepCount = 5;
        parameter = new KvHostParameter(info);
    }

    double plain = 0.0;
    if (!ValueRule::ParseNumber(defaultText, plain))
        plain = StringToDouble(defaultText.c_str());
    // The default of a list is a value; the host counts the choices by position.
    int32_t position = 0;
    if (listSize > 0)
    {
        const bool listed = std::fabs(plain) < 1e9 &&
                            KvEnumPositions(record.enumList).Position(static_cast<int64_t>(plain), position);
        plain = listed ? position : 0.0;
    }
    parameter->setNormalized(parameter->toNormalized(std::isfinite(plain) ? plain : 0.0));
    // A new instance and "reset to default" start where the patch starts.
    parameter->getInfo().defaultNormalizedValue = parameter->getNormalized();
    return parameter;
}
} // namespace

const TiXmlElement* KvParameterList::FindList(const TiXmlElement* root)
{
    const TiXmlElement* level = root ? root->FirstChildElement() : nullptr;
    return level ? level->FirstChildElement("Parameters") : nullptr;
}

std::vector<KvParameterEntry> KvParameterList::Read(const TiXmlElement* list)
{
    std::vector<KvParameterEntry> entries;
    if (list == nullptr)
        return entries;
    std::set<int> taken;
    for (const TiXmlElement* element = list->FirstChildElement("Parameter"); element;
         element = element->NextSiblingElement("Parameter"))
    {
        KvParameterEntry entry;
        KvParameter& record = entry.record;
        record.valueType = IntAttribute(element, "ValueType", 6);
        record.index = IntAttribute(element, "Index", -1);
        entry.handle = IntAttribute(element, "Handle", -1);
        const int isPrivate = IntAttribute(element, "Private", 0);
        record.stateful = IntAttribute(element, "Stateful", 1);
        record.hostControl = IntAttribute(element, "HostControl", -1);
        record.rangeMinimum = DoubleAttribute(element, "RangeMinimum", 0.0);
        record.rangeMaximum = DoubleAttribute(element, "RangeMaximum", 10.0);
        record.moduleHandle = IntAttribute(element, "Module", -1);
        record.moduleParamId = IntAttribute(element, "ModuleParamId", -1);
        if (const char* name = element->Attribute("Name"))
            record.name = name;
        LimitRangeBound(record, "RangeMinimum", record.rangeMinimum, 0.0);
        LimitRangeBound(record, "RangeMaximum", record.rangeMaximum, 10.0);
        const char* metaData = element->Attribute("MetaData");
        if (metaData && (record.HasChoices() || record.valueType == 1))
            record.enumList = Utf8ToWstring(metaData);

        std::string defaultText;
        if (const TiXmlElement* patchList = element->FirstChildElement("patch-list"))
        {
            XmlSplitString(ExactXmlText(patchList).c_str(), entry.programTexts);
            if (!entry.programTexts.empty())
                defaultText = entry.programTexts.front();
        }
        record.value = record.valueType == 10 ? Base64::decode(defaultText) : ParseToRaw(record.valueType, defaultText);

        const bool hasClass = record.valueType != 1 && record.valueType != 10;
        // Only ids below the MIDI controller parameters, each given once.
        const bool indexFree = record.index >= 0 && record.index <= kMaxPatchIndex && !taken.count(record.index);
        if (isPrivate != 0 || !hasClass || !indexFree)
        {
            // A record without its own host parameter must not edit another's.
            record.index = -1;
        }
        else
        {
            taken.insert(record.index);
            entry.host = MakeHostParameter(record, defaultText);
        }
        entries.push_back(std::move(entry));
    }
    return entries;
}

bool KvParameterList::ReadDocument(const std::string& text, std::vector<KvParameterEntry>& entries)
{
    entries.clear();
    if (text.empty() || !IsSafeXmlText(text))
        return false;
    TiXmlDocument document;
    document.Parse(text.c_str());
    const TiXmlElement* root = document.Error() ? nullptr : document.RootElement();
    if (root == nullptr)
        return false;
    entries = Read(FindList(root));
    return true;
}
