#include "core/Module_Info3_base.h"

#include "core/InterfaceObject.h"
#include "core/ModuleXml.h"
#include "core/ParameterFieldType.h"
#include "core/PinDatatypeXml.h"
#include "core/conversion.h"
#include "core/midi_defs.h"
#include "core/parameter_description.h"
#include "core/pin_description.h"

#include <tinyxml.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace
{
// Pin ids beyond this are refused: no real module has that many pins, and it
// keeps the running pin counter far from overflow.
constexpr long long kMaxPinId = 1000000;
// Groups nest rarely; the limit keeps the reader's recursion shallow.
constexpr int kMaxGroupDepth = 32;

const char* attribute(const TiXmlElement* element, const char* name)
{
    return FixNullCharPtr(element->Attribute(name));
}

bool isTrue(const TiXmlElement* element, const char* name)
{
    return std::strcmp(attribute(element, name), "true") == 0;
}

bool isFalse(const TiXmlElement* element, const char* name)
{
    return std::strcmp(attribute(element, name), "false") == 0;
}

std::wstring wideAttribute(const TiXmlElement* element, const char* name)
{
    return Utf8ToWstring(attribute(element, name));
}

// Base-10 integer text as the C library reads it (text that is no number gives
// 0); false when the number lies outside [lo, hi].
bool parseInt(const char* text, long long lo, long long hi, int& out)
{
    errno = 0;
    char* end = nullptr;
    const long long value = std::strtoll(text, &end, 10);
    if (errno == ERANGE || value < lo || value > hi)
        return false;
    out = static_cast<int>(value);
    return true;
}

// Registration may run again on a record that another thread is reading while
// it builds a graph: fields are only written when their value changes.
template <class T>
void assignIfChanged(T& field, const T& value)
{
    if (field != value)
        field = value;
}
} // namespace

namespace
{
std::atomic<const SdkUnitAdapter*>& unitAdapter()
{
    static std::atomic<const SdkUnitAdapter*> adapter{nullptr};
    return adapter;
}
} // namespace

void Module_Info3_base::SetUnitAdapter(const SdkUnitAdapter* adapter)
{
    unitAdapter().store(adapter, std::memory_order_release);
}

const SdkUnitAdapter* Module_Info3_base::GetUnitAdapter()
{
    return unitAdapter().load(std::memory_order_acquire);
}

void* Module_Info3_base::TakeInterface(gmpi::IMpUnknown* object, const gmpi::MpGuid& iid)
{
    if (!object)
        return nullptr;
    void* found = nullptr;
    if (object->queryInterface(iid, &found) != gmpi::MP_OK || !found)
    {
        object->release();
        return nullptr;
    }
    // The module SDK's own objects answer some ids without counting them; a
    // probe of the count tells whether the answer holds a reference of its own.
    auto* view = static_cast<gmpi::IMpUnknown*>(found);
    const int32_t count = view->addRef();
    view->release();
    if (count > 2)
        object->release();
    return found;
}

ug_base* Module_Info3_base::WrapPlugin2(gmpi::IMpUnknown* object)
{
    const SdkUnitAdapter* adapter = GetUnitAdapter();
    if (!object)
        return nullptr;
    if (!adapter)
    {
        object->release();
        return nullptr;
    }
    auto* plugin = static_cast<gmpi::IMpPlugin2*>(TakeInterface(object, gmpi::MP_IID_PLUGIN2));
    return plugin ? adapter->wrapPlugin2(plugin, this) : nullptr;
}

Module_Info3_base::Module_Info3_base(const std::wstring& id) : Module_Info(id)
{
    flags_ = (flags_ & ~static_cast<uint32_t>(CF_BUILT_IN)) | CF_STRUCTURE_VIEW;
}

void Module_Info3_base::Report(Diagnostics* diagnostics, const std::wstring& text) const
{
    if (diagnostics)
        diagnostics->push_back(text);
}

std::wstring Module_Info3_base::PinMessagePrefix(int pinId) const
{
    return L"ERROR. module XML file (" + Filename() + L"): pin id " + IntToString(pinId);
}

void Module_Info3_base::SetPinFlag(const char* attributeName, int bit, TiXmlElement* element, int& flags)
{
    if (element && isTrue(element, attributeName))
        flags |= bit;
}

