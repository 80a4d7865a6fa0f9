// The built-in controls in an editor opened offscreen: their pins, the values
// they send when used, their layout, and faulty images and item lists.

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <utility>

#include "GuiTestSupport.h"
#include "tests/CommaLocale.h"
#include "editor/controls/CMyBmpCtrl3Tinted.h"
#include "editor/controls/ControlSupport.h"
#include "editor/controls/TextEntryGui.h"
#include "editor/controls/VG_CMyBmpCtrl3.h"
#include "editor/controls/VG_CMyListEntry3.h"
#include "editor/controls/VG_ComboGui.h"
#include "editor/controls/VG_PopupMenu.h"
#include "editor/controls/VG_TextEntry3.h"
#include "editor/toolkit/CBitmapPixelAccess.h"
#include "editor/toolkit/CFontDesc.h"
#include "editor/toolkit/CNewFileSelector.h"

using namespace gui_test;
using namespace VSTGUI;

namespace
{
constexpr int kRecorder = 9;

// Five frames of 6 x 6, frame k grey 40 * (k + 1), as a PNG file's bytes.
std::string StripPng()
{
    Scratch scratch;
    auto context = COffscreenContext::create(6, 30);
    for (int k = 0; k < 5; ++k)
    {
        const auto grey = static_cast<uint8_t>(40 * (k + 1));
        context->setFillColor(CColor(grey, grey, grey));
        context->drawRect(CRect(0, 6 * k, 6, 6 * k + 6), kDrawFilled);
    }
    context->writePNG(scratch.file("strip.png"));
    return ReadFile(scratch.file("strip.png"));
}

std::string Document(const std::string& modules, const std::string& lines)
{
    return R"(<Window><Skins><Skin><Images>
<Image File="default__background.png"/>
<Image File="default__strip.png" FrameSizeX="6" FrameSizeY="6" MouseMode="0"/>
<Image File="default__toggle.png" FrameSizeX="6" FrameSizeY="6" MouseMode="2"/>
<Image File="default__tall.png" FrameSizeX="6" FrameSizeY="40"/>
</Images><Fonts><Font Category="control_label" Facename="DejaVu Sans" Size="14" PixelHeight="14"/></Fonts>
</Skin></Skins><Canvas Width="240" Height="160" Skin="default"><Modules>
<Module Id="9" Type="Test Recorder"/>)" +
           modules + "</Modules><Lines>" + lines + "</Lines></Canvas></Window>";
}

std::string Module(int id, const std::string& type, int left, int top, int width, int height,
                   const std::vector<std::pair<int, std::string>>& plugs = {})
{
    std::string text = "<Module Id=\"" + std::to_string(id) + "\" Type=\"" + type + "\" Canvas.Left=\"" +
                       std::to_string(left) + "\" Canvas.Top=\"" + std::to_string(top) + "\" Width=\"" +
                       std::to_string(width) + "\" Height=\"" + std::to_string(height) + "\"><Plugs>";
    for (const auto& [pin, value] : plugs)
        text += "<Plug Id=\"" + std::to_string(pin) + "\" Default=\"" + value + "\"/>";
    return text + "</Plugs></Module>";
}

std::string Line(int from, int fromPin, int toPin)
{
    return "<Line From=\"" + std::to_string(from) + "\" FromPin=\"" + std::to_string(fromPin) + "\" To=\"9\" ToPin=\"" +
           std::to_string(toPin) + "\"/>";
}

template <typename T>
std::vector<std::string> Values(std::initializer_list<T> values)
{
    std::vector<std::string> out;
    for (const T& v : values)
        out.push_back(Bytes(v));
    return out;
}

