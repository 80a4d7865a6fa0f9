// Menus, file dialogs and text entry asked for by graphics-API modules, on a
// stand-in window that answers them: placement, ids, results, refusals, and
// one modal loop at a time.

#include "GmpiGuiTestSupport.h"
#include "editor/PGCC_PlatformTextEntry.h"
#include "editor/PGCVG_PlatformFileDialog.h"
#include "editor/PGCVG_PlatformMenu.h"
#include "editor/toolkit/CNewFileSelector.h"
#include "editor/toolkit/COptionMenu.h"
#include "editor/toolkit/COptionMenuPopup.h"

using namespace gmpi_gui_test;
using gmpi_test::TestPointerModule;
using VSTGUI::CButtonState;
using VSTGUI::COptionMenuPopup;
using VSTGUI::CPoint;

namespace
{
std::function<void(COptionMenuPopup&)> Choose(int position)
{
    return [position](COptionMenuPopup& popup) {
        const VSTGUI::CRect entry = popup.getEntryRect(position);
        const CPoint centre((entry.left + entry.right) / 2, (entry.top + entry.bottom) / 2);
        popup.onMouseMoved(centre);
        popup.onMouseDown(centre, VSTGUI::kLButton);
        popup.onMouseUp(centre, VSTGUI::kLButton);
    };
}

gmpi_gui::IMpPlatformMenu* NewMenu(VG_module4* host)
{
    gmpi::IMpUnknown* made = nullptr;
    EXPECT_EQ(host->createPlatformMenu(&made), gmpi::MP_OK);
    auto* menu = Query<gmpi_gui::IMpPlatformMenu>(made, gmpi_gui::KV_IID_GRAPHICS_PLATFORM_MENU);
    made->release();
    return menu;
}

PGCVG_PlatformFileDialog* NewDialog(VG_module4* host, int32_t type)
{
    gmpi::IMpUnknown* made = nullptr;
    if (host->createPlatformFileDialog(type, &made) != gmpi::MP_OK)
    {
        EXPECT_EQ(made, nullptr);
        return nullptr;
    }
    return static_cast<PGCVG_PlatformFileDialog*>(static_cast<gmpi_gui::IMpPlatformFileDialog*>(made));
}

GmpiGuiHosting::PGCC_PlatformTextEntry* NewTextEntry(VG_module4* host)
{
    gmpi::IMpUnknown* made = nullptr;
    EXPECT_EQ(host->createPlatformTextEdit(&made), gmpi::MP_OK);
    return static_cast<GmpiGuiHosting::PGCC_PlatformTextEntry*>(static_cast<gmpi_gui::IMpPlatformText*>(made));
}

class Chooser : public VSTGUI::IFileChooser
{
public:
    Chooser() { VSTGUI::CNewFileSelector::setChooser(this); }
    ~Chooser() override { VSTGUI::CNewFileSelector::setChooser(nullptr); }
    bool choose(const VSTGUI::CNewFileSelector& selector, std::vector<std::string>& files) override
    {
        styles.push_back(selector.getStyle());
        if (during)
            during();
        if (answer.empty())
            return false;
        files.push_back(answer);
        return true;
    }
    std::string answer;
    std::vector<int32_t> styles;
    std::function<void()> during;
};

class Completion final : public gmpi_gui::IMpCompletionCallback
{
public:
    explicit Completion(bool answers = true) : answers_(answers) {}
    int32_t queryInterface(const gmpi::MpGuid& iid, void** returnInterface) override
    {
        *returnInterface = nullptr;
        if (!answers_ || (iid != gmpi_gui::KV_IID_COMPLETION_CALLBACK && iid != gmpi::MP_IID_UNKNOWN))
            return gmpi::MP_NOSUPPORT;
        *returnInterface = this;
        return gmpi::MP_OK;
    }
    int32_t addRef() override { return 1; }
    int32_t release() override { return 1; }
    void OnComplete(int32_t value) override { results.push_back(value); }
    std::vector<int32_t> results;

private:
    bool answers_;
};
} // namespace

