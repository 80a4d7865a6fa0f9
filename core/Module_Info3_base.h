#pragma once
// Common base of the registry records of SDK-kind modules, whose pins and
// parameters come from module-description XML (a `Plugin` element).

#include <string>
#include <vector>

#include "core/Module_Info.h"
#include "sdk/mp_sdk_common.h"

class TiXmlElement;
class TiXmlNode;
namespace gmpi
{
class IMpPlugin;
class IMpPlugin2;
} // namespace gmpi
class Module_Info3_base;

// How SDK-kind records make engine units without knowing the engine's
// classes. The engine installs it (Module_Info3_base::SetUnitAdapter); every
// unit made gets the record as its module type and the record's DSP flags.
struct SdkUnitAdapter
{
    // A unit holding a newer plug-in; takes over the one reference given
    // (released when no unit can be made).
    ug_base* (*wrapPlugin2)(gmpi::IMpPlugin2* plugin, Module_Info3_base* moduleType);
    // A unit for an older plug-in that is still to be made with the unit's
    // host interface, handed back through host.
    ug_base* (*newPlugin1Unit)(Module_Info3_base* moduleType, gmpi::IMpUnknown** host);
    // Hands the older plug-in (its one reference) to a unit made above.
    void (*attachPlugin1)(ug_base* unit, gmpi::IMpPlugin* plugin);
    void (*destroy)(ug_base* unit);
};

// DSP flag word that every unit built from the record receives.
enum ModuleDspFlags : uint32_t
{
    UGF_VOICE_MON_IGNORE = 0x2,
    UGF_POLYPHONIC = 0x4,
    UGF_POLYPHONIC_SOURCE = 0x24,
    UGF_POLYPHONIC_AGREGATOR = 0x40,
    UGF_SIMD_OVERWRITES_BUFFER_END = 0x800,
    UGF_CLONED = 0x100000,
};

// Graphics API codes of a module's GUI.
enum GraphicsApi : int
{
    GA_NONE = 0,
    GA_HWND = 1,
    GA_COMPOSITED = 2,
    GA_WPF_INTERNAL = 4,
    GA_VSTGUI = 5,
    GA_GMPI_GUI = 6,
};

class Module_Info3_base : public Module_Info
{
public:
    // Pin list kinds.
    enum PinListKind : int
    {
        PIN_LIST_AUDIO = 0,
        PIN_LIST_GUI = 1,
    };

    // Diagnostics composed while reading (never shown) are appended to the
    // list when one is given.
    using Diagnostics = std::vector<std::wstring>;

    explicit Module_Info3_base(const std::wstring& id = std::wstring());

    ug_base* BuildSynthOb() override { return nullptr; }
    std::wstring GetDescription() const override { return description_; }
    int ModuleTechnology() const override { return 2; }
    int getWindowType() const override { return graphicsApi_; }
    virtual std::wstring showSdkVersion() const { return std::wstring(); }
    virtual std::wstring Filename() const { return L"Korvane.exe"; }

    uint32_t GetDspFlags() const { return dspFlags_; }

    // Installed once by the engine; null leaves SDK records without units.
    static void SetUnitAdapter(const SdkUnitAdapter* adapter);
    static const SdkUnitAdapter* GetUnitAdapter();

    // Fills the record from one `Plugin` element. Each pin list is read only
    // the first time; parameters with new ids are added every time.
    void ScanXml(TiXmlElement* plugin, Diagnostics* diagnostics = nullptr);
    void RegisterParameters(TiXmlNode* parameters, Diagnostics* diagnostics = nullptr);
    void ScanPinXml(TiXmlNode* list, PinMap* pins, int kind, Diagnostics* diagnostics = nullptr);
    void RegisterPin(TiXmlElement* pin, PinMap* pins, int kind, int& pinId, Diagnostics* diagnostics = nullptr);
    // Reads one pin list without the read-once guard of ScanXml.
    void RegisterPins(TiXmlNode* list, int kind, Diagnostics* diagnostics = nullptr);

    // ORs the bit into the flags when the attribute is exactly "true".
    static void SetPinFlag(const char* attribute, int bit, TiXmlElement* element, int& flags);

protected:
    // Makes the unit of an SDK object the record's constructor or bundle gave
    // (one reference, handed over): through MP_IID_PLUGIN2; null without.
    ug_base* WrapPlugin2(gmpi::IMpUnknown* object);
    // Takes an interface of a new object so that exactly one reference is held
    // for it, whether or not the object's queryInterface counts that answer;
    // the object's creation reference is given up. Null (object released) without.
    static void* TakeInterface(gmpi::IMpUnknown* object, const gmpi::MpGuid& iid);

    uint32_t dspFlags_ = 0;
    std::wstring description_;
    int graphicsApi_ = GA_NONE;
    bool audioRead_ = false;
    bool guiRead_ = false;

private:
    void ScanGroup(TiXmlNode* list, PinMap* pins, int kind, int depth, Diagnostics* diagnostics);
    void ApplyGraphicsApi(TiXmlElement* plugin, TiXmlElement* gui);
    void Report(Diagnostics* diagnostics, const std::wstring& text) const;
    std::wstring PinMessagePrefix(int pinId) const;
};
