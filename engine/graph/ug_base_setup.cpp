// Setting up a module: its pins from the registry record and the patch
// document, joining pins, shared tables and naming.
#include <cxxabi.h>

#include <cstdlib>
#include <typeinfo>

#include <tinyxml.h>

#include "core/HostControls.h"
#include "core/InterfaceObject.h"
#include "core/Module_Info.h"
#include "core/conversion.h"
#include "engine/runtime/IKvAudioMaster.h"
#include "engine/graph/USampBlock.h"
#include "engine/graph/ug_adder2.h"
#include "engine/graph/ug_base.h"
#include "engine/graph/ug_container.h"
#include "engine/parameters/ug_patch_param_setter.h"
#include "engine/parameters/ug_patch_param_watcher.h"

namespace
{
constexpr int kMaxProxyWalk = 64;

bool IsKnownDatatype(int datatype)
{
    switch (datatype)
    {
    case DT_ENUM:
    case DT_TEXT:
    case DT_MIDI2:
    case DT_DOUBLE:
    case DT_BOOL:
    case DT_FSAMPLE:
    case DT_FLOAT:
    case DT_INT:
    case DT_BLOB:
        return true;
    default:
        return false;
    }
}

// An output takes its default at once. An input keeps it until the graph is
// joined: a line may still give it a source, and a default source made now
// would then be summed with that line's source.
void ApplyDocumentDefault(UPlug* pin, const char* text)
{
    if (pin->direction_ == DR_OUT)
    {
        pin->SetDefault(text);
        return;
    }
    pin->documentDefault_ = text;
    pin->hasDocumentDefault_ = true;
}

// A pin description that becomes no live pin: GUI-only, customisable or
// auto-duplicating pins.
bool SkipsLivePin(const InterfaceObject& description)
{
    return (description.isUiPlug() && !description.isDualUiPlug()) || description.isCustomisable() ||
           description.autoDuplicate();
}
} // namespace

void ug_base::Setup(IKvAudioMaster* master, TiXmlElement* element)
{
    audioMaster_ = master;
    if (master)
    {
        if (element)
        {
            int id = 0;
            element->QueryIntAttribute("Id", &id);
            master->RegisterDspMsgHandle(this, id);
        }
        else
        {
            master->AssignTemporaryHandle(this);
        }
    }

    AddFixedPlugs();
    SetupDynamicPlugs();
    BuildHelperModule();

    if (element)
    {
        if (TiXmlElement* plugsElement = element->FirstChildElement("Plugs"))
            ConfigurePins(plugsElement);
    }
}

void ug_base::AddFixedPlugs()
{
    if (!moduleType)
        return;
    if (moduleType->GetFlags() & CF_BUILT_IN)
    {
        SafeInterfaceObjectArray pins;
        ListInterface2(pins);
        for (InterfaceObject* description : pins)
        {
            if (description && !SkipsLivePin(*description))
                AddPlug(new UPlug(this, *description));
        }
        return;
    }
    for (const auto& [id, description] : moduleType->GetPinDescriptions())
    {
        if (!description || SkipsLivePin(*description))
            continue;
        auto* pin = new UPlug(this, *description);
        AddPlug(pin);
        assignPlugVariable(id, pin);
    }
}

