// The controller's editor services, its messages to and from the processor,
// the editor view's preset commands and the user preset files.

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <mutex>
#include <set>
#include <thread>

#include "ShellUnitSupport.h"
#include "core/Base64.h"
#include "core/ParameterFieldType.h"
#include "core/RawConversions.h"
#include "shell/ADelayController.h"
#include "editor/toolkit/CFrame.h"
#include "editor/toolkit/CNewFileSelector.h"
#include "shell/HostValueTable.h"
#include "editor/KVVSTGUIEditor.h"
#include "tools/kvhost/HostMemoryStream.h"
#include "tools/kvhost/HostParameterChanges.h"
#include "tests/ThreadWait.h"

using namespace shell_test;
using namespace shell_unit;
using namespace Steinberg;
using namespace Steinberg::Vst;

namespace
{
// Handles: 1 float 0..10 with host id 3; 2 text; 3 private int 0..127;
// 4 list "Sine=0,Saw=5,Square" with host id 4; 5 double; 6 blob; 7 private float.
const char* kParameters = R"(<Document><C><Parameters>
  <Parameter Name="Gain" Handle="1" Index="3" Module="40" ModuleParamId="2"><patch-list>1</patch-list></Parameter>
  <Parameter Name="Title" Handle="2" ValueType="1"><patch-list>'a b'</patch-list></Parameter>
  <Parameter Name="Note" Handle="3" Index="9" ValueType="8" Private="1" RangeMinimum="0" RangeMaximum="127"/>
  <Parameter Name="Wave" Handle="4" Index="4" ValueType="8" MetaData="Sine=0,Saw=5,Square"/>
  <Parameter Name="Fine" Handle="5" ValueType="3" Private="1" RangeMinimum="-1" RangeMaximum="1"/>
  <Parameter Name="Data" Handle="6" ValueType="10" Stateful="1"/>
  <Parameter Name="Level" Handle="7" Private="1" RangeMinimum="2" RangeMaximum="4" Stateful="0"><patch-list>3</patch-list></Parameter>
</Parameters></C></Document>)";

struct EditorFixture
{
    explicit EditorFixture(const char* parameters = kParameters)
        : factory(MakeBundle(scratch, "E", {{"parameters.kv.xml", parameters}})),
          controller(owned(new ADelayController(&factory)))
    {
        controller->initialize(&host);
        controller->setComponentHandler(&handler);
        controller->connect(&peer);
        // The controller asks for the processor's store on connecting; no
        // processor answers here.
        peer.messages.clear();
        peer.ids.clear();
    }
    ~EditorFixture()
    {
        controller->disconnect(&peer);
        controller->terminate();
    }

    void Write(int handle, int field, const std::string& bytes)
    {
        controller->setParameterFromGui(handle, field, static_cast<int>(bytes.size()), bytes.data());
    }
    std::string Read(int handle, int field, bool expected = true)
    {
        std::string out = "untouched";
        EXPECT_EQ(controller->getParameterValue(handle, field, out), expected) << handle << "/" << field;
        return out;
    }
    void Notify(const std::string& batch)
    {
        auto message = BinaryMessage(host, batch);
        EXPECT_EQ(controller->notify(message), kResultOk);
    }

    ScratchFolder scratch;
    MyVstPluginFactory factory;
    KvHostApplication host;
    HostComponentHandler handler;
    RecordingPeer peer;
    IPtr<ADelayController> controller;
};

std::string Wide(const std::wstring& text, bool terminate)
{
    std::string bytes;
    for (wchar_t c : text)
        bytes += Bytes(static_cast<int32_t>(c));
    if (terminate)
        bytes += Bytes(int32_t{0});
    return bytes;
}

// The engine's report of one value: flag, {key, patch, value}, end key.
// A value the engine moved on its own (a MIDI controller bound to it).
std::string Report(const std::string& value)
{
    return std::string(1, static_cast<char>(QueMessageId::kOwnMove)) + Bytes(int32_t{0}) + Bytes(int32_t{0}) + value + Bytes(int32_t{-1});
}

