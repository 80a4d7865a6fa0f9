// The container control "ContainerV": sized to its children's box moved by
// its offsets, children placed inside it, shown while a visibility pin is true.

#include <gtest/gtest.h>

#include "GuiTestSupport.h"
#include "editor/VG_Container.h"

using namespace gui_test;

namespace
{
std::string View(int id, int left, int top, int width, int height)
{
    return "<Module Id=\"" + std::to_string(id) + "\" Type=\"Test Colour View\" Canvas.Left=\"" +
           std::to_string(left) + "\" Canvas.Top=\"" + std::to_string(top) + "\" Width=\"" + std::to_string(width) +
           "\" Height=\"" + std::to_string(height) + "\"/>";
}

std::string Container(int id, const std::string& offsets, const std::string& children)
{
    return "<Module Id=\"" + std::to_string(id) + "\" Type=\"ContainerV\" " + offsets +
           "><Plugs><Plug Id=\"2\" Default=\"1\"/></Plugs><Modules>" + children + "</Modules></Module>";
}

const std::string kDocument =
    R"(<Window><Skins><Skin><Images><Image File="default__background.png"/></Images></Skin></Skins>
<Canvas Width="240" Height="160"><Modules>)" +
    Container(20, "OffsetX=\"5\" OffsetY=\"0\"", View(21, 100, 50, 40, 20) + View(22, 150, 60, 10, 10)) +
    Container(30, "OffsetX=\"7\" OffsetY=\"3\"", "") +
    Container(40, "", Container(41, "", View(42, 10, 120, 20, 20))) + "</Modules></Canvas></Window>";

VSTGUI::CRect SizeOf(KVVSTGUIEditor& editor, int handle)
{
    return editor.HandleToObject(handle)->getVstGuiView()->getViewSize();
}

bool Black(const VSTGUI::COffscreenContext& picture, int x, int y)
{
    const auto p = picture.getPixel(x, y);
    return p.red < 3 && p.green < 3 && p.blue < 3;
}
} // namespace

TEST(VG_Container, SizesItselfToItsChildrenAndPlacesThemInside)
{
    GuiFixture f(Files{{"gui.kv.xml", kDocument}});
    auto editor = f.NewEditor();
    ASSERT_TRUE(editor->open(nullptr));

    const MpRect r = editor->HandleToObject(20)->getRect();
    EXPECT_EQ((std::vector<int>{r.left, r.top, r.right, r.bottom}), (std::vector<int>{105, 50, 165, 70}));
    EXPECT_EQ(SizeOf(*editor, 20), VSTGUI::CRect(105, 50, 165, 70));
    EXPECT_EQ(SizeOf(*editor, 21), VSTGUI::CRect(0, 0, 40, 20));
    EXPECT_EQ(SizeOf(*editor, 22), VSTGUI::CRect(50, 10, 60, 20));
    // Without children: a zero size at its offsets.
    EXPECT_EQ(SizeOf(*editor, 30), VSTGUI::CRect(7, 3, 7, 3));
    // Nested: the inner container is measured before the outer one reads it.
    EXPECT_EQ(SizeOf(*editor, 40), VSTGUI::CRect(10, 120, 30, 140));
    EXPECT_EQ(SizeOf(*editor, 41), VSTGUI::CRect(0, 0, 20, 20));
    EXPECT_EQ(SizeOf(*editor, 42), VSTGUI::CRect(0, 0, 20, 20));

    // Children draw where the panel shows them (level 0: black).
    auto picture = Draw(*editor);
    EXPECT_TRUE(Black(*picture, 110, 55));
    EXPECT_TRUE(Black(*picture, 160, 65));
    EXPECT_FALSE(Black(*picture, 150, 65));
    EXPECT_FALSE(Black(*picture, 100, 55));
    EXPECT_TRUE(Black(*picture, 15, 125));

    // Both visibility pins false hide the panel with its children; either one shows it.
    GuiModuleWrapper* panel = editor->HandleToObject(20);
    const char no = 0, yes = 1;
    panel->setPin(nullptr, -1, 2, 0, 1, &no);
    EXPECT_FALSE(panel->getVstGuiView()->isVisible());
    EXPECT_FALSE(Black(*Draw(*editor), 110, 55));
    panel->setPin(nullptr, -1, 0, 0, 1, &yes);
    EXPECT_TRUE(panel->getVstGuiView()->isVisible());
    EXPECT_TRUE(Black(*Draw(*editor), 110, 55));
}
