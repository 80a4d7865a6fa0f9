// Module wrappers without an editor: values along connections, the pins of
// a module type with auto-copied pins, and the host services a module sees.

#include <gtest/gtest.h>

#include <memory>

#include "TestGuiModules.h"
#include "core/CModuleFactory.h"
#include "editor/GuiModuleWrapperVstGui.h"
#include "editor/IKvGraphics.h"
#include "sdk/mp_sdk_audio.h"

using namespace gui_test;

namespace
{
struct Recorded
{
    explicit Recorded(int handle, const wchar_t* type = L"Test Recorder")
    {
        module = new TestRecorder();
        wrapper = std::make_unique<GuiModuleWrapperVstGui>(nullptr, CModuleFactory::Instance()->GetById(type),
                                                           handle, nullptr,
                                                           static_cast<gmpi::IMpUserInterface2*>(module));
        module->setHost(static_cast<gmpi::IMpUserInterfaceHost2*>(wrapper.get()));
        module->release();
    }
    TestRecorder* module;
    std::unique_ptr<GuiModuleWrapperVstGui> wrapper;
};

void Join(Recorded& a, int pinA, Recorded& b, int pinB)
{
    a.wrapper->AddConnection(pinA, b.wrapper.get(), pinB);
    b.wrapper->AddConnection(pinB, a.wrapper.get(), pinA);
}

const int32_t dupRegistered = RegisterPluginXml(R"(<PluginList><Plugin id="Test Dup" name="Dup"><GUI>
  <Pin name="a" datatype="float"/><Pin name="b" datatype="int" direction="out"/>
  <Pin name="c" datatype="string" autoDuplicate="true"/></GUI></Plugin></PluginList>)");
} // namespace

TEST(GuiModuleWrapper, AValueTravelsAlongALineBothWaysButNeverBackToItsSender)
{
    Recorded a(1), b(2);
    Join(a, 0, b, 1);
    ASSERT_TRUE(a.wrapper->isPinConnected(0));
    EXPECT_FALSE(a.wrapper->isPinConnected(1));

    // Set by the editor: the module and its connections get it, once each.
    a.wrapper->setPin(nullptr, -1, 0, 2, 4, Bytes(1.5f).data());
    EXPECT_EQ(a.module->pins, (std::vector<std::pair<int, std::string>>{{0, Bytes(1.5f)}}));
    EXPECT_EQ(b.module->pins, (std::vector<std::pair<int, std::string>>{{1, Bytes(1.5f)}}));

    // Sent by a module: only the other end.
    b.module->pinTransmit(1, 4, Bytes(2.5f).data());
    EXPECT_EQ(a.module->pins.size(), 2u);
    EXPECT_EQ(a.module->pins.back(), std::make_pair(0, Bytes(2.5f)));
    EXPECT_EQ(b.module->pins.size(), 1u);
}

TEST(GuiModuleWrapper, ARingOfModulesStopsAtTheNestingLimit)
{
    Recorded a(1), b(2), c(3);
    Join(a, 0, b, 0);
    Join(b, 0, c, 0);
    Join(c, 0, a, 0);
    a.wrapper->setPin(nullptr, -1, 0, 0, 4, Bytes(1.0f).data());
    const std::size_t total = a.module->pins.size() + b.module->pins.size() + c.module->pins.size();
    EXPECT_GT(total, 3u);
    // Two ways round the ring, each until a wrapper is ten deliveries deep.
    EXPECT_LE(total, 2u * 3u * (GuiModuleWrapper::kMaxNesting + 1));
    EXPECT_EQ(a.wrapper->NestingDepth(), 0);
    EXPECT_EQ(b.wrapper->NestingDepth(), 0);
}