void Module_Info3_base::ScanXml(TiXmlElement* plugin, Diagnostics* diagnostics)
{
    if (!plugin)
        return;

    std::wstring id = wideAttribute(plugin, "id");
    if (id.empty())
        id = L"<!!!BLANK-ID!!!>";
    assignIfChanged(id_, id);

    std::wstring name = wideAttribute(plugin, "name");
    if (name.empty())
        name = id;
    assignIfChanged(name_, name);
    assignIfChanged(group_, wideAttribute(plugin, "category"));
    assignIfChanged(helpUrl_, wideAttribute(plugin, "helpUrl"));

    TiXmlElement* gui = plugin->FirstChildElement("GUI");
    TiXmlElement* audio = plugin->FirstChildElement("Audio");
    ApplyGraphicsApi(plugin, gui);

    uint32_t flags = flags_;
    uint32_t dspFlags = dspFlags_;
    if (isTrue(plugin, "polyphonicSource"))
    {
        flags |= CF_POLYPHONIC_SOURCE;
        dspFlags |= UGF_POLYPHONIC_SOURCE;
    }
    if (isTrue(plugin, "polyphonicAggregator"))
        dspFlags |= UGF_POLYPHONIC_AGREGATOR;
    if (isTrue(plugin, "polyphonic"))
        dspFlags |= UGF_POLYPHONIC;
    if (isTrue(plugin, "cloned"))
        dspFlags |= UGF_CLONED;
    if (isTrue(plugin, "voiceMonitorIgnore"))
        dspFlags |= UGF_VOICE_MON_IGNORE;
    if (isTrue(plugin, "simdOverwritesBufferEnd"))
        dspFlags |= UGF_SIMD_OVERWRITES_BUFFER_END;
    assignIfChanged(flags_, flags);
    assignIfChanged(dspFlags_, dspFlags);

    // Parameters first, so that pins can be checked against them.
    if (TiXmlElement* parameters = plugin->FirstChildElement("Parameters"))
        RegisterParameters(parameters, diagnostics);

    if (audio && !audioRead_)
        RegisterPins(audio, PIN_LIST_AUDIO, diagnostics);

    if (gui && !guiRead_)
    {
        RegisterPins(gui, PIN_LIST_GUI, diagnostics);
        if (isFalse(gui, "DisplayOnPanel"))
            flags_ &= ~static_cast<uint32_t>(CF_PANEL_VIEW);
        if (isFalse(gui, "DisplayOnStructure"))
            flags_ &= ~static_cast<uint32_t>(CF_STRUCTURE_VIEW);
    }

    if (guiRead_ && !hasGui_)
        hasGui_ = true;
    if (audioRead_ && !hasDsp_)
        hasDsp_ = true;
}

void Module_Info3_base::ApplyGraphicsApi(TiXmlElement* plugin, TiXmlElement* gui)
{
    std::string api = gui ? attribute(gui, "graphicsApi") : "";
    if (api.empty())
        api = attribute(plugin, "graphicsApi");

    int code = graphicsApi_;
    bool notVisible = false;
    if (api.empty() || api == "none")
        notVisible = true;
    else if (api == "HWND")
        code = GA_HWND;
    else if (api == "composited")
        code = GA_COMPOSITED;
    else if (api == "WPF-internal")
    {
        code = GA_WPF_INTERNAL;
        notVisible = true;
    }
    else if (api == "VSTGUI")
        code = GA_VSTGUI;
    else if (api == "GmpiGui")
        code = GA_GMPI_GUI;

    assignIfChanged(graphicsApi_, code);
    if (notVisible)
        assignIfChanged(flags_, flags_ | CF_GUI_NOT_VISIBLE);
}

