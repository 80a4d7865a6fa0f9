// User preset files: export of the stateful parameters' values and import of
// them as editor writes.

#include <tinyxml.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "core/Base64.h"
#include "core/ExactXmlText.h"
#include "core/ModuleXml.h"
#include "core/ParameterFieldType.h"
#include "core/RawConversions.h"
#include "core/ValueRule.h"
#include "core/conversion.h"
#include "core/it_enum_list.h"
#include "shell/ADelayController.h"
#include "core/SafeXmlText.h"

namespace
{
// Drops the text from the last "." of the last path element, if any.
std::string WithoutExtension(const std::string& path)
{
    const std::size_t slash = path.find_last_of("/\\");
    const std::size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return path;
    return path.substr(0, dot);
}

// The value as preset text: numbers and text as their text form, blobs in
// Base64 (their raw text form would lose them).
std::string ValueText(const KvParameter& record, const std::string& raw)
{
    if (record.valueType == 10)
        return Base64::encode(raw);
    // Whole numbers as the controller holds them: an enum in 2 or 4 bytes, an
    // int in 4, a 64-bit int in 8.
    if (record.HasChoices() || record.valueType == 9)
    {
        int64_t value = 0;
        if (raw.size() == 2)
            value = RawToValue<int16_t>(raw.data(), 2);
        else if (raw.size() == 4)
            value = RawToValue<int32_t>(raw.data(), 4);
        else if (raw.size() == 8)
            value = RawToValue<int64_t>(raw.data(), 8);
        else
            return std::string();
        return std::to_string(value);
    }
    return RawToUtf8B(record.valueType, raw.data(), static_cast<int>(raw.size()));
}

// The raw value of a preset text, or false when the text is no valid value of
// the record: numbers must be finite and inside the record's range or list.
bool ParseValue(const KvParameter& record, const char* text, std::string& raw)
{
    const std::string whole = text ? text : "";
    switch (record.valueType)
    {
    case 1:
        // The whole text: quotes are only added around texts with blanks.
        raw = ParseToRaw(1, UnQuoteStringIfSpaces(whole));
        return true;
    case 10:
    {
        std::vector<std::string> items;
        XmlSplitString(whole.c_str(), items);
        raw = items.empty() ? std::string() : Base64::decode(items.front());
        return true;
    }
    default:
        break;
    }
    std::vector<std::string> items;
    XmlSplitString(whole.c_str(), items);
    if (items.empty())
    {
        raw.clear();
        return true;
    }
    // Numbers perhaps with the decimal comma of an earlier build.
    const std::string item = ValueRule::SavedNumberText(items.front());
    const bool isNumber = record.valueType == 3 || record.valueType == 6 || record.HasChoices() ||
                          record.valueType == 9;
    if (isNumber)
    {
        // Whole, finite numbers only, read as saved states are read.
        double number = 0.0;
        if (!ValueRule::ParseNumber(item, number))
            return false;
        // The number is checked before it becomes an integer: one beyond
        // the integer's range has no integer value.
        if (record.HasChoices() || record.valueType == 9)
        {
            int32_t value = 0;
            if (record.enumList.empty() ? number < record.rangeMinimum || number > record.rangeMaximum ||
                                              !ValueRule::Int(item, record.rangeMinimum, record.rangeMaximum, value)
                                        : !ValueRule::Enum(item, record.enumList, value))
                return false;
            // Ranges lie within an int32's reach; a 64-bit int is held in 8 bytes.
            const auto wide = static_cast<int64_t>(value);
            if (record.valueType == 9)
                raw.assign(reinterpret_cast<const char*>(&wide), sizeof(wide));
            else
                raw.assign(reinterpret_cast<const char*>(&value), sizeof(value));
            return true;
        }
        if (number < record.rangeMinimum || number > record.rangeMaximum)
            return false;
    }
    raw = ParseToRaw(record.valueType, item);
    return true;
}
} // namespace

std::string ADelayController::PresetFileName(const std::string& path)
{
    return WithoutExtension(WithoutExtension(path)) + ".preset.xml";
}

bool ADelayController::ExportPresetXml(const std::string& path)
{
    TiXmlDocument document;
    document.LinkEndChild(new TiXmlDeclaration("1.0", "", ""));
    auto* presets = new TiXmlElement("Presets");
    document.LinkEndChild(presets);
    auto* names = new TiXmlElement("PresetNames");
    presets->LinkEndChild(names);
    auto* name = new TiXmlElement("Name");
    name->LinkEndChild(new TiXmlText("Preset"));
    names->LinkEndChild(name);
    auto* list = new TiXmlElement("Parameters");
    presets->LinkEndChild(list);

    for (const auto& [handle, record] : parameters_)
    {
        if (record.stateful == 0)
            continue;
        // A host parameter holds the current value of its record, whatever its type.
        std::string raw = RecordValue(handle, record);
        if (record.index >= 0)
        {
            std::string current;
            if (getParameterValue(handle, FT_VALUE, current))
                raw = current;
        }
        auto* element = new TiXmlElement("Parameter");
        element->SetAttribute("Handle", handle);
        element->SetAttribute("Name", record.name.c_str());
        element->SetAttribute("DataType", record.valueType);
        auto* patchList = new TiXmlElement("patch-list");
        // Blanks as saved: a run of them would come back as one from plain text.
        AppendExactXmlText(patchList, QuoteStringIfSpaces(ValueText(record, raw)));
        element->LinkEndChild(patchList);
        list->LinkEndChild(element);
    }
    return document.SaveFile(PresetFileName(path).c_str());
}

bool ADelayController::ImportPresetXml(const std::string& path)
{
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr)
        return false;
    // Preset files are small; a huge one is refused rather than read.
    constexpr long kMaxPresetBytes = 16L << 20;
    std::string text;
    char piece[65536];
    std::size_t got = 0;
    while ((got = std::fread(piece, 1, sizeof(piece), file)) > 0)
    {
        text.append(piece, got);
        if (static_cast<long>(text.size()) > kMaxPresetBytes)
            break;
    }
    std::fclose(file);
    if (static_cast<long>(text.size()) > kMaxPresetBytes || !IsSafeXmlText(text))
        return false;

    TiXmlDocument document;
    document.Parse(text.c_str());
    const TiXmlElement* root = document.Error() ? nullptr : document.RootElement();
    if (root == nullptr)
        return false;
    const TiXmlElement* list = root->FirstChildElement("Parameters");
    if (list == nullptr)
        return true;

    for (const TiXmlElement* element = list->FirstChildElement("Parameter"); element;
         element = element->NextSiblingElement("Parameter"))
    {
        int handle = -1;
        int dataType = -1;
        element->QueryIntAttribute("Handle", &handle);
        element->QueryIntAttribute("DataType", &dataType);
        const auto found = parameters_.find(handle);
        const TiXmlElement* patchList = element->FirstChildElement("patch-list");
        if (found == parameters_.end() || found->second.valueType != dataType || patchList == nullptr)
            continue;
        std::string raw;
        const std::string valueText = ExactXmlText(patchList);
        if (!ParseValue(found->second, valueText.c_str(), raw))
            continue;
        setParameterFromGui(handle, FT_VALUE, static_cast<int>(raw.size()), raw.data());
        NotifyAutomators(handle);
    }
    ValuesChanged();
    return true;
}
