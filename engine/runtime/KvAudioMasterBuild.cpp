// Building the graph from the DSP patch document: containers and modules,
// lines, and the host input and output modules. Whatever can be built is
// built; everything skipped is noted in the build messages with its reason.
#include <tinyxml.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <limits>
#include <vector>

#include "core/CModuleFactory.h"
#include "core/ModuleXml.h"
#include "core/SafeXmlText.h"
#include "core/conversion.h"
#include "engine/parameters/DspPatchManagerProxy.h"
#include "engine/parameters/IDspPatchManager.h"
#include "engine/runtime/KvAudioMaster.h"
#include "engine/graph/ug_container.h"
#include "engine/oversampling/ug_oversampler.h"
#include "engine/hostio/ug_vst_in.h"
#include "engine/hostio/ug_vst_out.h"

namespace
{
constexpr size_t kMaxBuildMessages = 200;

ug_base* BuildRegistered(const std::wstring& id)
{
    Module_Info* type = CModuleFactory::Instance()->GetById(id);
    return type ? type->BuildSynthOb() : nullptr;
}

int IntAttribute(const TiXmlElement* element, const char* name, int fallback)
{
    int value = fallback;
    if (element->QueryIntAttribute(name, &value) != TIXML_SUCCESS)
        value = fallback;
    return value;
}

// Bytes of the longest text a document gives a text pin or a text parameter
// (pin defaults, and the stored values of parameters of type 20): an upper
// bound of its characters.
size_t LongestDocumentText(const TiXmlElement* element)
{
    size_t longest = 0;
    for (; element; element = element->NextSiblingElement())
    {
        if (const char* text = element->Attribute("Default"))
            longest = std::max(longest, std::strlen(text));
        if (const char* text = element->Attribute("Automation_sysex"))
            longest = std::max(longest, std::strlen(text));
        if (IntAttribute(element, "DataType", -1) == 20)
        {
            for (const TiXmlElement* key = element->FirstChildElement(); key; key = key->NextSiblingElement())
            {
                std::vector<std::string> items;
                XmlSplitString(key->GetText(), items);
                for (const std::string& item : items)
                    longest = std::max(longest, item.size());
            }
        }
        longest = std::max(longest, LongestDocumentText(element->FirstChildElement()));
    }
    return longest;
}

// The largest blob the document stores (values of parameters of type 28,
// Base64 text): an upper bound of its bytes.
size_t LargestDocumentBlob(const TiXmlElement* element)
{
    size_t largest = 0;
    for (; element; element = element->NextSiblingElement())
    {
        if (IntAttribute(element, "DataType", -1) == 28)
        {
            for (const TiXmlElement* key = element->FirstChildElement(); key; key = key->NextSiblingElement())
            {
                std::vector<std::string> items;
                XmlSplitString(key->GetText(), items);
                for (const std::string& item : items)
                    largest = std::max(largest, (item.size() + 3) / 4 * 3);
            }
        }
        largest = std::max(largest, LargestDocumentBlob(element->FirstChildElement()));
    }
    return largest;
}

std::string Describe(const TiXmlElement* element)
{
    return "line " + std::to_string(element->Row());
}
} // namespace

void KvAudioMaster::Log(const std::string& text)
{
    if (buildMessages_.size() < kMaxBuildMessages)
        buildMessages_.push_back(text);
}

