#pragma once
// Small GUI modules for the editor's tests and the test bundle, registered
// from this unit's static initializer (the built-in controls come later):
//   "Test Colour View": a view filled with a colour from its float pin 0
//     ("Level", bound to parameter 0 of its module, 0 to 10: black to red);
//     pin 1 ("Echo", out) repeats every level it gets. A click sets the
//     level from where it lands: 0 at the left edge to 10 at the right.
//   "Test Label": a text label in the skin font "test_label", its text from
//     its text pin 0.
//   "Test Recorder": no view; records every value that reaches its pins:
//     0 float, 1 int bound to parameter 1 (none: the preset menu), 2 text
//     bound to the enum list of parameter 1, 3 float with the default "2.5",
//     4 float bound to the host control "Voice/Pitch"; and every message from
//     its DSP part.

#include <string>
#include <utility>
#include <vector>

#include "editor/KvGuiInvisibleBase.h"
#include "editor/KvGuiVstGuiView.h"
#include "editor/toolkit/CTextLabel.h"
#include "editor/toolkit/CView.h"

namespace gui_test
{

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
class TestColourView : public KvGuiVstGuiView<VSTGUI::CView>
{
public:
    TestColourView();

    int32_t measure(MpSize available, MpSize& desired) override;
    int32_t arrange(MpRect rect) override;
    void draw(VSTGUI::CDrawContext* context) override;
    VSTGUI::CMouseEventResult onMouseDown(VSTGUI::CPoint& where, const VSTGUI::CButtonState& buttons) override;

    // A change made in the view (as a mouse drag would): sent out of pin 0.
    void SetLevel(float level) { level_ = level; }
    float Level() const { return level_.getValue(); }
    static VSTGUI::CColor ColourOf(float level);

private:
    ~TestColourView() override = default;
    void onLevel();

    MpGuiPin<float> level_;
    MpGuiPin<float> echo_;
};

class TestLabel : public KvGuiVstGuiView<VSTGUI::CTextLabel>
{
public:
    TestLabel();

    int32_t initialize() override;
    int32_t measure(MpSize available, MpSize& desired) override;
    int32_t arrange(MpRect rect) override;

private:
    ~TestLabel() override = default;
    void onText();

    MpGuiPin<std::wstring> text_;
};
#pragma GCC diagnostic pop

class TestRecorder : public KvGuiInvisibleBase
{
public:
    int32_t setPin(int32_t pin, int32_t voice, int32_t size, const void* data) override;
    int32_t receiveMessageFromAudio(int32_t id, int32_t size, const void* data) override;

    // The values that reached a pin, in order.
    std::vector<std::string> ValuesOf(int pin) const;
    std::vector<std::pair<int, std::string>> pins;
    std::vector<std::pair<int, std::string>> messages;
};

template <typename T>
std::string Bytes(const T& value)
{
    return std::string(reinterpret_cast<const char*>(&value), sizeof(T));
}

} // namespace gui_test