TEST(GuiModuleWrapper, AutoCopiedPinsFollowTheDescribedOnes)
{
    ASSERT_EQ(dupRegistered, 0);
    struct Case
    {
        int copies;
        std::vector<int> ids;
    };
    for (const Case& c : {Case{4, {0, 1, 2, 3, 4, 5}}, Case{1, {0, 1, 2}}, Case{0, {0, 1, 2}}})
    {
        Recorded m(1, L"Test Dup");
        for (int i = 0; i < c.copies; ++i)
            m.wrapper->AddAutoCopy();
        void* face = nullptr;
        ASSERT_EQ(m.wrapper->createPinIterator(&face), 0);
        auto* pins = static_cast<gmpi::IMpPinIterator*>(face);
        int32_t count = 0;
        pins->getCount(count);
        std::vector<int> ids;
        for (int32_t r = pins->first(); r == 0; r = pins->next())
        {
            int32_t id = -1;
            pins->getPinId(id);
            ids.push_back(id);
        }
        EXPECT_EQ(count, static_cast<int32_t>(c.ids.size()));
        EXPECT_EQ(ids, c.ids) << c.copies << " copies";
        pins->release();
    }
    Recorded m(1, L"Test Dup");
    EXPECT_EQ(m.wrapper->GetPinDescription(5), m.wrapper->GetPinDescription(2));
    EXPECT_EQ(m.wrapper->GetPinDatatype(5), 1);
    EXPECT_EQ(m.wrapper->GetPinDirection(1), 1);
}

TEST(GuiModuleWrapper, HostServicesAnswerAsAModuleExpects)
{
    Recorded m(42);
    GuiModuleWrapper& w = *m.wrapper;
    int32_t value = 0;
    EXPECT_EQ(w.getHandle(value), 0);
    EXPECT_EQ(value, 42);
    EXPECT_EQ(w.getHostVersion(value), 0);
    EXPECT_EQ(value, 122770);
    EXPECT_EQ(w.getPinCount(value), 0);
    EXPECT_EQ(value, 5);

    // The host id is cut to the buffer the module gives.
    wchar_t name[16];
    std::fill(std::begin(name), std::end(name), L'#');
    EXPECT_EQ(w.getHostId(4, name), 0);
    EXPECT_EQ(std::wstring(name), L"Kor");
    EXPECT_EQ(name[4], L'#');
    EXPECT_EQ(w.getHostId(16, name), 0);
    EXPECT_EQ(std::wstring(name), L"Korvane");
    EXPECT_EQ(w.getHostId(0, name), -1);

    EXPECT_EQ(w.setIdleTimer(1), -1);
    EXPECT_EQ(w.openProtectedFile(L"x", nullptr), -1);
    EXPECT_EQ(w.addContextMenuItem(static_cast<wchar_t*>(nullptr), 0, 0), -1);
    EXPECT_EQ(w.addContextMenuItem("x", 0, 0), -1);

    void* face = nullptr;
    EXPECT_EQ(w.queryInterface(gmpi::MP_IID_UI_HOST2, &face), 0);
    EXPECT_EQ(face, static_cast<gmpi::IMpUserInterfaceHost2*>(&w));
    EXPECT_EQ(w.queryInterface(gmpi::MP_IID_UI_HOST, &face), 0);
    EXPECT_EQ(face, static_cast<gmpi::IMpUserInterfaceHost*>(&w));
    EXPECT_EQ(w.queryInterface(gmpi::KV_IID_GRAPHICS_HOST_VSTGUI, &face), 0);
    EXPECT_EQ(w.queryInterface(gmpi::MP_IID_GUI_PLUGIN2, &face), -2);
    EXPECT_EQ(face, nullptr);

    // Messages from the DSP part reach the module; a wrapper without one answers -1.
    EXPECT_EQ(w.receiveMessageFromAudio(7, 3, "abc"), 0);
    EXPECT_EQ(m.module->messages, (std::vector<std::pair<int, std::string>>{{7, "abc"}}));
    GuiModuleWrapperVstGui empty(nullptr, nullptr, 1, "Title", nullptr);
    EXPECT_EQ(empty.receiveMessageFromAudio(7, 3, "abc"), -1);
    EXPECT_EQ(empty.getVstGuiView(), nullptr);
    ASSERT_NE(empty.TitleBar(), nullptr);
    EXPECT_EQ(empty.TitleBar()->title, "Title");
}