bool KvAudioMaster::BuildDspGraph(const char* xmlText)
{
    DiscardGraph();
    buildMessages_.clear();
    if (!xmlText || !*xmlText)
    {
        Log("empty document: no graph");
        return false;
    }
    if (!IsSafeXmlText(xmlText))
    {
        Log("document nests deeper than " + std::to_string(kMaxXmlNestingDepth) +
            " levels or ends inside a character: no graph");
        return false;
    }
    TiXmlDocument document;
    document.Parse(xmlText);
    if (document.Error())
    {
        Log(std::string("document does not parse (") + document.ErrorDesc() + "): no graph");
        return false;
    }

    // The module-type descriptions of the first document built in the process only.
    if (TiXmlElement* pluginList = document.FirstChildElement("PluginList"))
        CModuleFactory::Instance()->RegisterDocumentPluginList(pluginList);

    TiXmlElement* dsp = document.FirstChildElement("DSP");
    TiXmlElement* topElement = dsp ? dsp->FirstChildElement() : nullptr;
    if (!topElement)
    {
        Log(dsp ? "empty DSP element: no graph" : "no DSP element: no graph");
        return false;
    }

    // Every text of the document fits the room; the pool's largest payload
    // bounds it, so that no text event leaves the pool.
    textRoom_ = static_cast<int>(std::clamp(LongestDocumentText(dsp), static_cast<size_t>(kMinTextRoom),
                                            static_cast<size_t>(kMaxTextRoom)));
    blobRoom_ = static_cast<int>(std::clamp(LargestDocumentBlob(dsp), static_cast<size_t>(kMinBlobRoom),
                                            static_cast<size_t>(kMaxBlobRoom)));

    top_ = dynamic_cast<ug_container*>(BuildRegistered(L"Container"));
    if (!top_)
    {
        Log("the container module type is not registered: no graph");
        return false;
    }
    top_->audioMaster_ = this;
    int id = 0;
    if (topElement->QueryIntAttribute("Id", &id) == TIXML_SUCCESS)
        RegisterDspMsgHandle(top_, id);
    else
        AssignTemporaryHandle(top_);

    BuildModules(top_, top_, topElement);
    if (!SetupVstIO())
    {
        DiscardGraph();
        return false;
    }
    top_->PostBuildStuff(true);
    return true;
}

void KvAudioMaster::BuildModules(ug_container* container, ug_container* patchManagerContainer,
                                 TiXmlElement* element)
{
    TiXmlElement* patchManager = element->FirstChildElement("PatchManager");
    if (patchManager && container->has_own_patch_manager())
    {
        // An inline container cannot replace the manager whose parameters
        // are already in use.
        Log(Describe(element) + ": second patch manager for one container skipped");
    }
    else if (patchManager)
    {
        container->BuildPatchManager(patchManager);
        if (IDspPatchManager* manager = container->get_patch_manager())
            manager->setupContainerHandles(container);
        patchManagerContainer = container;
    }

    container->setVoiceReserveCount(IntAttribute(element, "VoiceReserveCount", 3));
    container->setVoiceCount(IntAttribute(element, "VoiceCount", 6));

    if (TiXmlElement* modules = element->FirstChildElement("Modules"))
    {
        for (TiXmlElement* m = modules->FirstChildElement("Module"); m; m = m->NextSiblingElement("Module"))
        {
            const char* typeText = m->Attribute("Type");
            const std::wstring type = Utf8ToWstring(typeText ? typeText : "");
            int handle = 0;
            if (m->QueryIntAttribute("Id", &handle) != TIXML_SUCCESS)
            {
                Log(Describe(m) + ": module without Id skipped");
                continue;
            }
            if (type == L"Container")
            {
                BuildContainerModule(container, patchManagerContainer, m);
                continue;
            }
            ug_base* module = BuildRegistered(type);
            if (!module)
            {
                // A registered type may fail to make its unit (an external
                // bundle that does not load, say): the registry says why.
                const bool known = CModuleFactory::Instance()->GetById(type) != nullptr;
                Log(Describe(m) + (known ? ": module type \"" : ": unknown module type \"") + WStringToUtf8(type) +
                    (known ? "\" could not be made (the registry's diagnostics say why); skipped" : "\" skipped"));
                continue;
            }
            module->patchControlContainer_ = patchManagerContainer;
            int voices = 0;
            if (m->QueryIntAttribute("VoiceCount", &voices) == TIXML_SUCCESS)
            {
                container->setVoiceReserveCount(IntAttribute(m, "VoiceReserveCount", 0));
                container->setVoiceCount(voices);
            }
            container->AddUG(module);
            module->Setup(this, m);
        }
    }

    // A proxy's container takes its automation from the enclosing container.
    if (container->has_own_patch_manager() && !dynamic_cast<DspPatchManagerProxy*>(container->get_patch_manager()))
        container->BuildAutomationModules();
    ConnectLines(element);
}

