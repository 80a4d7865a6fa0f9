// The GUI side of the module SDK: typed pins, their callbacks and defaults,
// pin ids, and the module bases' faces.

#include <gtest/gtest.h>

#include <stdexcept>

#include "TestGuiModules.h"
#include "sdk/MpGuiBase2.h"

using namespace gui_test;

// Interfaces die through release(), never through a base pointer.
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"

namespace
{
// A module with one pin of each kind; its callbacks count the voices they get.
class PinModule : public MpGuiBase2
{
public:
    PinModule()
    {
        initializePin(level, &PinModule::onLevel);     // id 0
        initializePin(flag, &PinModule::onFlag);       // id 1
        initializePin(5, count, &PinModule::onIndexed); // id 5
        initializePin(text, &PinModule::onText);       // id 6
    }
    int32_t addRef() override { return ++refs; }
    int32_t release() override { return --refs; }
    void onLevel() { calls.push_back("level"); }
    void onFlag() { calls.push_back("flag"); }
    void onIndexed(int voice) { calls.push_back("count/" + std::to_string(voice)); }
    void onText() { calls.push_back("text"); }

    MpGuiPin<float> level;
    MpGuiPin<bool> flag;
    MpGuiPin<int32_t> count;
    MpGuiPin<std::wstring> text;
    std::vector<std::string> calls;
    int refs = 1;
};

// A host that keeps what modules send and answers only the faces it is given.
class Host : public gmpi::IMpUserInterfaceHost2
{
public:
    explicit Host(bool offersHost2 = true) : offers_(offersHost2) {}
    int32_t queryInterface(const gmpi::MpGuid& iid, void** out) override
    {
        *out = offers_ && iid == gmpi::MP_IID_UI_HOST2 ? this : nullptr;
        return *out ? gmpi::MP_OK : gmpi::MP_NOSUPPORT;
    }
    int32_t addRef() override { return 1; }
    int32_t release() override { return 1; }
    int32_t pinTransmit(int32_t pin, int32_t size, const void* data, int32_t voice) override
    {
        sent.emplace_back(pin, std::string(static_cast<const char*>(data), static_cast<std::size_t>(size)));
        return voice;
    }
    int32_t createPinIterator(void**) override { return -1; }
    int32_t getHandle(int32_t&) override { return -1; }
    int32_t sendMessageToAudio(int32_t, int32_t, const void*) override { return -1; }
    int32_t ClearResourceUris() override { return -1; }
    int32_t RegisterResourceUri(const char*, const char*, gmpi::IMpUnknown*) override { return -1; }
    int32_t OpenUri(const char*, gmpi::IProtectedFile2**) override { return -1; }
    std::vector<std::pair<int, std::string>> sent;

private:
    bool offers_;
};

class OldModule : public MpGuiBase_base
{
public:
    OldModule() { initializePin(0, level, &OldModule::onLevel); }
    int32_t addRef() override { return 1; }
    int32_t release() override { return 1; }
    void onLevel() { ++calls; }
    MpGuiPin<float> level;
    int calls = 0;
};
} // namespace

