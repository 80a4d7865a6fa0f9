#pragma once
// The plug-in's factory and identity. One instance per process reads the
// bundle's factory.kv.xml once and offers two classes: the audio processor and
// the edit controller. It is also the shell's access to its own bundle:
// resource files, the PlugIns folder and the Resources folder.

#include <string>

#include "pluginterfaces/base/ipluginbase.h"
#include "pluginterfaces/base/funknown.h"
#include "shell/BundleInfo.h"

// SDK interfaces are COM-style: objects die through release(), never through
// a base pointer, so their bases have no virtual destructor.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
class MyVstPluginFactory : public Steinberg::IPluginFactory3
{
public:
    // A factory for the bundle given (tests); the process uses GetInstance.
    explicit MyVstPluginFactory(BundleInfo bundle);
    virtual ~MyVstPluginFactory() = default;
    MyVstPluginFactory(const MyVstPluginFactory&) = delete;
    MyVstPluginFactory& operator=(const MyVstPluginFactory&) = delete;

    // The process-wide factory of the bundle that holds this code.
    static MyVstPluginFactory* GetInstance();

    // FUnknown
    Steinberg::tresult PLUGIN_API queryInterface(const Steinberg::TUID queried, void** obj) SMTG_OVERRIDE;
    // The host never destroys the factory: nothing to count.
    Steinberg::uint32 PLUGIN_API addRef() SMTG_OVERRIDE { return 1; }
    Steinberg::uint32 PLUGIN_API release() SMTG_OVERRIDE { return 1; }

    // IPluginFactory, IPluginFactory2, IPluginFactory3
    Steinberg::tresult PLUGIN_API getFactoryInfo(Steinberg::PFactoryInfo* info) SMTG_OVERRIDE;
    Steinberg::int32 PLUGIN_API countClasses() SMTG_OVERRIDE;
    Steinberg::tresult PLUGIN_API getClassInfo(Steinberg::int32 index, Steinberg::PClassInfo* info) SMTG_OVERRIDE;
    Steinberg::tresult PLUGIN_API createInstance(Steinberg::FIDString cid, Steinberg::FIDString interfaceId,
                                                 void** obj) SMTG_OVERRIDE;
    Steinberg::tresult PLUGIN_API getClassInfo2(Steinberg::int32 index, Steinberg::PClassInfo2* info) SMTG_OVERRIDE;
    Steinberg::tresult PLUGIN_API getClassInfoUnicode(Steinberg::int32 index,
                                                      Steinberg::PClassInfoW* info) SMTG_OVERRIDE;
    Steinberg::tresult PLUGIN_API setHostContext(Steinberg::FUnknown* context) SMTG_OVERRIDE;

    // Reads the factory document, once; later calls do nothing.
    void initialize();

    // The whole content of a resource file, or empty text.
    std::string getXml(const char* name) const;
    // The bundle's PlugIns and Resources folders (ending in "/"), or empty.
    std::wstring getKvmFolder() const;
    std::wstring getImbeddedFileFolder() const;

    bool GetOutputsAsStereoPairs() const { return outputsAsStereoPairs_; }
    // The name of output channel n: item n of outputNames, else "AudioOutput".
    std::wstring GetOutputsName(int n) const;

    const std::string& vendor() const { return vendor_; }
    const std::string& url() const { return url_; }
    const std::string& email() const { return email_; }
    const std::string& name() const { return name_; }
    const std::string& version() const { return version_; }
    const std::string& subCategories() const { return subCategories_; }
    const Steinberg::FUID& processorId() const { return processorId_; }
    const Steinberg::FUID& controllerId() const { return controllerId_; }

private:
    // Fills the records of class 0 (processor) or 1 (controller).
    void fillClassInfo2(Steinberg::int32 index, Steinberg::PClassInfo2& info) const;

    BundleInfo bundle_;
    std::string vendor_;
    std::string url_;
    std::string email_;
    std::string name_;
    std::string version_;
    std::string subCategories_;
    Steinberg::FUID processorId_;
    Steinberg::FUID controllerId_;
    bool outputsAsStereoPairs_ = false;
    std::string outputNames_;
    bool initialized_ = false;
};
#pragma GCC diagnostic pop
