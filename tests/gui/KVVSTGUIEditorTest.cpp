// The editor built from the test bundle's GUI patch document, drawn
// offscreen: skins and fonts, module views, bindings to host parameters,
// pin defaults, messages from the DSP side, and the preset menu.

#include <gtest/gtest.h>

#include "GuiTestSupport.h"
#include "core/HostControls.h"
#include "core/ParameterFieldType.h"
#include "core/QueMessage.h"
#include "core/StagingMemoryBuffer.h"
#include "editor/GuiPatchAutomator2.h"
#include "editor/toolkit/CNewFileSelector.h"
#include "tools/kvhost/HostMemoryStream.h"

#include <cstring>

using namespace gui_test;
using namespace Steinberg;
using VSTGUI::CColor;

// Interfaces die through release(), never through a base pointer.
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"

namespace
{
std::string Wide(const std::wstring& text)
{
    std::string bytes;
    for (wchar_t c : text)
        bytes += Bytes(static_cast<int32_t>(c));
    return bytes + Bytes(int32_t{0});
}

bool Near(const CColor& a, const CColor& b)
{
    auto close = [](int x, int y) { return std::abs(x - y) <= 2; };
    return close(a.red, b.red) && close(a.green, b.green) && close(a.blue, b.blue);
}

// Pixels of a region that are (nearly) white.
int WhitePixels(const VSTGUI::COffscreenContext& context, int left, int top, int right, int bottom)
{
    int count = 0;
    for (int y = top; y < bottom; ++y)
        for (int x = left; x < right; ++x)
        {
            const CColor p = context.getPixel(x, y);
            count += p.red > 230 && p.green > 230 && p.blue > 230;
        }
    return count;
}

// One "sdk" record of the processor's batch, as the controller reads it.
std::string SdkRecord(int handle, int32_t id, const std::string& bytes)
{
    std::string payload = Bytes(id) + Bytes(static_cast<int32_t>(bytes.size())) + bytes;
    return Bytes(int32_t{handle}) + Bytes(QueMessageId::sdk) + Bytes(static_cast<int32_t>(payload.size())) + payload;
}

void Notify(GuiFixture& f, const std::string& batch)
{
    Vst::IMessage* made = nullptr;
    TUID iid;
    std::memcpy(iid, Vst::IMessage::iid, sizeof(iid));
    f.host.createInstance(iid, iid, reinterpret_cast<void**>(&made));
    IPtr<Vst::IMessage> message = owned(made);
    ASSERT_TRUE(message);
    message->setMessageID("BinaryMessage");
    message->getAttributes()->setBinary("MyData", batch.data(), static_cast<uint32>(batch.size()));
    EXPECT_EQ(f.controller->notify(message), kResultOk);
}

// Answers file selectors with a path, or cancels them.
class Chooser : public VSTGUI::IFileChooser
{
public:
    Chooser() { VSTGUI::CNewFileSelector::setChooser(this); }
    ~Chooser() override { VSTGUI::CNewFileSelector::setChooser(nullptr); }
    bool choose(const VSTGUI::CNewFileSelector& selector, std::vector<std::string>& files) override
    {
        styles.push_back(selector.getStyle());
        if (answer.empty())
            return false;
        files.push_back(answer);
        return true;
    }
    std::string answer;
    std::vector<int> styles;
};
} // namespace

