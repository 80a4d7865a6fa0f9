// The editor's skin tables: image keys, mode-dependent image attributes,
// font categories, and the style they give text controls.

#include <gtest/gtest.h>

#include "GuiTestSupport.h"
#include "editor/toolkit/CFontDesc.h"
#include "editor/toolkit/CTextLabel.h"

using namespace gui_test;

namespace
{
const char* const kSkinDocument = R"(<Window><Skins>
  <Skin><Images>
    <Image File="default__background.png"/>
    <Image File="dark__b.png" DrawMode="11"/>
    <Image File="default__b.png" DrawMode="12"/>
    <Image File="C___images__knob.png" DrawMode="13"/>
    <Image File="default__a__knob.png" DrawMode="14"/>
    <Image File="dark__line.png" DrawMode="3" LineEndLength="4" HandleTop="9" HandleRangeTop="2"/>
    <Image File="dark__handle.png" DrawMode="0" HandleTop="9" LineEndLength="4" MouseMode="x"/>
  </Images>
  <Fonts>
    <Font Category="control_label" Facename="DejaVu Sans" PixelHeight="14" Bold="1" Italic="1" Align="Right" Color="4278190335" Background="16777215"/>
    <Font Category="Control_Label" Facename="Never Found"/>
  </Fonts></Skin>
  <Skin><Fonts>
    <Font Category="opaque" Facename="DejaVu Sans" Underline="1" Align="middle" Background="4278190080"/>
  </Fonts></Skin>
</Skins><Canvas Width="100" Height="50" Skin="dark"/></Window>)";
} // namespace

TEST(KVVSTGUIEditorSkins, ImageKeysFontCategoriesAndStyles)
{
    GuiFixture f(Files{{"gui.kv.xml", kSkinDocument}});
    auto editor = f.NewEditor();
    ASSERT_TRUE(editor->open(nullptr));
    ASSERT_EQ(editor->SkinImages().size(), 7u);
    ASSERT_EQ(editor->SkinFonts().size(), 3u);

    struct Case
    {
        std::wstring name;
        int drawMode; // of the image found; 0 with no file for none
    };
    const Case cases[] = {
        {L"b", 11},                    // the canvas skin first
        {L"b.bmp", 11},                // the extension is dropped
        {L"C:\\images\\knob.bmp", 13}, // a colon: the plain name after the skin's
        {L"/skins/a/knob", 14},        // what follows /skins/, then default's
        {L"x/skins/a/knob.png", 14},
        {L"knob", 0},
    };
    for (const auto& c : cases)
    {
        const SkinBitmapInfo info = editor->getBitmapInfo(c.name);
        EXPECT_EQ(info.DrawMode, c.drawMode) << WStringToUtf8(c.name);
        EXPECT_EQ(info.File.empty(), c.drawMode == 0) << WStringToUtf8(c.name);
    }
    const SkinBitmapInfo line = editor->getBitmapInfo(L"line");
    EXPECT_EQ(line.LineEndLength, 4);
    EXPECT_EQ(line.HandleTop, 0);
    EXPECT_EQ(line.HandleRangeTop, 2);
    EXPECT_EQ(line.MouseMode, 3);
    const SkinBitmapInfo handle = editor->getBitmapInfo(L"handle");
    EXPECT_EQ(handle.LineEndLength, 0);
    EXPECT_EQ(handle.HandleTop, 9);
    EXPECT_EQ(handle.MouseMode, 3); // not a number: the default

    // Categories are matched in lower case.
    const SkinFontInfo label = editor->getFontInfo(L"Control_Label");
    EXPECT_EQ(label.Facename, "DejaVu Sans");
    EXPECT_EQ(label.style, kSkinFontBold | kSkinFontItalic);
    EXPECT_EQ(label.Align, 2);
    EXPECT_EQ(editor->getFontInfo(L"opaque").style, kSkinFontUnderline);
    EXPECT_EQ(editor->getFontInfo(L"opaque").Align, 0);
    EXPECT_TRUE(editor->getFontInfo(L"none").Facename.empty());

    // Colours are four bytes, lowest first: red, green, blue, alpha.
    auto* text = new VSTGUI::CTextLabel(VSTGUI::CRect(0, 0, 10, 10));
    editor->ApplyStyle(L"control_label", text);
    EXPECT_EQ(text->getFontColor(), VSTGUI::CColor(255, 0, 0, 255));
    EXPECT_EQ(text->getHoriAlign(), VSTGUI::kRightText);
    EXPECT_TRUE(text->getTransparency());
    ASSERT_NE(text->getFont(), nullptr);
    EXPECT_EQ(text->getFont()->getSize(), 14);
    editor->ApplyStyle(L"opaque", text);
    EXPECT_FALSE(text->getTransparency());
    EXPECT_EQ(text->getBackColor(), VSTGUI::CColor(0, 0, 0, 255));
    text->forget();

    // The background image of the skin "dark" comes from "default".
    EXPECT_EQ(editor->getBitmapInfo(L"background").File, "default__background.png");
    EXPECT_EQ(editor->getFrame()->getNbViews(), 1); // the background; the automator has no view
}