// Answers file selectors with a path, or cancels them when it has none.
class AnsweringChooser : public VSTGUI::IFileChooser
{
public:
    AnsweringChooser() { VSTGUI::CNewFileSelector::setChooser(this); }
    ~AnsweringChooser() override { VSTGUI::CNewFileSelector::setChooser(nullptr); }
    bool choose(const VSTGUI::CNewFileSelector& selector, std::vector<std::string>& files) override
    {
        saves.push_back(selector.getStyle() == VSTGUI::CNewFileSelector::kSelectSaveFile);
        const auto* extension = selector.getDefaultExtension();
        titles.push_back(selector.getTitle() + "|" + (extension ? extension->getDescription() + "." +
                                                                      extension->getExtension()
                                                                : std::string()));
        if (answer.empty())
            return false;
        files.push_back(answer);
        return true;
    }
    std::string answer;
    std::vector<bool> saves;
    std::vector<std::string> titles;
};
} // namespace

TEST(ADelayControllerEditor, AValueWriteOfAHostParameterBecomesAHostEditAndNoMessage)
{
    EditorFixture f;
    f.Write(1, FT_VALUE, Bytes(2.5f));
    EXPECT_EQ(f.controller->Parameters().at(1).value, Bytes(2.5f));
    EXPECT_DOUBLE_EQ(f.controller->getParamNormalized(3), 0.25);
    const auto edits = f.handler.takeEdits();
    ASSERT_EQ(edits.size(), 1u);
    EXPECT_EQ(edits[0].first, 3u);
    EXPECT_DOUBLE_EQ(edits[0].second, 0.25);
    EXPECT_TRUE(f.peer.messages.empty());
    EXPECT_EQ(f.Read(1, FT_VALUE), Bytes(2.5f));
}

TEST(ADelayControllerEditor, TextAndPrivateValuesGoToTheProcessorAsPpcRecords)
{
    EditorFixture f;
    const std::string text = Wide(L"hey", false);
    f.Write(2, FT_VALUE, text);
    ASSERT_EQ(f.peer.messages.size(), 1u);
    EXPECT_EQ(f.peer.ids[0], "BinaryMessage");
    const std::string payload = std::string(1, '\0') + Bytes(int32_t{0}) + Bytes(int32_t{12}) + text;
    EXPECT_EQ(f.peer.messages[0], Record(2, QueMessageId::ppc, payload));

    // Normalized 0.5 of 0..127 is 63.5, stored as (int)(63.5 + 0.5).
    f.Write(3, FT_NORMALIZED, Bytes(0.5f));
    EXPECT_EQ(f.controller->Parameters().at(3).value, Bytes(int32_t{64}));
    ASSERT_EQ(f.peer.messages.size(), 2u);
    const std::string value = std::string(1, '\0') + Bytes(int32_t{0}) + Bytes(int32_t{64});
    EXPECT_EQ(f.peer.messages[1], Record(3, QueMessageId::ppc, value));
    EXPECT_TRUE(f.handler.takeEdits().empty());
}

TEST(ADelayControllerEditor, ListValuesAreEditedByTheirPositionInTheList)
{
    EditorFixture f;
    f.Write(4, FT_VALUE, Bytes(int32_t{5}));
    EXPECT_DOUBLE_EQ(f.controller->getParamNormalized(4), 0.5);
    EXPECT_EQ(f.Read(4, FT_VALUE), Bytes(int32_t{5}));
    // A value that is not in the list edits nothing.
    f.Write(4, FT_VALUE, Bytes(int32_t{3}));
    EXPECT_DOUBLE_EQ(f.controller->getParamNormalized(4), 0.5);
    f.Write(4, FT_NORMALIZED, Bytes(1.0f));
    EXPECT_EQ(f.Read(4, FT_VALUE), Bytes(int32_t{6}));
}

TEST(ADelayControllerEditor, MidiLearnChoicesSendCcidAndOthersNothing)
{
    EditorFixture f;
    f.Write(1, FT_MENU_SELECTION, Bytes(int32_t{1}));
    f.Write(1, FT_MENU_SELECTION, Bytes(int32_t{2}));
    f.Write(1, FT_MENU_SELECTION, Bytes(int32_t{3}));
    ASSERT_EQ(f.peer.messages.size(), 2u);
    EXPECT_EQ(f.peer.messages[0], Record(1, QueMessageId::CCID, Bytes(int32_t{-2})));
    EXPECT_EQ(f.peer.messages[1], Record(1, QueMessageId::CCID, Bytes(int32_t{-1})));
    // Writes to unknown handles and short data change nothing.
    f.Write(99, FT_VALUE, Bytes(1.0f));
    f.Write(1, FT_MENU_SELECTION, "x");
    EXPECT_EQ(f.peer.messages.size(), 2u);
}