TEST(KVVSTGUIEditor, OpensTheCanvasWithItsSkinFontAndModuleViews)
{
    GuiFixture f;
    auto editor = f.NewEditor();
    // The host sizes its window before the editor opens.
    ViewRect size;
    editor->getSize(&size);
    EXPECT_EQ(size.getWidth(), 240);
    EXPECT_EQ(size.getHeight(), 160);
    ASSERT_TRUE(editor->open(nullptr));
    editor->getSize(&size);
    EXPECT_EQ(size.getWidth(), 240);
    EXPECT_EQ(size.getHeight(), 160);
    ASSERT_NE(editor->getFrame(), nullptr);
    EXPECT_EQ(editor->getFrame()->getWidth(), 240);

    const auto picture = Draw(*editor);
    EXPECT_TRUE(Near(picture->getPixel(1, 1), CColor(255, 255, 255)));
    EXPECT_TRUE(Near(picture->getPixel(10, 100), CColor(32, 96, 112)));
    EXPECT_TRUE(Near(picture->getPixel(200, 20), CColor(224, 128, 32)));
    // The colour view shows "Level" (5 of 10) at its place.
    EXPECT_TRUE(Near(picture->getPixel(50, 40), TestColourView::ColourOf(5.0f)));
    EXPECT_TRUE(Near(picture->getPixel(19, 19), CColor(32, 96, 112)));
    // The label's plug default "Kv" in the skin's white bold font, on the orange.
    EXPECT_GT(WhitePixels(*picture, 120, 90, 220, 130), 20);
    EXPECT_EQ(WhitePixels(*picture, 130, 60, 220, 85), 0);
}

TEST(KVVSTGUIEditor, ParameterPinsAreBoundAndDefaultsSetBeforeModulesInitialise)
{
    GuiFixture f;
    auto editor = f.NewEditor();
    ASSERT_TRUE(editor->open(nullptr));
    GuiPatchAutomator2* automator = editor->Automator();
    ASSERT_NE(automator, nullptr);
    using B = GuiPatchAutomator2::ParameterInfo2;
    auto same = [](const B& a, const B& b) {
        return a.moduleHandle == b.moduleHandle && a.moduleParamId == b.moduleParamId &&
               a.parameterHandle == b.parameterHandle && a.field == b.field;
    };
    const std::vector<B> expected = {{7, 0, 10, FT_VALUE}, {9, 1, -1, FT_VALUE}, {9, 1, -1, FT_ENUM_LIST},
                                     {9, -1 - HC_VOICE_PITCH, -1, FT_VALUE}};
    ASSERT_EQ(automator->Bindings().size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i)
        EXPECT_TRUE(same(automator->Bindings()[i], expected[i])) << i;

    auto* recorder = ModuleOf<TestRecorder>(*editor, 9);
    ASSERT_NE(recorder, nullptr);
    // Bound values, the preset menu's items, the echo of the view's level, a pin default.
    EXPECT_EQ(recorder->ValuesOf(0), (std::vector<std::string>{Bytes(5.0f)}));
    EXPECT_EQ(recorder->ValuesOf(1), (std::vector<std::string>{Bytes(int32_t{0})}));
    EXPECT_EQ(recorder->ValuesOf(2), (std::vector<std::string>{Wide(L"Export Preset=1,Import Preset")}));
    EXPECT_EQ(recorder->ValuesOf(3), (std::vector<std::string>{Bytes(2.5f)}));
    auto* view = ModuleOf<TestColourView>(*editor, 7);
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->Level(), 5.0f);
}

TEST(KVVSTGUIEditor, ABoundViewFollowsHostAutomationAndItsWritesBecomeHostEdits)
{
    GuiFixture f;
    auto editor = f.NewEditor();
    ASSERT_TRUE(editor->open(nullptr));
    auto* view = ModuleOf<TestColourView>(*editor, 7);
    auto* recorder = ModuleOf<TestRecorder>(*editor, 9);
    ASSERT_TRUE(view && recorder);
    f.handler.takeEdits();

    f.controller->setParamNormalized(0, 0.8);
    EXPECT_FLOAT_EQ(view->Level(), 8.0f);
    EXPECT_EQ(recorder->ValuesOf(0).back(), Bytes(8.0f));
    EXPECT_TRUE(Near(Draw(*editor)->getPixel(50, 40), TestColourView::ColourOf(8.0f)));

    view->SetLevel(2.0f);
    const auto edits = f.handler.takeEdits();
    ASSERT_FALSE(edits.empty());
    EXPECT_EQ(edits.back().first, 0u);
    EXPECT_DOUBLE_EQ(edits.back().second, 0.2);
    EXPECT_DOUBLE_EQ(f.controller->getParamNormalized(0), 0.2);

    // A restored state reaches the open editor too.
    const std::string state = "<Parameters><Param id=\"10\" index=\"0\" val=\"7\"/></Parameters>";
    const std::string chunk = Bytes(static_cast<int32_t>(state.size())) + state;
    HostMemoryStream stream(std::vector<char>(chunk.begin(), chunk.end()));
    EXPECT_EQ(f.controller->setComponentState(&stream), kResultOk);
    EXPECT_FLOAT_EQ(view->Level(), 7.0f);
}

