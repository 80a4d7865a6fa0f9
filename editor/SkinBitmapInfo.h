#pragma once
// Records of the skins of the GUI patch document: one image (`Image`) and one
// font (`Font`). An empty record stands for no image or no font.

#include <cstdint>
#include <string>

struct SkinBitmapInfo
{
    int32_t DrawMode = 1;
    // The image's lookup key: skin name, "__", image name, ".png".
    std::string File;
    int32_t FrameSizeX = 0;
    int32_t FrameSizeY = 0;
    int32_t PaddingTop = 0;
    int32_t PaddingBottom = 0;
    int32_t PaddingLeft = 0;
    int32_t PaddingRight = 0;
    int32_t MouseMode = 3;
    int32_t LineEndLength = 0;
    int32_t HandleTop = 0;
    int32_t HandleBottom = 0;
    int32_t HandleLeft = 0;
    int32_t HandleRight = 0;
    int32_t HandleRangeTop = 0;
    int32_t HandleRangeBottom = 0;

    // The empty record: every number 0 and no file.
    static SkinBitmapInfo Empty()
    {
        SkinBitmapInfo info;
        info.DrawMode = 0;
        info.MouseMode = 0;
        return info;
    }
};

// Face style bits.
enum SkinFontStyle : int32_t
{
    kSkinFontBold = 2,
    kSkinFontItalic = 4,
    kSkinFontUnderline = 8,
};

struct SkinFontInfo
{
    // Lower case ("control_label").
    std::string Category;
    std::string Facename;
    int32_t Size = 12;
    int32_t PixelHeight = 12;
    int32_t style = 0;
    // 0 left, 1 centre, 2 right.
    int32_t Align = 0;
    // Four bytes, lowest first: red, green, blue, alpha.
    int32_t Color = 0;
    int32_t Background = 0;

    static SkinFontInfo Empty()
    {
        SkinFontInfo info;
        info.Size = 0;
        info.PixelHeight = 0;
        return info;
    }
};
