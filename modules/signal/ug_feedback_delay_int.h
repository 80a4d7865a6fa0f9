#pragma once
// "KV Feedback Delay - Int": re-sends every value reaching its input from its helper's output one
// block later; the helper is made at graph build.

#include <vector>

#include "modules/signal/ug_feedback_delay_base.h"

class ug_feedback_delay_int_out : public ug_feedback_delay_base
{
public:
    ug_feedback_delay_int_out() = default;
    ~ug_feedback_delay_int_out() override = default;

    ug_base* Create() override { return new ug_feedback_delay_int_out(); }
    void ListInterface2(std::vector<InterfaceObject*>& pins) override;
};

class ug_feedback_delay_int : public ug_feedback_delay_base
{
public:
    ug_feedback_delay_int() = default;
    ~ug_feedback_delay_int() override = default;

    ug_base* Create() override { return new ug_feedback_delay_int(); }
    void BuildHelperModule() override;
    void ListInterface2(std::vector<InterfaceObject*>& pins) override;
};
