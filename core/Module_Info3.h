#pragma once
// Registry record of an SDK-kind module whose code lives in an external module
// bundle: a shared object in the plug-in bundle's module folder, named by the
// "imbeddedFilename" attribute of its module XML and entered through its
// exported "MP_GetFactory". The bundle is opened (local symbols) on first
// need and closed when the record goes; a file that is no whole shared object
// for this machine is refused before the loader sees it. What goes wrong is a
// diagnostic of the registry (CModuleFactory::Report), printed once.
// Creation runs on the thread that builds the graph or the editor.

#include <mutex>

#include "core/Module_Info3_base.h"

class Module_Info3 : public Module_Info3_base
{
public:
    // Reaches the editor's GUI-module host without knowing its class; the
    // editor installs it. Without it no older-style GUI object is attached.
    struct GuiWrapperAccess
    {
        gmpi::IMpUnknown* (*hostOf)(GuiModuleWrapper* wrapper);
        // Takes its own reference to the GUI object.
        void (*attach)(GuiModuleWrapper* wrapper, gmpi::IMpUnknown* gui);
    };
    static void SetGuiWrapperAccess(const GuiWrapperAccess* access);

    Module_Info3(const std::wstring& filename, const std::wstring& group);
    ~Module_Info3() override;

    std::wstring Filename() const override { return filename_; }
    bool fromExternalDll() const override { return true; }
    bool FileInUse() const override { return false; }
    // Opens the bundle if needed; true when it is open.
    bool OnDemandLoad() override;
    // A new object of the module for the subtype from the bundle's newer
    // factory; null when there is none (a diagnostic unless quiet).
    gmpi::IMpUnknown* Build(int subtype, bool quiet) override;
    // An older-style GUI object attached to the wrapper; false when none is made.
    bool Build_BackwardCompatible(GuiModuleWrapper* wrapper) override;
    // The module's DSP unit: an SDK module adapter around a new object.
    ug_base* BuildSynthOb() override;

    // True when the record describes no pins and no parameters.
    virtual bool isSummary() const;

    // Opens the bundle when it is not open; true when it is open.
    bool LoadDll();
    // True when no bundle could be opened.
    bool LoadDllOnDemand() { return !OnDemandLoad(); }
    // The bundle factory's MP_IID_FACTORY2 interface (one reference), or null.
    gmpi::IMpUnknown* getFactory();
    // Closes the bundle; the next need opens it again. Only while no object
    // made from it lives.
    void Unload();
    void ReLoadDll() { Unload(); }

private:
    // The object "MP_GetFactory" hands out (one reference), or null.
    gmpi::IMpUnknown* EnterBundle();
    bool LoadDllLocked();
    ug_base* BuildOlderPlugin(gmpi::IMpUnknown* object);
    void Report(const std::wstring& text) const;

    std::mutex bundleMutex_;
    void* bundle_ = nullptr;
    void* entry_ = nullptr;
    std::wstring filename_;
};
