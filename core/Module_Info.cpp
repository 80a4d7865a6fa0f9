#include "core/Module_Info.h"

#include <mutex>

#include "core/InterfaceObject.h"
#include "core/conversion.h"
#include "core/parameter_description.h"
#include "core/pin_description.h"

#include <iterator>

namespace
{
template <class Map>
typename Map::mapped_type findById(const Map& map, int id)
{
    const auto it = map.find(id);
    return it == map.end() ? nullptr : it->second;
}

template <class Map>
typename Map::mapped_type findByPosition(const Map& map, int n)
{
    if (n < 0 || static_cast<size_t>(n) >= map.size())
        return nullptr;
    return std::next(map.begin(), n)->second;
}

std::wstring fromCString(const wchar_t* text)
{
    return text ? std::wstring(text) : std::wstring();
}
} // namespace

Module_Info::Module_Info(const wchar_t* id, int registrationNumber1, int registrationNumber2, DocObCreator docCreator,
                         const UnitClass* unitClass, int flags)
    : docCreator_(docCreator),
      unitClass_(unitClass),
      id_(fromCString(id)),
      registrationNumber1_(registrationNumber1),
      registrationNumber2_(registrationNumber2),
      flags_(static_cast<uint32_t>(flags) | CF_BUILT_IN)
{
    DescribeBuiltInUnit();
}

Module_Info::Module_Info(const wchar_t* id, const wchar_t* name, const wchar_t* group, DocObCreator docCreator,
                         const UnitClass* unitClass, int flags)
    : docCreator_(docCreator),
      unitClass_(unitClass),
      id_(fromCString(id)),
      flags_(static_cast<uint32_t>(flags) | CF_BUILT_IN),
      name_(fromCString(name)),
      group_(fromCString(group))
{
    DescribeBuiltInUnit();
}

Module_Info::Module_Info(const std::wstring& id) : id_(id)
{
}

namespace
{
struct KvmFolder
{
    std::mutex mutex;
    std::wstring folder;
};

KvmFolder& kvmFolder()
{
    static KvmFolder instance;
    return instance;
}
} // namespace

std::wstring Module_Info::GetKvmFolder()
{
    KvmFolder& shared = kvmFolder();
    std::lock_guard<std::mutex> lock(shared.mutex);
    return shared.folder;
}

void Module_Info::SetKvmFolder(const std::wstring& folder)
{
    KvmFolder& shared = kvmFolder();
    std::lock_guard<std::mutex> lock(shared.mutex);
    shared.folder = folder;
}

Module_Info::~Module_Info()
{
    ClearPlugs();
}

void Module_Info::DescribeBuiltInUnit()
{
    ug_base* prototype = BuildSynthOb();
    if (!prototype)
        return;

    SafeInterfaceObjectArray pins;
    unitClass_->listPins(prototype, pins);
    unitClass_->destroy(prototype);

    int position = 0;
    for (InterfaceObject*& pin : pins)
    {
        if (!pin)
            continue;
        InterfaceObject* description = pin;
        pin = nullptr; // the record owns it from here

        const int n = position++;
        description->SetPlugDescID(n);
        // The prototype is gone: its member addresses must not outlive it.
        description->SetVarAddr(nullptr);
        description->SetBufferAddress(nullptr);
        plugs_[n] = description;

        if (description->isUiPlug())
            description->SetFlags(description->GetFlags() | IO_BUILT_IN_GUI);

        if (description->isParameterPlug())
        {
            if (description->getParameterId() < 0)
                description->SetParameterId(0);
            const bool guiInput = description->isUiPlug() && description->GetDirection() == DR_IN;
            if (description->getParameterFieldId() == 0 && !guiInput)
                RegisterSdk2Parameter(description);
        }
    }
    hasDsp_ = true;
}

void Module_Info::Register(const module_description_dsp& description)
{
    flags_ |= static_cast<uint32_t>(description.flags) | CF_STRUCTURE_VIEW;
    id_ = Utf8ToWstring(description.id);
    unitClass_ = description.unitClass;
    if (description.registrationNumber1 >= 0)
    {
        registrationNumber1_ = description.registrationNumber1;
        registrationNumber2_ = description.registrationNumber2;
    }

    for (int n = 0; description.pins && n < description.pinCount; ++n)
    {
        if (plugs_.count(n))
            continue; // the first description of a pin id stays

        auto* pin = new InterfaceObject(n, description.pins[n]);
        plugs_[n] = pin;
        if (pin->GetFlags() & IO_PATCH_STORE)
        {
            pin->SetParameterId(0);
            RegisterSdk2Parameter(pin);
        }
    }
    hasDsp_ = true;
}

void Module_Info::RegisterSdk2Parameter(const InterfaceObject* pin)
{
    parameter_description*& parameter = parameters_[pin->getParameterId()];
    if (!parameter)
    {
        parameter = new parameter_description();
        parameter->id = pin->getParameterId();
    }

    parameter->name = pin->GetName();
    parameter->flags = (pin->GetFlags() & (IO_IGNORE_PATCH_CHANGE | IO_PARAMETER_PRIVATE | IO_PAR_POLYPHONIC |
                                           IO_PAR_POLYPHONIC_GATE)) |
                       PD_PERSISTANT;
    parameter->datatype = pin->GetDatatype();
    parameter->default_value = pin->GetDefaultVal();
    if (parameter->datatype == DT_ENUM)
        parameter->metadata = pin->GetEnumList();
}

void Module_Info::ClearPlugs()
{
    for (auto& entry : plugs_)
        delete entry.second;
    for (auto& entry : guiPlugs_)
        delete entry.second;
    for (auto& entry : parameters_)
        delete entry.second;
    plugs_.clear();
    guiPlugs_.clear();
    parameters_.clear();
}

gmpi::IMpUnknown* Module_Info::Build(int /*subtype*/, bool /*quiet*/)
{
    return nullptr;
}

bool Module_Info::Build_BackwardCompatible(GuiModuleWrapper* /*wrapper*/)
{
    return false;
}

ug_base* Module_Info::BuildSynthOb()
{
    return unitClass_ ? unitClass_->create(this) : nullptr;
}

CDocOb* Module_Info::BuildDocObject()
{
    return docCreator_ ? docCreator_(this) : nullptr;
}

InterfaceObject* Module_Info::getPinDescriptionById(int id) const
{
    return findById(plugs_, id);
}

InterfaceObject* Module_Info::getGuiPinDescriptionById(int id) const
{
    return findById(guiPlugs_, id);
}

parameter_description* Module_Info::getParameterById(int id) const
{
    return findById(parameters_, id);
}

InterfaceObject* Module_Info::getPinDescriptionByPosition(int n) const
{
    return findByPosition(plugs_, n);
}

InterfaceObject* Module_Info::getGuiPinDescriptionByPosition(int n) const
{
    return findByPosition(guiPlugs_, n);
}

parameter_description* Module_Info::getParameterByPosition(int n) const
{
    return findByPosition(parameters_, n);
}

bool Module_Info::hasDspModule() const
{
    if (ModuleTechnology() > 1)
        return hasDsp_;
    for (const auto& entry : plugs_)
    {
        if (entry.second->isDualUiPlug() || !entry.second->isUiPlug())
            return true;
    }
    return false;
}