// The module's own left press: a menu at the press, below the title bar,
// whose items have ids out of order and an empty text; the chosen item's id.
TEST(GmpiPlatformMenu, PopsUpAtTheModulePointAndGivesTheChosenItemsId)
{
    EditorFixture f;
    TestPointerModule* module = f.Module<TestPointerModule>(kPointer);
    ASSERT_NE(module, nullptr);
    kvtest::FakePlatformFrame& window = f.OpenFakeWindow();
    // "First"=0, "Third"=2, ""=1 go in at their ids: First, "", Third.
    for (const auto& [position, id] : std::vector<std::pair<int, int>>{{0, 0}, {1, 1}, {2, 2}})
    {
        window.menuScript = Choose(position);
        CPoint where(kPointerLeft + 12, kPointerTop + kTitle + 7);
        f.editor->getFrame()->platformOnMouseDown(where, CButtonState(VSTGUI::kLButton));
        EXPECT_EQ(module->menuChoice, id);
    }
    EXPECT_EQ(window.popupLocation, CPoint(kPointerLeft + 12, kPointerTop + kTitle + 7));
    ASSERT_FALSE(module->events.empty());
    EXPECT_EQ(module->events.back(), "menu 0 2");

    // Ids out of order and past the end: the id comes back, not the position.
    VG_module4* host = f.Host(kPointer);
    gmpi_gui::IMpPlatformMenu* menu = NewMenu(host);
    menu->AddItem("Seven", 7);
    menu->AddItem("Three", 3);
    menu->AddItem("Zero", 0);
    menu->AddItem(nullptr, -4);
    EXPECT_EQ(menu->SetAlignment(1), gmpi::MP_OK);
    const struct
    {
        int position;
        int32_t id;
    } choices[] = {{0, 0}, {1, 7}, {2, 3}, {3, -4}};
    for (const auto& c : choices)
    {
        window.menuScript = Choose(c.position);
        int32_t chosen = 99;
        EXPECT_EQ(menu->Popup(&chosen, 1, 2), gmpi::MP_OK);
        EXPECT_EQ(chosen, c.id);
    }
    window.menuScript = [](COptionMenuPopup& popup) { popup.cancel(); };
    int32_t chosen = 99;
    EXPECT_EQ(menu->Popup(&chosen, 1, 2), gmpi::MP_OK);
    EXPECT_EQ(chosen, -1);
    menu->release();
}

TEST(GmpiPlatformMenu, ThousandsOfItemsAreTakenUpToTheCapAndNoWindowChoosesNothing)
{
    EditorFixture f;
    VG_module4* host = f.Host(kPointer);
    gmpi_gui::IMpPlatformMenu* menu = NewMenu(host);
    int refused = 0;
    for (int i = 0; i < 5000; ++i)
        refused += menu->AddItem(("Item " + std::to_string(i)).c_str(), i) != gmpi::MP_OK;
    EXPECT_EQ(refused, 5000 - PGCVG_PlatformMenu::kMaxItems);

    // Offscreen: nothing to pop up in.
    int32_t chosen = 99;
    EXPECT_EQ(menu->Popup(&chosen, 0, 0), gmpi::MP_OK);
    EXPECT_EQ(chosen, -1);

    kvtest::FakePlatformFrame& window = f.OpenFakeWindow();
    window.menuScript = [](COptionMenuPopup& popup) {
        popup.onKeyDown(COptionMenuPopup::Key::kEnd);
        popup.onKeyDown(COptionMenuPopup::Key::kReturn);
    };
    EXPECT_EQ(menu->Popup(&chosen, 0, 0), gmpi::MP_OK);
    EXPECT_EQ(chosen, PGCVG_PlatformMenu::kMaxItems - 1);
    menu->release();
}

