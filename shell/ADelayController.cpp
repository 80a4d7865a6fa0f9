#include "shell/ADelayController.h"

#include <tinyxml.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string_view>

#include "base/source/updatehandler.h"
#include "core/ExactXmlText.h"
#include "core/Base64.h"
#include "core/ModuleXml.h"
#include "core/RawConversions.h"
#include "core/conversion.h"
#include "core/it_enum_list.h"
#include "editor/GuiPatchAutomator2.h"
#include "shell/KVVSTGUIEditor.h"
#include "shell/KvGuarded.h"
#include "shell/KvHostParameter.h"
#include "core/ValueRule.h"
#include "shell/MyVstPluginFactory.h"
#include "core/SafeXmlText.h"
#include "shell/StateChunk.h"

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace
{
// Each byte of the name widened to one 16-bit unit, at most 50 of them.
void CopyTitle(String128 title, const std::string& name)
{
    const std::size_t n = std::min<std::size_t>(name.size(), 50);
    for (std::size_t i = 0; i < n; ++i)
        title[i] = static_cast<char16>(static_cast<unsigned char>(name[i]));
    title[n] = 0;
}

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
        std::fprintf(stderr, "parameters.kv.xml: parameter \"%s\": %s %g is out of bounds, using %g.\n",
                     record.name.c_str(), attribute, given, bound);
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
        LimitRangeBound(record, "RangeMinimum", record.rangeMinimum, 0.0);
        LimitRangeBound(record, "RangeMaximum", record.rangeMaximum, 10.0);
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
        parameter = new KvRangeHostParameter(info, 0.0, listSize - 1.0, 0);
    }
    else if (type == 3 || type == 6 || (type == 8 && record.enumList.empty()))
    {
        const double steps = type == 8 ? high - low : 0.0;
        info.stepCount = steps >= 0.0 && steps < kMaxListItems * 1e6 ? static_cast<int32>(steps) : 0;
        auto* range = new KvRangeHostParameter(info, low, high, type == 8 ? 0 : 3);
        range->getInfo().defaultNormalizedValue = range->toNormalized(5.0);
        parameter = range;
    }
    else if (type == 8)
    {
        info.flags = ParameterInfo::kCanAutomate | ParameterInfo::kIsList;
        std::vector<std::u16string> names;
        it_enum_list items(record.enumList);
        for (items.First(); !items.IsDone(); items.Next())
            names.push_back(Utf16(items.CurrentItem()->text));
        parameter = new KvListHostParameter(info, std::move(names));
    }
    else
    {
        info.stepCount = 5;
        info.unitId = record.index;
        parameter = new KvHostParameter(info);
    }

    double plain = 0.0;
    if (!ValueRule::ParseNumber(defaultText, plain))
        plain = StringToDouble(defaultText.c_str());
    parameter->setNormalized(parameter->toNormalized(std::isfinite(plain) ? plain : 0.0));
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
        parameters.addParameter(new KvHostParameter(info));
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

