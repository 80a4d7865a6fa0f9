// The preset state document the patch manager writes and reads, and the
// patch store that keeps its values once the engine is attached to it.
#include <tinyxml.h>

#include <algorithm>
#include <set>
#include <string>

#include "core/SafeXmlText.h"
#include "engine/parameters/DspPatchManager.h"
#include "engine/parameters/PatchStore.h"
#include "engine/parameters/dsp_patch_parameter_base.h"

// The preset state document: one Param per parameter with its handle, its
// host index and the value the user hears now (the current program's). The
// root element names that program for a patch of several programs; readers
// that do not know it skip it. With the store attached, the store writes and
// reads it (with the host's bypass besides).
void DspPatchManager::getPresetState(std::string& out)
{
    if (store_)
    {
        store_->Format(out);
        return;
    }
    TiXmlDocument document;
    document.LinkEndChild(new TiXmlDeclaration("1.0", "", ""));
    auto* root = new TiXmlElement("Parameters");
    document.LinkEndChild(root);
    if (PatchCount() > 1)
        root->SetAttribute("program", program_);
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
    // With no block running: the engine hears the state at once.
    if (store_)
    {
        store_->Load(text);
        HearStore(-1);
        return;
    }
    if (!IsSafeXmlText(text))
        return;
    TiXmlDocument document;
    document.Parse(text.c_str());
    TiXmlElement* root = document.Error() ? nullptr : document.FirstChildElement("Parameters");
    if (!root)
        return;
    // The program first: the values are its own.
    int program = -1;
    if (root->QueryIntAttribute("program", &program) == TIXML_SUCCESS && program >= 0 && program < PatchCount())
        setProgramDspThread(program);
    for (TiXmlElement* element = root->FirstChildElement("Param"); element;
         element = element->NextSiblingElement("Param"))
    {
        int id = -1;
        element->QueryIntAttribute("id", &id);
        dsp_patch_parameter_base* parameter = GetParameter(id);
        std::vector<uint8_t> bytes;
        const char* value = element->Attribute("val");
        if (!parameter || parameter->isPolyphonic() || !value || !parameter->PrepareValueFromXml(value, bytes))
            continue;
        if (parameter->ApplyPreparedValue(bytes))
            parameter->OnValueChangedFromGUI(false, 0, false);
    }
}

void DspPatchManager::AttachStore(PatchStore& store, int hostPrograms, int programSteps,
                                  const std::vector<PatchStore::Shape>& figures)
{
    DetachStore();
    std::vector<PatchStore::Shape> shapes;
    std::vector<dsp_patch_parameter_base*> kept;
    for (dsp_patch_parameter_base* parameter : parameters_)
    {
        PatchStore::Shape shape;
        if (!parameter->StoreShape(shape))
        {
            // The state names it, with its first voice's value.
            shape.handle = parameter->Handle();
            shape.hostId = parameter->getIndex();
            shape.voiced = true;
            shape.text = parameter->GetValueAsXml(parameter->EffectivePatch(), 0);
        }
        shapes.push_back(std::move(shape));
        kept.push_back(parameter);
    }
    // The host's parameters that no parameter here holds keep their figure.
    std::set<int> held;
    for (const PatchStore::Shape& shape : shapes)
        held.insert(shape.hostId);
    for (const PatchStore::Shape& figure : figures)
        if (figure.hostId >= 0 && held.insert(figure.hostId).second)
            shapes.push_back(figure);
    // A new store takes the engine's values; one that has the same shapes
    // already gives its own to the engine.
    const bool fresh = store.Reshape(std::move(shapes), PatchCount(), hostPrograms, programSteps);
    store_ = &store;
    for (std::size_t slot = 0; slot < kept.size(); ++slot)
    {
        dsp_patch_parameter_base* parameter = kept[slot];
        if (store.ShapeOf(static_cast<int>(slot)).voiced)
            continue;
        parameter->SwapStorage(new PatchStorageShared(parameter->SwapStorage(nullptr), store, static_cast<int>(slot)));
    }
    // The parameters the store holds values of, by slot (null: voiced).
    for (std::size_t slot = 0; slot < kept.size(); ++slot)
        if (store.ShapeOf(static_cast<int>(slot)).voiced)
            kept[slot] = nullptr;
    storeParameters_ = kept;
    if (fresh)
    {
        for (dsp_patch_parameter_base* parameter : kept)
            if (parameter)
                static_cast<PatchStorageShared*>(parameter->Storage(0))->Publish();
        store.ProgramFromEngine(program_, false);
        heardProgram_ = program_;
        return;
    }
    for (dsp_patch_parameter_base* parameter : kept)
    {
        auto* shared = parameter ? static_cast<PatchStorageShared*>(parameter->Storage(0)) : nullptr;
        for (int patch = 0; shared && patch < shared->getPatchCount(); ++patch)
            shared->Refresh(patch);
    }
    const int program = store.Program();
    if (program >= 0 && program < PatchCount())
        program_ = program;
    heardProgram_ = program;
    for (dsp_patch_parameter_base* parameter : kept)
        if (parameter)
            parameter->OnValueChangedFromGUI(true, 0, true);
}

void DspPatchManager::DetachStore()
{
    for (dsp_patch_parameter_base* parameter : storeParameters_)
    {
        if (!parameter)
            continue;
        auto* shared = static_cast<PatchStorageShared*>(parameter->Storage(0));
        parameter->SwapStorage(shared->Release());
        delete shared;
    }
    storeParameters_.clear();
    store_ = nullptr;
}

bool DspPatchManager::HearStore(int64_t time, bool programLater)
{
    if (!store_ || !store_->Open())
        return false;
    // A program chosen by others plays from here (or later, where the caller
    // plays it); one the patch does not store is heard once, and refused.
    const int program = store_->Program();
    const bool chosen = program != heardProgram_ && program != program_ && !programLater;
    heardProgram_ = program;
    if (chosen)
        setProgramDspThread(program, time);
    store_->TakeStale([&](int slot) {
        if (slot < 0 || slot >= static_cast<int>(storeParameters_.size()))
            return;
        dsp_patch_parameter_base* parameter = storeParameters_[static_cast<std::size_t>(slot)];
        if (parameter && static_cast<PatchStorageShared*>(parameter->Storage(0))->Refresh(parameter->EffectivePatch()))
            parameter->OnValueChangedFromGUI(false, 0, false, time);
    });
    return chosen;
}

void DspPatchManager::RefreshProgramFromStore(int program)
{
    if (!store_ || !store_->Open())
        return;
    for (dsp_patch_parameter_base* parameter : storeParameters_)
        if (auto* shared = parameter ? static_cast<PatchStorageShared*>(parameter->Storage(0)) : nullptr)
            shared->Refresh(store_->PatchOf(shared->Slot(), program));
}