std::string Wide(const std::wstring& text)
{
    return std::string(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
}

// File selectors opened by the preset menu are cancelled.
class Cancel : public IFileChooser
{
public:
    Cancel() { CNewFileSelector::setChooser(this); }
    ~Cancel() override { CNewFileSelector::setChooser(nullptr); }
    bool choose(const CNewFileSelector&, std::vector<std::string>&) override
    {
        ++asked;
        return false;
    }
    int asked = 0;
};

struct Controls
{
    explicit Controls(const std::string& modules, const std::string& lines = "", Files extra = {})
        : f(WithImages(Document(modules, lines), std::move(extra)))
    {
        editor = f.NewEditor();
        opened = editor->open(nullptr);
        recorder = ModuleOf<TestRecorder>(*editor, kRecorder);
        // What the editor delivered while opening is kept apart from what the controls send.
        if (recorder)
            opening = std::exchange(recorder->pins, {});
    }
    std::vector<std::string> Opening(int pin) const
    {
        std::vector<std::string> values;
        for (const auto& [p, bytes] : opening)
            if (p == pin)
                values.push_back(bytes);
        return values;
    }
    static Files WithImages(const std::string& document, Files extra)
    {
        const std::string strip = StripPng();
        extra["gui.kv.xml"] = document;
        extra.emplace("default__strip.png", strip);
        extra.emplace("default__toggle.png", strip);
        extra.emplace("default__tall.png", strip);
        return extra;
    }
    template <class T>
    T* Get(int handle)
    {
        return ModuleOf<T>(*editor, handle);
    }
    GuiFixture f;
    Steinberg::IPtr<KVVSTGUIEditor> editor;
    bool opened = false;
    TestRecorder* recorder = nullptr;
    std::vector<std::pair<int, std::string>> opening;
};
} // namespace

TEST(BuiltInControls, ImageSendsItsValueAndButtonStateOnlyWhenTheyChange)
{
    Controls c(Module(20, "Image2", 10, 10, 6, 6, {{1, "strip"}}) +
                   Module(21, "Image2", 30, 10, 6, 6, {{1, "toggle"}}),
               Line(20, 0, 20) + Line(20, 5, 25) + Line(20, 6, 26) + Line(20, 7, 27) + Line(20, 8, 28) +
                   Line(21, 0, 30));
    ASSERT_TRUE(c.opened);
    auto* knob = c.Get<VG_CMyBmpCtrl3>(20);
    ASSERT_NE(knob, nullptr);
    EXPECT_EQ(c.Opening(27), Values<int32_t>({5}));
    EXPECT_EQ(c.Opening(28), Values<int32_t>({5}));

    // A press that changes nothing still reports the button; the drag
    // reaches the top and goes on: the value is sent once, at 1.
    CPoint at(12, 12);
    EXPECT_EQ(knob->onMouseDown(at, kLButton), kMouseEventHandled);
    EXPECT_TRUE(c.recorder->ValuesOf(20).empty());
    for (double y : {-300.0, -400.0})
    {
        CPoint to(12, y);
        knob->onMouseMoved(to, kLButton);
    }
    CPoint right(12, 500);
    knob->onMouseMoved(right, kRButton);
    knob->onMouseUp(right, kLButton);
    EXPECT_EQ(c.recorder->ValuesOf(20), Values<float>({1.0f}));
    EXPECT_EQ(c.recorder->ValuesOf(25), Values<bool>({true, false}));
    EXPECT_EQ(c.recorder->ValuesOf(26), Values<bool>({true, false}));

    // The toggle sends 1 on the press and 0 on the release.
    auto* toggle = c.Get<VG_CMyBmpCtrl3>(21);
    CPoint on(32, 12);
    toggle->onMouseDown(on, kLButton);
    toggle->onMouseUp(on, kLButton);
    EXPECT_EQ(c.recorder->ValuesOf(30), Values<float>({1.0f, 0.0f}));

    // The frame drawn follows the value set from outside.
    knob->setPin(0, 0, 4, "\x00\x00\x00\x3f"); // 0.5
    auto picture = Draw(*c.editor);
    EXPECT_EQ(picture->getPixel(13, 13).red, 120);
}

