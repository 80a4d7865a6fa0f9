#pragma once
// "Fixed Values": any number of outputs, each holding the voltage set in the
// patch. They are announced once when the graph opens; then the module sleeps.

#include <vector>

#include "engine/graph/ug_base.h"

class ug_fixed_values : public ug_base
{
public:
    ug_fixed_values() = default;
    ~ug_fixed_values() override = default;

    ug_base* Create() override { return new ug_fixed_values(); }
    void ListInterface2(std::vector<InterfaceObject*>& pins) override;
    int Open() override;
};