TEST(ADelayControllerEditor, FieldsReadAsTheEditorExpects)
{
    EditorFixture f;
    EXPECT_EQ(f.Read(2, FT_MENU_ITEMS), "");
    EXPECT_EQ(f.Read(1, FT_MENU_ITEMS), Wide(L"Learn=1, UnLearn", false));
    EXPECT_EQ(f.Read(5, FT_VALUE, false), "untouched");
    const std::string menu = f.Read(-1, FT_ENUM_LIST);
    EXPECT_EQ(menu.size(), 120u);
    EXPECT_EQ(menu, Wide(L"Export Preset=1,Import Preset", true));
    f.Read(99, FT_VALUE, false);
    EXPECT_EQ(f.Read(1, FT_RANGE_HI), Bytes(10.0f));
    EXPECT_EQ(f.Read(5, FT_RANGE_LO), Bytes(-1.0));
    EXPECT_EQ(f.Read(3, FT_RANGE_HI), Bytes(1.0f));
    EXPECT_EQ(f.Read(7, FT_NORMALIZED), Bytes(0.5f)); // 3 of 2..4
    f.Read(1, FT_DEFAULT, false);
    EXPECT_EQ(f.controller->getParameterHandle(40, 2), 1);
    EXPECT_EQ(f.controller->getParameterHandle(40, 3), -1);
}

TEST(ADelayControllerBatch, ValueReportsReachTheParametersAndTheirAutomatorsOnce)
{
    EditorFixture f;
    CountingAutomator automator;
    f.controller->AddPatchAutomator(&automator);
    f.Notify(Record(1, QueMessageId::ppc, Report(Bytes(7.5f))) +
             Record(3, QueMessageId::ppc, Report(Bytes(int32_t{99}))) +
             Record(2, QueMessageId::ppc, Report(Bytes(int32_t{8}) + Wide(L"yo", false))));
    EXPECT_DOUBLE_EQ(f.controller->getParamNormalized(3), 0.75);
    EXPECT_EQ(f.controller->Parameters().at(3).value, Bytes(int32_t{99}));
    EXPECT_EQ(f.controller->Parameters().at(2).value, Wide(L"yo", false));
    // Each once: the store holds the value, no parameter object a copy.
    EXPECT_EQ(automator.updates[1], 1);
    EXPECT_EQ(automator.updates[3], 1);
    EXPECT_EQ(automator.updates[2], 1);
    f.controller->RemovePatchAutomator(&automator);
}

TEST(ADelayControllerBatch, OnlyPpcRecordsAreValuesAndEveryReadStaysInItsRecord)
{
    EditorFixture f;
    CountingAutomator automator;
    f.controller->AddPatchAutomator(&automator);
    const std::string before = f.controller->Parameters().at(3).value;
    // A "lern" for a parameter handle, an "mbox" for a module, a value cut short,
    // a text count larger than its record: none changes a value.
    f.Notify(Record(3, QueMessageId::lern, Bytes(int32_t{0x02000007})) + Record(50, QueMessageId::mbox, "hello") +
             Record(3, QueMessageId::ppc, std::string(1, '\0') + Bytes(int32_t{0}) + Bytes(int32_t{0}) + "ab") +
             Record(2, QueMessageId::ppc, Report(Bytes(int32_t{4000}) + Wide(L"x", false))));
    EXPECT_EQ(f.controller->Parameters().at(3).value, before);
    EXPECT_EQ(f.controller->Parameters().at(2).value, ParseToRaw(1, std::string("a b")));
    EXPECT_EQ(automator.updates.count(50), 0u);

    // A record longer than the batch ends the reading.
    std::string broken = Record(3, QueMessageId::ppc, Report(Bytes(int32_t{5})));
    const int32_t huge = 1 << 30;
    std::memcpy(broken.data() + 8, &huge, 4);
    f.Notify(broken);
    EXPECT_EQ(f.controller->Parameters().at(3).value, before);
    EXPECT_EQ(f.controller->notify(nullptr), kInvalidArgument);
    f.controller->RemovePatchAutomator(&automator);
}

