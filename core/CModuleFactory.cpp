#include "core/CModuleFactory.h"

#include <cstdio>
#include "core/SafeXmlText.h"

#include "core/Module_Info3.h"
#include "core/ModuleXml.h"
#include "core/conversion.h"

#include <tinyxml.h>

CModuleFactory* CModuleFactory::Instance()
{
    static CModuleFactory instance;
    return &instance;
}

CModuleFactory::~CModuleFactory() = default;

bool CModuleFactory::RegisterModule(Module_Info* info)
{
    if (!info)
        return false;

    std::unique_ptr<Module_Info> record(info);
    const std::wstring id = record->UniqueId();
    if (id.empty())
        return false;

    std::lock_guard<std::mutex> lock(mutex_);
    if (modules_.count(id))
    {
        AddDiagnostic(L"RegisterModule Error. Module found twice. " + id);
        return false;
    }
    modules_.emplace(id, std::move(record));
    return true;
}

bool CModuleFactory::RegisterModule(const module_description_dsp& description)
{
    const std::wstring id = Utf8ToWstring(description.id);
    if (id.empty())
        return false;

    std::lock_guard<std::mutex> lock(mutex_);
    Module_Info* record = Find(id);
    if (!record)
    {
        auto created = std::make_unique<Module_Info>(id);
        record = created.get();
        modules_.emplace(id, std::move(created));
    }
    else if (record->ModuleTechnology() > 1)
    {
        AddDiagnostic(L"RegisterModule Error. Module id held by an SDK module. " + id);
        return false;
    }
    record->Register(description);
    return true;
}

Module_Info3_internal* CModuleFactory::FindOrCreateInternal(const wchar_t* id)
{
    if (!id || !*id)
        return nullptr;

    Module_Info* record = Find(id);
    if (!record)
    {
        auto created = std::make_unique<Module_Info3_internal>(id);
        auto* internal = created.get();
        modules_.emplace(id, std::move(created));
        return internal;
    }
    return dynamic_cast<Module_Info3_internal*>(record);
}

int32_t CModuleFactory::RegisterPlugin(int subtype, const wchar_t* id, Module_Info3_internal::Constructor constructor)
{
    std::lock_guard<std::mutex> lock(mutex_);
    Module_Info3_internal* record = FindOrCreateInternal(id);
    if (!record)
        return -1;
    record->RegisterPluginConstructor(subtype, constructor);
    return 0;
}

int32_t CModuleFactory::RegisterPlugin(const wchar_t* id, Module_Info3_internal::DspConstructor constructor)
{
    std::lock_guard<std::mutex> lock(mutex_);
    Module_Info3_internal* record = FindOrCreateInternal(id);
    if (!record)
        return -1;
    record->RegisterPluginConstructor(constructor);
    return 0;
}

int32_t CModuleFactory::RegisterPlugin(const wchar_t* id, Module_Info3_internal::GuiConstructor constructor)
{
    std::lock_guard<std::mutex> lock(mutex_);
    Module_Info3_internal* record = FindOrCreateInternal(id);
    if (!record)
        return -1;
    record->RegisterPluginConstructor(constructor);
    return 0;
}

void CModuleFactory::RegisterPluginsXml(const char* xml)
{
    if (!xml)
        return;
    if (!IsSafeXmlText(xml))
    {
        std::lock_guard<std::mutex> lock(mutex_);
        AddDiagnostic(L"module XML nests deeper than " + IntToString(kMaxXmlNestingDepth) +
                      L" levels or ends inside a character; not read.");
        return;
    }

    TiXmlDocument document;
    document.Parse(xml);
    if (document.Error())
    {
        std::lock_guard<std::mutex> lock(mutex_);
        AddDiagnostic(L"module XML does not parse: " + Utf8ToWstring(FixNullCharPtr(document.ErrorDesc())));
        return;
    }
    if (TiXmlElement* pluginList = document.FirstChildElement("PluginList"))
        RegisterPluginsXml(pluginList);
}

