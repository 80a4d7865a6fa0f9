// The preset state document written and read by the patch manager.
#include <tinyxml.h>

#include <string>

#include "core/SafeXmlText.h"
#include "core/dsp_patch_parameter_base.h"
#include "engine/DspPatchManager.h"

// The preset state document: one Param per parameter with its handle, its
// host index and the value the user hears now (the current program's).
void DspPatchManager::getPresetState(std::string& out)
{
    TiXmlDocument document;
    document.LinkEndChild(new TiXmlDeclaration("1.0", "", ""));
    auto* root = new TiXmlElement("Parameters");
    document.LinkEndChild(root);
    for (dsp_patch_parameter_base* parameter : parameters_)
    {
        auto* element = new TiXmlElement("Param");
        element->SetAttribute("id", parameter->Handle());
        if (parameter->getIndex() != -1)
            element->SetAttribute("index", parameter->getIndex());
        element->SetAttribute("val", parameter->GetValueAsXml(parameter->EffectivePatch(), 0));
        root->LinkEndChild(element);
    }
    TiXmlPrinter printer;
    printer.SetIndent(" ");
    printer.SetLineBreak("\n");
    document.Accept(&printer);
    out = printer.CStr();
}

void DspPatchManager::setPresetState(const std::string& text)
{
    if (!IsSafeXmlText(text))
        return;
    TiXmlDocument document;
    document.Parse(text.c_str());
    if (document.Error())
        return;
    TiXmlElement* root = document.FirstChildElement("Parameters");
    if (!root)
        return;
    for (TiXmlElement* element = root->FirstChildElement("Param"); element;
         element = element->NextSiblingElement("Param"))
    {
        int id = -1;
        element->QueryIntAttribute("id", &id);
        dsp_patch_parameter_base* parameter = GetParameter(id);
        const char* value = element->Attribute("val");
        if (!parameter || parameter->isPolyphonic() || !value)
            continue;
        const int patch = parameter->EffectivePatch();
        PatchStorageBase* entry = parameter->Storage(0);
        if (!entry)
            continue;
        const int oldSize = entry->GetValueSize(patch);
        const auto* oldData = static_cast<const unsigned char*>(entry->GetValue(patch));
        const std::string before = oldData ? std::string(reinterpret_cast<const char*>(oldData),
                                                         static_cast<size_t>(oldSize))
                                           : std::string();
        entry->AllowGrowth(true);
        parameter->SetValueFromXml(value, 0, patch);
        entry->AllowGrowth(false);
        const int newSize = entry->GetValueSize(patch);
        const auto* newData = static_cast<const char*>(entry->GetValue(patch));
        const std::string after = newData ? std::string(newData, static_cast<size_t>(newSize)) : std::string();
        if (before != after)
            parameter->OnValueChangedFromGUI(false, 0, false);
    }
}
