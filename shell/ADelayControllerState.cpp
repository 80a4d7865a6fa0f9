// The controller's side of saved state: what the processor's state names
// besides its values (the program and the bypass), and the controller's own
// state, the values of host parameters that no patch parameter holds.
#include <tinyxml.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "core/SafeXmlText.h"
#include "core/ValueRule.h"
#include "core/conversion.h"
#include "engine/parameters/PatchStore.h"
#include "shell/ADelayController.h"
#include "shell/KvHostParameter.h"
#include "shell/StateChunk.h"

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace
{
// The controller's state document: one Value per host parameter it alone
// holds, with the host's id and normalised value.
constexpr const char* kOwnValuesRoot = "HostValues";
constexpr const char* kOwnValue = "Value";

// The patch parameters of a DSP document: elements with a DataType inside a
// Parameters element, anywhere in the document (in the patch manager of any
// container). Their host indexes, and the MIDI controller each monophonic
// one is bound to (automation codes of kind 2), by handle.
struct PatchParameters
{
    std::set<int> indexes;
    std::set<int> handles;
    std::map<int, int> controllers;
};

PatchParameters ReadPatchParameters(const std::string& dsp)
{
    PatchParameters found;
    std::set<int>& indexes = found.indexes;
    if (dsp.empty() || !IsSafeXmlText(dsp))
        return found;
    TiXmlDocument document;
    document.Parse(dsp.c_str());
    if (document.Error())
        return found;
    // The document has several top-level elements.
    std::vector<const TiXmlElement*> open;
    for (const TiXmlElement* top = document.FirstChildElement(); top; top = top->NextSiblingElement())
        open.push_back(top);
    while (!open.empty())
    {
        const TiXmlElement* element = open.back();
        open.pop_back();
        int index = -1;
        int code = -1;
        int handle = -1;
        int polyphonic = 0;
        const TiXmlNode* parent = element->Parent();
        const bool parameter = element->Attribute("DataType") && parent && parent->ToElement() &&
                               std::string(parent->Value()) == "Parameters";
        if (parameter && element->QueryIntAttribute("Index", &index) == TIXML_SUCCESS && index >= 0)
            indexes.insert(index);
        if (parameter && element->QueryIntAttribute("Handle", &handle) == TIXML_SUCCESS &&
            (element->QueryIntAttribute("isPolyphonic", &polyphonic) != TIXML_SUCCESS || polyphonic == 0))
            found.handles.insert(handle);
        if (parameter && element->QueryIntAttribute("Automation", &code) == TIXML_SUCCESS && (code >> 24) == 2 &&
            (code & 0xFFFFFF) < 128 && element->QueryIntAttribute("Handle", &handle) == TIXML_SUCCESS &&
            (element->QueryIntAttribute("isPolyphonic", &polyphonic) != TIXML_SUCCESS || polyphonic == 0))
            found.controllers.emplace(handle, code & 0x7F);
        for (const TiXmlElement* child = element->FirstChildElement(); child; child = child->NextSiblingElement())
            open.push_back(child);
    }
    return found;
}
} // namespace

std::set<int> ADelayController::FindOwnValues(const std::string& dsp)
{
    ownValues_.clear();
    const PatchParameters patch = ReadPatchParameters(dsp);
    const std::set<int>& held = patch.indexes;
    controllerOfHandle_.clear();
    handleOfController_.clear();
    for (const auto& [handle, controller] : patch.controllers)
        if (parameters_.count(handle) != 0)
        {
            controllerOfHandle_.emplace(handle, controller);
            handleOfController_.emplace(controller, handle);
        }
    for (const auto& [handle, record] : parameters_)
    {
        if (record.index < 0 || record.index > kMaxPatchIndex || held.count(record.index) != 0)
            continue;
        const auto id = static_cast<ParamID>(record.index);
        if (parameters.getParameter(id) != nullptr)
            ownValues_.push_back(id);
    }
    std::sort(ownValues_.begin(), ownValues_.end());
    ownValues_.erase(std::unique(ownValues_.begin(), ownValues_.end()), ownValues_.end());
    return patch.handles;
}

tresult PLUGIN_API ADelayController::getState(IBStream* state)
{
    if (OnUiThread())
        rereadInHostSets_ = false;
    // A bundle whose values the processor holds all has nothing of its own.
    if (ownValues_.empty())
        return kResultOk;
    if (state == nullptr)
        return kInvalidArgument;
    TiXmlDocument document;
    document.LinkEndChild(new TiXmlDeclaration("1.0", "", ""));
    auto* root = new TiXmlElement(kOwnValuesRoot);
    document.LinkEndChild(root);
    for (const ParamID id : ownValues_)
    {
        const Parameter* parameter = parameters.getParameter(id);
        if (parameter == nullptr)
            continue;
        // Whole: read back, the same double.
        const std::string value = DoubleToExactUtf8(getParamNormalized(id));
        auto* element = new TiXmlElement(kOwnValue);
        element->SetAttribute("id", static_cast<int>(id));
        element->SetAttribute("value", value.c_str());
        root->LinkEndChild(element);
    }
    TiXmlPrinter printer;
    printer.SetIndent(" ");
    printer.SetLineBreak("\n");
    document.Accept(&printer);
    return StateChunk::Write(state, printer.CStr()) ? kResultOk : kResultFalse;
}

tresult PLUGIN_API ADelayController::setState(IBStream* state)
{
    const bool onUiThread = OnUiThread();
    if (onUiThread)
        ServiceOtherThreads();
    // States saved before the controller had one hold nothing.
    std::string text;
    if (!StateChunk::Read(state, text) || text.empty())
    {
        // The last of a preset's loads: the host hears of what waits.
        FlushHostCalls();
        return kResultOk;
    }
    if (!IsSafeXmlText(text))
        return kResultFalse;
    TiXmlDocument document;
    document.Parse(text.c_str());
    const TiXmlElement* root = document.RootElement();
    if (document.Error() || root == nullptr || std::string(root->Value()) != kOwnValuesRoot)
        return kResultFalse;
    bool changed = false;
    for (const TiXmlElement* element = root->FirstChildElement(kOwnValue); element;
         element = element->NextSiblingElement(kOwnValue))
    {
        int id = -1;
        double value = 0.0;
        const char* saved = element->Attribute("value");
        if (element->QueryIntAttribute("id", &id) != TIXML_SUCCESS || saved == nullptr ||
            !ValueRule::ParseNumber(ValueRule::SavedNumberText(saved), value) || !ValueRule::Normalized(value))
            continue;
        // Only values the controller alone holds: the processor's state
        // gives the others.
        if (!std::binary_search(ownValues_.begin(), ownValues_.end(), static_cast<ParamID>(id)))
            continue;
        // The automators hear of it through update(); an editor's edit that
        // waits for the host is older.
        hostCalls_.Overtaken(static_cast<ParamID>(id));
        if (Store().HasHostId(id))
            Store().SetFigure(id, value);
        else
            EditController::setParamNormalized(static_cast<ParamID>(id), value);
        if (const int handle = HandleOf(static_cast<ParamID>(id)); handle >= 0)
        {
            if (OnUiThread())
                NotifyAutomators(handle);
            else
                DeferUpdate(handle);
        }
        changed = true;
    }
    if (changed)
        ValuesChanged();
    else
        FlushHostCalls();
    return kResultOk;
}
