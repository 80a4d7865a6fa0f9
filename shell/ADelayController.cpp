#include "shell/ADelayController.h"

#include <tinyxml.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "base/source/updatehandler.h"
#include "core/ExactXmlText.h"
#include "core/Base64.h"
#include "core/ModuleXml.h"
#include "core/RawConversions.h"
#include "core/conversion.h"
#include "core/it_enum_list.h"
#include "editor/GuiPatchAutomator2.h"
#include "shell/KVVSTGUIEditor.h"
#include "shell/MyVstPluginFactory.h"
#include "core/SafeXmlText.h"
#include "shell/StateChunk.h"

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace
{
// A range parameter that stays defined when its range is empty: every plain
// value then maps to 0 and back to the minimum.
class KvRangeParameter : public RangeParameter
{
public:
    using RangeParameter::RangeParameter;

    ParamValue toNormalized(ParamValue plain) const SMTG_OVERRIDE
    {
        const ParamValue span = getMax() - getMin();
        if (!(span > 0.0) || !std::isfinite(plain))
            return 0.0;
        return std::clamp((plain - getMin()) / span, 0.0, 1.0);
    }
};

// Each byte of the name widened to one 16-bit unit, at most 50 of them.
void CopyTitle(String128 title, const std::string& name)
{
    const std::size_t n = std::min<std::size_t>(name.size(), 50);
    for (std::size_t i = 0; i < n; ++i)
        title[i] = static_cast<char16>(static_cast<unsigned char>(name[i]));
    title[n] = 0;
}

void CopyWide(String128 text, const std::wstring& wide)
{
    const std::size_t n = std::min<std::size_t>(wide.size(), 127);
    for (std::size_t i = 0; i < n; ++i)
        text[i] = static_cast<char16>(wide[i] & 0xFFFF);
    text[n] = 0;
}

int IntAttribute(const TiXmlElement* element, const char* name, int fallback)
{
    int value = fallback;
    return element->QueryIntAttribute(name, &value) == TIXML_SUCCESS ? value : fallback;
}

// A number attribute read the same in every locale; a missing, unreadable or
// infinite one keeps the fallback.
double DoubleAttribute(const TiXmlElement* element, const char* name, double fallback)
{
    const char* text = element->Attribute(name);
    if (text == nullptr)
        return fallback;
    while (*text == ' ' || *text == '\t' || *text == '\n' || *text == '\r')
        ++text;
    if (*text == '+')
        ++text;
    double value = 0.0;
    const auto [end, error] = std::from_chars(text, text + std::strlen(text), value);
    if (error != std::errc() || end == text || !std::isfinite(value))
        return fallback;
    return value;
}
} // namespace

ADelayController::ADelayController(MyVstPluginFactory* factory) : factory_(factory) {}

ADelayController::~ADelayController()
{
    ReleaseDependencies();
}

tresult PLUGIN_API ADelayController::initialize(FUnknown* context)
{
    UpdateHandler::instance(true);
    // A base that fails is reported, not taken for an empty success.
    const tresult base = EditController::initialize(context);
    if (base != kResultOk)
        return base;

    const std::string text = factory_ ? factory_->getXml("parameters.kv.xml") : std::string();
    if (text.empty() || !IsSafeXmlText(text))
        return kResultFalse;
    TiXmlDocument document;
    document.Parse(text.c_str());
    const TiXmlElement* root = document.Error() ? nullptr : document.RootElement();
    if (root == nullptr)
        return kResultFalse;

    const TiXmlElement* level = root->FirstChildElement();
    const TiXmlElement* list = level ? level->FirstChildElement("Parameters") : nullptr;
    BuildParameters(list);
    AddMidiParameters();
    return kResultOk;
}