TEST(BuiltInControls, FaultyImagesAndTintPinsDrawOrAreIgnoredWithoutAFault)
{
    // A missing image, an image shorter than one frame, and a tinted strip
    // whose pins come in short, out of range or NaN.
    const float nan = std::numeric_limits<float>::quiet_NaN();
    Controls c(Module(20, "Image2", 10, 10, 6, 6, {{1, "nowhere"}}) + Module(21, "Image2", 30, 10, 6, 40, {{1, "tall"}}) +
                   Module(22, "ImageTinted", 50, 10, 6, 6, {{1, "strip"}, {12, "0"}, {13, "0"}, {14, "1"}}),
               Line(20, 7, 27) + Line(21, 7, 28));
    ASSERT_TRUE(c.opened);
    auto* missing = c.Get<VG_CMyBmpCtrl3>(20);
    CPoint at(12, 12);
    EXPECT_EQ(missing->onMouseDown(at, kLButton), kMouseEventNotHandled);
    // No image, and an image of no whole frame: no frame count is sent.
    EXPECT_TRUE(c.Opening(27).empty());
    EXPECT_TRUE(c.Opening(28).empty());
    CPoint tallAt(32, 20);
    EXPECT_EQ(c.Get<VG_CMyBmpCtrl3>(21)->onMouseDown(tallAt, kLButton), kMouseEventHandled);

    // Saturation 0 and value 1: the grey mask becomes white scaled by its red.
    auto* tinted = c.Get<CMyBmpCtrl3Tinted>(22);
    ASSERT_NE(tinted, nullptr);
    auto tintedPixel = [&] {
        Draw(*c.editor);
        CColor colour;
        CBitmapPixelAccess* access = CBitmapPixelAccess::create(tinted->TintedBitmap(), true);
        access->setPosition(2, 2);
        access->getColor(colour);
        access->forget();
        return colour;
    };
    ASSERT_NE(tinted->TintedBitmap(), nullptr);
    EXPECT_EQ(tintedPixel(), CColor(40, 40, 40, 40));

    tinted->setPin(12, 0, 2, "\x01\x02"); // two bytes of a float
    tinted->setPin(13, 0, 4, &nan);
    const float big = 1e30f;
    tinted->setPin(14, 0, 4, &big);
    // Saturation NaN counts as 0 and the value is clamped to 1: still white.
    EXPECT_EQ(tintedPixel(), CColor(40, 40, 40, 40));
    for (int handle : {20, 21})
        c.Get<VG_CMyBmpCtrl3>(handle)->onMouseUp(at, kLButton);
}

TEST(BuiltInControls, ListMapsBetweenMenuIndexAndExplicitValues)
{
    Controls c(Module(20, "ListEntry3", 10, 10, 80, 20, {{1, "Neg=-1,Five=5,Seven=7"}}), Line(20, 0, 20));
    ASSERT_TRUE(c.opened);
    auto* list = c.Get<VG_CMyListEntry3>(20);
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(list->getNbEntries(), 3);

    const int32_t five = 5;
    list->setPin(0, 0, 4, &five);
    list->notifyPin(0, 0);
    EXPECT_EQ(list->getValue(), 1.0f);
    // A value not in the list keeps the entry shown.
    const int32_t absent = 3;
    list->setPin(0, 0, 4, &absent);
    list->notifyPin(0, 0);
    EXPECT_EQ(list->getValue(), 1.0f);

    // The user picks index 0: -1 goes out once; picking it again sends nothing.
    for (int i = 0; i < 2; ++i)
    {
        list->setValue(0.0f);
        list->valueChanged(list);
    }
    EXPECT_EQ(c.recorder->ValuesOf(20), Values<int32_t>({-1}));

    // Absurd and malformed lists: a capped menu, no fault.
    const std::wstring huge = L"range 0,100000000";
    list->setPin(1, 0, static_cast<int>(huge.size() * 4), huge.data());
    list->notifyPin(1, 0);
    EXPECT_EQ(list->getNbEntries(), controls::kMaxMenuEntries);
    const std::wstring malformed = L"=,,=x,a=,range";
    list->setPin(1, 0, static_cast<int>(malformed.size() * 4), malformed.data());
    list->notifyPin(1, 0);
    list->setValue(3.0f);
    list->valueChanged(list);
    // Item text of 3 bytes: not whole characters, taken as far as they go.
    list->setPin(1, 0, 3, "abc");
    list->notifyPin(1, 0);
    EXPECT_EQ(list->getNbEntries(), 0);
}