TEST(ADelayControllerBatch, SdkRecordsReachTheGuiModuleOfEachOpenEditor)
{
    EditorFixture f;
    IPtr<IPlugView> view = owned(f.controller->createView("editor"));
    auto* editor = static_cast<KVVSTGUIEditor*>(view.get());
    RecordingGuiModule* module = nullptr;
    ASSERT_TRUE(editor->AddModule(50, RecordingWrapper(editor, 50, module)));
    {
        GuiPatchAutomator2 automator;
        automator.SetEditor(editor);
        ASSERT_EQ(f.controller->Automators().size(), 1u);
        f.Notify(Record(50, QueMessageId::sdk, Bytes(int32_t{77}) + Bytes(int32_t{3}) + "abc") +
                 Record(51, QueMessageId::sdk, Bytes(int32_t{1}) + Bytes(int32_t{0})) +
                 Record(50, QueMessageId::sdk, Bytes(int32_t{78}) + Bytes(int32_t{9}) + "abc"));
    }
    // The automator left the controller's list when it was destroyed.
    EXPECT_TRUE(f.controller->Automators().empty());
    ASSERT_EQ(module->messages.size(), 1u);
    EXPECT_EQ(module->messages[0].first, 77);
    EXPECT_EQ(module->messages[0].second, "abc");

    // A module's message goes to its DSP part under its handle.
    EXPECT_EQ(editor->HandleToObject(50)->sendMessageToAudio(9, 2, static_cast<const void*>("hi")), 0);
    EXPECT_EQ(f.peer.messages.back(), Record(50, QueMessageId::sdk, Bytes(int32_t{9}) + Bytes(int32_t{2}) + "hi"));
}

TEST(ADelayControllerBatch, AutomatorsSendTheValuesOfTheirBindingsOnHostChanges)
{
    EditorFixture f;
    IPtr<IPlugView> view = owned(f.controller->createView("editor"));
    auto* editor = static_cast<KVVSTGUIEditor*>(view.get());
    auto* automator = new GuiPatchAutomator2();
    GuiModuleWrapperVstGui automatorWrapper(editor, nullptr, -1, nullptr, static_cast<gmpi::IMpUserInterface2*>(automator));
    automator->setHost(static_cast<gmpi::IMpUserInterfaceHost2*>(&automatorWrapper));
    automator->release();
    automator->SetEditor(editor);
    RecordingGuiModule* module = nullptr;
    auto moduleWrapper = RecordingWrapper(editor, 40, module);
    // Three fields of handle 1 (module 40, parameter 2) on module pins 0, 1, 2.
    const int fields[] = {FT_VALUE, FT_NORMALIZED, FT_RANGE_HI};
    for (int pin = 0; pin < 3; ++pin)
    {
        const int index = automator->Register(40, 2, fields[pin]);
        EXPECT_EQ(index, pin);
        automatorWrapper.AddConnection(index, moduleWrapper.get(), pin);
        moduleWrapper->AddConnection(pin, &automatorWrapper, index);
    }
    EXPECT_EQ(automator->Register(40, 2, FT_VALUE), 0);
    EXPECT_EQ(automator->Bindings()[0].parameterHandle, 1);

    f.controller->setParamNormalized(3, 0.5);
    // Value and normalized follow the host; the range is sent only when the editor opens.
    EXPECT_EQ(module->pins, (std::vector<std::pair<int, std::string>>{{0, Bytes(5.0f)}, {1, Bytes(0.5f)}}));
}