void CModuleFactory::RegisterPluginsXml(TiXmlNode* pluginList)
{
    if (!pluginList)
        return;

    std::lock_guard<std::mutex> lock(mutex_);
    for (TiXmlElement* plugin = pluginList->FirstChildElement("Plugin"); plugin;
         plugin = plugin->NextSiblingElement("Plugin"))
    {
        RegisterPluginElement(plugin);
    }
}

void CModuleFactory::RegisterDocumentPluginList(TiXmlNode* pluginList)
{
    if (pluginList && !documentListRegistered_.exchange(true))
        RegisterPluginsXml(pluginList);
}

void CModuleFactory::RegisterPluginElement(TiXmlElement* plugin)
{
    std::wstring id = Utf8ToWstring(FixNullCharPtr(plugin->Attribute("id")));
    if (id.empty())
    {
        AddDiagnostic(L"module XML: a Plugin without id.");
        id = L"<!!!BLANK-ID!!!>";
    }

    Module_Info3_base::Diagnostics diagnostics;
    if (Module_Info* existing = Find(id))
    {
        // Module XML completes a compiled-in SDK module registered by RegisterPlugin.
        if (auto* internal = dynamic_cast<Module_Info3_internal*>(existing))
            internal->ScanXml(plugin, &diagnostics);
        else if (existing->ModuleTechnology() <= 1)
            diagnostics.push_back(L"module XML: Plugin " + id + L" clashes with a built-in module; skipped.");
    }
    else
    {
        const std::wstring filename = Utf8ToWstring(FixNullCharPtr(plugin->Attribute("imbeddedFilename")));
        std::unique_ptr<Module_Info3_base> record;
        if (!filename.empty())
            record = std::make_unique<Module_Info3>(filename, std::wstring());
        else
            record = std::make_unique<Module_Info3_internal>(id);
        record->ScanXml(plugin, &diagnostics);

        const std::wstring key = record->UniqueId();
        if (!modules_.count(key))
            modules_.emplace(key, std::move(record));
    }

    for (const auto& text : diagnostics)
        AddDiagnostic(text);
}

void CModuleFactory::Hold(std::shared_ptr<void> object)
{
    std::lock_guard<std::mutex> lock(mutex_);
    heldTables_.push_back(std::move(object));
}

Module_Info* CModuleFactory::Find(const std::wstring& id) const
{
    const auto it = modules_.find(id);
    return it == modules_.end() ? nullptr : it->second.get();
}

Module_Info* CModuleFactory::GetById(const std::wstring& id)
{
    std::lock_guard<std::mutex> lock(mutex_);
    return Find(id);
}

gmpi::IMpUnknown* CModuleFactory::Create(int subtype, const std::wstring& id)
{
    Module_Info* record = GetById(id);
    return record ? record->Build(subtype, false) : nullptr;
}

size_t CModuleFactory::ModuleCount() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return modules_.size();
}

std::vector<std::wstring> CModuleFactory::Diagnostics() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return diagnostics_;
}

void CModuleFactory::Report(const std::wstring& text)
{
    std::lock_guard<std::mutex> lock(mutex_);
    AddDiagnostic(text);
    // Each text once: a bundle that fails, fails again for every module made from it.
    if (printed_.size() >= kMaxPrinted || !printed_.insert(text).second)
        return;
    std::fprintf(stderr, "Korvane: %s\n", WStringToUtf8(text).c_str());
    if (printed_.size() == kMaxPrinted)
        std::fprintf(stderr, "Korvane: further module bundle diagnostics are not printed\n");
}

void CModuleFactory::AddDiagnostic(const std::wstring& text)
{
    if (diagnostics_.size() >= kMaxDiagnostics)
        diagnostics_.erase(diagnostics_.begin());
    diagnostics_.push_back(text);
}

int32_t RegisterPlugin(int subtype, const wchar_t* id, Module_Info3_internal::Constructor constructor)
{
    return CModuleFactory::Instance()->RegisterPlugin(subtype, id, constructor);
}

int32_t RegisterPluginXml(const char* xml)
{
    CModuleFactory::Instance()->RegisterPluginsXml(xml);
    return 0;
}
