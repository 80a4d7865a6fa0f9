#pragma once
// Module SDK, portable graphics: the interfaces through which a GUI module
// that draws itself talks to its graphics host. The module answers
// KV_IID_GRAPHICS_MPGUI (IMpGraphics); its host answers KV_IID_GRAPHICS_HOST
// (IMpGraphicsHost) and hands the module, for each paint, a drawing context
// (IMpGraphicsDrawContext) with brushes, path geometries, text formats and
// bitmaps; it also makes platform menus, file dialogs and text-entry boxes.
// Every call runs on the editor's thread (the host's user-interface thread).
//
// ABI: the operations of each interface are virtual functions in the order
// written here, after queryInterface, addRef and release; int32 results are
// MP_OK (0) for success. Coordinates are floats in pixels, y down; rectangles
// are left, top, right, bottom.

#include <cstdint>

#include "mp_sdk_common.h"

namespace gmpi_gui
{

// eec64045ab98794cb85766ae64249125: the module's graphics face.
inline constexpr gmpi::MpGuid KV_IID_GRAPHICS_MPGUI = {0x4540C6EE, 0x98AB, 0x4C79, {0xB8, 0x57, 0x66, 0xAE, 0x64, 0x24, 0x91, 0x25}};
// a47e71e46dcaae4f9d35ba95ebaaea2b and f623e56ef5f1e64cb254087360e1a861: the host's graphics face.
inline constexpr gmpi::MpGuid KV_IID_GRAPHICS_HOST = {0xE4717EA4, 0xCA6D, 0x4FAE, {0x9D, 0x35, 0xBA, 0x95, 0xEB, 0xAA, 0xEA, 0x2B}};
inline constexpr gmpi::MpGuid KV_IID_GRAPHICS_HOST_BASE = {0x6EE523F6, 0xF1F5, 0x4CE6, {0xB2, 0x54, 0x08, 0x73, 0x60, 0xE1, 0xA8, 0x61}};
// 058a5ae5544d7d44870e93f934f3e9c3
inline constexpr gmpi::MpGuid KV_IID_GRAPHICS_DRAWCONTEXT = {0xE55A8A05, 0x4D54, 0x447D, {0x87, 0x0E, 0x93, 0xF9, 0x34, 0xF3, 0xE9, 0xC3}};
// 95edf6f45dccce4daaa454a10ac9da59
inline constexpr gmpi::MpGuid KV_IID_GRAPHICS_FACTORY = {0xF4F6ED95, 0xCC5D, 0x4DCE, {0xAA, 0xA4, 0x54, 0xA1, 0x0A, 0xC9, 0xDA, 0x59}};
// 68e8c689a5b8bf49b77102fb1eef38ad
inline constexpr gmpi::MpGuid KV_IID_GRAPHICS_PATHGEOMETRY = {0x89C6E868, 0xB8A5, 0x49BF, {0xB7, 0x71, 0x02, 0xFB, 0x1E, 0xEF, 0x38, 0xAD}};
// 435f3810c3036b43b6b074a4ec617a22
inline constexpr gmpi::MpGuid KV_IID_GRAPHICS_GEOMETRYSINK = {0x10385F43, 0x03C3, 0x436B, {0xB6, 0xB0, 0x74, 0xA4, 0xEC, 0x61, 0x7A, 0x22}};
// 51d23fbba047734290aba5cdc88f57b9
inline constexpr gmpi::MpGuid KV_IID_GRAPHICS_SOLIDCOLORBRUSH = {0xBB3FD251, 0x47A0, 0x4273, {0x90, 0xAB, 0xA5, 0xCD, 0xC8, 0x8F, 0x57, 0xB9}};
// 553290ede03fe44c8cd197d72d51b7cb
inline constexpr gmpi::MpGuid KV_IID_GRAPHICS_TEXTFORMAT = {0xED903255, 0x3FE0, 0x4CE4, {0x8C, 0xD1, 0x97, 0xD7, 0x2D, 0x51, 0xB7, 0xCB}};
// b750f2edfe29ec4f8c6afbcb1f0a301a
inline constexpr gmpi::MpGuid KV_IID_GRAPHICS_BITMAP = {0xEDF250B7, 0x29FE, 0x4FEC, {0x8C, 0x6A, 0xFB, 0xCB, 0x1F, 0x0A, 0x30, 0x1A}};
// 28f6e4cc9e28ab4e98371755d9e5f793
inline constexpr gmpi::MpGuid KV_IID_GRAPHICS_BITMAP_PIXELS = {0xCCE4F628, 0x289E, 0x4EAB, {0x98, 0x37, 0x17, 0x55, 0xD9, 0xE5, 0xF7, 0x93}};
// 0185ae1907f2ac43a139d0f84e119e4c
inline constexpr gmpi::MpGuid KV_IID_GRAPHICS_PLATFORM_MENU = {0x19AE8501, 0xF207, 0x43AC, {0xA1, 0x39, 0xD0, 0xF8, 0x4E, 0x11, 0x9E, 0x4C}};
// 44d895e709479e479cdf71d0516cf353
inline constexpr gmpi::MpGuid KV_IID_GRAPHICS_PLATFORM_FILE_DIALOG = {0xE795D844, 0x4709, 0x479E, {0x9C, 0xDF, 0x71, 0xD0, 0x51, 0x6C, 0xF3, 0x53}};
// cb417aa331d75745a717a1ead5442be8
inline constexpr gmpi::MpGuid KV_IID_GRAPHICS_PLATFORM_TEXT = {0xA37A41CB, 0xD731, 0x4557, {0xA7, 0x17, 0xA1, 0xEA, 0xD5, 0x44, 0x2B, 0xE8}};
// 7e2e15bcb87f214984eebed7cfd9a897: gmpi::IMpContextItemSink.
inline constexpr gmpi::MpGuid KV_IID_CONTEXT_ITEMS_SINK = {0xBC152E7E, 0x7FB8, 0x4921, {0x84, 0xEE, 0xBE, 0xD7, 0xCF, 0xD9, 0xA8, 0x97}};
// ba82957065afe643a24cab05f8d6980b
inline constexpr gmpi::MpGuid KV_IID_COMPLETION_CALLBACK = {0x709582BA, 0xAF65, 0x43E6, {0xA2, 0x4C, 0xAB, 0x05, 0xF8, 0xD6, 0x98, 0x0B}};

struct Point
{
    float x = 0;
    float y = 0;
};

struct Size
{
    float width = 0;
    float height = 0;
};

struct Rect
{
    float left = 0;
    float top = 0;
    float right = 0;
    float bottom = 0;
};

// Components 0 to 1.
struct Color
{
    float r = 0;
    float g = 0;
    float b = 0;
    float a = 1;
};

namespace Font
{
enum Weight : int32_t
{
    Thin = 100,
    Light = 300,
    Normal = 400,
    Bold = 700,
    Black = 900,
};
enum Style : int32_t
{
    StyleNormal = 0,
    StyleOblique = 1,
    StyleItalic = 2,
};
// (sic) the name modules compile against.
enum Stetch : int32_t
{
    Condensed = 3,
    StretchNormal = 5,
    Expanded = 7,
};
} // namespace Font

struct FONT_METRICS
{
    float ascent = 0;
    float descent = 0;
    float lineGap = 0;
    float capHeight = 0;
    float xHeight = 0;
    float underlinePosition = 0;
    float underlineThickness = 0;
    float strikethroughPosition = 0;
    float strikethroughThickness = 0;
};

enum GG_FIGURE_BEGIN : int32_t
{
    GG_FIGURE_BEGIN_FILLED = 0,
    GG_FIGURE_BEGIN_HOLLOW = 1,
};

enum GG_FIGURE_END : int32_t
{
    GG_FIGURE_END_OPEN = 0,
    GG_FIGURE_END_CLOSED = 1,
};

// Text and paragraph alignment.
enum TextAlignment : int32_t
{
    kAlignLeading = 0,
    kAlignTrailing = 1,
    kAlignCenter = 2,
};

// Pointer flags passed to a module's pointer calls.
enum PointerFlags : int32_t
{
    GG_POINTER_FLAG_NEW = 0x01,
    GG_POINTER_FLAG_INCONTACT = 0x04,
    GG_POINTER_FLAG_FIRSTBUTTON = 0x10,
    GG_POINTER_FLAG_SECONDBUTTON = 0x20,
    GG_POINTER_FLAG_PRIMARY = 0x400,
    GG_POINTER_FLAG_CONFIDENCE = 0x2000,
};

class IBrush : public gmpi::IMpUnknown
{
protected:
    ~IBrush() = default;
};

class ISolidColorBrush : public IBrush
{
public:
    virtual void SetColor(const Color& color) = 0;
    virtual Color GetColor() = 0;

protected:
    ~ISolidColorBrush() = default;
};

// Accepted by the drawing calls and not used.
class IStrokeStyle : public gmpi::IMpUnknown
{
protected:
    ~IStrokeStyle() = default;
};

class IGeometrySink : public gmpi::IMpUnknown
{
public:
    virtual void BeginFigure(Point startPoint, GG_FIGURE_BEGIN figureBegin) = 0;
    virtual void AddLine(Point point) = 0;
    virtual void EndFigure(GG_FIGURE_END figureEnd) = 0;
    virtual int32_t Close() = 0;

protected:
    ~IGeometrySink() = default;
};

class IGeometry : public gmpi::IMpUnknown
{
protected:
    ~IGeometry() = default;
};

class IPathGeometry : public IGeometry
{
public:
    // A sink writing into this geometry; the geometry must outlive it.
    virtual int32_t Open(IGeometrySink** returnGeometrySink) = 0;

protected:
    ~IPathGeometry() = default;
};

class IFactory : public gmpi::IMpUnknown
{
public:
    virtual int32_t CreatePathGeometry(IPathGeometry** returnPathGeometry) = 0;

protected:
    ~IFactory() = default;
};

class IMpGraphicsTextFormat : public gmpi::IMpUnknown
{
public:
    virtual int32_t SetTextAlignment(int32_t textAlignment) = 0;
    virtual int32_t SetParagraphAlignment(int32_t paragraphAlignment) = 0;
    virtual int32_t GetTextExtentU(const char* utf8String, int32_t stringLength, Size& returnSize) = 0;
    virtual int32_t GetFontMetrics(FONT_METRICS* returnFontMetrics) = 0;

protected:
    ~IMpGraphicsTextFormat() = default;
};

// Locked pixels of a bitmap: rows of 32-bit pixels; the last release ends the lock.
class IMpBitmapPixels : public gmpi::IMpUnknown
{
public:
    virtual uint8_t* getAddress() const = 0;
    virtual int32_t getBytesPerRow() = 0;
    virtual int32_t getPixelFormat() = 0;

protected:
    ~IMpBitmapPixels() = default;
};

class IMpBitmap : public gmpi::IMpUnknown
{
public:
    virtual int32_t GetSize(Size& returnSize) = 0;
    // An IMpBitmapPixels with one reference for the caller.
    virtual int32_t lockPixels(void** returnPixels, bool alphaPremultiplied) = 0;

protected:
    ~IMpBitmap() = default;
};

// Lives for one paint: its factory and brushes are made for that paint.
class IMpGraphicsDrawContext : public gmpi::IMpUnknown
{
public:
    virtual void GetFactory(IFactory** returnFactory) = 0;
    virtual int32_t CreateSolidColorBrush(const Color& color, ISolidColorBrush** returnSolidColorBrush) = 0;
    virtual void DrawRectangle(const Rect& rect, IBrush* brush, float strokeWidth = 1.0f, IStrokeStyle* strokeStyle = nullptr) = 0;
    virtual void FillRectangle(const Rect& rect, IBrush* brush) = 0;
    virtual void DrawLine(Point point0, Point point1, IBrush* brush, float strokeWidth = 1.0f, IStrokeStyle* strokeStyle = nullptr) = 0;
    virtual void DrawGeometry(IGeometry* geometry, IBrush* brush, float strokeWidth = 1.0f, IStrokeStyle* strokeStyle = nullptr) = 0;
    virtual void DrawTextU(const char* utf8String, int32_t stringLength, IMpGraphicsTextFormat* textFormat, Rect layoutRect, IBrush* brush, int32_t flags = 0) = 0;
    virtual void DrawBitmap(IMpBitmap* bitmap, Rect destinationRectangle, float opacity, int32_t interpolationMode, Rect sourceRectangle) = 0;
    virtual void Test() = 0;

protected:
    ~IMpGraphicsDrawContext() = default;
};

// Menus, file dialogs and text entry: each runs modally when shown.
class IMpPlatformMenu : public gmpi::IMpUnknown
{
public:
    virtual int32_t AddItem(const char* text, int32_t id) = 0;
    // returnValue: the chosen item, -1 when none was chosen.
    virtual int32_t Popup(int32_t* returnValue, float x, float y) = 0;
    virtual int32_t SetAlignment(int32_t alignment) = 0;

protected:
    ~IMpPlatformMenu() = default;
};

class IMpPlatformFileDialog : public gmpi::IMpUnknown
{
public:
    virtual int32_t AddExtension(const char* extension, const char* description = "") = 0;
    virtual int32_t SetInitialFilename(const char* text) = 0;
    virtual int32_t setInitialDirectory(const char* text) = 0;
    // returnString answers MP_IID_RETURNSTRING: the chosen file. MP_FAIL when cancelled.
    virtual int32_t Show(gmpi::IMpUnknown* returnString) = 0;

protected:
    ~IMpPlatformFileDialog() = default;
};

class IMpCompletionCallback : public gmpi::IMpUnknown
{
public:
    virtual void OnComplete(int32_t result) = 0;

protected:
    ~IMpCompletionCallback() = default;
};

class IMpPlatformText : public gmpi::IMpUnknown
{
public:
    virtual int32_t SetText(const char* text) = 0;
    virtual int32_t GetText(gmpi::IMpUnknown* returnString) = 0;
    // Edits the text in a box over rect (module coordinates); the callback
    // (KV_IID_COMPLETION_CALLBACK) is called when the box closes.
    virtual int32_t ShowAsync(const Rect* rect, gmpi::IMpUnknown* callback) = 0;
    virtual int32_t SetAlignment(int32_t alignment) = 0;

protected:
    ~IMpPlatformText() = default;
};

class IMpGraphicsHostBase : public gmpi::IMpUnknown
{
public:
    // dialogType: 0 open, 1 save, 2 choose a folder.
    virtual int32_t createPlatformFileDialog(int32_t dialogType, gmpi::IMpUnknown** returnDialog) = 0;
    // Null: the whole module.
    virtual void invalidateRect(const Rect* invalidRect) = 0;
    virtual void invalidateMeasure() = 0;
    virtual int32_t CreateTextFormat(const char* fontFamilyName, void* fontCollection, Font::Weight fontWeight,
                                     Font::Style fontStyle, Font::Stetch fontStretch, float fontSize, void* localeName,
                                     IMpGraphicsTextFormat** textFormat) = 0;
    // A bitmap (IMpBitmap) from an IProtectedFile2 stream.
    virtual int32_t LoadStreamImage(gmpi::IMpUnknown* stream, void** returnBitmap) = 0;
    virtual int32_t createPlatformMenu(gmpi::IMpUnknown** returnMenu) = 0;
    virtual int32_t setCapture() = 0;
    virtual int32_t getCapture(int32_t& returnValue) = 0;
    virtual int32_t releaseCapture() = 0;
    virtual int32_t createPlatformTextEdit(gmpi::IMpUnknown** returnTextEdit) = 0;

protected:
    ~IMpGraphicsHostBase() = default;
};

class IMpGraphicsHost : public IMpGraphicsHostBase
{
public:
    // An empty (transparent) bitmap of that size.
    virtual int32_t CreateImage(int32_t width, int32_t height, void** returnBitmap) = 0;
    // "resource://name" for a bundle resource, else a file path.
    virtual int32_t LoadImage(const char* utf8Uri, void** returnBitmap) = 0;

protected:
    ~IMpGraphicsHost() = default;
};

// The face of a module that draws itself. Each call returns MP_OK when handled.
class IMpGraphics : public gmpi::IMpUnknown
{
public:
    virtual int32_t measure(Size availableSize, Size* returnDesiredSize) = 0;
    virtual int32_t arrange(Rect finalRect) = 0;
    // drawingContext answers KV_IID_GRAPHICS_DRAWCONTEXT.
    virtual int32_t OnRender(gmpi::IMpUnknown* drawingContext) = 0;
    virtual int32_t onPointerDown(int32_t flags, Point point) = 0;
    virtual int32_t onPointerMove(int32_t flags, Point point) = 0;
    virtual int32_t onPointerUp(int32_t flags, Point point) = 0;

protected:
    ~IMpGraphics() = default;
};

} // namespace gmpi_gui
