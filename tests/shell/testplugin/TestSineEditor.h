#pragma once
// The test instrument's editor: a frame of the toolkit with a set of views to
// click, drag and type into through a real X server, each reporting to the
// controller what it was given: a colour pad that turns from red to green
// when pressed, a bar whose blue part follows a drag and sets the gain, a
// text edit, a box that runs the in-place text box directly, and an option
// menu of three entries.

#include "editor/toolkit/IControlListener.h"
#include "editor/toolkit/VSTGUIEditorInterface.h"
#include "editor/toolkit/x11/FrameEmbedding.h"
#include "public.sdk/source/vst/vsteditcontroller.h"

class TestSineController;

namespace TestSineLayout
{
// Frame coordinates of the views (left, top, right, bottom).
constexpr int kWidth = 400;
constexpr int kHeight = 200;
constexpr int kPad[4] = {10, 10, 110, 60};
constexpr int kTextEdit[4] = {130, 10, 260, 40};
constexpr int kTextBox[4] = {280, 10, 390, 40};
constexpr int kBar[4] = {10, 80, 390, 110};
constexpr int kMenu[4] = {10, 140, 150, 170};
} // namespace TestSineLayout

// SDK interfaces are COM-style: objects die through release(), never through
// a base pointer, so their bases have no virtual destructor.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
class TestSineEditor : public Steinberg::Vst::EditorView,
                       public VSTGUI::VSTGUIEditorInterface,
                       public VSTGUI::IControlListener
{
public:
    explicit TestSineEditor(TestSineController* owner);
    ~TestSineEditor() override;

    VSTGUI::CFrame* getFrame() const override { return embedding_.frame(); }
    void valueChanged(VSTGUI::CControl* control) override;

    Steinberg::tresult PLUGIN_API isPlatformTypeSupported(Steinberg::FIDString type) SMTG_OVERRIDE;
    Steinberg::tresult PLUGIN_API attached(void* parent, Steinberg::FIDString type) SMTG_OVERRIDE;
    Steinberg::tresult PLUGIN_API removed() SMTG_OVERRIDE;

private:
    TestSineController* controller_;
    VSTGUI::FrameEmbedding embedding_;
};
#pragma GCC diagnostic pop