void ug_base::ConfigurePins(TiXmlElement* plugsElement)
{
    for (TiXmlElement* entry = plugsElement->FirstChildElement(); entry; entry = entry->NextSiblingElement())
    {
        int direction = 0;
        if (entry->QueryIntAttribute("Direction", &direction) == TIXML_NO_ATTRIBUTE)
        {
            // Settings of a pin of the module type.
            int autoCopy = 0;
            if (moduleType && entry->QueryIntAttribute("AutoCopy", &autoCopy) == TIXML_SUCCESS)
            {
                if (const InterfaceObject* description = moduleType->getPinDescriptionById(autoCopy))
                {
                    int id = 0;
                    entry->QueryIntAttribute("Id", &id);
                    auto* pin = new UPlug(this, *description);
                    pin->id_ = id;
                    AddPlug(pin);
                    if (pin->datatype_ == DT_FSAMPLE)
                        pin->CreateBuffer();
                }
            }
            int index = 0;
            entry->QueryIntAttribute("Idx", &index);
            UPlug* pin = GetPlug(index);
            if (!pin)
                continue;
            // Pins bound to host controls or parameters are fed by the
            // container's parameter setter (inputs) or watched by its
            // parameter watcher (outputs).
            if (entry->Attribute("HostControl") || entry->Attribute("Parameter"))
            {
                BindPinToParameter(pin, entry);
                continue;
            }
            if (const char* text = entry->Attribute("Default"))
                ApplyDocumentDefault(pin, text);
            continue;
        }

        // A pin added by the document.
        int datatype = -1;
        entry->QueryIntAttribute("Datatype", &datatype);
        if ((direction != DR_IN && direction != DR_OUT) || !IsKnownDatatype(datatype))
            continue;
        auto* pin = new UPlug(this, static_cast<EDirection>(direction), static_cast<EPlugDataType>(datatype));
        pin->id_ = 0;
        AddPlug(pin);
        if (pin->datatype_ == DT_FSAMPLE)
            pin->CreateBuffer();
        if (parentContainer_)
        {
            if (const char* text = entry->Attribute("Default"))
                ApplyDocumentDefault(pin, text);
        }
        if ((flags_ & UGF_PINS_MAY_BE_TIED) && audioMaster_)
        {
            int tiedHandle = -1;
            int tiedIndex = -1;
            entry->QueryIntAttribute("TiedTo", &tiedHandle);
            entry->QueryIntAttribute("TiedToPinIdx", &tiedIndex);
            auto* other = dynamic_cast<ug_base*>(audioMaster_->HandleToObject(tiedHandle));
            if (UPlug* partner = other ? other->GetPlug(tiedIndex) : nullptr)
            {
                pin->tiedTo_ = partner;
                partner->tiedTo_ = pin;
            }
        }
    }
}

UPlug* ug_base::GetPlug(const std::wstring& name)
{
    SafeInterfaceObjectArray pins;
    ListInterface2(pins);
    for (size_t i = 0; i < pins.size(); ++i)
    {
        if (pins[i] && pins[i]->GetName() == name)
            return GetPlug(static_cast<int>(i));
    }
    return nullptr;
}

bool ug_base::CreateSharedLookup2(const std::wstring& name, ULookup*& table, int sampleRate, unsigned long size,
                                  bool create, SharedLookupScope scope)
{
    LookupTable* found = nullptr;
    if (audioMaster_)
        audioMaster_->ugCreateSharedLookup(name, &found, sampleRate, size, false, create, scope);
    table = dynamic_cast<ULookup*>(found);
    return table != nullptr && !table->IsFilled();
}

bool ug_base::CreateSharedLookup2(const std::wstring& name, ULookup_Integer*& table, int sampleRate,
                                  unsigned long size, bool create, SharedLookupScope scope)
{
    LookupTable* found = nullptr;
    if (audioMaster_)
        audioMaster_->ugCreateSharedLookup(name, &found, sampleRate, size, true, create, scope);
    table = dynamic_cast<ULookup_Integer*>(found);
    return table != nullptr && !table->IsFilled();
}

int ug_base::allocateSharedMemory(const wchar_t* name, void** data, float sampleRate, int sizeBytes,
                                  int& needsInitialising, int scope)
{
    *data = nullptr;
    needsInitialising = 0;
    if (!audioMaster_ || !name || sizeBytes < 0 || (scope != SLS_PER_INSTANCE && scope != SLS_GLOBAL))
        return -1;
    const auto entries = static_cast<unsigned long>((static_cast<int64_t>(sizeBytes) + 3) / 4);
    LookupTable* found = nullptr;
    audioMaster_->ugCreateSharedLookup(name, &found, static_cast<int>(sampleRate), entries, false, sizeBytes > 0,
                                       static_cast<SharedLookupScope>(scope));
    auto* table = dynamic_cast<ULookup*>(found);
    if (!table)
        return -1;
    needsInitialising = table->IsFilled() ? 0 : 1;
    table->SetFilled();
    *data = table->GetBlock();
    return 0;
}

std::wstring ug_base::DebugModuleName(bool withHandle) const
{
    std::wstring name;
    if (moduleType)
    {
        name = moduleType->GetName();
    }
    else
    {
        int status = 0;
        char* demangled = abi::__cxa_demangle(typeid(*this).name(), nullptr, nullptr, &status);
        std::string className = status == 0 && demangled ? demangled : typeid(*this).name();
        std::free(demangled);
        if (className.rfind("class ", 0) == 0)
            className.erase(0, 6);
        name = Utf8ToWstring(className);
    }
    if (withHandle)
        name += L"[" + IntToString(handle_) + L"]";
    return name;
}