void ADelayController::BuildParameters(const TiXmlElement* list)
{
    if (list == nullptr)
        return;
    for (const TiXmlElement* element = list->FirstChildElement("Parameter"); element;
         element = element->NextSiblingElement("Parameter"))
    {
        KvParameter record;
        record.valueType = IntAttribute(element, "ValueType", 6);
        record.index = IntAttribute(element, "Index", -1);
        const int handle = IntAttribute(element, "Handle", -1);
        const int isPrivate = IntAttribute(element, "Private", 0);
        record.stateful = IntAttribute(element, "Stateful", 1);
        record.hostControl = IntAttribute(element, "HostControl", -1);
        record.rangeMinimum = DoubleAttribute(element, "RangeMinimum", 0.0);
        record.rangeMaximum = DoubleAttribute(element, "RangeMaximum", 10.0);
        record.moduleHandle = IntAttribute(element, "Module", -1);
        record.moduleParamId = IntAttribute(element, "ModuleParamId", -1);
        if (const char* name = element->Attribute("Name"))
            record.name = name;
        const char* metaData = element->Attribute("MetaData");
        if (metaData && (record.valueType == 8 || record.valueType == 1))
            record.enumList = Utf8ToWstring(metaData);

        std::string defaultText;
        if (const TiXmlElement* patchList = element->FirstChildElement("patch-list"))
        {
            std::vector<std::string> items;
            XmlSplitString(ExactXmlText(patchList).c_str(), items);
            if (!items.empty())
                defaultText = items.front();
        }
        record.value = record.valueType == 10 ? Base64::decode(defaultText) : ParseToRaw(record.valueType, defaultText);

        AddHostParameter(record, isPrivate, defaultText);
        parameters_.emplace(handle, std::move(record));
    }
}

void ADelayController::AddHostParameter(KvParameter& record, int isPrivate, const std::string& defaultText)
{
    const int type = record.valueType;
    const bool hasClass = type != 1 && type != 10;
    // Only ids below the MIDI controller parameters, each given once.
    const bool indexFree =
        record.index >= 0 && record.index <= kMaxPatchIndex && parameters.getParameter(record.index) == nullptr;
    if (isPrivate != 0 || !hasClass || !indexFree)
    {
        // A record without its own host parameter must not edit another's.
        record.index = -1;
        return;
    }

    ParameterInfo info{};
    info.id = static_cast<ParamID>(record.index);
    CopyTitle(info.title, record.name);
    info.flags = ParameterInfo::kCanAutomate;
    info.unitId = kRootUnitId;

    Parameter* parameter = nullptr;
    const double low = record.rangeMinimum;
    const double high = record.rangeMaximum;
    const int listSize = type == 8 && !record.enumList.empty() ? it_enum_list(record.enumList).size() : 0;
    if (listSize > kMaxListItems)
    {
        // Too many names to list: the host sees the positions as a range.
        info.stepCount = listSize - 1;
        auto* range = new KvRangeParameter(info, 0.0, listSize - 1.0);
        range->setPrecision(0);
        parameter = range;
    }
    else if (type == 3 || type == 6 || (type == 8 && record.enumList.empty()))
    {
        const double steps = type == 8 ? high - low : 0.0;
        info.stepCount = steps >= 0.0 && steps < kMaxListItems * 1e6 ? static_cast<int32>(steps) : 0;
        auto* range = new KvRangeParameter(info, low, high);
        range->setPrecision(type == 8 ? 0 : 3);
        info.defaultNormalizedValue = range->toNormalized(5.0);
        range->getInfo().defaultNormalizedValue = info.defaultNormalizedValue;
        parameter = range;
    }
    else if (type == 8)
    {
        info.flags = ParameterInfo::kCanAutomate | ParameterInfo::kIsList;
        // Each appended string adds a step; one string is zero steps.
        info.stepCount = -1;
        auto* list = new StringListParameter(info);
        it_enum_list items(record.enumList);
        for (items.First(); !items.IsDone(); items.Next())
        {
            String128 text{};
            CopyWide(text, items.CurrentItem()->text);
            list->appendString(text);
        }
        parameter = list;
    }
    else
    {
        info.stepCount = 5;
        info.unitId = record.index;
        parameter = new Parameter(info);
    }

    const double plain = StringToDouble(defaultText.c_str());
    double normalized = parameter->toNormalized(std::isfinite(plain) ? plain : 0.0);
    if (!std::isfinite(normalized))
        normalized = 0.0;
    parameter->setNormalized(std::clamp(normalized, 0.0, 1.0));
    parameters.addParameter(parameter);
    parameter->addDependent(this);
    watched_.push_back(parameter);
}

void ADelayController::AddMidiParameters()
{
    for (int i = 0; i < kMidiParameterCount; ++i)
    {
        char name[32];
        std::snprintf(name, sizeof(name), "MIDI CC  %3d", i);
        ParameterInfo info{};
        info.id = static_cast<ParamID>(kFirstMidiParameter + i);
        CopyTitle(info.title, name);
        info.stepCount = 0;
        info.defaultNormalizedValue = 0.0;
        info.flags = 0;
        info.unitId = kRootUnitId;
        parameters.addParameter(new Parameter(info));
    }
    ParameterInfo program{};
    program.id = static_cast<ParamID>(kProgramChangeParameter);
    CopyTitle(program.title, "MIDI Program Change");
    program.stepCount = 127;
    program.defaultNormalizedValue = 0.0;
    program.flags = ParameterInfo::kIsProgramChange;
    program.unitId = kRootUnitId;
    parameters.addParameter(new Parameter(program));
}