TEST(ADelayControllerEditor, ChangesFromAnotherThreadReachTheEditorOnlyOnItsOwnThread)
{
    // The demo instrument's controller, with its editor (knobs and a list
    // bound to the host parameters) opened offscreen.
    MyVstPluginFactory factory(BundleInfo::FromModulePath(std::string(KV_DEMO_SYNTH_BUNDLE) +
                                                          "/Contents/x86_64-linux/KorvaneDemoSynth.so"));
    KvHostApplication host;
    HostComponentHandler handler;
    RecordingPeer peer;
    IPtr<ADelayController> controller = owned(new ADelayController(&factory));
    ASSERT_EQ(controller->initialize(&host), kResultOk);
    controller->setComponentHandler(&handler);
    controller->connect(&peer);
    // Attack (handle 101, host id 1) as a processor state.
    auto setComponentState = [&](int attack) {
        IPtr<HostMemoryStream> stream = owned(new HostMemoryStream(
            Chunk("<?xml version=\"1.0\" ?>\n<Parameters>\n <Param id=\"101\" index=\"1\" val=\"" +
                  std::to_string(attack) + "\" />\n</Parameters>\n")));
        return controller->setComponentState(stream);
    };
    const std::thread::id ui = std::this_thread::get_id();
    ThreadRecordingAutomator automator;
    std::atomic<bool> stop{false};
    std::atomic<int> calls{0};
    // A host that sets values from a thread of its own while its user
    // interface opens and closes the editor.
    std::thread other([&] {
        for (int i = 0; !stop.load(); ++i, ++calls)
        {
            controller->setParamNormalized(static_cast<ParamID>(i % 6), (i % 9) / 10.0);
            setComponentState(i % 9);
        }
    });
    for (int cycle = 0; cycle < 200; ++cycle)
    {
        IPtr<IPlugView> view = owned(controller->createView("editor"));
        auto* editor = static_cast<KVVSTGUIEditor*>(view.get());
        ASSERT_TRUE(editor->open(nullptr));
        controller->AddPatchAutomator(&automator);
        // The other thread's calls land while the editor is open.
        const int seen = calls.load();
        ASSERT_TRUE(kv_test::WaitUntil([&] { return calls.load() != seen; }));
        editor->getFrame()->platformOnTimer();
        controller->RemovePatchAutomator(&automator);
        editor->close();
    }
    stop = true;
    other.join();
    EXPECT_EQ(automator.threads, (std::set<std::thread::id>{ui}));

    // The last change from the other thread (a value it never set before)
    // waits for the editor's timer.
    IPtr<IPlugView> view = owned(controller->createView("editor"));
    auto* editor = static_cast<KVVSTGUIEditor*>(view.get());
    ASSERT_TRUE(editor->open(nullptr));
    controller->AddPatchAutomator(&automator);
    automator.updates.clear();
    std::thread([&] { EXPECT_EQ(setComponentState(9), kResultOk); }).join();
    EXPECT_TRUE(automator.updates.empty());
    editor->getFrame()->platformOnTimer();
    EXPECT_EQ(automator.updates, (std::map<int, int>{{101, 1}}));
    EXPECT_DOUBLE_EQ(controller->getParamNormalized(1), 0.9);
    EXPECT_EQ(automator.threads, (std::set<std::thread::id>{ui}));
    controller->RemovePatchAutomator(&automator);
    editor->close();
    controller->disconnect(&peer);
    controller->terminate();
}

TEST(ADelayControllerPresets, ExportNamesEndInASinglePresetXml)
{
    EXPECT_EQ(ADelayController::PresetFileName("/p/a.xml"), "/p/a.preset.xml");
    EXPECT_EQ(ADelayController::PresetFileName("/p/a.preset.xml"), "/p/a.preset.xml");
    EXPECT_EQ(ADelayController::PresetFileName("/p/a"), "/p/a.preset.xml");
    EXPECT_EQ(ADelayController::PresetFileName("/p.d/a"), "/p.d/a.preset.xml");
    EXPECT_EQ(ADelayController::PresetFileName("/p/a.b.c"), "/p/a.preset.xml");
}

