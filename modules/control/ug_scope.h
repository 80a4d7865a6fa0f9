#pragma once
// "Scope": a panel module with two signal inputs; the panel does the drawing,
// the audio side only accepts the signals.

#include <vector>

#include "engine/graph/ug_base.h"

class ug_scope : public ug_base
{
public:
    static ug_base* CreateObject() { return new ug_scope(); }
    ug_base* Create() override { return new ug_scope(); }
    void ListInterface2(std::vector<InterfaceObject*>& pins) override;
};