void ug_base::connect(UPlug* from, UPlug* to)
{
    if (!from || !to)
        return;
    for (int i = 0; to->proxy_ && i < kMaxProxyWalk; ++i)
        to = to->proxy_;
    for (int i = 0; from->proxy_ && i < kMaxProxyWalk; ++i)
        from = from->proxy_;

    // Only an output feeds an input, and only of its own datatype.
    if (from->direction_ != DR_OUT || to->direction_ != DR_IN || from->datatype_ != to->datatype_)
        return;
    for (const UPlug* source : to->connections_)
    {
        if (source == from)
            return;
    }
    // A second source on a non-MIDI input needs an adder in front of it, which
    // only a container can place, and only for audio; other datatypes keep
    // their first source.
    if (!to->connections_.empty() && to->datatype_ != DT_MIDI2)
    {
        if (to->IsAdder())
        {
            if (auto* adder = dynamic_cast<ug_adder2*>(to->owner_))
                adder->NewConnection(from);
            return;
        }
        ug_container* container = to->owner_->parentContainer_;
        if (!container || to->datatype_ != DT_FSAMPLE)
            return;
        UPlug* oldSource = to->connections_.front();
        auto* adder = dynamic_cast<ug_adder2*>(container->InsertAdder(DT_FSAMPLE));
        if (!adder)
            return;
        to->DeleteConnection(oldSource);
        adder->NewConnection(from);
        adder->NewConnection(oldSource);
        connect(adder->plugs_[ug_adder2::PN_OUT], to);
        to->proxy_ = adder->plugs_[ug_adder2::PN_IN];
        return;
    }

    from->connections_.push_back(to);
    to->connections_.push_back(from);
    from->connectionsByVoice_ = -1;
    to->connectionsByVoice_ = -1;

    if (to->datatype_ == DT_FSAMPLE)
    {
        if (to->plugFlags_ & PF_OWNS_STORAGE)
            to->DestroyBuffer();
        if (!to->variable_)
            to->variable_ = &to->storage_.pointer;
        *static_cast<USampBlock**>(to->variable_) = from->GetSampleBlock();
        return;
    }
    // A new line hands the source's current value to the input's variable.
    to->CloneBufferValue(*from);
}

void ug_base::BindPinToParameter(UPlug* pin, TiXmlElement* entry)
{
    // An audio input takes the value as a constant block written by the
    // setter; an audio output has no value for a watcher to read.
    if (!parentContainer_ || (pin->datatype_ == DT_FSAMPLE && pin->direction_ != DR_IN))
        return;
    int id = -1;
    if (entry->QueryIntAttribute("HostControl", &id) == TIXML_SUCCESS)
    {
        pin->plugFlags_ |= PF_HOST_CONTROLLED;
    }
    else
    {
        entry->QueryIntAttribute("Parameter", &id);
        pin->plugFlags_ |= PF_PARAMETER;
    }
    if (pin->direction_ == DR_IN)
    {
        if (ug_patch_param_setter* setter = parentContainer_->GetParameterSetter())
            setter->CreatePlug(id, pin);
    }
    else if (ug_patch_param_watcher* watcher = parentContainer_->GetParameterWatcher())
    {
        watcher->CreatePlug(id, pin);
    }
}

void ug_base::BindHostControlledPins()
{
    if (!parentContainer_ || !moduleType)
        return;
    // Indexed: binding a pin may add pins to no module but this one's partners.
    for (size_t i = 0; i < plugs_.size(); ++i)
    {
        UPlug* pin = plugs_[i];
        if ((pin->plugFlags_ & PF_HOST_CONTROLLED) == 0 || pin->datatype_ == DT_FSAMPLE || !pin->connections_.empty())
            continue;
        const InterfaceObject* description = moduleType->getPinDescriptionByPosition(static_cast<int>(i));
        if (!description)
            continue;
        int id = description->getHostConnect();
        if (id < 0)
            id = StringToHostControl(description->GetName());
        if (id < 0)
            continue;
        if (pin->direction_ == DR_IN)
        {
            if (ug_patch_param_setter* setter = parentContainer_->GetParameterSetter())
                setter->CreatePlug(id, pin);
        }
        else if (ug_patch_param_watcher* watcher = parentContainer_->GetParameterWatcher())
        {
            watcher->CreatePlug(id, pin);
        }
    }
}