TEST(ADelayControllerPresets, ExportAndImportRoundTripTextsBlobsAndHostValues)
{
    EditorFixture f;
    const std::string quoted = Wide(L"it's 'quoted' text", false);
    const std::string blob("\0\1\2 \xff", 5);
    f.Write(2, FT_VALUE, quoted);
    f.Write(6, FT_VALUE, blob);
    f.Write(4, FT_VALUE, Bytes(int32_t{6}));
    f.controller->setParamNormalized(3, 0.8); // host automation: plain 8
    const std::string path = f.scratch.file("mine.xml");
    ASSERT_TRUE(f.controller->ExportPresetXml(path));
    const std::string saved = ReadText(f.scratch.file("mine.preset.xml"));
    EXPECT_NE(saved.find("<Parameter Handle=\"1\" Name=\"Gain\" DataType=\"6\">"), std::string::npos) << saved;
    EXPECT_EQ(saved.find("Level"), std::string::npos); // not stateful

    EditorFixture other;
    ASSERT_TRUE(other.controller->ImportPresetXml(f.scratch.file("mine.preset.xml")));
    EXPECT_EQ(other.controller->Parameters().at(2).value, quoted);
    EXPECT_EQ(other.controller->Parameters().at(6).value, blob);
    EXPECT_DOUBLE_EQ(other.controller->getParamNormalized(3), 0.8);
    EXPECT_DOUBLE_EQ(other.controller->getParamNormalized(4), 1.0);
}

TEST(ADelayControllerPresets, TextsComeBackFromAPresetFileWithEveryBlankTheyHad)
{
    const std::vector<std::wstring> texts = {L"a  b", L"  lead", L"trail  ", L"\t",      L"\n\r\n", L" ",
                                             L"",     L"x]]>  y", L"a]]>b",  L"'q  '  ", L"tab\there", L"&#x41;"};
    for (const std::wstring& saved : texts)
    {
        EditorFixture f;
        f.Write(2, FT_VALUE, Wide(saved, false));
        const std::string path = f.scratch.file("blanks.xml");
        ASSERT_TRUE(f.controller->ExportPresetXml(path));
        EditorFixture other;
        ASSERT_TRUE(other.controller->ImportPresetXml(f.scratch.file("blanks.preset.xml")));
        EXPECT_EQ(other.controller->Parameters().at(2).value, Wide(saved, false))
            << ReadText(f.scratch.file("blanks.preset.xml"));
    }
}

TEST(ADelayControllerPresets, ImportSkipsWrongTypesAndValuesThatAreNotFiniteOrOutOfRange)
{
    EditorFixture f;
    const std::string noteBefore = f.controller->Parameters().at(3).value;
    const std::string path = f.scratch.file("bad.preset.xml");
    WriteText(path, R"(<Presets><Parameters>
      <Parameter Handle="1" DataType="8"><patch-list>2</patch-list></Parameter>
      <Parameter Handle="1" DataType="6"><patch-list>inf</patch-list></Parameter>
      <Parameter Handle="1" DataType="6"><patch-list>11</patch-list></Parameter>
      <Parameter Handle="3" DataType="8"><patch-list>nan</patch-list></Parameter>
      <Parameter Handle="4" DataType="8"><patch-list>3</patch-list></Parameter>
      <Parameter Handle="4" DataType="8"><patch-list>1e20</patch-list></Parameter>
      <Parameter Handle="3" DataType="8"><patch-list>-1e20</patch-list></Parameter>
      <Parameter Handle="7" DataType="6"><patch-list>3.5</patch-list></Parameter>
      <Parameter Handle="99" DataType="6"><patch-list>1</patch-list></Parameter>
    </Parameters></Presets>)");
    EXPECT_TRUE(f.controller->ImportPresetXml(path));
    EXPECT_DOUBLE_EQ(f.controller->getParamNormalized(3), 0.1);
    EXPECT_EQ(f.controller->Parameters().at(3).value, noteBefore);
    EXPECT_DOUBLE_EQ(f.controller->getParamNormalized(4), 0.0);
    EXPECT_EQ(f.controller->Parameters().at(7).value, Bytes(3.5f));

    EXPECT_FALSE(f.controller->ImportPresetXml(f.scratch.file("missing.preset.xml")));
    WriteText(f.scratch.file("junk.preset.xml"), "<Presets><Parameters>");
    EXPECT_FALSE(f.controller->ImportPresetXml(f.scratch.file("junk.preset.xml")));
    EXPECT_FALSE(f.controller->ExportPresetXml(f.scratch.file("no/such/folder/x")));
}

