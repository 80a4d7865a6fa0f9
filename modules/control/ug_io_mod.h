#pragma once
// The connection point of a container to the modules outside it: its pins,
// added by the patch document, are tied to the container's pins and joined
// straight through when the graph is built. It does no sample work.

#include "engine/graph/ug_base.h"

class ug_io_mod : public ug_base
{
public:
    ug_io_mod();
    ug_base* Create() override { return new ug_io_mod(); }
    void ListInterface2(std::vector<InterfaceObject*>& pins) override;
    int Open() override;
    // The border of the container carries the sound of every voice: voice
    // numbers stop here.
    void PPPropogateVoiceNum(int /*voice*/) override {}

    float* spare_ = nullptr;
};
