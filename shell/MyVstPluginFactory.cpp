#include "shell/MyVstPluginFactory.h"

#include <tinyxml.h>

#include <algorithm>
#include <cstring>

#include "core/conversion.h"
#include "core/it_enum_list.h"
#include "pluginterfaces/vst/ivstaudioprocessor.h"
#include "pluginterfaces/vst/ivstcomponent.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"
#include "shell/ADelayController.h"
#include "shell/ADelayProcessor.h"
#include "shell/KvGuarded.h"
#include "core/SafeXmlText.h"

using namespace Steinberg;

namespace
{
constexpr const char* kSdkVersion = "VST 3.6.6";

// Copies what fits before the field's terminator, whole characters only; the
// rest of the field is zero.
template <std::size_t N>
void CopyField(char8 (&field)[N], const std::string& text)
{
    std::memset(field, 0, N);
    StringToChars(text, field, static_cast<int>(N));
}

// The same in UTF-16.
template <std::size_t N>
void CopyField(char16 (&field)[N], const std::string& text)
{
    std::fill(field, field + N, char16(0));
    Utf8ToChar16s(text, field, static_cast<int>(N));
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}", bytes in the order written. Any
// other text leaves the id all zero.
FUID ParseClassId(const char* text)
{
    FUID id;
    if (text == nullptr || std::strlen(text) != 38 || text[0] != '{' || text[37] != '}')
        return id;
    TUID bytes = {};
    int byte = 0;
    for (int i = 1; i < 37;)
    {
        if (i == 9 || i == 14 || i == 19 || i == 24)
        {
            if (text[i] != '-')
                return id;
            ++i;
            continue;
        }
        const int high = HexDigit(text[i]);
        const int low = HexDigit(text[i + 1]);
        if (high < 0 || low < 0)
            return id;
        bytes[byte++] = static_cast<char>(high * 16 + low);
        i += 2;
    }
    return FUID::fromTUID(bytes);
}

// The class id, cardinality and category, which every class info record
// holds alike, from the full record.
template <class Info>
void CopyClassHeader(const PClassInfo2& full, Info& info)
{
    std::memcpy(info.cid, full.cid, sizeof(TUID));
    info.cardinality = full.cardinality;
    std::memcpy(info.category, full.category, sizeof(info.category));
}

std::string TextAttribute(const TiXmlElement* element, const char* name)
{
    const char* value = element->Attribute(name);
    return value ? std::string(value) : std::string();
}
} // namespace

MyVstPluginFactory::MyVstPluginFactory(BundleInfo bundle) : bundle_(std::move(bundle)) {}

MyVstPluginFactory* MyVstPluginFactory::GetInstance()
{
    static MyVstPluginFactory instance(BundleInfo::Own());
    return &instance;
}

tresult PLUGIN_API MyVstPluginFactory::queryInterface(const TUID queried, void** obj)
{
    if (obj == nullptr)
        return kInvalidArgument;
    if (FUnknownPrivate::iidEqual(queried, IPluginFactory::iid) ||
        FUnknownPrivate::iidEqual(queried, IPluginFactory2::iid) ||
        FUnknownPrivate::iidEqual(queried, IPluginFactory3::iid) || FUnknownPrivate::iidEqual(queried, FUnknown::iid))
    {
        *obj = this;
        addRef();
        return kResultOk;
    }
    *obj = nullptr;
    return kNoInterface;
}

void MyVstPluginFactory::initialize()
{
    // Marked first, so a document that fails to parse is not read again.
    if (initialized_)
        return;
    initialized_ = true;

    const std::string text = getXml("factory.kv.xml");
    if (text.empty() || !IsSafeXmlText(text))
        return;
    TiXmlDocument document;
    document.Parse(text.c_str());
    if (document.Error())
        return;
    const TiXmlElement* root = document.FirstChildElement();
    if (root == nullptr)
        return;

    if (const TiXmlElement* vendor = root->FirstChildElement("Vendor"))
    {
        vendor_ = TextAttribute(vendor, "Name");
        url_ = TextAttribute(vendor, "Url");
        email_ = "mailto:" + TextAttribute(vendor, "Email");
    }
    const TiXmlElement* plugins = root->FirstChildElement("Plugins");
    const TiXmlElement* plugin = plugins ? plugins->FirstChildElement("Plugin") : nullptr;
    if (plugin == nullptr)
        return;
    name_ = TextAttribute(plugin, "Name");
    version_ = TextAttribute(plugin, "Version");
    processorId_ = ParseClassId(plugin->Attribute("ProcessorId"));
    controllerId_ = ParseClassId(plugin->Attribute("ControllerId"));
    subCategories_ = TextAttribute(plugin, "subCategories");
    outputsAsStereoPairs_ = TextAttribute(plugin, "outputsAsStereoPairs") == "true";
    outputNames_ = TextAttribute(plugin, "outputNames");
}