TEST(KVVSTGUIEditor, MessagesFromTheDspSideReachTheModuleInEveryOpenEditor)
{
    GuiFixture f;
    auto first = f.NewEditor();
    auto second = f.NewEditor();
    ASSERT_TRUE(first->open(nullptr));
    ASSERT_TRUE(second->open(nullptr));
    EXPECT_EQ(f.controller->Automators().size(), 2u);

    std::string cut = SdkRecord(9, 3, "xyz");
    cut.resize(cut.size() - 2);
    Notify(f, SdkRecord(9, 77, "abc") + SdkRecord(55, 1, "lost") + cut);
    for (auto* editor : {first.get(), second.get()})
    {
        auto* recorder = ModuleOf<TestRecorder>(*editor, 9);
        ASSERT_NE(recorder, nullptr);
        EXPECT_EQ(recorder->messages, (std::vector<std::pair<int, std::string>>{{77, "abc"}}));
    }

    // A module's message leaves for the processor under its handle.
    f.peer.messages.clear();
    EXPECT_EQ(first->HandleToObject(9)->sendMessageToAudio(4, 2, static_cast<const void*>("hi")), 0);
    ASSERT_EQ(f.peer.messages.size(), 1u);
    EXPECT_NE(f.peer.messages[0].find("hi"), std::string::npos);

    // The host lets go of a view without removing it: its automator leaves.
    second = nullptr;
    EXPECT_EQ(f.controller->Automators().size(), 1u);
}

TEST(KVVSTGUIEditor, OpenedAgainItBuildsAfreshWithoutReadingTheSkinsTwice)
{
    GuiFixture f;
    auto editor = f.NewEditor();
    ASSERT_TRUE(editor->open(nullptr));
    const int firstKey = editor->Modules().begin()->first;
    const std::size_t images = editor->SkinImages().size();
    const std::size_t fonts = editor->SkinFonts().size();
    EXPECT_EQ(images, 2u);
    EXPECT_EQ(fonts, 1u);
    editor->close();
    EXPECT_FALSE(editor->IsOpen());
    EXPECT_TRUE(editor->Modules().empty());
    EXPECT_TRUE(f.controller->Automators().empty());
    editor->close();

    ASSERT_TRUE(editor->open(nullptr));
    EXPECT_EQ(editor->Modules().begin()->first, firstKey - 1);
    EXPECT_EQ(editor->SkinImages().size(), images);
    EXPECT_EQ(editor->SkinFonts().size(), fonts);
    EXPECT_EQ(f.controller->Automators().size(), 1u);
    EXPECT_EQ(editor->Modules().size(), 4u);
    // Opened again without a close in between: the old editor goes first.
    ASSERT_TRUE(editor->open(nullptr));
    EXPECT_EQ(f.controller->Automators().size(), 1u);
}

