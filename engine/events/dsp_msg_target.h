#pragma once
// An engine object that messages from the editor can be addressed to: it is
// registered with its audio master under a handle.

#include <cstdint>

class my_input_stream;

class dsp_msg_target
{
public:
    virtual ~dsp_msg_target() = default;
    virtual void OnUiMsg(int /*id*/, my_input_stream& /*stream*/) {}

    int32_t handle_ = -1;
};