bool ADelayController::ConformStateValue(const KvParameter& record, const char* text, std::string& raw,
                                         double& plain) const
{
    plain = std::numeric_limits<double>::quiet_NaN();
    const std::string_view given = text ? text : "";
    // Only a value the host sees is bounded by its range, as in the engine.
    const bool ranged = record.index >= 0;
    const double low = ranged ? record.rangeMinimum : -std::numeric_limits<double>::infinity();
    const double high = ranged ? record.rangeMaximum : std::numeric_limits<double>::infinity();
    switch (record.valueType)
    {
    case 1:
        raw = ParseToRaw(1, std::string(given));
        return true;
    case 10:
        raw = Base64::decode(std::string(given));
        return true;
    case 6:
    {
        float v = 0.0f;
        if (!ValueRule::Float(given, low, high, v))
            return false;
        raw.assign(reinterpret_cast<const char*>(&v), sizeof(v));
        plain = v;
        return true;
    }
    case 3:
    {
        double v = 0.0;
        if (!ValueRule::ParseNumber(given, v))
            return false;
        v = ValueRule::Clamp(v, low, high);
        raw.assign(reinterpret_cast<const char*>(&v), sizeof(v));
        plain = v;
        return true;
    }
    case 8:
    {
        int32_t v = 0;
        if (record.enumList.empty())
        {
            if (!ValueRule::Int(given, low, high, v))
                return false;
            plain = v;
        }
        else
        {
            it_enum_list items(record.enumList);
            if (!ValueRule::Enum(given, record.enumList, v) || !items.FindValue(v))
                return false;
            // The host's list counts positions.
            plain = items.CurrentItem()->index;
        }
        raw.assign(reinterpret_cast<const char*>(&v), sizeof(v));
        return true;
    }
    case 4:
    {
        bool v = false;
        if (!ValueRule::Bool(given, v))
            return false;
        raw.assign(1, v ? '\1' : '\0');
        plain = v ? 1.0 : 0.0;
        return true;
    }
    default:
        if (!ValueRule::ParseNumber(given, plain))
            return false;
        raw = ParseToRaw(record.valueType, std::string(given));
        return true;
    }
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

    // Each value is read by the same rule as in the processor, so the host
    // shows what plays; a value the rule refuses leaves the parameter as it is.
    for (const TiXmlElement* param = root->FirstChildElement("Param"); param;
         param = param->NextSiblingElement("Param"))
    {
        const char* val = param->Attribute("val");
        const int index = IntAttribute(param, "index", -1);
        bool hostUpdated = false;
        Parameter* parameter =
            index >= 0 && index <= kMaxPatchIndex ? parameters.getParameter(static_cast<ParamID>(index)) : nullptr;
        if (parameter)
        {
            hostUpdated = true;
            const auto owner = std::find_if(parameters_.begin(), parameters_.end(),
                                            [&](const auto& entry) { return entry.second.index == index; });
            std::string raw;
            double plain = 0.0;
            if (val && owner != parameters_.end() && ConformStateValue(owner->second, val, raw, plain) &&
                std::isfinite(plain))
                parameter->setNormalized(parameter->toNormalized(plain));
        }
        const int id = IntAttribute(param, "id", -1);
        const auto found = id == -1 ? parameters_.end() : parameters_.find(id);
        if (found == parameters_.end() || val == nullptr)
            continue;
        KvParameter& record = found->second;
        std::string raw;
        double plain = 0.0;
        if (!ConformStateValue(record, val, raw, plain))
            continue;
        record.value = raw;
        if (!hostUpdated)
            NotifyAutomators(id);
    }
    return kResultOk;
}

tresult PLUGIN_API ADelayController::getParameterInfo(int32 paramIndex, ParameterInfo& info)
{
    if (paramIndex < 0 || paramIndex >= parameters.getParameterCount())
        return kInvalidArgument;
    return EditController::getParameterInfo(paramIndex, info);
}

ParamValue PLUGIN_API ADelayController::normalizedParamToPlain(ParamID tag, ParamValue valueNormalized)
{
    const Parameter* parameter = getParameterObject(tag);
    return parameter ? parameter->toPlain(valueNormalized) : 0.0;
}

ParamValue PLUGIN_API ADelayController::plainParamToNormalized(ParamID tag, ParamValue plainValue)
{
    const Parameter* parameter = getParameterObject(tag);
    return parameter ? parameter->toNormalized(plainValue) : 0.0;
}

tresult PLUGIN_API ADelayController::setParamNormalized(ParamID tag, ParamValue value)
{
    // NaN and infinities are no value; the rest is clamped to 0..1.
    if (!ValueRule::Normalized(value))
        return kResultFalse;
    return EditController::setParamNormalized(tag, value);
}

tresult PLUGIN_API ADelayController::getParamStringByValue(ParamID tag, ParamValue valueNormalized,
                                                           String128 string)
{
    if (string == nullptr)
        return kInvalidArgument;
    string[0] = 0;
    if (!ValueRule::Normalized(valueNormalized))
        return kResultFalse;
    return EditController::getParamStringByValue(tag, valueNormalized, string);
}

tresult PLUGIN_API ADelayController::getParamValueByString(ParamID tag, TChar* string,
                                                           ParamValue& valueNormalized)
{
    if (string == nullptr)
        return kInvalidArgument;
    Parameter* parameter = getParameterObject(tag);
    ParamValue value = 0.0;
    if (parameter == nullptr || !parameter->fromString(string, value) || !ValueRule::Normalized(value))
        return kResultFalse;
    valueNormalized = value;
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
    return new GuardedView<KVVSTGUIEditor>(this, &size);
}