TEST(MpGuiPin, ValuesFromTheHostRunTheCallbackOnlyWhenTheyChange)
{
    PinModule m;
    EXPECT_EQ(m.getPin(0), &m.level);
    EXPECT_EQ(m.getPin(5), &m.count);
    EXPECT_EQ(m.getPin(6), &m.text);
    EXPECT_EQ(m.getPin(2), nullptr);

    struct Case
    {
        int pin;
        std::string bytes;
        int voice;
        std::vector<std::string> calls;
        const char* why;
    };
    const std::wstring hi = L"hi";
    const std::string hiBytes(reinterpret_cast<const char*>(hi.data()), 8);
    const Case cases[] = {
        {0, Bytes(0.0f), 0, {}, "float: the value it holds"},
        {0, Bytes(2.5f), 3, {"level"}, "float: a new value"},
        {0, Bytes(2.5f), 3, {}, "float: the same again"},
        {1, std::string(1, '\1'), 0, {"flag"}, "bool: one byte"},
        {1, std::string(1, '\1'), 0, {}, "bool: the same byte"},
        {1, Bytes(int32_t{2}), 0, {"flag"}, "bool: four bytes always change"},
        {5, Bytes(int32_t{7}), 4, {"count/4"}, "int: the indexed callback gets the voice"},
        {6, hiBytes, 0, {"text"}, "text: 32-bit characters"},
        {6, hiBytes, 0, {}, "text: the same characters"},
        {6, "", 0, {"text"}, "text: emptied"},
    };
    for (const auto& c : cases)
    {
        m.calls.clear();
        EXPECT_EQ(m.setPin(c.pin, c.voice, static_cast<int32_t>(c.bytes.size()), c.bytes.data()), 0) << c.why;
        EXPECT_EQ(m.calls, c.calls) << c.why;
    }
    EXPECT_TRUE(m.flag.getValue());
    EXPECT_EQ(m.count.getValue(), 7);
    EXPECT_EQ(m.setPin(2, 0, 4, Bytes(1.0f).data()), -1);
    EXPECT_EQ(m.notifyPin(2, 0), -1);
}

TEST(MpGuiPin, InitializeRunsTheCallbacksOfPinsStillAtTheirDefaults)
{
    PinModule m;
    m.setPin(0, 0, 4, Bytes(1.0f).data());
    m.setPin(6, 0, 4, Bytes(int32_t{'x'}).data());
    m.calls.clear();
    EXPECT_EQ(m.initialize(), 0);
    EXPECT_EQ(m.calls, (std::vector<std::string>{"flag", "count/0"}));
}

TEST(MpGuiPin, AModulesOwnChangeGoesOutThroughItsHostOnce)
{
    PinModule m;
    Host host;
    ASSERT_EQ(m.setHost(&host), 0);
    m.level = 4.0f;
    m.level = 4.0f;
    m.text = std::wstring(L"ab");
    m.flag = true;
    ASSERT_EQ(host.sent.size(), 3u);
    EXPECT_EQ(host.sent[0], std::make_pair(0, Bytes(4.0f)));
    EXPECT_EQ(host.sent[1].first, 6);
    EXPECT_EQ(host.sent[1].second.size(), 8u);
    EXPECT_EQ(host.sent[2], std::make_pair(1, std::string(1, '\1')));
    EXPECT_TRUE(m.calls.empty());
}

TEST(MpGuiBase, FacesAndHosts)
{
    PinModule m;
    void* face = nullptr;
    EXPECT_EQ(m.queryInterface(gmpi::MP_IID_GUI_PLUGIN2, &face), 0);
    EXPECT_EQ(face, static_cast<gmpi::IMpUserInterface2*>(&m));
    EXPECT_EQ(m.queryInterface(gmpi::MP_IID_UNKNOWN, &face), 0);
    EXPECT_EQ(m.refs, 3);
    EXPECT_EQ(m.queryInterface(gmpi::MP_IID_GUI_PLUGIN, &face), -2);
    EXPECT_EQ(face, nullptr);
    Host without(false);
    EXPECT_EQ(m.setHost(&without), -2);
    EXPECT_EQ(m.getHost(), nullptr);
    EXPECT_EQ(m.receiveMessageFromAudio(1, 0, nullptr), -1);

    OldModule old;
    EXPECT_EQ(old.queryInterface(gmpi::MP_IID_GUI_PLUGIN, &face), 0);
    EXPECT_EQ(old.queryInterface(gmpi::MP_IID_GUI_PLUGIN2, &face), -2);
    EXPECT_THROW(old.setHost(&without), std::runtime_error);
    // The older kind stores on setPin and runs the callback on notifyPin.
    EXPECT_EQ(old.setPin(0, 0, 4, const_cast<char*>(Bytes(3.0f).data())), 0);
    EXPECT_EQ(old.calls, 0);
    EXPECT_EQ(old.notifyPin(0, 0), 0);
    EXPECT_EQ(old.calls, 1);
}
