#pragma once
// The map from a model module to its per-voice clone (or whole-container
// copy), filled while a voice is built and read while its pins are joined.

#include <map>

#include "engine/graph/ug_base.h"

class CUGLookupList
{
public:
    // A pair already present stays.
    void Add(ug_base* model, ug_base* copy) { map_.emplace(model, copy); }

    // The clone; a module without one stands for itself unless it is
    // polyphonic (then its clone is still to come: null).
    ug_base* LookupPolyphonic(ug_base* model) const
    {
        auto it = map_.find(model);
        if (it != map_.end())
            return it->second;
        return (model->flags_ & ug_base::UGF_POLYPHONIC) ? nullptr : model;
    }
    ug_base* Lookup2(ug_base* model) const
    {
        auto it = map_.find(model);
        return it != map_.end() ? it->second : model;
    }
    bool empty() const { return map_.empty(); }

private:
    std::map<ug_base*, ug_base*> map_;
};
