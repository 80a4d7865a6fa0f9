#pragma once
// Registry record of an SDK-kind module compiled into the plug-in: its
// constructors are registered by RegisterPlugin, its pins come from module XML.

#include <map>

#include "core/Module_Info3_base.h"

namespace gmpi
{
class IMpUnknown;
class IMpPlugin;
class IMpUserInterface;
} // namespace gmpi

class Module_Info3_internal : public Module_Info3_base
{
public:
    using Constructor = gmpi::IMpUnknown* (*)();
    using DspConstructor = gmpi::IMpPlugin* (*)(gmpi::IMpUnknown* host);
    using GuiConstructor = gmpi::IMpUserInterface* (*)(gmpi::IMpUnknown* host);

    Module_Info3_internal() = default;
    explicit Module_Info3_internal(const std::wstring& id);

    // 0, or -1 when the subtype already has a constructor (the first stays).
    int32_t RegisterPluginConstructor(int subtype, Constructor constructor);
    // Older-style constructors; the first one given stays.
    int32_t RegisterPluginConstructor(DspConstructor constructor);
    int32_t RegisterPluginConstructor(GuiConstructor constructor);

    // A new object of the subtype (0 DSP, 2 and 3 GUI), or null without a constructor.
    gmpi::IMpUnknown* Build(int subtype, bool quiet) override;
    // The subtype-0 object in the engine's SDK module adapter; null without
    // the object, its MP_IID_PLUGIN2 interface or an installed adapter.
    ug_base* BuildSynthOb() override;
    bool fromExternalDll() const override { return false; }

    DspConstructor GetDspConstructor() const { return dspConstructor_; }
    GuiConstructor GetGuiConstructor() const { return guiConstructor_; }

private:
    DspConstructor dspConstructor_ = nullptr;
    GuiConstructor guiConstructor_ = nullptr;
    std::map<int, Constructor> constructors_;
};
