#include "tools/kvhost/PluginModule.h"

#include <dlfcn.h>
#include <sys/stat.h>

#include <cstring>

using namespace Steinberg;

namespace
{
#if defined(__x86_64__)
constexpr const char* kArchitecture = "x86_64-linux";
#elif defined(__aarch64__)
constexpr const char* kArchitecture = "aarch64-linux";
#elif defined(__i386__)
constexpr const char* kArchitecture = "i386-linux";
#else
constexpr const char* kArchitecture = "unknown-linux";
#endif

using ModuleEntryFunction = bool (*)(void*);
using ModuleExitFunction = bool (*)();
using GetFactoryFunction = IPluginFactory* (*)();

// A fixed text field that the plug-in may have filled to the last byte.
template <std::size_t N>
std::string FieldText(const char8 (&field)[N])
{
    return std::string(field, strnlen(field, N));
}

template <typename Function>
Function Symbol(void* library, const char* name)
{
    void* address = dlsym(library, name);
    Function function = nullptr;
    static_assert(sizeof(function) == sizeof(address));
    std::memcpy(&function, &address, sizeof(function));
    return function;
}
} // namespace

std::string PluginModule::ModulePathInBundle(const std::string& bundlePath)
{
    std::string bundle = bundlePath;
    while (bundle.size() > 1 && bundle.back() == '/')
        bundle.pop_back();
    const auto slash = bundle.rfind('/');
    std::string name = slash == std::string::npos ? bundle : bundle.substr(slash + 1);
    const std::string suffix = ".vst3";
    if (name.size() > suffix.size() && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0)
        name.erase(name.size() - suffix.size());
    return bundle + "/Contents/" + kArchitecture + "/" + name + ".so";
}

std::shared_ptr<PluginModule> PluginModule::Load(const std::string& path, std::string& error)
{
    std::shared_ptr<PluginModule> module(new PluginModule());
    if (!module->open(path, error))
        return nullptr;
    return module;
}

bool PluginModule::open(const std::string& path, std::string& error)
{
    struct stat info{};
    if (path.empty() || stat(path.c_str(), &info) != 0)
    {
        error = "no such plug-in: \"" + path + "\"";
        return false;
    }
    modulePath_ = S_ISDIR(info.st_mode) ? ModulePathInBundle(path) : path;
    if (S_ISDIR(info.st_mode) && stat(modulePath_.c_str(), &info) != 0)
    {
        error = "\"" + path + "\" is not a VST3 bundle: " + modulePath_ + " is missing";
        return false;
    }

    // A bare file name would send dlopen searching the library path instead.
    if (modulePath_.find('/') == std::string::npos)
        modulePath_ = "./" + modulePath_;
    library_ = dlopen(modulePath_.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library_)
    {
        const char* reason = dlerror();
        error = "cannot load " + modulePath_ + ": " + (reason ? reason : "unknown reason");
        return false;
    }

    auto entry = Symbol<ModuleEntryFunction>(library_, "ModuleEntry");
    auto exit = Symbol<ModuleExitFunction>(library_, "ModuleExit");
    auto getFactory = Symbol<GetFactoryFunction>(library_, "GetPluginFactory");
    if (!entry || !exit)
    {
        error = modulePath_ + " does not export ModuleEntry and ModuleExit";
        close();
        return false;
    }
    if (!getFactory)
    {
        error = modulePath_ + " does not export GetPluginFactory";
        close();
        return false;
    }
    if (!entry(library_))
    {
        error = "ModuleEntry of " + modulePath_ + " failed";
        close();
        return false;
    }
    entered_ = true;

    // The factory comes with a reference that the host owns.
    factory_ = owned(getFactory());
    if (!factory_)
    {
        error = "GetPluginFactory of " + modulePath_ + " returned no factory";
        close();
        return false;
    }

    PFactoryInfo factoryInfo{};
    if (factory_->getFactoryInfo(&factoryInfo) == kResultOk)
    {
        vendor_ = FieldText(factoryInfo.vendor);
        url_ = FieldText(factoryInfo.url);
        email_ = FieldText(factoryInfo.email);
    }

    const int32 count = factory_->countClasses();
    if (count < 0 || count > kMaxClasses)
    {
        error = "the factory of " + modulePath_ + " reports " + std::to_string(count) + " classes";
        close();
        return false;
    }
    FUnknownPtr<IPluginFactory2> factory2(factory_);
    for (int32 i = 0; i < count; ++i)
    {
        ClassEntry entryInfo{};
        PClassInfo2 info2{};
        PClassInfo info1{};
        if (factory2 && factory2->getClassInfo2(i, &info2) == kResultOk)
        {
            std::memcpy(entryInfo.cid, info2.cid, sizeof(TUID));
            entryInfo.category = FieldText(info2.category);
            entryInfo.name = FieldText(info2.name);
            entryInfo.subCategories = FieldText(info2.subCategories);
        }
        else if (factory_->getClassInfo(i, &info1) == kResultOk)
        {
            std::memcpy(entryInfo.cid, info1.cid, sizeof(TUID));
            entryInfo.category = FieldText(info1.category);
            entryInfo.name = FieldText(info1.name);
        }
        else
        {
            continue;
        }
        classes_.push_back(entryInfo);
    }
    return true;
}

const PluginModule::ClassEntry* PluginModule::findClass(const char* category) const
{
    for (const auto& entry : classes_)
        if (entry.category == category)
            return &entry;
    return nullptr;
}

void PluginModule::close()
{
    // Everything from the library is released before it is closed.
    factory_ = nullptr;
    if (library_)
    {
        if (entered_)
        {
            if (auto exit = Symbol<ModuleExitFunction>(library_, "ModuleExit"))
                exit();
            entered_ = false;
        }
        dlclose(library_);
        library_ = nullptr;
    }
}

PluginModule::~PluginModule()
{
    close();
}