TEST(KVVSTGUIEditor, ThePresetMenuExportsAndImportsThroughTheFileSelector)
{
    GuiFixture f;
    auto editor = f.NewEditor();
    ASSERT_TRUE(editor->open(nullptr));
    auto* recorder = ModuleOf<TestRecorder>(*editor, 9);
    ASSERT_NE(recorder, nullptr);
    Chooser chooser;

    // Level 3, exported by the menu's first item.
    f.controller->setParamNormalized(0, 0.3);
    chooser.answer = f.scratch.file("mine");
    const int32_t exportItem = 1;
    recorder->pinTransmit(1, 4, &exportItem);
    // The dialog answers when the frame's timer looks at it, not before.
    EXPECT_TRUE(ReadFile(f.scratch.file("mine.preset.xml")).empty());
    editor->getFrame()->platformOnIdle();
    EXPECT_TRUE(editor->LastPresetCommandSucceeded());
    const std::string saved = ReadFile(f.scratch.file("mine.preset.xml"));
    ASSERT_FALSE(saved.empty());

    // Level 9, then the file imported by the second item: back to 3.
    f.controller->setParamNormalized(0, 0.9);
    chooser.answer = f.scratch.file("mine.preset.xml");
    const int32_t importItem = 2;
    recorder->pinTransmit(1, 4, &importItem);
    editor->getFrame()->platformOnIdle();
    EXPECT_NEAR(f.controller->getParamNormalized(0), 0.3, 1e-6);
    EXPECT_FLOAT_EQ(ModuleOf<TestColourView>(*editor, 7)->Level(), 3.0f);

    // A cancelled selector does nothing.
    chooser.answer.clear();
    recorder->pinTransmit(1, 4, &importItem);
    editor->getFrame()->platformOnIdle();
    EXPECT_NEAR(f.controller->getParamNormalized(0), 0.3, 1e-6);
    EXPECT_EQ(chooser.styles, (std::vector<int>{VSTGUI::CNewFileSelector::kSelectSaveFile,
                                                VSTGUI::CNewFileSelector::kSelectFile,
                                                VSTGUI::CNewFileSelector::kSelectFile}));
}

TEST(KVVSTGUIEditor, ModulesFindAndOpenTheBundlesResourcesByName)
{
    GuiFixture f;
    auto editor = f.NewEditor();
    ASSERT_TRUE(editor->open(nullptr));
    GuiModuleWrapper* host = editor->HandleToObject(9);
    ASSERT_NE(host, nullptr);

    struct Case
    {
        std::string uri;
        bool opens;
    };
    const std::string resources = WStringToUtf8(editor->ResourceFolder());
    const Case cases[] = {
        {"resource://default__knob.txt", true},
        {resources + "default__knob.txt", true},
        {"resource://../KvGuiTest.vst3/Contents/Resources/default__knob.txt", false},
        {"resource://", false},
        {"resource://missing.txt", false},
    };
    for (const auto& c : cases)
    {
        gmpi::IProtectedFile2* file = nullptr;
        EXPECT_EQ(host->OpenUri(c.uri.c_str(), &file), c.opens ? 0 : -1) << c.uri;
        EXPECT_EQ(file != nullptr, c.opens) << c.uri;
        if (file)
        {
            int64_t size = 0;
            file->getSize(&size);
            EXPECT_EQ(size, 9) << c.uri;
            file->release();
        }
    }

    // Skin resources under the editor's skin ("default" here).
    struct Text : gmpi::IMpReturnString
    {
        int32_t queryInterface(const gmpi::MpGuid& iid, void** out) override
        {
            *out = iid == gmpi::MP_IID_RETURNSTRING ? this : nullptr;
            return *out ? 0 : -2;
        }
        int32_t addRef() override { return 1; }
        int32_t release() override { return 1; }
        int32_t setData(const char* data, int32_t size) override
        {
            value.assign(data, static_cast<std::size_t>(size));
            return 0;
        }
        std::string value;
    } text;
    EXPECT_EQ(host->RegisterResourceUri("knob", "ImageMeta", &text), 0);
    EXPECT_EQ(text.value, resources + "default__knob.txt");
    EXPECT_EQ(host->ClearResourceUris(), 0);
}
