// The demo instrument's editor, opened offscreen from its own documents: its
// controls show the parameters they are bound to and move them.

#include <gtest/gtest.h>

#include "GuiTestSupport.h"
#include "editor/controls/VG_CMyBmpCtrl3.h"
#include "editor/controls/VG_ComboGui.h"
#include "editor/controls/VG_PopupMenu.h"
#include "editor/controls/VG_TextEntry3.h"

using namespace gui_test;
using namespace VSTGUI;

namespace
{
struct DemoEditor
{
    DemoEditor() : f(DemoFiles(), {"dark__knob.png", "default__knob.txt"})
    {
        editor = f.NewEditor();
        opened = editor->open(nullptr);
    }
    static Files DemoFiles()
    {
        Files files;
        for (const auto& entry : fs::directory_iterator(fs::path(KV_DEMO_SYNTH_DOCUMENT).parent_path()))
            files[entry.path().filename().string()] = ReadFile(entry.path());
        return files;
    }
    GuiFixture f;
    Steinberg::IPtr<KVVSTGUIEditor> editor;
    bool opened = false;
};
} // namespace

TEST(DemoEditor, ControlsShowAndMoveTheirParameters)
{
    DemoEditor d;
    ASSERT_TRUE(d.opened);
    // Volume (host parameter 5, 1.6 of 0-10 V) on the knob of module 15.
    auto* volume = ModuleOf<VG_CMyBmpCtrl3>(*d.editor, 15);
    ASSERT_NE(volume, nullptr);
    EXPECT_NEAR(volume->Value(), 0.16f, 1e-6);
    EXPECT_EQ(volume->FrameCount(), 61);

    // The waveform list holds the seven shapes and shows Sine.
    auto* waveform = ModuleOf<VG_ComboGui>(*d.editor, 20);
    ASSERT_NE(waveform, nullptr);
    EXPECT_EQ(waveform->List()->getNbEntries(), 7);
    EXPECT_EQ(waveform->List()->getValue(), 0.0f);
    EXPECT_EQ(waveform->Label()->getText(), "Waveform");

    // The preset menu offers the preset commands; the labels show their names.
    auto* presets = ModuleOf<VG_PopupMenu>(*d.editor, 40);
    ASSERT_NE(presets, nullptr);
    EXPECT_EQ(presets->getNbEntries(), 2);
    EXPECT_EQ(ModuleOf<VG_TextEntry3>(*d.editor, 35)->getText(), "Volume");
    EXPECT_FALSE(ModuleOf<VG_TextEntry3>(*d.editor, 35)->wantsFocus());

    // Dragging the knob up 40 pixels adds 0.2 to the volume; choosing Saw sets the waveform.
    CPoint from(434, 84);
    volume->onMouseDown(from, kLButton);
    CPoint to(434, 44);
    volume->onMouseMoved(to, kLButton);
    volume->onMouseUp(to, kLButton);
    EXPECT_NEAR(d.f.controller->getParamNormalized(5), 0.36, 1e-5);
    waveform->List()->setValue(1.0f);
    waveform->valueChanged(waveform->List());
    EXPECT_NEAR(d.f.controller->getParamNormalized(0), 1.0 / 6.0, 1e-6);

    // A value from the host moves the knob.
    d.f.controller->setParamNormalized(5, 0.25);
    EXPECT_NEAR(volume->Value(), 0.25f, 1e-6);
}