tresult PLUGIN_API MyVstPluginFactory::getFactoryInfo(PFactoryInfo* info)
{
    return KvGuard::Run("getFactoryInfo", kInternalError, [&]() -> tresult {
        initialize();
        if (info == nullptr)
            return kInvalidArgument;
        CopyField(info->vendor, vendor_);
        CopyField(info->url, url_);
        CopyField(info->email, email_);
        info->flags = PFactoryInfo::kUnicode;
        return kResultOk;
    });
}

int32 PLUGIN_API MyVstPluginFactory::countClasses()
{
    return KvGuard::Run("countClasses", int32{0}, [&]() -> int32 {
        initialize();
        return 2;
    });
}

void MyVstPluginFactory::fillClassInfo2(int32 index, PClassInfo2& info) const
{
    (index == 0 ? processorId_ : controllerId_).toTUID(info.cid);
    info.cardinality = PClassInfo::kManyInstances;
    CopyField(info.category,
              index == 0 ? std::string(kVstAudioEffectClass) : std::string(kVstComponentControllerClass));
    CopyField(info.name, name_);
    info.classFlags = index == 0 ? Vst::kDistributable : 0;
    CopyField(info.subCategories, index == 0 ? subCategories_ : std::string());
    CopyField(info.vendor, vendor_);
    CopyField(info.version, version_);
    CopyField(info.sdkVersion, kSdkVersion);
}

tresult PLUGIN_API MyVstPluginFactory::getClassInfo(int32 index, PClassInfo* info)
{
    return KvGuard::Run("getClassInfo", kInternalError, [&]() -> tresult {
        initialize();
        if (index < 0 || index > 1 || info == nullptr)
            return kInvalidArgument;
        PClassInfo2 full;
        fillClassInfo2(index, full);
        CopyClassHeader(full, *info);
        std::memcpy(info->name, full.name, sizeof(info->name));
        return kResultOk;
    });
}

tresult PLUGIN_API MyVstPluginFactory::getClassInfo2(int32 index, PClassInfo2* info)
{
    return KvGuard::Run("getClassInfo2", kInternalError, [&]() -> tresult {
        initialize();
        if (index < 0 || index > 1 || info == nullptr)
            return kInvalidArgument;
        fillClassInfo2(index, *info);
        return kResultOk;
    });
}

tresult PLUGIN_API MyVstPluginFactory::getClassInfoUnicode(int32 index, PClassInfoW* info)
{
    return KvGuard::Run("getClassInfoUnicode", kInternalError, [&]() -> tresult {
        initialize();
        if (index < 0 || index > 1 || info == nullptr)
            return kInvalidArgument;
        PClassInfo2 full;
        fillClassInfo2(index, full);
        CopyClassHeader(full, *info);
        CopyField(info->name, name_);
        info->classFlags = full.classFlags;
        std::memcpy(info->subCategories, full.subCategories, sizeof(info->subCategories));
        CopyField(info->vendor, vendor_);
        CopyField(info->version, version_);
        CopyField(info->sdkVersion, kSdkVersion);
        return kResultOk;
    });
}

tresult PLUGIN_API MyVstPluginFactory::createInstance(FIDString cid, FIDString interfaceId, void** obj)
{
    return KvGuard::Run("createInstance", kInternalError, [&]() -> tresult {
        initialize();
        if (obj == nullptr)
            return kInvalidArgument;
        *obj = nullptr;
        if (cid == nullptr || interfaceId == nullptr)
            return kInvalidArgument;

        FUnknown* instance = nullptr;
        if (FUID::fromTUID(reinterpret_cast<const char*>(cid)) == processorId_)
        {
            auto* processor = new GuardedProcessor(this);
            if (subCategories_.find("Instrument") != std::string::npos)
                processor->setInstrument(true);
            processor->setControllerClass(controllerId_);
            instance = static_cast<Vst::IAudioProcessor*>(processor);
        }
        else
        {
            instance = static_cast<Vst::IEditController*>(new GuardedController(this));
        }

        // The host ends up holding the only reference, or the object dies here.
        const tresult result = instance->queryInterface(interfaceId, obj);
        instance->release();
        if (result != kResultOk)
        {
            *obj = nullptr;
            return kNoInterface;
        }
        return kResultOk;
    });
}

tresult PLUGIN_API MyVstPluginFactory::setHostContext(FUnknown* /*context*/)
{
    return kNotImplemented;
}

std::string MyVstPluginFactory::getXml(const char* name) const
{
    if (name == nullptr || !bundle_.valid())
        return {};
    return bundle_.readResource(name);
}

std::wstring MyVstPluginFactory::getKvmFolder() const
{
    return Utf8ToWstring(bundle_.plugInsPath());
}

std::wstring MyVstPluginFactory::getImbeddedFileFolder() const
{
    return Utf8ToWstring(bundle_.resourcesPath());
}

std::wstring MyVstPluginFactory::GetOutputsName(int n) const
{
    it_enum_list items(Utf8ToWstring(outputNames_));
    if (n >= 0 && items.FindIndex(n))
        return items.CurrentItem()->text;
    return L"AudioOutput";
}