void KvAudioMaster::BuildContainerModule(ug_container* container, ug_container* patchManagerContainer,
                                         TiXmlElement* m)
{
    auto* child = dynamic_cast<ug_container*>(BuildRegistered(L"Container"));
    if (!child)
    {
        Log(Describe(m) + ": container could not be made; skipped");
        return;
    }
    child->patchControlContainer_ = patchManagerContainer;
    int voices = 0;
    if (m->QueryIntAttribute("VoiceCount", &voices) == TIXML_SUCCESS)
    {
        child->setVoiceReserveCount(IntAttribute(m, "VoiceReserveCount", 0));
        child->setVoiceCount(voices);
    }
    child->SetPolyphonicContainer(IntAttribute(m, "Polyphonic", 0) == 1);
    const bool expand = IntAttribute(m, "ExpandInline", 1) != 0;
    const int factor = expand ? 0 : OversampleFactor(m, IsOversampled(container));
    ug_oversampler* oversampler = nullptr;
    const double enclosingRate = container->audioMaster_ ? container->audioMaster_->SampleRate() : sampleRate_;
    if (ug_oversampler::Supports(factor, enclosingRate))
    {
        // The oversampler takes the container's place in the graph and owns it.
        oversampler = new ug_oversampler();
        container->AddUG(oversampler);
        oversampler->SetupWithoutCug();
    }
    else
    {
        if (factor >= 2 || factor <= -2)
            Log(Describe(m) + ": oversampling by " + std::to_string(factor) +
                (factor > ug_oversampler::kMaxFactor || factor < -ug_oversampler::kMaxFactor
                     ? " passes the limit of " + std::to_string(ug_oversampler::kMaxFactor) +
                           " (the memory of its filter tables)"
                     : " would run past the highest inner rate") +
                "; the container runs at the enclosing rate");
        container->AddUG(child);
    }
    child->Setup(this, m);
    if (oversampler)
    {
        oversampler->Setup1(child, factor, IntAttribute(m, "OversampleFilter", 6));
        if (!m->FirstChildElement("PatchManager"))
            oversampler->CreatePatchManagerProxy();
    }
    if (IDspPatchManager* manager = patchManagerContainer->get_patch_manager())
        manager->setupContainerHandles(child);
    if (expand)
    {
        BuildModules(container, patchManagerContainer, m);
        return;
    }
    BuildModules(child, patchManagerContainer, m);
    if (oversampler)
        oversampler->Setup2(true);
    else
        child->PostBuildStuff(true);
}

bool KvAudioMaster::IsOversampled(ug_container* container) const
{
    // A container chain that ends anywhere but at the top is held by an oversampler.
    ug_container* c = container;
    for (int depth = 0; c && c->parentContainer_ && depth < 100000; ++depth)
        c = c->parentContainer_;
    return c != nullptr && c != top_;
}

int KvAudioMaster::OversampleFactor(TiXmlElement* m, bool insideOversampled) const
{
    // Inside an oversampled container the factor is taken as written: a
    // negative one runs at the enclosing rate divided.
    if (insideOversampled)
    {
        const int written = std::max(IntAttribute(m, "Oversample", 0), -std::numeric_limits<int>::max());
        return written >= 2 || written <= -2 ? written : 0;
    }
    const int requested = std::max(IntAttribute(m, "Oversample", 0), 0);
    const auto rate = static_cast<int64_t>(sampleRate_);
    int64_t factor = std::max(requested, 1);
    while (factor >= 2 && factor * rate > static_cast<int64_t>(requested) * 50000)
        factor /= 2;
    return factor < 2 ? 0 : static_cast<int>(factor);
}

