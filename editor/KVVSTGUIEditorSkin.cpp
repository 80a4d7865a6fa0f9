// The editor's skin tables: images and fonts of the GUI patch document, and
// the lookups that modules make in them.

#include <cerrno>
#include <climits>
#include <cstdlib>

#include <tinyxml.h>

#include "core/conversion.h"
#include "core/string_edits.h"
#include "editor/EditorLog.h"
#include "editor/GmpiResourceManager.h"
#include "editor/toolkit/CBitmap.h"
#include "editor/toolkit/CFontDesc.h"
#include "editor/toolkit/CParamDisplay.h"
#include "editor/KVVSTGUIEditor.h"

using namespace VSTGUI;

namespace
{
int IntAttribute(const TiXmlElement* element, const char* name, int fallback)
{
    const char* text = element->Attribute(name);
    if (text == nullptr || *text == 0)
        return fallback;
    char* end = nullptr;
    errno = 0;
    const long long value = std::strtoll(text, &end, 10);
    if (errno != 0 || end == text || *end != 0 || value < INT_MIN || value > UINT_MAX)
        return fallback;
    // Colours are written as unsigned 32-bit numbers: keep their bits.
    return static_cast<int>(static_cast<uint32_t>(value));
}

std::string TextAttribute(const TiXmlElement* element, const char* name)
{
    const char* text = element->Attribute(name);
    return text ? text : "";
}

SkinBitmapInfo ReadImage(const TiXmlElement* image)
{
    SkinBitmapInfo info;
    info.DrawMode = IntAttribute(image, "DrawMode", 1);
    info.File = TextAttribute(image, "File");
    info.FrameSizeX = IntAttribute(image, "FrameSizeX", 0);
    info.FrameSizeY = IntAttribute(image, "FrameSizeY", 0);
    info.PaddingTop = IntAttribute(image, "PaddingTop", 0);
    info.PaddingBottom = IntAttribute(image, "PaddingBottom", 0);
    info.PaddingLeft = IntAttribute(image, "PaddingLeft", 0);
    info.PaddingRight = IntAttribute(image, "PaddingRight", 0);
    info.MouseMode = IntAttribute(image, "MouseMode", 3);
    if (info.DrawMode == 3)
        info.LineEndLength = IntAttribute(image, "LineEndLength", 0);
    if (info.DrawMode == 0)
    {
        info.HandleTop = IntAttribute(image, "HandleTop", 0);
        info.HandleBottom = IntAttribute(image, "HandleBottom", 0);
        info.HandleLeft = IntAttribute(image, "HandleLeft", 0);
        info.HandleRight = IntAttribute(image, "HandleRight", 0);
    }
    if (info.DrawMode == 0 || info.DrawMode == 3)
    {
        info.HandleRangeTop = IntAttribute(image, "HandleRangeTop", 0);
        info.HandleRangeBottom = IntAttribute(image, "HandleRangeBottom", 0);
    }
    return info;
}

SkinFontInfo ReadFont(const TiXmlElement* font)
{
    SkinFontInfo info;
    info.Category = TextAttribute(font, "Category");
    info.Facename = TextAttribute(font, "Facename");
    info.Size = IntAttribute(font, "Size", 12);
    info.PixelHeight = IntAttribute(font, "PixelHeight", 12);
    if (IntAttribute(font, "Underline", 0) != 0)
        info.style |= kSkinFontUnderline;
    if (IntAttribute(font, "Bold", 0) != 0)
        info.style |= kSkinFontBold;
    if (IntAttribute(font, "Italic", 0) != 0)
        info.style |= kSkinFontItalic;
    const std::string align = TextAttribute(font, "Align");
    info.Align = align == "Center" ? 1 : align == "Right" ? 2 : 0;
    info.Color = IntAttribute(font, "Color", 0);
    info.Background = IntAttribute(font, "Background", 0);
    return info;
}

// Four bytes, lowest first: red, green, blue, alpha.
CColor ColorOf(int32_t value)
{
    const auto v = static_cast<uint32_t>(value);
    return CColor(v & 0xFF, (v >> 8) & 0xFF, (v >> 16) & 0xFF, (v >> 24) & 0xFF);
}
} // namespace

