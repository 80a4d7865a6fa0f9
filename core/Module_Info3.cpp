#include "core/Module_Info3.h"

#include <dlfcn.h>

#include <atomic>

#include "core/CModuleFactory.h"
#include "core/ElfImage.h"
#include "core/conversion.h"
#include "core/file_helpers.h"
#include "sdk/mp_sdk_audio.h"

namespace
{
std::atomic<const Module_Info3::GuiWrapperAccess*>& guiWrapperAccess()
{
    static std::atomic<const Module_Info3::GuiWrapperAccess*> access{nullptr};
    return access;
}

// A bundle is named by a plain file name inside the module folder.
bool IsPlainFileName(const std::wstring& name)
{
    return !name.empty() && name.find(L'/') == std::wstring::npos && name.find(L'\\') == std::wstring::npos &&
           name != L"." && name != L"..";
}

// Factories are the bundle's code: what they throw is a refusal.
int32_t CreateNewer(gmpi::IMpFactory2* factory, const wchar_t* id, int subtype, void** instance)
{
    try
    {
        return factory->createInstance2(id, subtype, instance);
    }
    catch (...)
    {
        *instance = nullptr;
        return gmpi::MP_FAIL;
    }
}

int32_t CreateOlder(gmpi::IMpFactory* factory, const wchar_t* id, int subtype, gmpi::IMpUnknown* host,
                    void** instance)
{
    try
    {
        return factory->createInstance(id, subtype, host, instance);
    }
    catch (...)
    {
        *instance = nullptr;
        return gmpi::MP_FAIL;
    }
}
} // namespace

void Module_Info3::SetGuiWrapperAccess(const GuiWrapperAccess* access)
{
    guiWrapperAccess().store(access, std::memory_order_release);
}

Module_Info3::Module_Info3(const std::wstring& filename, const std::wstring& group) : filename_(filename)
{
    if (!group.empty())
        group_ = group;
}

Module_Info3::~Module_Info3()
{
    Unload();
}

bool Module_Info3::isSummary() const
{
    return guiPlugs_.empty() && plugs_.empty() && parameters_.empty();
}

void Module_Info3::Report(const std::wstring& text) const
{
    CModuleFactory::Instance()->Report(text);
}

bool Module_Info3::OnDemandLoad()
{
    return LoadDll();
}

bool Module_Info3::LoadDll()
{
    std::lock_guard<std::mutex> lock(bundleMutex_);
    return LoadDllLocked();
}

bool Module_Info3::LoadDllLocked()
{
    if (bundle_)
        return true;
    const std::wstring folder = GetKvmFolder();
    if (folder.empty() || !IsPlainFileName(filename_))
    {
        Report(L"Couldn't make URL reference for plugin (" + filename_ + L")");
        return false;
    }
    const std::string path = WStringToUtf8(combine_path_and_file(folder, filename_));
    // A file cut short would fault the process inside the loader.
    std::string why;
    if (!ElfImage::Loadable(path, why))
    {
        Report(L"Couldn't create bundle reference (" + Utf8ToWstring(path) + L"): the file " + Utf8ToWstring(why));
        return false;
    }
    // Local symbols: the bundle's names stay out of the process's namespace.
    dlerror();
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle)
    {
        const char* error = dlerror();
        Report(L"Couldn't create bundle reference (" + Utf8ToWstring(path) + L"): " +
               Utf8ToWstring(error ? error : "unknown error"));
        return false;
    }
    bundle_ = handle;
    entry_ = dlsym(handle, gmpi::MP_GET_FACTORY_NAME);
    return true;
}

void Module_Info3::Unload()
{
    std::lock_guard<std::mutex> lock(bundleMutex_);
    if (bundle_)
        dlclose(bundle_);
    bundle_ = nullptr;
    entry_ = nullptr;
}

gmpi::IMpUnknown* Module_Info3::EnterBundle()
{
    void* entry = nullptr;
    {
        std::lock_guard<std::mutex> lock(bundleMutex_);
        if (!LoadDllLocked())
            return nullptr;
        entry = entry_;
    }
    if (!entry)
    {
        Report(L"Couldn't get a pointer to plugin's main() (" + filename_ + L")");
        return nullptr;
    }
    void* object = nullptr;
    int32_t result = gmpi::MP_FAIL;
    try
    {
        result = reinterpret_cast<gmpi::MP_GetFactoryFunction>(entry)(&object);
    }
    catch (...)
    {
        result = gmpi::MP_FAIL;
    }
    if (result != gmpi::MP_OK || !object)
    {
        Report(L"MP_GetFactory of " + filename_ + L" gave no factory");
        return nullptr;
    }
    return static_cast<gmpi::IMpUnknown*>(object);
}