void Module_Info3_base::RegisterParameters(TiXmlNode* parameters, Diagnostics* diagnostics)
{
    if (!parameters)
        return;

    for (TiXmlElement* element = parameters->FirstChildElement("Parameter"); element;
         element = element->NextSiblingElement("Parameter"))
    {
        int id = 0;
        if (!parseInt(attribute(element, "id"), INT_MIN, INT_MAX, id))
        {
            Report(diagnostics, L"err. module XML file (" + Filename() + L"): parameter id " +
                                    wideAttribute(element, "id") + L" out of range.");
            continue;
        }
        if (parameters_.count(id))
            continue; // the first description of an id stays

        auto* parameter = new parameter_description();
        parameter->id = id;

        if (!XmlStringToDatatype(attribute(element, "datatype"), parameter->datatype))
        {
            parameter->datatype = DT_ENUM;
            Report(diagnostics, L"err. module XML file (" + Filename() + L"): parameter id " + IntToString(id) +
                                    L" unknown datatype.");
        }

        parameter->name = wideAttribute(element, "name");
        parameter->metadata = wideAttribute(element, "metadata");
        parameter->default_value = wideAttribute(element, "default");

        int kind = ControllerType::None;
        if (!XmlStringToController(attribute(element, "automation"), kind))
        {
            Report(diagnostics, L"err. module XML file (" + Filename() + L"): pin id " + IntToString(id) +
                                    L" unknown automation type.");
        }
        parameter->automation = kind == ControllerType::None ? -1 : MakeAutomationCode(kind, 0);

        int flags = static_cast<int>(parameter->flags);
        SetPinFlag("private", PD_PRIVATE, element, flags);
        SetPinFlag("ignorePatchChange", PD_IGNORE_PATCH_CHANGE, element, flags);
        SetPinFlag("isFilename", PD_FILENAME, element, flags);
        SetPinFlag("isPolyphonic", PD_POLYPHONIC, element, flags);
        SetPinFlag("isPolyphonicGate", PD_POLYPHONIC_GATE, element, flags);
        if (isFalse(element, "persistant"))
            flags &= ~static_cast<int>(PD_PERSISTANT);
        parameter->flags = static_cast<uint32_t>(flags);

        parameters_[id] = parameter;
    }
}

void Module_Info3_base::RegisterPins(TiXmlNode* list, int kind, Diagnostics* diagnostics)
{
    if (kind != PIN_LIST_AUDIO)
    {
        ScanPinXml(list, &guiPlugs_, kind, diagnostics);
        guiRead_ = true;
        flags_ |= CF_PANEL_VIEW;
    }
    else
    {
        ScanPinXml(list, &plugs_, kind, diagnostics);
        audioRead_ = true;
    }
}

void Module_Info3_base::ScanPinXml(TiXmlNode* list, PinMap* pins, int kind, Diagnostics* diagnostics)
{
    ScanGroup(list, pins, kind, 0, diagnostics);
}

void Module_Info3_base::ScanGroup(TiXmlNode* list, PinMap* pins, int kind, int depth, Diagnostics* diagnostics)
{
    if (!list || !pins)
        return;
    if (depth > kMaxGroupDepth)
    {
        Report(diagnostics, L"ERROR. module XML file (" + Filename() + L"): pin groups nested too deep.");
        return;
    }

    // Pins are numbered in document order; each group counts afresh from 0.
    int pinId = 0;
    for (TiXmlElement* child = list->FirstChildElement(); child; child = child->NextSiblingElement())
    {
        const std::string& tag = child->ValueStr();
        if (tag == "Pin")
        {
            RegisterPin(child, pins, kind, pinId, diagnostics);
            if (pinId < kMaxPinId)
                ++pinId;
        }
        else if (tag == "Group")
        {
            ScanGroup(child, pins, kind, depth + 1, diagnostics);
        }
    }
}