TEST(ADelayControllerPresets, TheEditorsPresetMenuExportsAndImportsThroughItsChooser)
{
    EditorFixture f;
    // The selector's dialog is watched by the editor's frame: an empty
    // canvas, offscreen, whose timer the test turns.
    WriteText(f.scratch.file("E.vst3/Contents/Resources/gui.kv.xml"),
              "<Window><Canvas Width=\"100\" Height=\"40\"/></Window>");
    IPtr<IPlugView> view = owned(f.controller->createView("editor"));
    auto* editor = static_cast<KVVSTGUIEditor*>(view.get());
    ASSERT_TRUE(editor->open(nullptr));
    auto command = [&](int32_t choice) {
        editor->setParameterFromGui(-1, FT_VALUE, 0, 4, Bytes(choice).data());
        editor->getFrame()->platformOnIdle();
    };
    AnsweringChooser chooser;
    chooser.answer = f.scratch.file("menu");

    f.Write(1, FT_VALUE, Bytes(4.0f));
    command(1);
    EXPECT_TRUE(editor->LastPresetCommandSucceeded());
    ASSERT_FALSE(ReadText(f.scratch.file("menu.preset.xml")).empty());

    editor->setParameterFromGui(1, FT_VALUE, 3, 4, Bytes(9.0f).data());
    EXPECT_DOUBLE_EQ(f.controller->getParamNormalized(3), 0.9);
    chooser.answer = f.scratch.file("menu.preset.xml");
    command(2);
    EXPECT_DOUBLE_EQ(f.controller->getParamNormalized(3), 0.4);
    EXPECT_EQ(chooser.saves, (std::vector<bool>{true, false}));
    EXPECT_EQ(chooser.titles[0], "Choose a plugin preset file|preset.xml");
    // Value 3 is no command: it goes to the controller like any other write.
    editor->setParameterFromGui(-1, FT_VALUE, 0, 4, Bytes(int32_t{3}).data());
    EXPECT_EQ(chooser.saves.size(), 2u);

    chooser.answer = f.scratch.file("gone/x");
    command(1);
    EXPECT_FALSE(editor->LastPresetCommandSucceeded());
    chooser.answer.clear();
    command(2);
    EXPECT_EQ(chooser.saves.size(), 4u);
}

namespace
{
// Host-backed parameters of every type the host carries; the list's default
// and its values are values, its host parameter counts positions.
const char* kHostBacked = R"(<Document><C><Parameters>
  <Parameter Name="On" Handle="1" Index="0" ValueType="4"/>
  <Parameter Name="Wave" Handle="2" Index="1" ValueType="8" MetaData="Sine=0,Saw=5,Square"><patch-list>5</patch-list></Parameter>
  <Parameter Name="Fine" Handle="3" Index="2" ValueType="3" RangeMinimum="-1" RangeMaximum="1"/>
  <Parameter Name="Gain" Handle="4" Index="3" ValueType="6" RangeMinimum="0" RangeMaximum="10"/>
  <Parameter Name="Steps" Handle="5" Index="4" ValueType="8" RangeMinimum="0" RangeMaximum="4"/>
</Parameters></C></Document>)";
} // namespace