void KvAudioMaster::ConnectLines(TiXmlElement* element)
{
    TiXmlElement* lines = element->FirstChildElement("Lines");
    if (!lines)
        return;
    for (TiXmlElement* line = lines->FirstChildElement("Line"); line; line = line->NextSiblingElement("Line"))
    {
        auto* from = dynamic_cast<ug_base*>(HandleToObject(IntAttribute(line, "From", -1)));
        auto* to = dynamic_cast<ug_base*>(HandleToObject(IntAttribute(line, "To", -1)));
        if (!from || !to)
        {
            Log(Describe(line) + ": line whose ends are not both modules skipped");
            continue;
        }
        UPlug* out = from->GetPlug(IntAttribute(line, "FromPin", 0));
        UPlug* in = to->GetPlug(IntAttribute(line, "ToPin", 0));
        if (!out || !in)
        {
            Log(Describe(line) + ": line to a pin that does not exist skipped");
            continue;
        }
        if (out->direction_ != DR_OUT || in->direction_ != DR_IN)
        {
            Log(Describe(line) + ": line not from an output to an input skipped");
            continue;
        }
        if (out->datatype_ != in->datatype_)
        {
            Log(Describe(line) + ": line between pins of different datatypes skipped");
            continue;
        }
        // A line into or out of an oversampled section crosses its border.
        if (!ug_oversampler::ConnectAcross(out, in))
            Log(Describe(line) + ": line into the voices of a finished oversampled section skipped");
    }
}

bool KvAudioMaster::SetupVstIO()
{
    for (ug_base* module : top_->Modules())
    {
        main_ = dynamic_cast<ug_container*>(module);
        if (auto* oversampler = dynamic_cast<ug_oversampler*>(module))
            main_ = oversampler->Child();
        if (main_)
            break;
    }
    if (!main_)
    {
        Log("the top container holds no container: no graph");
        return false;
    }

    vstOut_ = dynamic_cast<ug_vst_out*>(BuildRegistered(L"VST Output"));
    vstIn_ = dynamic_cast<ug_vst_in*>(BuildRegistered(L"VST Input"));
    if (!vstOut_ || !vstIn_)
    {
        delete vstOut_;
        delete vstIn_;
        vstOut_ = nullptr;
        vstIn_ = nullptr;
        Log("the host input and output module types are not registered: no graph");
        return false;
    }
    top_->AddUG(vstOut_);
    vstOut_->SetupWithoutCug();
    top_->AddUG(vstIn_);
    vstIn_->SetupWithoutCug();
    vstOut_->SetInputModule(vstIn_);

    // Host channels follow the order of the main container's audio pins.
    const std::vector<UPlug*> pins = main_->plugs_;
    for (UPlug* pin : pins)
    {
        if (pin->datatype_ == DT_FSAMPLE)
        {
            ug_base* host = pin->direction_ == DR_OUT ? static_cast<ug_base*>(vstOut_) : vstIn_;
            auto* partner = new UPlug(host, pin->direction_ == DR_OUT ? DR_IN : DR_OUT, DT_FSAMPLE);
            partner->CreateBuffer();
            host->AddPlug(partner);
            if (pin->direction_ == DR_OUT)
                ug_base::connect(pin, partner);
            else
                ug_base::connect(partner, pin);
        }
        else if (pin->datatype_ == DT_MIDI2)
        {
            if (pin->direction_ == DR_OUT)
                ug_base::connect(pin, vstOut_->plugs_[ug_vst_out::PN_MIDI_IN]);
            else
                ug_base::connect(vstIn_->plugs_[ug_vst_in::PN_MIDI_OUT], pin);
        }
    }
    return true;
}