TEST(BuiltInControls, LabelledControlsLayTitleAndFieldOutByTheLabelFont)
{
    Controls c(Module(20, "ListEntryV", 10, 10, 100, 40, {{12, "Zero=0,Four=4,Nine=9"}, {14, "Shape"}}) +
                   Module(21, "TextEntryV", 10, 60, 120, 30, {{12, "Name"}}),
               Line(20, 10, 20) + Line(21, 9, 21));
    ASSERT_TRUE(c.opened);
    CFontDesc font("DejaVu Sans", 14, 0);
    const double h = font.getPlatformFont()->getAscent() + font.getPlatformFont()->getDescent();
    ASSERT_GT(h, 0.0);

    auto* combo = c.Get<VG_ComboGui>(20);
    ASSERT_NE(combo, nullptr);
    EXPECT_EQ(combo->Label()->getViewSize(), CRect(0, 0, 100, h));
    EXPECT_EQ(combo->List()->getViewSize(), CRect(0, h + 2, 100, 40));
    EXPECT_EQ(combo->Label()->getText(), "Shape");

    // A new list re-applies the value; a choice sends its item's value once.
    const int32_t nine = 9;
    combo->setPin(10, 0, 4, &nine);
    const std::wstring items = L"Nine=9,Zero=0";
    combo->setPin2(12, 0, static_cast<int>(items.size() * 4), items.data());
    EXPECT_EQ(combo->List()->getValue(), 0.0f);
    combo->List()->setValue(1.0f);
    combo->valueChanged(combo->List());
    combo->valueChanged(combo->List());
    EXPECT_EQ(c.recorder->ValuesOf(20), Values<int32_t>({0}));

    auto* entry = c.Get<TextEntryGui>(21);
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->Label()->getViewSize(), CRect(0, 0, 120, h));
    EXPECT_EQ(entry->Edit()->getViewSize(), CRect(0, h + 2, 120, 30));
    // Set from outside: shown, nothing sent back; an edit with new text is sent once.
    const std::wstring hello = L"hello";
    entry->setPin2(9, 0, static_cast<int>(hello.size() * 4), hello.data());
    EXPECT_EQ(entry->Edit()->getText(), "hello");
    entry->valueChanged(entry->Edit());
    EXPECT_TRUE(c.recorder->ValuesOf(21).empty());
    entry->Edit()->setText("hellö");
    entry->valueChanged(entry->Edit());
    entry->valueChanged(entry->Edit());
    EXPECT_EQ(c.recorder->ValuesOf(21), (std::vector<std::string>{Wide(L"hellö")}));
}

