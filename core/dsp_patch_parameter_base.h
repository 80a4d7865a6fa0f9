#pragma once
// Root of the patch-parameter classes, as far as the class factory needs it:
// objects made by class id and deleted through this base.

class dsp_patch_parameter_base
{
public:
    virtual ~dsp_patch_parameter_base() = 0;
};

inline dsp_patch_parameter_base::~dsp_patch_parameter_base() = default;