// While one menu, dialog or text box is open, a second is refused at once.
TEST(GmpiPlatformWidgets, OneModalLoopAtATime)
{
    EditorFixture f;
    VG_module4* host = f.Host(kPointer);
    kvtest::FakePlatformFrame& window = f.OpenFakeWindow();
    window.typedText = std::make_unique<std::string>("typed");
    Chooser chooser;
    chooser.answer = "/tmp/chosen.xml";
    gmpi_gui::IMpPlatformMenu* outer = NewMenu(host);
    outer->AddItem("Only", 0);
    gmpi_gui::IMpPlatformMenu* inner = NewMenu(host);
    inner->AddItem("Inner", 0);
    PGCVG_PlatformFileDialog* dialog = NewDialog(host, 0);
    GmpiGuiHosting::PGCC_PlatformTextEntry* entry = NewTextEntry(host);

    int32_t innerChoice = 99, menuResult = 99, showResult = 99, textResult = 99;
    ReturnString file;
    Completion completion;
    const gmpi_gui::Rect box{0, 0, 50, 20};
    window.menuScript = [&](COptionMenuPopup& popup) {
        menuResult = inner->Popup(&innerChoice, 0, 0);
        showResult = dialog->Show(&file);
        textResult = entry->ShowAsync(&box, &completion);
        Choose(0)(popup);
    };
    int32_t outerChoice = 99;
    EXPECT_EQ(outer->Popup(&outerChoice, 0, 0), gmpi::MP_OK);
    EXPECT_EQ(outerChoice, 0);
    EXPECT_EQ(menuResult, gmpi::MP_FAIL);
    EXPECT_EQ(innerChoice, -1);
    EXPECT_EQ(showResult, gmpi::MP_FAIL);
    EXPECT_TRUE(chooser.styles.empty());
    EXPECT_EQ(textResult, gmpi::MP_FAIL);
    EXPECT_TRUE(completion.results.empty());
    EXPECT_EQ(window.popups, 1);
    EXPECT_EQ(window.textBoxes, 0);

    // A menu asked for from inside a file dialog is refused too; afterwards all work again.
    chooser.during = [&] { menuResult = inner->Popup(&innerChoice, 0, 0); };
    EXPECT_EQ(dialog->Show(&file), gmpi::MP_OK);
    EXPECT_EQ(menuResult, gmpi::MP_FAIL);
    EXPECT_EQ(file.text, "/tmp/chosen.xml");
    chooser.during = nullptr;
    window.menuScript = Choose(0);
    EXPECT_EQ(inner->Popup(&innerChoice, 0, 0), gmpi::MP_OK);
    EXPECT_EQ(innerChoice, 0);
    EXPECT_EQ(entry->ShowAsync(&box, &completion), gmpi::MP_OK);

    entry->release();
    dialog->release();
    inner->release();
    outer->release();
}

TEST(GmpiPlatformFileDialog, DescribesExtensionsAndReturnsTheChosenFile)
{
    EditorFixture f;
    VG_module4* host = f.Host(kPointer);
    const struct
    {
        const char* extension;
        const char* description;
        const char* expected;
    } extensions[] = {{"*", "", "All Files"}, {"xml", "", "xml Files"}, {"wav", "Sounds", "Sounds"},
                      {"*", nullptr, "All Files"}};
    for (const auto& c : extensions)
    {
        PGCVG_PlatformFileDialog* dialog = NewDialog(host, 0);
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->AddExtension(c.extension, c.description), gmpi::MP_OK);
        ASSERT_NE(dialog->Selector()->getDefaultExtension(), nullptr);
        EXPECT_EQ(dialog->Selector()->getDefaultExtension()->getDescription(), c.expected);
        EXPECT_EQ(dialog->Selector()->getDefaultExtension()->getExtension(), c.extension);
        dialog->release();
    }

    Chooser chooser;
    for (int32_t type : {0, 1, 2})
    {
        PGCVG_PlatformFileDialog* dialog = NewDialog(host, type);
        ASSERT_NE(dialog, nullptr);
        dialog->SetInitialFilename("patch.xml");
        dialog->setInitialDirectory("/tmp");
        EXPECT_EQ(dialog->Selector()->getDefaultSaveName(), "patch.xml");
        EXPECT_EQ(dialog->Selector()->getInitialDirectory(), "/tmp");
        ReturnString file;
        chooser.answer = "/tmp/answer " + std::to_string(type);
        EXPECT_EQ(dialog->Show(&file), gmpi::MP_OK);
        EXPECT_EQ(file.text, chooser.answer);
        chooser.answer.clear();
        EXPECT_EQ(dialog->Show(&file), gmpi::MP_FAIL);
        EXPECT_EQ(dialog->Show(nullptr), gmpi::MP_NOSUPPORT);
        Completion notAString;
        EXPECT_EQ(dialog->Show(&notAString), gmpi::MP_NOSUPPORT);
        dialog->release();
    }
    EXPECT_EQ(chooser.styles, (std::vector<int32_t>{0, 0, 1, 1, 2, 2}));
    EXPECT_EQ(NewDialog(host, 3), nullptr);
    EXPECT_EQ(NewDialog(host, -1), nullptr);
}