TEST(BuiltInControls, MomentaryPopupSendsTheChoiceThenZero)
{
    // Bound to no parameter, the menu is the preset menu; selectors are cancelled.
    Cancel cancel;
    Controls c(Module(20, "KV Popup Menu", 10, 10, 60, 20, {{9, "1"}}) +
                   Module(21, "KV Popup Menu", 80, 10, 60, 20, {{8, ""}}),
               Line(20, 0, 20) + Line(21, 0, 21));
    ASSERT_TRUE(c.opened);
    auto* momentary = c.Get<VG_PopupMenu>(20);
    ASSERT_NE(momentary, nullptr);
    ASSERT_EQ(momentary->getNbEntries(), 2);
    EXPECT_EQ(momentary->getStyle() & kCheckStyle, 0);
    momentary->setValue(0.0f);
    momentary->valueChanged(momentary);
    EXPECT_EQ(c.recorder->ValuesOf(20), Values<int32_t>({1, 0}));
    EXPECT_EQ(cancel.asked, 1);

    // Not momentary: the value once, the entry left checked alone.
    auto* latched = c.Get<VG_PopupMenu>(21);
    EXPECT_NE(latched->getStyle() & kCheckStyle, 0);
    for (int i = 0; i < 2; ++i)
    {
        latched->setValue(1.0f);
        latched->valueChanged(latched);
    }
    EXPECT_EQ(c.recorder->ValuesOf(21), Values<int32_t>({2}));
    EXPECT_TRUE(latched->isCheckEntry(1));
    EXPECT_FALSE(latched->isCheckEntry(0));
    Draw(*c.editor);
}

TEST(BuiltInControls, TextEntrySendsAChangedTextOnceAndReportsTheButton)
{
    Controls c(Module(20, "TextEntry3", 10, 10, 100, 60) +
                   Module(21, "TextEntry3", 10, 80, 100, 20, {{3, "0"}}),
               Line(20, 0, 20) + Line(20, 8, 28));
    ASSERT_TRUE(c.opened);
    auto* entry = c.Get<VG_TextEntry3>(20);
    ASSERT_NE(entry, nullptr);
    entry->setText("abc");
    entry->valueChanged(entry);
    entry->valueChanged(entry);
    entry->setText("abd");
    entry->valueChanged(entry);
    EXPECT_EQ(c.recorder->ValuesOf(20), (std::vector<std::string>{Wide(L"abc"), Wide(L"abd")}));

    // Two presses without a release report the button once (no window: no text field).
    CPoint at(20, 20);
    entry->onMouseDown(at, kLButton);
    entry->onMouseDown(at, kLButton);
    entry->onMouseUp(at, kLButton);
    EXPECT_EQ(c.recorder->ValuesOf(28), Values<bool>({true, false}));

    // Read-only: no focus wanted. The text sits in the top line of a tall view.
    EXPECT_FALSE(c.Get<VG_TextEntry3>(21)->wantsFocus());
    EXPECT_TRUE(entry->wantsFocus());
    const CRect line = entry->TextRect();
    EXPECT_EQ(line.top, 10);
    EXPECT_LT(line.bottom, 40);
    Draw(*c.editor);
}

TEST(BuiltInControls, BoolDefaultsReadTheSameAsWordsAndNumbers)
{
    // "Writeable" (pin 3) of the text entry, from the document; a text that is
    // no bool leaves the description's default ("1").
    const std::vector<std::pair<std::string, bool>> cases = {
        {"true", true}, {"1", true}, {"false", false}, {"0", false}, {"yes", true}};
    std::string modules;
    for (std::size_t i = 0; i < cases.size(); ++i)
        modules += Module(20 + static_cast<int>(i), "TextEntry3", 10, 10 + 20 * static_cast<int>(i), 100, 18,
                          {{3, cases[i].first}});
    Controls c(modules);
    ASSERT_TRUE(c.opened);
    for (std::size_t i = 0; i < cases.size(); ++i)
        EXPECT_EQ(c.Get<VG_TextEntry3>(20 + static_cast<int>(i))->wantsFocus(), cases[i].second) << cases[i].first;
}

TEST(BuiltInControls, AFractionalDefaultReadsTheSameUnderAHostsDecimalCommaLocale)
{
    // The knob's position (pin 0) from the document, delivered as the editor opens.
    const kv_test::CommaLocale comma;
    KV_REQUIRE_COMMA_LOCALE(comma);
    Controls c(Module(20, "Image2", 10, 10, 6, 6, {{0, "0.75"}, {1, "strip"}}), Line(20, 0, 20));
    ASSERT_TRUE(c.opened);
    EXPECT_EQ(c.Opening(20), Values<float>({0.75f}));
}
