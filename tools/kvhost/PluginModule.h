#pragma once
// A loaded plug-in module, as a DAW loads it: the bundle's shared object is
// opened, ModuleEntry called, the factory taken from GetPluginFactory and its
// classes listed. Instances keep the module alive (shared ownership), so the
// factory is released, ModuleExit called and the library closed only after
// every plug-in object is gone.

#include <memory>
#include <string>
#include <vector>

#include "pluginterfaces/base/ipluginbase.h"
#include "pluginterfaces/base/smartpointer.h"

class PluginModule
{
public:
    struct ClassEntry
    {
        Steinberg::TUID cid;
        std::string category;
        std::string name;
        std::string subCategories;
    };

    // `path` is a "<Name>.vst3" bundle folder or a shared object file.
    static std::shared_ptr<PluginModule> Load(const std::string& path, std::string& error);
    // The shared object inside a bundle folder: Contents/<arch>-linux/<Name>.so.
    static std::string ModulePathInBundle(const std::string& bundlePath);

    ~PluginModule();
    PluginModule(const PluginModule&) = delete;
    PluginModule& operator=(const PluginModule&) = delete;

    Steinberg::IPluginFactory* factory() const { return factory_.get(); }
    const std::string& modulePath() const { return modulePath_; }
    const std::string& vendor() const { return vendor_; }
    const std::string& url() const { return url_; }
    const std::string& email() const { return email_; }
    const std::vector<ClassEntry>& classes() const { return classes_; }

    // The first class of that category, or null.
    const ClassEntry* findClass(const char* category) const;

    // More classes than this are taken for a broken factory.
    static constexpr Steinberg::int32 kMaxClasses = 1024;

private:
    PluginModule() = default;
    bool open(const std::string& path, std::string& error);
    void close();

    void* library_ = nullptr;
    bool entered_ = false;
    std::string modulePath_;
    Steinberg::IPtr<Steinberg::IPluginFactory> factory_;
    std::string vendor_;
    std::string url_;
    std::string email_;
    std::vector<ClassEntry> classes_;
};