TEST(ADelayControllerHostValues, EveryHostBackedTypeFollowsTheHostAndListValuesCrossAsPositions)
{
    struct Case
    {
        int handle;
        ParamID id;
        double hostNormalized;  // set by the host ...
        std::string hostValue;  // ... reads as this value
        std::string reported;   // the engine reports this value ...
        double reportedNormalized; // ... which the host parameter takes
        std::string written;    // the editor writes this value ...
        double writtenNormalized;  // ... which becomes a host edit
    };
    const std::vector<Case> cases = {
        {1, 0, 1.0, std::string(1, '\1'), std::string(1, '\0'), 0.0, std::string(1, '\1'), 1.0},
        {2, 1, 1.0, Bytes(int32_t{6}), Bytes(int32_t{5}), 0.5, Bytes(int32_t{0}), 0.0},
        {3, 2, 0.75, Bytes(0.5), Bytes(-1.0), 0.0, Bytes(1.0), 1.0},
        {4, 3, 0.25, Bytes(2.5f), Bytes(10.0f), 1.0, Bytes(5.0f), 0.5},
        {5, 4, 0.5, Bytes(int32_t{2}), Bytes(int32_t{4}), 1.0, Bytes(int32_t{1}), 0.25},
    };
    EditorFixture f(kHostBacked);
    // The list's default (value 5) is its second position.
    EXPECT_DOUBLE_EQ(f.controller->getParamNormalized(1), 0.5);
    HostValueTable table;
    PatchStore store;
    table.Build(ReadText(f.scratch.path() / "E.vst3" / "Contents" / "Resources" / "parameters.kv.xml"));
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.handle);
        f.controller->setParamNormalized(c.id, c.hostNormalized);
        EXPECT_EQ(f.Read(c.handle, FT_VALUE), c.hostValue);

        f.Notify(Record(c.handle, QueMessageId::ppc, Report(c.reported)));
        EXPECT_DOUBLE_EQ(f.controller->getParamNormalized(c.id), c.reportedNormalized);
        EXPECT_EQ(f.Read(c.handle, FT_VALUE), c.reported);
        // The processor reports the same value to the host as the same normalized value.
        HostParameterChanges changes;
        const std::string batch = Record(c.handle, QueMessageId::ppc, Report(c.reported));
        table.Report(reinterpret_cast<const unsigned char*>(batch.data()), batch.size(), changes, 0, store);
        ASSERT_EQ(changes.getParameterCount(), 1);
        ParamValue reported = -1.0;
        int32 offset = -1;
        changes.getParameterData(0)->getPoint(0, offset, reported);
        EXPECT_DOUBLE_EQ(reported, c.reportedNormalized);

        f.Write(c.handle, FT_VALUE, c.written);
        const auto edits = f.handler.takeEdits();
        ASSERT_EQ(edits.size(), 1u);
        EXPECT_EQ(edits[0].first, c.id);
        EXPECT_DOUBLE_EQ(edits[0].second, c.writtenNormalized);
        EXPECT_EQ(f.Read(c.handle, FT_VALUE), c.written);
    }

    // A value that is no choice of the list moves nothing; a saved state's value is a value too.
    f.Notify(Record(2, QueMessageId::ppc, Report(Bytes(int32_t{3}))));
    EXPECT_DOUBLE_EQ(f.controller->getParamNormalized(1), 0.0);
    HostMemoryStream state(Chunk(R"(<Parameters><Param id="2" index="1" val="5"/></Parameters>)"));
    EXPECT_EQ(f.controller->setComponentState(&state), kResultOk);
    EXPECT_DOUBLE_EQ(f.controller->getParamNormalized(1), 0.5);

    // A preset file holds the host's values, whatever the records last stored.
    f.controller->setParamNormalized(0, 1.0);
    f.controller->setParamNormalized(2, 1.0);
    ASSERT_TRUE(f.controller->ExportPresetXml(f.scratch.file("host.xml")));
    EditorFixture other(kHostBacked);
    other.controller->setParamNormalized(1, 0.0);
    ASSERT_TRUE(other.controller->ImportPresetXml(f.scratch.file("host.preset.xml")));
    EXPECT_DOUBLE_EQ(other.controller->getParamNormalized(0), 1.0);
    EXPECT_DOUBLE_EQ(other.controller->getParamNormalized(1), 0.5);
    EXPECT_DOUBLE_EQ(other.controller->getParamNormalized(2), 1.0);
}

TEST(ADelayControllerEditor, AnEditTheHostHasNotHeardOfYetIsDroppedOnceTheHostSetsThatParameter)
{
    // With no handler yet the editor's edits wait for one; the host then
    // sets Gain itself: only the edit of Steps, made later, reaches it.
    EditorFixture f(kHostBacked);
    f.controller->setComponentHandler(nullptr);
    f.Write(4, FT_VALUE, Bytes(5.0f));
    f.controller->setParamNormalized(3, 0.2);
    f.controller->setComponentHandler(&f.handler);
    f.Write(5, FT_VALUE, Bytes(int32_t{1}));
    EXPECT_EQ(f.handler.takeEdits(), (std::vector<HostComponentHandler::Edit>{{4, 0.25}}));
    EXPECT_DOUBLE_EQ(f.controller->getParamNormalized(3), 0.2);
}
