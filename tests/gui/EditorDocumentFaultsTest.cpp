// GUI patch documents with faults: the editor opens with what it can build,
// or refuses a document it cannot read, and says why on stderr.

#include <gtest/gtest.h>

#include "GuiTestSupport.h"

using namespace gui_test;

namespace
{
const char* const kSkins = R"(<Skins><Skin><Images><Image File="default__background.png"/></Images></Skin></Skins>)";

std::string Document(const std::string& canvasAttributes, const std::string& modules, const std::string& lines = "")
{
    return std::string("<Window>") + kSkins + "<Canvas " + canvasAttributes + "><Modules>" + modules +
           "</Modules><Lines>" + lines + "</Lines></Canvas></Window>";
}
} // namespace

TEST(KVVSTGUIEditorFaults, ABrokenDocumentOpensWhatCanBeBuiltAndLogsTheReason)
{
    const std::string view = R"(<Module Id="7" Type="Test Colour View" Canvas.Left="20" Canvas.Top="20" Width="60" Height="40")";
    std::string deep = "<Window>";
    for (int i = 0; i < 5000; ++i)
        deep += "<a>";

    struct Case
    {
        const char* name;
        std::string document; // empty: no gui.kv.xml in the bundle
        bool opens;
        const char* logged;
        std::size_t modules; // the automator included
        int width;
    };
    const Case cases[] = {
        {"no document", "", false, "missing", 0, 0},
        {"not well-formed", "<Window><Canvas>", false, "does not parse", 0, 0},
        {"nested too deep", deep, false, "nested too deep", 0, 0},
        {"a zero byte", std::string("<Window>\0</Window>", 18), false, "zero byte", 0, 0},
        {"no Window", "<Other/>", true, "no Window", 1, 10},
        {"no Canvas", std::string("<Window>") + kSkins + "</Window>", true, "no Canvas", 1, 10},
        {"no background image", "<Window><Canvas Width=\"50\" Height=\"30\"/></Window>", true,
         "no \"background\" image", 1, 50},
        {"unknown module type", Document("Width=\"240\" Height=\"160\"", view + "/><Module Id=\"8\" Type=\"Nope\"/>"),
         true, "unknown type \"Nope\"", 2, 240},
        {"a line to an unknown handle", Document("Width=\"240\" Height=\"160\"", view + "/>",
                                                 "<Line From=\"7\" FromPin=\"1\" To=\"55\" ToPin=\"0\"/>"),
         true, "from 7 to 55 names a module that is not there", 2, 240},
        {"a plug id out of range",
         Document("Width=\"240\" Height=\"160\"", view + "><Plugs><Plug Id=\"99\" Default=\"1\"/></Plugs></Module>"),
         true, "plug 99 has no pin", 2, 240},
        {"a default that is no float",
         Document("Width=\"240\" Height=\"160\"", view + "><Plugs><Plug Default=\"loud\"/></Plugs></Module>"), true,
         "default \"loud\" is not a value", 2, 240},
        {"an absurd module size",
         Document("Width=\"240\" Height=\"160\"",
                  R"(<Module Id="7" Type="Test Colour View" Canvas.Left="-2000000000" Width="99999999" Height="5"/>)"),
         true, "out of range: not placed", 2, 240},
        {"an absurd canvas", Document("Width=\"100000\" Height=\"-5\"", ""), true, "out of range: kept within", 1,
         KVVSTGUIEditor::kMaxCanvasSize},
        {"the same handle twice", Document("Width=\"240\" Height=\"160\"", view + "/>" + view + "/>"), true,
         "the handle is taken", 2, 240},
    };
    for (const auto& c : cases)
    {
        auto fixture = c.document.empty() ? std::make_unique<GuiFixture>(Files{}, std::vector<std::string>{"gui.kv.xml"})
                                          : std::make_unique<GuiFixture>(Files{{"gui.kv.xml", c.document}});
        GuiFixture& f = *fixture;
        auto editor = f.NewEditor();
        testing::internal::CaptureStderr();
        const bool opened = editor->open(nullptr);
        const std::string log = testing::internal::GetCapturedStderr();
        EXPECT_EQ(opened, c.opens) << c.name;
        EXPECT_NE(log.find(c.logged), std::string::npos) << c.name << ": " << log;
        EXPECT_EQ(editor->Modules().size(), c.modules) << c.name;
        EXPECT_EQ(editor->IsOpen(), c.opens) << c.name;
        if (c.opens)
        {
            EXPECT_EQ(editor->getFrame()->getWidth(), c.width) << c.name;
            Draw(*editor);
        }
        editor->close();
        EXPECT_TRUE(f.controller->Automators().empty()) << c.name;
    }
}
