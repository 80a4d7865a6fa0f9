#pragma once
// The process-wide registry of module types, keyed by module id. Filled from
// module registration initializers (static initialisation) and from the
// module XML of patch documents, possibly while another plug-in instance
// builds its graph on another thread: every operation takes the registry's
// lock. Records are never removed while the process runs, so a record found
// stays valid.

#include <cstdint>
#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "core/Module_Info.h"
#include "core/Module_Info3_internal.h"

class TiXmlElement;
class TiXmlNode;

class CModuleFactory
{
public:
    // The registry singleton, made on first use.
    static CModuleFactory* Instance();

    CModuleFactory() = default;
    ~CModuleFactory();
    CModuleFactory(const CModuleFactory&) = delete;
    CModuleFactory& operator=(const CModuleFactory&) = delete;

    // Takes ownership of a ready record. An empty id or an id already
    // registered deletes the record and gives false.
    bool RegisterModule(Module_Info* info);
    // Finds or creates the plain record of the description's id and fills it;
    // false for an empty id or an id held by an SDK-kind record.
    bool RegisterModule(const module_description_dsp& description);

    // Stores a constructor of an SDK-kind module (subtype 3 for GUI objects),
    // making the record when needed: 0, or -1 when the id is held by a record
    // of another kind (or is empty). A subtype's first constructor stays.
    int32_t RegisterPlugin(int subtype, const wchar_t* id, Module_Info3_internal::Constructor constructor);
    int32_t RegisterPlugin(const wchar_t* id, Module_Info3_internal::DspConstructor constructor);
    int32_t RegisterPlugin(const wchar_t* id, Module_Info3_internal::GuiConstructor constructor);

    // Registers every `Plugin` of a `PluginList` document. Text that does not
    // parse, or nests too deep, registers nothing.
    void RegisterPluginsXml(const char* xml);
    void RegisterPluginsXml(TiXmlNode* pluginList);
    // The plug-in list of the bundle's DSP patch document: registered by
    // the first call in the process only (the engine building its graph, or
    // an editor opening before any graph was built); later calls do
    // nothing. Any thread.
    void RegisterDocumentPluginList(TiXmlNode* pluginList);
    bool DocumentPluginListRegistered() const { return documentListRegistered_.load(); }

    // Keeps a shared lookup table until the registry is destroyed at process
    // exit. A template so that the table is deleted as its own complete type.
    template <class Table>
    void HoldCkLookup(Table* table)
    {
        if (table)
            Hold(std::shared_ptr<void>(table));
    }

    Module_Info* GetById(const std::wstring& id);
    // The record's Build(subtype, false); null for an unknown id.
    gmpi::IMpUnknown* Create(int subtype, const std::wstring& id);

    size_t ModuleCount() const;
    // Diagnostics composed while registering and while records make their
    // objects (the most recent are kept).
    std::vector<std::wstring> Diagnostics() const;
    // A diagnostic of loading a module bundle or making an object from it:
    // kept with the others and printed on standard error, the plug-in's log,
    // the first time its text comes. Thread that builds the graph or editor.
    void Report(const std::wstring& text);

private:
    static constexpr size_t kMaxDiagnostics = 256;
    static constexpr size_t kMaxPrinted = 1024;

    Module_Info* Find(const std::wstring& id) const;
    Module_Info3_internal* FindOrCreateInternal(const wchar_t* id);
    void RegisterPluginElement(TiXmlElement* plugin);
    void AddDiagnostic(const std::wstring& text);
    void Hold(std::shared_ptr<void> object);

    mutable std::mutex mutex_;
    std::map<std::wstring, std::unique_ptr<Module_Info>> modules_;
    std::vector<std::shared_ptr<void>> heldTables_;
    std::vector<std::wstring> diagnostics_;
    std::atomic<bool> documentListRegistered_{false};
    std::set<std::wstring> printed_;
};

// Module registration initializers call these on the registry singleton.
int32_t RegisterPlugin(int subtype, const wchar_t* id, Module_Info3_internal::Constructor constructor);
// Returns 0.
int32_t RegisterPluginXml(const char* xml);
