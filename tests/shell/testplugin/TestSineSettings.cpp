#include "TestSineSettings.h"

#include <tinyxml.h>

#include "shell/BundleInfo.h"

namespace
{
std::string AttributeText(const TiXmlElement* element, const char* name)
{
    const char* text = element ? element->Attribute(name) : nullptr;
    return text ? text : "";
}
} // namespace

const TestSineSettings& TestSineSettings::Get()
{
    static const TestSineSettings settings;
    return settings;
}

TestSineSettings::TestSineSettings()
{
    const std::string text = BundleInfo::Own().readResource("factory.kv.xml");
    TiXmlDocument document;
    document.Parse(text.c_str());
    if (document.Error())
        return;
    const TiXmlElement* root = document.RootElement();
    if (!root)
        return;

    const TiXmlElement* vendor = root->FirstChildElement("Vendor");
    vendor_ = AttributeText(vendor, "Name");
    url_ = AttributeText(vendor, "Url");
    email_ = "mailto:" + AttributeText(vendor, "Email");

    const TiXmlElement* plugins = root->FirstChildElement("Plugins");
    const TiXmlElement* plugin = plugins ? plugins->FirstChildElement("Plugin") : nullptr;
    name_ = AttributeText(plugin, "Name");
    version_ = AttributeText(plugin, "Version");
    subCategories_ = AttributeText(plugin, "subCategories");
    processorId_.fromRegistryString(AttributeText(plugin, "ProcessorId").c_str());
    controllerId_.fromRegistryString(AttributeText(plugin, "ControllerId").c_str());

    const std::string fail = AttributeText(plugin, "Fail");
    std::size_t start = 0;
    while (start < fail.size())
    {
        auto end = fail.find(',', start);
        if (end == std::string::npos)
            end = fail.size();
        if (end > start)
            failures_.insert(fail.substr(start, end - start));
        start = end + 1;
    }
}
