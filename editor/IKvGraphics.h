#pragma once
// The layout face of the built-in controls that are toolkit views themselves
// (KV_IID_GRAPHICS_VSTGUI), and the marker face of their host wrapper
// (KV_IID_GRAPHICS_HOST_VSTGUI). Editor thread only.

#include "sdk/mp_sdk_gui.h"

namespace gmpi
{

// {01FA4268-FE38-4767-81CE-E4CE4FF2D6BC}
inline constexpr MpGuid KV_IID_GRAPHICS_VSTGUI = {0x01FA4268, 0xFE38, 0x4767, {0x81, 0xCE, 0xE4, 0xCE, 0x4F, 0xF2, 0xD6, 0xBC}};
// {2C672479-722F-4E87-AA92-CA0C4E74DC00}
inline constexpr MpGuid KV_IID_GRAPHICS_HOST_VSTGUI = {0x2C672479, 0x722F, 0x4E87, {0xAA, 0x92, 0xCA, 0x0C, 0x4E, 0x74, 0xDC, 0x00}};

class IKvGraphics : public IMpUnknown
{
public:
    // The size the control wants within the available size.
    virtual int32_t measure(MpSize availableSize, MpSize& returnDesiredSize) = 0;
    // Places the control at finalRect (frame or container coordinates).
    virtual int32_t arrange(MpRect finalRect) = 0;
    virtual int32_t OnRender(IMpUnknown* context) = 0;

protected:
    ~IKvGraphics() = default;
};

class IKvGraphicsHostVstGui : public IMpUnknown
{
protected:
    ~IKvGraphicsHostVstGui() = default;
};

} // namespace gmpi
