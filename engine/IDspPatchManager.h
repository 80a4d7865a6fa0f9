#pragma once
// The patch manager of a container as the audio master uses it: preset state,
// host parameters and editor messages. A container without one runs without.

#include <cstdint>
#include <string>

class my_input_stream;

class IDspPatchManager
{
public:
    virtual ~IDspPatchManager() = default;

    virtual void getPresetState(std::string& out) = 0;
    virtual void setPresetState(const std::string& text) = 0;
    virtual void setParameterNormalized(int64_t time, int parameterId, float value) = 0;
    virtual void OnUiMsg(int id, my_input_stream& stream) = 0;
};
