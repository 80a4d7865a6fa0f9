// The preset state document written and read by the patch manager. The
// document is read into, and written from, a set of values on the thread
// that calls; only copying the values in or out happens on the audio thread.
#include <tinyxml.h>

#include <algorithm>
#include <string>

#include "core/SafeXmlText.h"
#include "engine/parameters/dsp_patch_parameter_base.h"
#include "engine/parameters/DspPatchManager.h"

// The preset state document: one Param per parameter with its handle, its
// host index and the value the user hears now (the current program's). The
// root element says which program that is, for a patch of several programs
// the host chooses among, and that the host's bypass is on, when it is;
// readers that know neither skip the root's attributes, and a patch without
// programs and with the bypass off writes none.
void DspPatchManager::getPresetState(std::string& out)
{
    FormatPresetState(*CaptureWholePreset(), out);
}

void DspPatchManager::setPresetState(const std::string& text)
{
    if (std::unique_ptr<PresetValues> set = PreparePresetState(text))
        ApplyPresetValues(*set);
}

std::unique_ptr<PresetValues> DspPatchManager::PreparePresetCapture()
{
    auto set = std::make_unique<PresetValues>();
    set->values.resize(parameters_.size());
    for (size_t i = 0; i < parameters_.size(); ++i)
    {
        dsp_patch_parameter_base* parameter = parameters_[i];
        PresetValues::Value& value = set->values[i];
        value.parameter = parameter;
        const size_t room = parameter->typeIsVariableSize() ? parameter->ValueRoom()
                                                            : static_cast<size_t>(std::max(parameter->typeSize(), 0));
        value.bytes.reserve(std::max<size_t>(room, 1));
    }
    return set;
}

void DspPatchManager::CapturePresetValues(PresetValues& set)
{
    set.complete = true;
    set.program = PatchCount() > 1 ? program_ : -1;
    for (PresetValues::Value& value : set.values)
    {
        if (!value.parameter->CopyValueOut(value.bytes, value.needed))
            set.complete = false;
    }
}

void DspPatchManager::FormatPresetState(const PresetValues& set, std::string& out)
{
    set.Format(out);
}

std::unique_ptr<PresetValues> DspPatchManager::PreparePresetState(const std::string& text)
{
    if (!IsSafeXmlText(text))
        return nullptr;
    TiXmlDocument document;
    document.Parse(text.c_str());
    if (document.Error())
        return nullptr;
    TiXmlElement* root = document.FirstChildElement("Parameters");
    if (!root)
        return nullptr;
    auto set = std::make_unique<PresetValues>();
    set->ReadSwitches(*root, PatchCount());
    for (TiXmlElement* element = root->FirstChildElement("Param"); element;
         element = element->NextSiblingElement("Param"))
    {
        int id = -1;
        element->QueryIntAttribute("id", &id);
        dsp_patch_parameter_base* parameter = GetParameter(id);
        const char* valueText = element->Attribute("val");
        if (!parameter || parameter->isPolyphonic() || !valueText || !parameter->Storage(0))
            continue;
        PresetValues::Value value;
        value.parameter = parameter;
        if (!parameter->PrepareValueFromXml(valueText, value.bytes))
            continue;
        // Taken over whole by the storage, which keeps at least its room.
        if (parameter->typeIsVariableSize())
            value.bytes.reserve(std::max(value.bytes.size(), parameter->ValueRoom()));
        set->values.push_back(std::move(value));
    }
    return set;
}

void DspPatchManager::ApplyPresetValues(PresetValues& set)
{
    // The program first: the values are its own, and no other program's
    // change. The editor and the host heard of the program's values with
    // the change; they then hear of those the state gives it.
    const bool programChanged = set.program >= 0 && set.program != program_;
    if (set.program >= 0)
        setProgramDspThread(set.program);
    for (PresetValues::Value& value : set.values)
    {
        if (value.parameter->ApplyPreparedValue(value.bytes))
        {
            value.parameter->OnValueChangedFromGUI(false, 0, false);
            if (programChanged)
                value.parameter->ReportValue();
        }
    }
}
