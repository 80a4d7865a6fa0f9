#include "TestGuiModules.h"

#include <algorithm>

#include "core/CModuleFactory.h"
#include "editor/toolkit/CDrawContext.h"
#include "editor/KVVSTGUIEditor.h"

namespace gui_test
{
namespace
{
const char* const kModulesXml = R"(<?xml version="1.0" encoding="utf-8" ?>
<PluginList>
  <Plugin id="Test Colour View" name="Colour View" graphicsApi="VSTGUI">
    <Parameters>
      <Parameter id="0" datatype="float" name="Level"/>
    </Parameters>
    <GUI>
      <Pin name="Level" datatype="float" parameterId="0"/>
      <Pin name="Echo" datatype="float" direction="out"/>
    </GUI>
  </Plugin>
  <Plugin id="Test Label" name="Label" graphicsApi="VSTGUI">
    <GUI>
      <Pin name="Text" datatype="string" default="unset"/>
    </GUI>
  </Plugin>
  <Plugin id="Test Recorder" name="Recorder" graphicsApi="VSTGUI">
    <GUI>
      <Pin name="In" datatype="float"/>
      <Pin name="Preset" datatype="int" parameterId="1"/>
      <Pin name="Preset Items" datatype="string" parameterId="1" parameterField="7"/>
      <Pin name="Fixed" datatype="float" default="2.5"/>
      <Pin name="Pitch" datatype="float" hostConnect="Voice/Pitch"/>
    </GUI>
  </Plugin>
</PluginList>
)";

template <class T>
gmpi::IMpUnknown* create()
{
    return static_cast<gmpi::IMpUserInterface2*>(new T());
}

int32_t registerModules()
{
    RegisterPluginXml(kModulesXml);
    RegisterPlugin(3, L"Test Colour View", &create<TestColourView>);
    RegisterPlugin(3, L"Test Label", &create<TestLabel>);
    return RegisterPlugin(3, L"Test Recorder", &create<TestRecorder>);
}

const int32_t registered = registerModules();
} // namespace

TestColourView::TestColourView() : KvGuiVstGuiView(VSTGUI::CRect())
{
    initializePin(0, level_, &TestColourView::onLevel);
    initializePin(1, echo_);
}

VSTGUI::CColor TestColourView::ColourOf(float level)
{
    const float clamped = std::clamp(level, 0.0f, 10.0f);
    return VSTGUI::CColor(static_cast<uint8_t>(clamped * 25.5f), 0, 0, 255);
}

void TestColourView::onLevel()
{
    echo_ = level_.getValue();
    invalid();
}

int32_t TestColourView::measure(MpSize available, MpSize& desired)
{
    desired = available;
    return 0;
}

int32_t TestColourView::arrange(MpRect rect)
{
    setViewSize(VSTGUI::CRect(rect.left, rect.top, rect.right, rect.bottom));
    setMouseableArea(getViewSize());
    return 0;
}

void TestColourView::draw(VSTGUI::CDrawContext* context)
{
    context->setFillColor(ColourOf(level_.getValue()));
    context->drawRect(getViewSize(), VSTGUI::kDrawFilled);
    setDirty(false);
}

VSTGUI::CMouseEventResult TestColourView::onMouseDown(VSTGUI::CPoint& where, const VSTGUI::CButtonState&)
{
    const VSTGUI::CRect& size = getViewSize();
    if (size.getWidth() <= 0)
        return VSTGUI::kMouseEventNotHandled;
    SetLevel(static_cast<float>(std::clamp((where.x - size.left) / size.getWidth() * 10.0, 0.0, 10.0)));
    invalid();
    return VSTGUI::kMouseEventHandled;
}

TestLabel::TestLabel() : KvGuiVstGuiView(VSTGUI::CRect())
{
    initializePin(0, text_, &TestLabel::onText);
}

int32_t TestLabel::initialize()
{
    if (auto* editor = dynamic_cast<KVVSTGUIEditor*>(getEditor()))
        editor->ApplyStyle(L"Test_Label", this);
    return MpGuiBase2::initialize();
}

void TestLabel::onText()
{
    std::string utf8;
    for (wchar_t c : text_.getValue())
        utf8 += static_cast<char>(c);
    setText(utf8);
}

int32_t TestLabel::measure(MpSize available, MpSize& desired)
{
    desired = available;
    return 0;
}

int32_t TestLabel::arrange(MpRect rect)
{
    setViewSize(VSTGUI::CRect(rect.left, rect.top, rect.right, rect.bottom));
    return 0;
}

int32_t TestRecorder::setPin(int32_t pin, int32_t voice, int32_t size, const void* data)
{
    pins.emplace_back(pin, std::string(static_cast<const char*>(data), static_cast<std::size_t>(size)));
    return 0;
}

int32_t TestRecorder::receiveMessageFromAudio(int32_t id, int32_t size, const void* data)
{
    messages.emplace_back(id, std::string(static_cast<const char*>(data), static_cast<std::size_t>(size)));
    return 0;
}

std::vector<std::string> TestRecorder::ValuesOf(int pin) const
{
    std::vector<std::string> values;
    for (const auto& [p, bytes] : pins)
        if (p == pin)
            values.push_back(bytes);
    return values;
}

} // namespace gui_test
