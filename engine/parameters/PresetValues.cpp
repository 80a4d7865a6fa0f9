#include "engine/parameters/PresetValues.h"

#include <tinyxml.h>

#include "engine/parameters/dsp_patch_parameter_base.h"

void PresetValues::GrowShortValues()
{
    for (Value& value : values)
    {
        if (value.needed > 0)
            value.bytes.reserve(static_cast<size_t>(value.needed));
        value.needed = 0;
    }
    complete = true;
}

void PresetValues::Format(std::string& out) const
{
    TiXmlDocument document;
    document.LinkEndChild(new TiXmlDeclaration("1.0", "", ""));
    auto* root = new TiXmlElement("Parameters");
    document.LinkEndChild(root);
    if (program >= 0)
        root->SetAttribute("program", program);
    if (bypass)
        root->SetAttribute("bypass", 1);
    for (const Value& value : values)
    {
        const dsp_patch_parameter_base* parameter = value.parameter;
        auto* element = new TiXmlElement("Param");
        element->SetAttribute("id", parameter->Handle());
        if (parameter->getIndex() != -1)
            element->SetAttribute("index", parameter->getIndex());
        element->SetAttribute("val", parameter->ValueAsXml(value.bytes.empty() ? nullptr : value.bytes.data(),
                                                           static_cast<int>(value.bytes.size())));
        root->LinkEndChild(element);
    }
    TiXmlPrinter printer;
    printer.SetIndent(" ");
    printer.SetLineBreak("\n");
    document.Accept(&printer);
    out = printer.CStr();
}

void PresetValues::ReadSwitches(const TiXmlElement& root, int programs)
{
    int chosen = -1;
    const bool named = root.QueryIntAttribute("program", &chosen) == TIXML_SUCCESS;
    program = named && chosen >= 0 && chosen < programs ? chosen : -1;
    int on = 0;
    bypass = root.QueryIntAttribute("bypass", &on) == TIXML_SUCCESS && on != 0;
}
