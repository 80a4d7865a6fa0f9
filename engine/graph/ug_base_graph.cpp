// Operations of a module on the graph rather than on samples: defaults for
// unfed inputs, sort order, upstream flags and bypass routes. They run while
// the graph is built, never in the block loop.
#include <algorithm>

#include "core/InterfaceObject.h"
#include "core/Module_Info.h"
#include "core/conversion.h"
#include "engine/runtime/IKvAudioMaster.h"
#include "engine/graph/USampBlock.h"
#include "engine/graph/ug_base.h"
#include "engine/graph/ug_container.h"

namespace
{
// Upstream walks follow one source per step; a longer walk means a cycle.
constexpr int kMaxUpstreamWalk = 100000;
constexpr int kMaxBypassDepth = 64;
} // namespace

void ug_base::SetupWithoutCug()
{
    Setup(parentContainer_ ? parentContainer_->audioMaster_ : audioMaster_, nullptr);
    BindHostControlledPins();
}

void ug_base::SetUnusedPlugs2()
{
    // Indexed: a default source may be added to this very module's pins.
    for (size_t i = 0; i < plugs_.size(); ++i)
    {
        UPlug* pin = plugs_[i];
        if (pin->direction_ != DR_IN || pin->datatype_ == DT_MIDI2 || !pin->connections_.empty() || pin->proxy_)
            continue;
        std::string text;
        if (pin->hasDocumentDefault_)
        {
            text = pin->documentDefault_;
        }
        else if (moduleType)
        {
            if (const InterfaceObject* description = moduleType->getPinDescriptionByPosition(static_cast<int>(i)))
                text = WStringToUtf8(description->GetDefaultVal());
        }
        pin->SetDefault(text.c_str());
    }
}

ug_base* ug_base::GetUpstreamModule()
{
    ug_base* module = this;
    for (int step = 0; step < kMaxUpstreamWalk; ++step)
    {
        ug_base* source = nullptr;
        for (UPlug* pin : module->plugs_)
        {
            if (pin->direction_ == DR_IN && !pin->connections_.empty())
            {
                source = pin->connections_.front()->owner_;
                break;
            }
        }
        // A loop leads back to a module already passed: start there.
        if (!source || source == this)
            return module;
        module = source;
    }
    return module;
}

bool ug_base::CalcSortOrder2(int& maxOrder)
{
    sortOrder_ = -2;
    int highest = -1;
    for (UPlug* pin : plugs_)
    {
        if (pin->direction_ != DR_OUT)
            continue;
        for (UPlug* fed : pin->connections_)
        {
            ug_base* module = fed->owner_;
            if (module->sortOrder_ == -1)
            {
                if (!module->CalcSortOrder2(maxOrder))
                    return false;
            }
            // The modules on a loop keep their in-progress mark.
            if (module->sortOrder_ == -2)
                return false;
            highest = std::max(highest, module->sortOrder_);
        }
    }
    sortOrder_ = highest + 1 + ((flags_ & UGF_AUTOMATOR) ? 200 : 0);
    maxOrder = std::max(maxOrder, sortOrder_);
    return true;
}

void ug_base::FlagUpStream(uint32_t flag)
{
    if (flags_ & flag)
        return;
    flags_ |= flag;
    for (UPlug* pin : plugs_)
    {
        if (pin->direction_ != DR_IN)
            continue;
        for (UPlug* source : pin->connections_)
        {
            ug_base* module = source->owner_;
            // Parameter setters end the walk: their connections are moved,
            // not flagged.
            if (flag == UGF_UPSTREAM_PARAMETER && (module->flags_ & UGF_PARAMETER_SETTER))
                continue;
            module->FlagUpStream(flag);
        }
    }
}

bool ug_base::BypassPin(UPlug* source, UPlug* input)
{
    if (!source || !input || source->datatype_ != input->datatype_)
        return false;
    if (input->datatype_ == DT_FSAMPLE)
    {
        // The input reads the source's block through the source's own field.
        if (input->plugFlags_ & PF_OWNS_STORAGE)
            input->DestroyBuffer();
        input->variable_ = source->direction_ == DR_OUT ? &source->variable_ : source->variable_;
        if (input->moduleBuffer_)
        {
            USampBlock* block = source->GetSampleBlock();
            *input->moduleBuffer_ = block ? block->GetBlock() : nullptr;
        }
        return true;
    }
    // Other datatypes travel as events, which the bypass does not change.
    return true;
}

bool ug_base::AddBypassRoute(int inputIndex, int outputIndex)
{
    UPlug* input = GetPlug(inputIndex);
    UPlug* output = GetPlug(outputIndex);
    if (!input || !output || input->direction_ != DR_IN || output->direction_ != DR_OUT ||
        input->datatype_ != output->datatype_)
        return false;
    if (input->proxy_ == output)
        return true;
    input->proxy_ = output;
    output->proxy_ = input;

    // The first source upstream that is not itself bypassed.
    UPlug* source = input->connections_.empty() ? nullptr : input->connections_.front();
    for (int step = 0; source && step < kMaxBypassDepth; ++step)
    {
        UPlug* through = source->proxy_;
        if (!through || through->direction_ != DR_IN || through->connections_.empty())
            break;
        source = through->connections_.front();
    }
    if (!source)
        return false;
    return AddBypassRoutePt2(source, output, 0);
}

bool ug_base::AddBypassRoutePt2(UPlug* source, UPlug* output, int depth)
{
    if (depth > kMaxBypassDepth)
        return false;
    bool result = true;
    for (UPlug* fed : output->connections_)
    {
        result = fed->owner_->BypassPin(source, fed) && result;
        // A fed input that is itself bypassed passes the source on.
        if (fed->proxy_ && fed->proxy_->direction_ == DR_OUT)
            result = AddBypassRoutePt2(source, fed->proxy_, depth + 1) && result;
    }
    return result;
}

void ug_base::ClearBypassRoutes(int inputIndex, int outputIndex)
{
    UPlug* input = GetPlug(inputIndex);
    UPlug* output = GetPlug(outputIndex);
    if (!input || !output || !input->proxy_)
        return;
    input->proxy_ = nullptr;
    output->proxy_ = nullptr;
    for (UPlug* fed : output->connections_)
        fed->owner_->BypassPin(output, fed);
}
