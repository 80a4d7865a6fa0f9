#pragma once
// Common types of the editor toolkit: coordinates, results of mouse handlers,
// text alignment and forward declarations. Everything in the toolkit runs on
// the host's user-interface thread.

#include <cstdint>
#include <string>

namespace VSTGUI {

using CCoord = double;
using int32 = int32_t;
using uint32 = uint32_t;
using UTF8StringPtr = const char*;
using UTF8String = std::string;
using IdStringPtr = const char*;
using CViewAttributeID = uint32_t;

// What a mouse handler reports.
enum CMouseEventResult : int32_t
{
    kMouseEventNotImplemented = 0,
    kMouseEventHandled = 1,
    kMouseEventNotHandled = 2,
};

enum CHoriTxtAlign : int32_t
{
    kLeftText = 0,
    kCenterText = 1,
    kRightText = 2,
};

// Font face bits.
enum CTxtFace : int32_t
{
    kNormalFace = 0,
    kBoldFace = 1 << 1,
    kItalicFace = 1 << 2,
    kUnderlineFace = 1 << 3,
    kStrikethroughFace = 1 << 4,
};

enum CMessageResult : int32_t
{
    kMessageUnknown = 0,
    kMessageNotified = 1,
};

class CBaseObject;
class CView;
class CViewContainer;
class CFrame;
class CDrawContext;
class CGraphicsPath;
class CFontDesc;
class CBitmap;
class IPlatformBitmap;
class COptionMenu;
class CControl;

} // namespace VSTGUI
