// The test instrument's factory and module hooks: two classes, identity from
// the bundle's factory.kv.xml, and the bundle's own path as the factory URL so
// tests can see where the module found itself.

#include <algorithm>
#include <cstring>
#include <string>

#include "TestSineController.h"
#include "TestSineProcessor.h"
#include "TestSineSettings.h"
#include "pluginterfaces/base/ipluginbase.h"
#include "pluginterfaces/vst/ivstaudioprocessor.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"
#include "shell/BundleInfo.h"
#include "shell/ModuleEntry.h"

using namespace Steinberg;

namespace
{
template <std::size_t N>
void CopyText(char8 (&field)[N], const std::string& text)
{
    std::memset(field, 0, N);
    std::memcpy(field, text.data(), std::min(text.size(), N - 1));
}

// A COM-style object: never destroyed through a base pointer.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
class TestSineFactory : public IPluginFactory2
{
public:
    tresult PLUGIN_API queryInterface(const TUID queried, void** obj) SMTG_OVERRIDE
    {
        if (FUnknownPrivate::iidEqual(queried, IPluginFactory2::iid) || FUnknownPrivate::iidEqual(queried, IPluginFactory::iid) ||
            FUnknownPrivate::iidEqual(queried, FUnknown::iid))
        {
            *obj = this;
            return kResultOk;
        }
        *obj = nullptr;
        return kNoInterface;
    }
    // One object for the whole process: nothing to count.
    uint32 PLUGIN_API addRef() SMTG_OVERRIDE { return 1; }
    uint32 PLUGIN_API release() SMTG_OVERRIDE { return 1; }

    tresult PLUGIN_API getFactoryInfo(PFactoryInfo* info) SMTG_OVERRIDE
    {
        if (!info)
            return kInvalidArgument;
        const auto& settings = TestSineSettings::Get();
        CopyText(info->vendor, settings.vendor_);
        CopyText(info->url, BundleInfo::Own().bundlePath());
        CopyText(info->email, settings.email_);
        info->flags = PFactoryInfo::kNoFlags;
        return kResultOk;
    }

    int32 PLUGIN_API countClasses() SMTG_OVERRIDE { return 2; }

    tresult PLUGIN_API getClassInfo(int32 index, PClassInfo* info) SMTG_OVERRIDE
    {
        PClassInfo2 full;
        const tresult result = getClassInfo2(index, &full);
        if (result != kResultOk || !info)
            return result;
        std::memcpy(info->cid, full.cid, sizeof(TUID));
        info->cardinality = full.cardinality;
        std::memcpy(info->category, full.category, sizeof(info->category));
        std::memcpy(info->name, full.name, sizeof(info->name));
        return kResultOk;
    }

    tresult PLUGIN_API getClassInfo2(int32 index, PClassInfo2* info) SMTG_OVERRIDE
    {
        if (!info || index < 0 || index > 1)
            return kInvalidArgument;
        const auto& settings = TestSineSettings::Get();
        *info = PClassInfo2();
        (index == 0 ? settings.processorId_ : settings.controllerId_).toTUID(info->cid);
        info->cardinality = PClassInfo::kManyInstances;
        CopyText(info->category, index == 0 ? kVstAudioEffectClass : kVstComponentControllerClass);
        CopyText(info->name, settings.name_);
        CopyText(info->subCategories, index == 0 ? settings.subCategories_ : std::string());
        CopyText(info->vendor, settings.vendor_);
        CopyText(info->version, settings.version_);
        CopyText(info->sdkVersion, kVstVersionString);
        return kResultOk;
    }

    tresult PLUGIN_API createInstance(FIDString cid, FIDString interfaceId, void** obj) SMTG_OVERRIDE
    {
        if (!obj)
            return kInvalidArgument;
        *obj = nullptr;
        const auto& settings = TestSineSettings::Get();
        const FUID classId = FUID::fromTUID(cid);
        FUnknown* instance = nullptr;
        if (classId == settings.processorId_ && !settings.fails("createProcessor"))
            instance = static_cast<Vst::IAudioProcessor*>(new TestSineProcessor);
        else if (classId == settings.controllerId_ && !settings.fails("createController"))
            instance = static_cast<Vst::IEditController*>(new TestSineController);
        if (!instance)
            return kResultFalse;
        if (settings.fails("nullInstance"))
        {
            instance->release();
            return kResultOk;
        }
        const tresult result = instance->queryInterface(interfaceId, obj);
        instance->release();
        return result == kResultOk ? kResultOk : kNoInterface;
    }
};
#pragma GCC diagnostic pop

TestSineFactory factory;
} // namespace

bool InitModule() { return !TestSineSettings::Get().fails("entry"); }
bool DeinitModule() { return true; }

extern "C" SMTG_EXPORT_SYMBOL IPluginFactory* PLUGIN_API GetPluginFactory()
{
    return &factory;
}