void KVVSTGUIEditor::ReadSkins(const TiXmlElement* window)
{
    const TiXmlElement* skins = window->FirstChildElement("Skins");
    for (const TiXmlElement* skin = skins ? skins->FirstChildElement("Skin") : nullptr; skin;
         skin = skin->NextSiblingElement("Skin"))
    {
        const TiXmlElement* images = skin->FirstChildElement("Images");
        for (const TiXmlElement* image = images ? images->FirstChildElement("Image") : nullptr; image;
             image = image->NextSiblingElement("Image"))
        {
            SkinBitmapInfo info = ReadImage(image);
            if (info.File.empty())
                EditorLog("a skin image without File is kept but finds nothing.");
            skinImages_.push_back(std::move(info));
        }
        const TiXmlElement* fonts = skin->FirstChildElement("Fonts");
        for (const TiXmlElement* font = fonts ? fonts->FirstChildElement("Font") : nullptr; font;
             font = font->NextSiblingElement("Font"))
            skinFonts_.push_back(ReadFont(font));
    }
}

SkinBitmapInfo KVVSTGUIEditor::getBitmapInfo(const std::wstring& name) const
{
    std::wstring key = name;
    replacein(key, L"\\", L"/");
    const std::wstring skins = L"/skins/";
    const std::size_t at = key.find(skins);
    if (at != std::wstring::npos)
        key = key.substr(at + skins.size());
    const bool hadColon = key.find(L':') != std::wstring::npos;
    replacein(key, L"/", L"__");
    replacein(key, L":", L"_");
    const std::string file = WStringToUtf8(GmpiResourceManager::StripExtension(key)) + ".png";

    auto find = [this](const std::string& wanted) -> const SkinBitmapInfo* {
        for (const auto& info : skinImages_)
        {
            if (info.File == wanted)
                return &info;
        }
        return nullptr;
    };
    if (const SkinBitmapInfo* info = find(skinName_ + "__" + file))
        return *info;
    if (const SkinBitmapInfo* info = find(hadColon ? file : "default__" + file))
        return *info;
    return SkinBitmapInfo::Empty();
}

SkinFontInfo KVVSTGUIEditor::getFontInfo(const std::wstring& category) const
{
    const std::string wanted = WStringToUtf8(Lowercase(category));
    for (const auto& info : skinFonts_)
    {
        if (info.Category == wanted)
            return info;
    }
    return SkinFontInfo::Empty();
}

CBitmap* KVVSTGUIEditor::loadBitmapResource(const SkinBitmapInfo& info) const
{
    if (info.File.empty())
        return nullptr;
    auto* bitmap = new CBitmap(CResourceDescription(info.File.c_str()));
    if (!bitmap->isLoaded())
    {
        EditorLog("image \"%s\" could not be loaded.", info.File.c_str());
        bitmap->forget();
        return nullptr;
    }
    return bitmap;
}

void KVVSTGUIEditor::ApplyStyle(const std::wstring& category, CParamDisplay* control) const
{
    if (control == nullptr)
        return;
    const SkinFontInfo info = getFontInfo(category);
    auto* font = new CFontDesc(info.Facename.c_str(), info.PixelHeight, info.style);
    control->setFont(font);
    font->forget();
    control->setHoriAlign(static_cast<CHoriTxtAlign>(info.Align));
    control->setFontColor(ColorOf(info.Color));
    if (static_cast<uint32_t>(info.Background) <= 0xFFFFFFu)
        control->setTransparency(true);
    else
    {
        control->setTransparency(false);
        control->setBackColor(ColorOf(info.Background));
    }
}