// The module's middle press: a text box over the module's top 20 pixels,
// below the title bar; the typed text comes back through GetText.
TEST(GmpiPlatformTextEntry, EditsTheTextInABoxOverTheModule)
{
    EditorFixture f;
    TestPointerModule* module = f.Module<TestPointerModule>(kPointer);
    ASSERT_NE(module, nullptr);
    kvtest::FakePlatformFrame& window = f.OpenFakeWindow();
    window.typedText = std::make_unique<std::string>("typed \xc3\xa9");
    CPoint where(kPointerLeft + 5, kPointerTop + kTitle + 5);
    f.editor->getFrame()->platformOnMouseDown(where, CButtonState(VSTGUI::kMButton));
    EXPECT_EQ(window.textBoxes, 1);
    EXPECT_EQ(window.textBoxRect,
              VSTGUI::CRect(kPointerLeft, kPointerTop + kTitle, kPointerLeft + 100, kPointerTop + kTitle + 20));
    EXPECT_EQ(module->text, "typed \xc3\xa9");
    ASSERT_FALSE(module->events.empty());
    EXPECT_EQ(module->events.back(), "text 0 0 typed \xc3\xa9");

    VG_module4* host = f.Host(kPointer);
    GmpiGuiHosting::PGCC_PlatformTextEntry* entry = NewTextEntry(host);
    EXPECT_EQ(entry->OriginX(), int32_t(kPointerLeft));
    EXPECT_EQ(entry->OriginY(), int32_t(kPointerTop + kTitle));
    entry->SetText("before");
    EXPECT_EQ(entry->SetAlignment(2), gmpi::MP_OK);
    // A fractional rectangle is placed on whole pixels.
    const gmpi_gui::Rect box{2.7f, 3.2f, 40.9f, 18.5f};
    Completion lacking(false);
    EXPECT_EQ(entry->ShowAsync(&box, &lacking), gmpi::MP_NOSUPPORT);
    EXPECT_EQ(entry->ShowAsync(&box, nullptr), gmpi::MP_NOSUPPORT);
    EXPECT_EQ(window.textBoxes, 1);
    Completion completion;
    EXPECT_EQ(entry->ShowAsync(nullptr, &completion), gmpi::MP_FAIL);
    EXPECT_EQ(entry->ShowAsync(&box, &completion), gmpi::MP_OK);
    EXPECT_EQ(completion.results, std::vector<int32_t>{0});
    EXPECT_EQ(window.textBoxRect, VSTGUI::CRect(kPointerLeft + 2, kPointerTop + kTitle + 3, kPointerLeft + 40,
                                                kPointerTop + kTitle + 18));
    ReturnString text;
    EXPECT_EQ(entry->GetText(&text), gmpi::MP_OK);
    EXPECT_EQ(text.text, "typed \xc3\xa9");
    EXPECT_EQ(entry->GetText(nullptr), gmpi::MP_NOSUPPORT);
    EXPECT_EQ(entry->GetText(&completion), gmpi::MP_NOSUPPORT);

    // A box the window cannot show: the text stays, no completion.
    window.typedText.reset();
    entry->SetText("kept");
    EXPECT_EQ(entry->ShowAsync(&box, &completion), gmpi::MP_FAIL);
    EXPECT_EQ(completion.results.size(), 1u);
    EXPECT_EQ(entry->Text(), "kept");
    entry->release();
}