void ADelayController::ReleaseDependencies()
{
    for (Parameter* parameter : watched_)
        parameter->removeDependent(this);
    watched_.clear();
}

tresult PLUGIN_API ADelayController::terminate()
{
    ReleaseDependencies();
    automators_.clear();
    return EditController::terminate();
}

Parameter* ADelayController::HostParameter(const KvParameter& record)
{
    return record.index >= 0 ? parameters.getParameter(static_cast<ParamID>(record.index)) : nullptr;
}

void ADelayController::NotifyAutomators(int handle)
{
    // An automator may leave the list while being told: walk a copy.
    const auto automators = automators_;
    for (GuiPatchAutomator2* automator : automators)
        automator->OnParameterUpdate(handle);
}

void PLUGIN_API ADelayController::update(FUnknown* changedUnknown, int32 message)
{
    if (message != IDependent::kChanged || changedUnknown == nullptr)
        return;
    Parameter* parameter = FCast<Parameter>(changedUnknown);
    if (parameter == nullptr)
        return;
    const auto id = static_cast<int32>(parameter->getInfo().id);
    for (const auto& [handle, record] : parameters_)
    {
        if (record.index == id)
        {
            NotifyAutomators(handle);
            return;
        }
    }
}

tresult PLUGIN_API ADelayController::getMidiControllerAssignment(int32 busIndex, int16 /*channel*/,
                                                                 CtrlNumber midiControllerNumber, ParamID& id)
{
    if (busIndex == 0 && midiControllerNumber == kCtrlProgramChange)
    {
        id = static_cast<ParamID>(kProgramChangeParameter);
        return kResultOk;
    }
    if (busIndex != 0 || midiControllerNumber < 0 || midiControllerNumber >= kMidiParameterCount)
        return kResultFalse;
    id = static_cast<ParamID>(kFirstMidiParameter + midiControllerNumber);
    return kResultOk;
}

tresult PLUGIN_API ADelayController::setComponentState(IBStream* state)
{
    std::string text;
    if (!StateChunk::Read(state, text) || !StateChunk::IsPresetState(text))
        return kResultFalse;
    if (text.empty())
        return kResultOk;
    TiXmlDocument document;
    document.Parse(text.c_str());
    const TiXmlElement* root = document.RootElement();
    if (root == nullptr)
        return kResultOk;

    for (const TiXmlElement* param = root->FirstChildElement("Param"); param;
         param = param->NextSiblingElement("Param"))
    {
        const char* val = param->Attribute("val");
        const int index = IntAttribute(param, "index", -1);
        bool hostUpdated = false;
        if (index >= 0 && index <= kMaxPatchIndex)
        {
            if (Parameter* parameter = parameters.getParameter(static_cast<ParamID>(index)))
            {
                hostUpdated = true;
                if (val)
                {
                    const double plain = StringToDouble(val);
                    if (std::isfinite(plain))
                        parameter->setNormalized(std::clamp(parameter->toNormalized(plain), 0.0, 1.0));
                }
            }
        }
        const int id = IntAttribute(param, "id", -1);
        const auto found = id == -1 ? parameters_.end() : parameters_.find(id);
        if (found == parameters_.end() || val == nullptr)
            continue;
        KvParameter& record = found->second;
        record.value = record.valueType == 10 ? Base64::decode(val) : ParseToRaw(record.valueType, std::string(val));
        if (!hostUpdated)
            NotifyAutomators(id);
    }
    return kResultOk;
}

tresult PLUGIN_API ADelayController::setState(IBStream* /*state*/)
{
    return kResultOk;
}

tresult PLUGIN_API ADelayController::getState(IBStream* /*state*/)
{
    return kResultOk;
}

IPlugView* PLUGIN_API ADelayController::createView(FIDString name)
{
    if (name == nullptr || std::strcmp(name, "editor") != 0)
        return nullptr;
    ViewRect size(0, 0, 100, 100);
    return new KVVSTGUIEditor(this, &size);
}