void Module_Info3_base::RegisterPin(TiXmlElement* pin, PinMap* pins, int kind, int& pinId, Diagnostics* diagnostics)
{
    if (!pin || !pins)
        return;

    if (const char* idText = pin->Attribute("id"))
    {
        int id = 0;
        if (!parseInt(idText, 0, kMaxPinId, id))
        {
            Report(diagnostics, L"ERROR. module XML file (" + Filename() + L"): pin id " + Utf8ToWstring(idText) +
                                    L" out of range.");
            return;
        }
        pinId = id;
    }

    pin_description2 record;
    int flags = kind == PIN_LIST_AUDIO ? 0 : static_cast<int>(IO_UI_COMMUNICATION);
    record.name = wideAttribute(pin, "name");

    if (!XmlStringToDatatype(attribute(pin, "datatype"), record.datatype))
    {
        record.datatype = DT_ENUM;
        Report(diagnostics, PinMessagePrefix(pinId) + L" unknown datatype.");
    }

    record.default_value = wideAttribute(pin, "default");
    if (std::strcmp(attribute(pin, "rate"), "audio") == 0)
    {
        record.datatype = DT_FSAMPLE;
        // Audio defaults are written in volts; samples hold volts / 10.
        if (!record.default_value.empty())
        {
            const double scaled = StringToDouble(record.default_value) * 10.0;
            if (std::isfinite(scaled))
                record.default_value = DoubleToString(scaled);
            else
                Report(diagnostics, PinMessagePrefix(pinId) + L" default out of range.");
        }
    }

    record.direction = std::strcmp(attribute(pin, "direction"), "out") == 0 ? DR_OUT : DR_IN;

    SetPinFlag("private", IO_PRIVATE, pin, flags);
    SetPinFlag("autoRename", IO_RENAME, pin, flags);
    SetPinFlag("isFilename", IO_FILENAME, pin, flags);
    SetPinFlag("linearInput", IO_LINEAR_INPUT, pin, flags);
    SetPinFlag("ignorePatchChange", IO_IGNORE_PATCH_CHANGE, pin, flags);
    SetPinFlag("autoDuplicate", IO_AUTODUPLICATE, pin, flags);
    SetPinFlag("isMinimised", IO_MINIMISED, pin, flags);
    SetPinFlag("isPolyphonic", IO_PAR_POLYPHONIC, pin, flags);
    SetPinFlag("autoConfigureParameter", IO_AUTOCONFIGURE_PARAMETER, pin, flags);
    SetPinFlag("noAutomation", IO_NO_AUTOMATION, pin, flags);
    SetPinFlag("redrawOnChange", IO_REDRAW_ON_CHANGE, pin, flags);

    int parameterId = -1;
    int parameterField = FT_VALUE;
    const char* parameterIdText = attribute(pin, "parameterId");
    const char* hostConnectText = attribute(pin, "hostConnect");
    const bool boundToParameter = *parameterIdText != 0;
    if (boundToParameter)
    {
        if (!parseInt(parameterIdText, INT_MIN, INT_MAX, parameterId))
        {
            Report(diagnostics, PinMessagePrefix(pinId) + L" parameterId out of range.");
            return;
        }
        flags |= IO_PATCH_STORE | IO_PRIVATE;
    }
    if (*hostConnectText)
    {
        record.host_connect = Utf8ToWstring(hostConnectText);
        flags |= IO_HOST_CONTROL | IO_PRIVATE;
    }
    if (boundToParameter || *hostConnectText)
    {
        if (!parseInt(attribute(pin, "parameterField"), INT_MIN, INT_MAX, parameterField) ||
            !isKnownParameterField(parameterField))
        {
            Report(diagnostics, PinMessagePrefix(pinId) + L" unknown parameterField.");
            parameterField = FT_VALUE;
        }
    }

    record.enum_list = wideAttribute(pin, "metadata");
    record.notes = wideAttribute(pin, "notes");
    record.flags = static_cast<uint32_t>(flags);

    if (pins->count(pinId))
    {
        Report(diagnostics, PinMessagePrefix(pinId) + L" used twice.");
        return;
    }

    auto* description = new InterfaceObject(pinId, record);
    description->SetParameterId(parameterId);
    description->SetParameterFieldId(parameterField);

    if (*hostConnectText && description->getHostConnect() < 0)
        Report(diagnostics, PinMessagePrefix(pinId) + L" unknown hostConnect " + record.host_connect + L".");
    if (boundToParameter)
    {
        if (kind != PIN_LIST_AUDIO && record.direction == DR_OUT)
            Report(diagnostics, PinMessagePrefix(pinId) + L" Can't have isParameter on output Gui Pin");
        if (kind == PIN_LIST_AUDIO && parameterField != FT_VALUE)
            Report(diagnostics, PinMessagePrefix(pinId) + L" parameterField not supported on Audio (DSP) pins.");
        if (!parameters_.count(parameterId))
            Report(diagnostics, PinMessagePrefix(pinId) + L" parameter: " + IntToString(parameterId) + L" not defined");
        if (flags & IO_AUTODUPLICATE)
            Report(diagnostics, PinMessagePrefix(pinId) + L"  - can't have both 'autoDuplicate' and 'parameterId'");
    }

    (*pins)[pinId] = description;
}
