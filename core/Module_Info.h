#pragma once
// The registry record of one module type: its id, names, flags, pin and
// parameter descriptions, and the means to make its DSP unit and GUI object.
// The record owns every description in its maps.

#include <cstdint>
#include <map>
#include <string>

#include "core/CObject.h"
#include "core/UnitClass.h"

class CDocOb;
class GuiModuleWrapper;
class InterfaceObject;
struct parameter_description;
struct pin_description;
namespace gmpi
{
class IMpUnknown;
}

// Module flag word.
enum ModuleInfoFlags : uint32_t
{
    CF_POLYPHONIC_SOURCE = 0x60,
    CF_PANEL_VIEW = 0x80,
    CF_STRUCTURE_VIEW = 0x100,
    CF_BUILT_IN = 0x1000,
    CF_GUI_NOT_VISIBLE = 0x2000,
    CF_SHELL_PLUGIN = 0x10000,
};

using DocObCreator = CDocOb* (*)(Module_Info*);

// Static registration record of a built-in module whose pins come from a
// compiled-in table.
struct module_description_dsp
{
    const char* id;
    int registrationNumber1;
    int registrationNumber2;
    const UnitClass* unitClass;
    int flags;
    const pin_description* pins;
    int pinCount;
};

class Module_Info : public CObject
{
public:
    using PinMap = std::map<int, InterfaceObject*>;
    using ParameterMap = std::map<int, parameter_description*>;

    // A built-in unit: lists the pins of a prototype unit (pin id = position).
    Module_Info(const wchar_t* id, int registrationNumber1, int registrationNumber2, DocObCreator docCreator,
                const UnitClass* unitClass, int flags);
    Module_Info(const wchar_t* id, const wchar_t* name, const wchar_t* group, DocObCreator docCreator,
                const UnitClass* unitClass, int flags);
    // An empty record, filled by Register or by a subclass.
    explicit Module_Info(const std::wstring& id = std::wstring());
    ~Module_Info() override;

    Module_Info(const Module_Info&) = delete;
    Module_Info& operator=(const Module_Info&) = delete;

    virtual const std::wstring& UniqueId() const { return id_; }
    virtual gmpi::IMpUnknown* Build(int subtype, bool quiet);
    virtual bool Build_BackwardCompatible(GuiModuleWrapper* wrapper);
    // A new DSP unit of this type (module type set), or null without a unit class.
    virtual ug_base* BuildSynthOb();
    virtual CDocOb* BuildDocObject();
    virtual std::wstring GetGroupName() const { return group_; }
    virtual std::wstring GetName() const { return name_; }
    virtual std::wstring GetDescription() const { return std::wstring(); }
    virtual int ModuleTechnology() const { return 0; }
    virtual int getWindowType() const { return 0; }
    virtual bool OnDemandLoad() { return true; }
    virtual bool FileInUse() const { return false; }
    virtual bool fromExternalDll() const { return false; }

    // Fills a plain record from a compiled-in pin table.
    void Register(const module_description_dsp& description);
    // Makes or completes the parameter that a parameter-bound pin stands for.
    void RegisterSdk2Parameter(const InterfaceObject* pin);
    void ClearPlugs();

    InterfaceObject* getPinDescriptionById(int id) const;
    InterfaceObject* getGuiPinDescriptionById(int id) const;
    parameter_description* getParameterById(int id) const;
    // The n-th description in id order, null past the end.
    InterfaceObject* getPinDescriptionByPosition(int n) const;
    InterfaceObject* getGuiPinDescriptionByPosition(int n) const;
    parameter_description* getParameterByPosition(int n) const;

    const PinMap& GetPinDescriptions() const { return plugs_; }
    const PinMap& GetGuiPinDescriptions() const { return guiPlugs_; }
    const ParameterMap& GetParameters() const { return parameters_; }

    std::wstring GetHelpUrl() const { return helpUrl_; }
    // The folder of external module bundles: the plug-in bundle's PlugIns
    // folder, set by the plug-in once it knows its bundle (process-wide).
    static std::wstring GetKvmFolder();
    static void SetKvmFolder(const std::wstring& folder);
    uint32_t GetFlags() const { return flags_; }
    const UnitClass* GetUnitClass() const { return unitClass_; }
    int GetRegistrationNumber1() const { return registrationNumber1_; }
    int GetRegistrationNumber2() const { return registrationNumber2_; }

    bool hasGuiModule() const { return hasGui_; }
    bool hasDspModule() const;
    bool gui_object_non_visible() const { return (flags_ & CF_GUI_NOT_VISIBLE) != 0; }
    bool isDllAvailable() const { return dllAvailable_; }
    bool isShellPlugin() const { return (flags_ & CF_SHELL_PLUGIN) != 0; }
    void setShellPlugin() { flags_ |= CF_SHELL_PLUGIN; }

protected:
    bool hasGui_ = false;
    bool hasDsp_ = false;
    DocObCreator docCreator_ = nullptr;
    const UnitClass* unitClass_ = nullptr;
    std::wstring id_;
    int registrationNumber1_ = 0;
    int registrationNumber2_ = 0;
    uint32_t flags_ = 0;
    std::wstring name_;
    std::wstring group_;
    std::wstring helpUrl_;
    PinMap guiPlugs_;
    PinMap plugs_;
    ParameterMap parameters_;
    bool dllAvailable_ = true;

private:
    void DescribeBuiltInUnit();
};