gmpi::IMpUnknown* Module_Info3::getFactory()
{
    gmpi::IMpUnknown* object = EnterBundle();
    if (!object)
        return nullptr;
    void* factory = nullptr;
    if (object->queryInterface(gmpi::MP_IID_FACTORY2, &factory) != gmpi::MP_OK)
        factory = nullptr;
    object->release();
    return static_cast<gmpi::IMpUnknown*>(factory);
}

gmpi::IMpUnknown* Module_Info3::Build(int subtype, bool quiet)
{
    auto* factory = static_cast<gmpi::IMpFactory2*>(static_cast<void*>(getFactory()));
    if (!factory)
        return nullptr;
    void* instance = nullptr;
    const int32_t result = CreateNewer(factory, id_.c_str(), subtype, &instance);
    factory->release();
    if (result != gmpi::MP_OK || !instance)
    {
        if (!quiet)
            Report(L"Fail to instansiate module class (" + id_ +
                   L"). check RegisterPlugin() matches XML file module id");
        return nullptr;
    }
    return static_cast<gmpi::IMpUnknown*>(instance);
}

ug_base* Module_Info3::BuildSynthOb()
{
    if (!hasDsp_ || !GetUnitAdapter())
        return nullptr;
    gmpi::IMpUnknown* object = EnterBundle();
    if (!object)
        return nullptr;

    ug_base* unit = nullptr;
    void* found = nullptr;
    if (object->queryInterface(gmpi::MP_IID_FACTORY2, &found) == gmpi::MP_OK && found)
    {
        auto* factory = static_cast<gmpi::IMpFactory2*>(found);
        void* instance = nullptr;
        if (CreateNewer(factory, id_.c_str(), gmpi::MP_SUB_TYPE_AUDIO, &instance) == gmpi::MP_OK && instance)
            unit = WrapPlugin2(static_cast<gmpi::IMpUnknown*>(instance));
        factory->release();
    }
    // A bundle may hold older modules beside newer ones: what its newer
    // factory does not make, its older factory may.
    if (!unit)
        unit = BuildOlderPlugin(object);
    object->release();

    if (!unit)
        Report(L"Fail to instansiate module audio class (" + id_ +
               L"). check RegisterPlugin() matches XML file module id");
    return unit;
}

ug_base* Module_Info3::BuildOlderPlugin(gmpi::IMpUnknown* object)
{
    void* found = nullptr;
    if (object->queryInterface(gmpi::MP_IID_FACTORY, &found) != gmpi::MP_OK || !found)
        return nullptr;
    auto* factory = static_cast<gmpi::IMpFactory*>(found);
    const SdkUnitAdapter* adapter = GetUnitAdapter();

    // The older plug-in is made with its host: the unit comes first.
    gmpi::IMpUnknown* host = nullptr;
    ug_base* unit = adapter->newPlugin1Unit(this, &host);
    void* instance = nullptr;
    if (unit && CreateOlder(factory, id_.c_str(), gmpi::MP_SUB_TYPE_AUDIO, host, &instance) == gmpi::MP_OK &&
        instance)
    {
        if (auto* plugin = static_cast<gmpi::IMpPlugin*>(
                TakeInterface(static_cast<gmpi::IMpUnknown*>(instance), gmpi::MP_IID_PLUGIN)))
        {
            adapter->attachPlugin1(unit, plugin);
            factory->release();
            return unit;
        }
    }
    if (unit)
        adapter->destroy(unit);
    factory->release();
    return nullptr;
}

bool Module_Info3::Build_BackwardCompatible(GuiModuleWrapper* wrapper)
{
    const GuiWrapperAccess* access = guiWrapperAccess().load(std::memory_order_acquire);
    if (!hasGui_ || !LoadDll() || graphicsApi_ != GA_NONE)
        return false;
    gmpi::IMpUnknown* object = EnterBundle();
    if (!object)
        return false;
    void* found = nullptr;
    bool made = false;
    if (object->queryInterface(gmpi::MP_IID_FACTORY, &found) == gmpi::MP_OK && found)
    {
        auto* factory = static_cast<gmpi::IMpFactory*>(found);
        gmpi::IMpUnknown* host = wrapper && access ? access->hostOf(wrapper) : nullptr;
        void* instance = nullptr;
        if (CreateOlder(factory, id_.c_str(), gmpi::MP_SUB_TYPE_GUI, host, &instance) == gmpi::MP_OK && instance)
        {
            if (void* gui = TakeInterface(static_cast<gmpi::IMpUnknown*>(instance), gmpi::MP_IID_GUI_PLUGIN))
            {
                // The wrapper takes its own reference.
                if (wrapper && access)
                    access->attach(wrapper, static_cast<gmpi::IMpUnknown*>(gui));
                static_cast<gmpi::IMpUnknown*>(gui)->release();
                made = true;
            }
        }
        factory->release();
    }
    object->release();
    if (!made)
        Report(L"Fail to instansiate module GUI class. check RegisterPlugin() matches XML file module id: " + id_);
    return made;
}
