// A copy of an oversampler for another voice: the whole child graph is
// copied, with new border modules on the copy's own pins. Graph building only.
#include "engine/graph/CUGLookupList.h"
#include "engine/parameters/DspPatchManagerProxy.h"
#include "engine/graph/ug_container.h"
#include "engine/oversampling/ug_oversampler.h"
#include "engine/oversampling/ug_oversampler_in.h"
#include "engine/oversampling/ug_oversampler_out.h"

ug_base* ug_oversampler::Clone(CUGLookupList& lookup)
{
    if (!child_ || !in_ || !out_)
        return nullptr;
    auto* copy = new ug_oversampler();
    SetupClone(copy);
    copy->factor_ = factor_;
    copy->up_ = up_;
    copy->filter_ = filter_;
    copy->sampleRate_ = sampleRate_;
    copy->SetBlockSize(blockSize_);

    // The child's modules (border modules aside), then new border modules
    // on the copy's own pins.
    auto* childCopy = dynamic_cast<ug_container*>(child_->Create());
    if (!childCopy)
    {
        delete copy;
        return nullptr;
    }
    child_->SetupClone(childCopy);
    childCopy->SetPolyphonicContainer(child_->IsPolyphonicContainer());
    childCopy->setVoiceReserveCount(child_->voiceReserveCount());
    childCopy->setVoiceCount(child_->VoiceCount());
    childCopy->audioMaster_ = copy;
    copy->child_ = childCopy;
    child_->CopyModulesInto(childCopy, lookup, true);
    copy->MakeBorderModules();
    copy->in_->sortOrder_ = in_->sortOrder_;
    copy->out_->sortOrder_ = out_->sortOrder_;
    lookup.Add(in_, copy->in_);
    lookup.Add(out_, copy->out_);

    // Everything inside is copied: each copy feeds the copies of what its
    // original feeds.
    for (ug_base* module : child_->VoiceAt(0)->modules_)
    {
        ug_base* moduleCopy = lookup.Lookup2(module);
        if (moduleCopy != module)
            moduleCopy->CopyConnectorsFrom(module, lookup);
    }
    if (dynamic_cast<DspPatchManagerProxy*>(child_->get_patch_manager()))
        copy->CreatePatchManagerProxy();
    copy->SetChildMaster();
    childCopy->CloneContainerVoices();
    childCopy->SortAll();
    for (size_t i = 0; i < childCopy->plugs_.size() && i < copy->plugs_.size(); ++i)
        childCopy->plugs_[i]->proxy_ = copy->plugs_[i];
    return copy;
}
