#pragma once
// Common base of the registry records of SDK-kind modules, whose pins and
// parameters come from module-description XML (a `Plugin` element).

#include <string>
#include <vector>

#include "core/Module_Info.h"

class TiXmlElement;
class TiXmlNode;

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
