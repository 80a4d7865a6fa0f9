// The controller's host side: parameters from parameters.kv.xml, the MIDI
// controller parameters and mapping, the processor's state and the view.

#include "shell/ADelayController.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "ShellUnitSupport.h"
#include "base/source/updatehandler.h"
#include "core/QueMessage.h"
#include "core/RawConversions.h"
#include "shell/KvHostParameter.h"
#include "pluginterfaces/base/ustring.h"
#include "pluginterfaces/gui/iplugview.h"

using namespace shell_test;
using namespace shell_unit;
using namespace Steinberg;
using namespace Steinberg::Vst;

namespace
{
std::string ParametersXml(const std::string& parameters)
{
    return "<Document><Controller><Parameters>" + parameters + "</Parameters></Controller></Document>";
}

// A host parameter title as narrow text.
struct String
{
    explicit String(const char16* text) : text16(text) {}
    std::string text8() const
    {
        std::string out;
        for (const char16* p = text16; *p; ++p)
            out += static_cast<char>(*p);
        return out;
    }
    const char16* text16;
};

struct ControllerFixture
{
    explicit ControllerFixture(const std::string& parametersXml)
        : factory(MakeBundle(scratch, "C", {{"parameters.kv.xml", parametersXml}})),
          controller(owned(new ADelayController(&factory)))
    {
        result = controller->initialize(&host);
    }
    ~ControllerFixture() { controller->terminate(); }

    std::string Title(ParamID id)
    {
        Parameter* parameter = controller->getParameterObject(id);
        return parameter ? String(parameter->getInfo().title).text8() : std::string("<none>");
    }

    ScratchFolder scratch;
    MyVstPluginFactory factory;
    KvHostApplication host;
    IPtr<ADelayController> controller;
    tresult result = kResultFalse;
};

} // namespace

TEST(ADelayControllerParameters, AParameterWithoutValueTypeIsAFloatRangeZeroToTen)
{
    ControllerFixture fixture(ParametersXml(R"(<Parameter Name="Gain" Handle="7" Index="3"><patch-list>2.5</patch-list></Parameter>)"));
    ASSERT_EQ(fixture.result, kResultOk);
    Parameter* gain = fixture.controller->getParameterObject(3);
    ASSERT_NE(gain, nullptr);
    EXPECT_EQ(gain->getInfo().stepCount, 0);
    EXPECT_EQ(gain->getInfo().flags, ParameterInfo::kCanAutomate);
    // A new instance starts, and resets to, the document's 2.5.
    EXPECT_DOUBLE_EQ(gain->getInfo().defaultNormalizedValue, 0.25);
    EXPECT_DOUBLE_EQ(gain->getNormalized(), 0.25);
    EXPECT_DOUBLE_EQ(gain->toPlain(1.0), 10.0);
    const KvParameter& record = fixture.controller->Parameters().at(7);
    EXPECT_EQ(record.valueType, 6);
    EXPECT_EQ(record.value, Bytes(2.5f));
    // 1 patch parameter, 130 MIDI ones, the program change and the bypass.
    EXPECT_EQ(fixture.controller->getParameterCount(), 133);
}

TEST(ADelayControllerParameters, ClassesFollowTheValueTypeAndPrivateParametersHaveNone)
{
    ControllerFixture fixture(ParametersXml(
        R"(<Parameter Name="Wave" Handle="1" Index="0" ValueType="8" MetaData="Sine,Saw,Square"><patch-list>2</patch-list></Parameter>)"
        R"(<Parameter Name="Note" Handle="2" Index="1" ValueType="8" RangeMinimum="0" RangeMaximum="127"><patch-list>64</patch-list></Parameter>)"
        R"(<Parameter Name="Hidden" Handle="3" Index="2" Private="1"/>)"
        R"(<Parameter Name="Text" Handle="4" Index="4" ValueType="1"><patch-list>'a b'</patch-list></Parameter>)"
        R"(<Parameter Name="Flag" Handle="5" Index="5" ValueType="4"><patch-list>1</patch-list></Parameter>)"));
    Parameter* wave = fixture.controller->getParameterObject(0);
    ASSERT_NE(wave, nullptr);
    EXPECT_EQ(wave->getInfo().stepCount, 2);
    EXPECT_EQ(wave->getInfo().flags, ParameterInfo::kCanAutomate | ParameterInfo::kIsList);
    EXPECT_DOUBLE_EQ(wave->getNormalized(), 1.0);

    Parameter* note = fixture.controller->getParameterObject(1);
    ASSERT_NE(note, nullptr);
    EXPECT_EQ(note->getInfo().stepCount, 127);
    EXPECT_NEAR(note->getNormalized(), 64.0 / 127.0, 1e-12);
    EXPECT_NEAR(note->getInfo().defaultNormalizedValue, 64.0 / 127.0, 1e-12);
    EXPECT_DOUBLE_EQ(wave->getInfo().defaultNormalizedValue, 1.0);

    EXPECT_EQ(fixture.controller->getParameterObject(2), nullptr);
    EXPECT_EQ(fixture.controller->Parameters().count(3), 1u);
    EXPECT_EQ(fixture.controller->getParameterObject(4), nullptr);
    EXPECT_EQ(fixture.controller->Parameters().at(4).value, ParseToRaw(1, std::string("a b")));

    Parameter* flag = fixture.controller->getParameterObject(5);
    ASSERT_NE(flag, nullptr);
    EXPECT_EQ(flag->getInfo().stepCount, 1);
    EXPECT_EQ(flag->getInfo().unitId, kRootUnitId);
    EXPECT_DOUBLE_EQ(flag->getNormalized(), 1.0);
}

TEST(ADelayControllerParameters, FirstHandleWinsAndEachIndexIsOfferedOnceBelowTenThousand)
{
    ControllerFixture fixture(ParametersXml(
        R"(<Parameter Name="First" Handle="1" Index="0"/>)"
        R"(<Parameter Name="Second" Handle="1" Index="1"/>)"
        R"(<Parameter Name="Again" Handle="2" Index="0"/>)"
        R"(<Parameter Name="High" Handle="3" Index="10000"/>)"
        R"(<Parameter Name="Negative" Handle="4" Index="-5"/>)"));
    EXPECT_EQ(fixture.controller->Parameters().at(1).name, "First");
    EXPECT_EQ(fixture.Title(0), "First");
    EXPECT_EQ(fixture.Title(1), "Second");
    // Handle 2 wanted id 0, which is taken: it has no host parameter and edits none.
    EXPECT_EQ(fixture.controller->Parameters().at(2).index, -1);
    EXPECT_EQ(fixture.controller->Parameters().at(3).index, -1);
    EXPECT_EQ(fixture.Title(10000), "MIDI CC    0");
    EXPECT_EQ(fixture.Title(10129), "MIDI CC  129");
    EXPECT_EQ(fixture.controller->getParameterObject(10129)->getInfo().flags, 0);
    EXPECT_EQ(fixture.Title(10130), "MIDI Program Change");
    // A single program: no program list for it to stand for.
    EXPECT_EQ(fixture.controller->getParameterObject(10130)->getInfo().flags, 0);
    EXPECT_EQ(fixture.controller->getParameterObject(10130)->getInfo().stepCount, 127);
    // The bypass comes last: a switch the host finds by its flag.
    EXPECT_EQ(fixture.Title(10131), "Bypass");
    const ParameterInfo bypass = fixture.controller->getParameterObject(10131)->getInfo();
    EXPECT_EQ(bypass.flags, ParameterInfo::kCanAutomate | ParameterInfo::kIsBypass);
    EXPECT_EQ(bypass.stepCount, 1);
    EXPECT_EQ(bypass.unitId, kRootUnitId);
    EXPECT_DOUBLE_EQ(fixture.controller->getParamNormalized(10131), 0.0);
    String128 shown{};
    fixture.controller->getParamStringByValue(10131, 1.0, shown);
    EXPECT_EQ(KvHostParameter::Narrow(shown), "On");
    fixture.controller->getParamStringByValue(10131, 0.0, shown);
    EXPECT_EQ(KvHostParameter::Narrow(shown), "Off");
    EXPECT_EQ(fixture.controller->getParameterCount(), 2 + 130 + 1 + 1);
}

TEST(ADelayControllerParameters, HugeListsPrivateIndexesAndLongNamesAreOfferedSafely)
{
    ControllerFixture fixture(ParametersXml(
        R"(<Parameter Name="Many" Handle="1" Index="0" ValueType="8" MetaData="range 0,2000000000"/>)"
        R"(<Parameter Name="Hidden" Handle="2" Index="1" Private="1"/>)"
        R"(<Parameter Name="Shown" Handle="3" Index="1"/>)"
        R"(<Parameter Name="NameOfSixtyBytes...........................................!" Handle="4" Index="2"/>)"));
    Parameter* many = fixture.controller->getParameterObject(0);
    ASSERT_NE(many, nullptr);
    EXPECT_EQ(many->getInfo().stepCount, 2000000000);
    EXPECT_DOUBLE_EQ(many->toPlain(1.0), 2000000000.0);
    // The private record does not edit the host parameter that took its id.
    fixture.controller->setParameterFromGui(2, 0, 4, Bytes(9.0f).data());
    EXPECT_DOUBLE_EQ(fixture.controller->getParamNormalized(1), 0.0);
    EXPECT_EQ(fixture.Title(2), "NameOfSixtyBytes..................................");
}

TEST(ADelayControllerParameters, NamesReachTheHostInUtf16AndAreCutBetweenCharacters)
{
    // The second name's last character, outside the BMP, would end past the title's 50 units.
    ControllerFixture fixture(ParametersXml("<Parameter Name=\"H\xC3\xB6he \xE2\x99\xAA\" Handle=\"1\" Index=\"0\"/>"
                                            "<Parameter Name=\"" + std::string(49, 'x') +
                                            "\xF0\x9D\x84\x9E\" Handle=\"2\" Index=\"1\"/>"));
    auto title = [&](ParamID id) { return std::u16string(fixture.controller->getParameterObject(id)->getInfo().title); };
    EXPECT_EQ(title(0), u"H\u00F6he \u266A");
    EXPECT_EQ(title(1), std::u16string(49, u'x'));
}

TEST(ADelayControllerParameters, EmptyRangesAndWildDefaultsStayInsideZeroToOne)
{
    ControllerFixture fixture(ParametersXml(
        R"(<Parameter Name="Flat" Handle="1" Index="0" RangeMinimum="3" RangeMaximum="3"><patch-list>3</patch-list></Parameter>)"
        R"(<Parameter Name="Small" Handle="2" Index="1" RangeMinimum="0" RangeMaximum="1"><patch-list>40</patch-list></Parameter>)"
        R"(<Parameter Name="Nan" Handle="3" Index="2"><patch-list>nan</patch-list></Parameter>)"));
    for (ParamID id : {0u, 1u, 2u})
    {
        Parameter* parameter = fixture.controller->getParameterObject(id);
        ASSERT_NE(parameter, nullptr);
        const double n = parameter->getNormalized();
        const double d = parameter->getInfo().defaultNormalizedValue;
        EXPECT_TRUE(n >= 0.0 && n <= 1.0) << id << " " << n;
        EXPECT_TRUE(d >= 0.0 && d <= 1.0) << id << " " << d;
    }
    EXPECT_DOUBLE_EQ(fixture.controller->getParameterObject(0)->toPlain(0.7), 3.0);
    EXPECT_DOUBLE_EQ(fixture.controller->getParameterObject(1)->getNormalized(), 1.0);
}

TEST(ADelayControllerParameters, NoDocumentOrNoRootGivesNoParametersAtAll)
{
    for (const std::string& text : {std::string(), std::string("<unclosed"), std::string("<!-- only -->")})
    {
        ControllerFixture fixture(text);
        EXPECT_EQ(fixture.result, kResultFalse);
        EXPECT_EQ(fixture.controller->getParameterCount(), 0);
        EXPECT_TRUE(fixture.controller->Parameters().empty());
    }
}

TEST(ADelayControllerParameters, ASecondInitializeFailsAndBuildsNothingMore)
{
    ControllerFixture fixture(ParametersXml(R"(<Parameter Name="A" Handle="1" Index="0"/>)"));
    EXPECT_NE(fixture.controller->initialize(&fixture.host), kResultOk);
    EXPECT_EQ(fixture.controller->getParameterCount(), 133);
}

TEST(ADelayControllerParameters, MidiControllersMapToTheirParametersOnBusZeroOnly)
{
    ControllerFixture fixture(ParametersXml(""));
    ParamID id = 42;
    EXPECT_EQ(fixture.controller->getMidiControllerAssignment(0, 5, 129, id), kResultOk);
    EXPECT_EQ(id, 10129u);
    EXPECT_EQ(fixture.controller->getMidiControllerAssignment(0, 0, 7, id), kResultOk);
    EXPECT_EQ(id, 10007u);
    id = 42;
    EXPECT_EQ(fixture.controller->getMidiControllerAssignment(1, 0, 7, id), kResultFalse);
    EXPECT_EQ(fixture.controller->getMidiControllerAssignment(1, 0, 130, id), kResultFalse);
    EXPECT_EQ(fixture.controller->getMidiControllerAssignment(0, 0, 131, id), kResultFalse);
    EXPECT_EQ(fixture.controller->getMidiControllerAssignment(0, 0, -1, id), kResultFalse);
    EXPECT_EQ(id, 42u);
    // Program change (130) goes to the program-change parameter, on any channel.
    EXPECT_EQ(fixture.controller->getMidiControllerAssignment(0, 3, 130, id), kResultOk);
    EXPECT_EQ(id, 10130u);

    void* mapping = nullptr;
    ASSERT_EQ(fixture.controller->queryInterface(IMidiMapping::iid, &mapping), kResultOk);
    EXPECT_EQ(mapping, static_cast<IMidiMapping*>(fixture.controller.get()));
    fixture.controller->release();
}

TEST(ADelayControllerParameters, TheEditorViewIsMadeOnlyForEditorAndCanBeSized)
{
    ControllerFixture fixture(ParametersXml(""));
    EXPECT_EQ(fixture.controller->createView("Editor"), nullptr);
    EXPECT_EQ(fixture.controller->createView(nullptr), nullptr);
    IPtr<IPlugView> view = owned(fixture.controller->createView("editor"));
    ASSERT_TRUE(view);
    ViewRect size;
    view->getSize(&size);
    EXPECT_EQ(size.getWidth(), 100);
    EXPECT_EQ(view->isPlatformTypeSupported(kPlatformTypeX11EmbedWindowID), kResultTrue);
    ViewRect bigger(0, 0, 640, 480);
    EXPECT_EQ(view->onSize(&bigger), kResultOk);
    view->getSize(&size);
    EXPECT_EQ(size.getHeight(), 480);
}

TEST(ADelayControllerState, TheProcessorStateSetsHostParametersByIndexAndRecordsById)
{
    ControllerFixture fixture(ParametersXml(
        R"(<Parameter Name="A" Handle="5" Index="3"/>)"
        R"(<Parameter Name="B" Handle="6" ValueType="1" Private="1"/>)"));
    CountingAutomator automator;
    fixture.controller->AddPatchAutomator(&automator);
    HostMemoryStream state(Chunk(
        R"(<?xml version="1.0" ?><Parameters><Param id="5" index="3" val="7.5"/><Param id="6" val="hello"/><Param id="99" val="1"/></Parameters>)"));
    EXPECT_EQ(fixture.controller->setComponentState(&state), kResultOk);
    EXPECT_DOUBLE_EQ(fixture.controller->getParamNormalized(3), 0.75);
    EXPECT_EQ(fixture.controller->Parameters().at(6).value, ParseToRaw(1, std::string("hello")));
    // The host parameter's change reaches the automators through its update; the text one directly.
    EXPECT_EQ(automator.updates[5], 1);
    EXPECT_EQ(automator.updates[6], 1);
    fixture.controller->RemovePatchAutomator(&automator);
}

TEST(ADelayControllerState, BadChunksAreRefusedAndChangeNothing)
{
    ControllerFixture fixture(ParametersXml(R"(<Parameter Name="A" Handle="5" Index="3"><patch-list>1</patch-list></Parameter>)"));
    const std::string good = R"(<Parameters><Param id="5" index="3" val="9"/></Parameters>)";
    std::string deep;
    for (int i = 0; i < 45000; ++i)
        deep += "<Parameters>";
    const std::vector<std::vector<char>> bad = {
        Chunk(good, -1),
        Chunk(good, static_cast<int>(good.size()) + 1),
        Chunk(deep),
        Chunk("<Preset><Param id=\"5\" index=\"3\" val=\"9\"/></Preset>"),
        Chunk("not xml"),
        {1, 0},
    };
    for (const auto& bytes : bad)
    {
        HostMemoryStream state(bytes);
        EXPECT_EQ(fixture.controller->setComponentState(&state), kResultFalse);
        EXPECT_DOUBLE_EQ(fixture.controller->getParamNormalized(3), 0.1);
    }
}

TEST(ADelayControllerState, TerminateLeavesNoDependencyOnTheParameters)
{
    ControllerFixture fixture(ParametersXml(R"(<Parameter Name="A" Handle="5" Index="3"/>)"));
    // Held here: terminate releases the controller's parameters.
    IPtr<Parameter> parameter = fixture.controller->getParameterObject(3);
    ASSERT_TRUE(parameter);
    auto* handler = UpdateHandler::instance(false);
    ASSERT_NE(handler, nullptr);
    EXPECT_EQ(handler->countDependencies(parameter->unknownCast()), 1u);
    fixture.controller->terminate();
    EXPECT_EQ(handler->countDependencies(parameter->unknownCast()), 0u);
}

namespace
{
// A host's component handler that counts the restarts it is asked for.
class RestartCounter : public HostComponentHandler
{
public:
    tresult PLUGIN_API restartComponent(int32 flags) override
    {
        if (flags & kParamValuesChanged)
            ++valueRestarts;
        return kResultOk;
    }
    int valueRestarts = 0;
};
} // namespace

TEST(ADelayControllerPrograms, TheProgramListNamesAndCountComeFromThePatch)
{
    struct Case
    {
        const char* parameters;
        std::vector<std::string> names; // empty: no program list
    };
    const Case cases[] = {
        {R"(<Parameter Name="A" Handle="1" Index="0"><patch-list>1</patch-list></Parameter>)", {}},
        {R"(<Parameter Name="A" Handle="1" Index="0"><patch-list>1 2</patch-list></Parameter>)",
         {"Program 1", "Program 2"}},
        {R"(<Parameter Name="A" Handle="1" Index="0"><patch-list>1 2 3</patch-list></Parameter>)"
         R"(<Parameter Name="Names" Handle="2" ValueType="1" HostControl="4"><patch-list>Lead 'Soft Pad'</patch-list></Parameter>)",
         {"Lead", "Soft Pad", "Program 3"}},
    };
    for (const Case& c : cases)
    {
        ControllerFixture fixture(ParametersXml(c.parameters));
        FUnknownPtr<IUnitInfo> units(static_cast<IEditController*>(fixture.controller.get()));
        ASSERT_TRUE(units) << c.parameters;
        ASSERT_EQ(units->getUnitCount(), 1);
        UnitInfo root{};
        ASSERT_EQ(units->getUnitInfo(0, root), kResultOk);
        EXPECT_EQ(root.id, kRootUnitId);
        const ParameterInfo program = fixture.controller->getParameterObject(10130)->getInfo();
        if (c.names.empty())
        {
            EXPECT_EQ(units->getProgramListCount(), 0);
            EXPECT_EQ(root.programListId, kNoProgramListId);
            EXPECT_EQ(program.flags & ParameterInfo::kIsProgramChange, 0);
            continue;
        }
        ASSERT_EQ(units->getProgramListCount(), 1);
        ProgramListInfo list{};
        ASSERT_EQ(units->getProgramListInfo(0, list), kResultOk);
        EXPECT_EQ(root.programListId, list.id);
        ASSERT_EQ(list.programCount, static_cast<int32>(c.names.size()));
        for (int32 p = 0; p < list.programCount; ++p)
        {
            String128 name{};
            ASSERT_EQ(units->getProgramName(list.id, p, name), kResultOk);
            EXPECT_EQ(KvHostParameter::Narrow(name), c.names[static_cast<std::size_t>(p)]);
            // The program-change parameter shows the same names, one step each.
            String128 shown{};
            fixture.controller->getParamStringByValue(10130, p / (list.programCount - 1.0), shown);
            EXPECT_EQ(KvHostParameter::Narrow(shown), c.names[static_cast<std::size_t>(p)]);
        }
        String128 none{};
        EXPECT_NE(units->getProgramName(list.id, list.programCount, none), kResultOk);
        EXPECT_EQ(program.flags & ParameterInfo::kIsProgramChange, ParameterInfo::kIsProgramChange);
        EXPECT_EQ(program.unitId, kRootUnitId);
        EXPECT_EQ(program.stepCount, list.programCount - 1);
    }
}

TEST(ADelayControllerPrograms, MalformedProgramNamesReachTheHostAsWholeUtf16)
{
    // Each name, as the parameters document gives its bytes, and the UTF-16
    // units the host gets for it (the program list and the program-change
    // parameter alike).
    const std::string longName(126, 'a');
    const struct
    {
        std::string given;
        std::u16string shown;
    } cases[] = {
        {"Caf\xC3\xA9", u"Caf\u00E9"},
        {"\xF0\x9F\x98\x80", u"\U0001F600"},
        {"A\xFF" "B", u"A\uFFFDB"},
        // An encoded surrogate, an overlong slash, a character cut short.
        {"\xED\xA0\x80x", u"\uFFFD\uFFFD\uFFFDx"},
        {"y\xC0\xAFz", u"y\uFFFD\uFFFDz"},
        {"\xF0\x9F\x98" "z", u"\uFFFDz"},
        // Nothing readable, or nothing at all: numbered.
        {"\xC0\xAF\xFF", u"Program 7"},
        {"''", u"Program 8"},
        // Cut at the host's 128 units: the pair that does not fit whole goes.
        {longName + "\xF0\x9F\x98\x80", std::u16string(126, u'a')},
        {"a" + longName + "\xF0\x9F\x98\x80", std::u16string(127, u'a')},
    };
    std::string names;
    std::string values;
    for (std::size_t p = 0; p < std::size(cases); ++p)
    {
        names += cases[p].given + " ";
        values += std::to_string(p) + " ";
    }
    ControllerFixture fixture(ParametersXml(
        R"(<Parameter Name="A" Handle="1" Index="0"><patch-list>)" + values + R"(</patch-list></Parameter>)" +
        R"(<Parameter Name="Names" Handle="2" ValueType="1" HostControl="4"><patch-list>)" + names +
        R"(</patch-list></Parameter>)"));
    FUnknownPtr<IUnitInfo> units(static_cast<IEditController*>(fixture.controller.get()));
    ASSERT_TRUE(units);
    ProgramListInfo list{};
    ASSERT_EQ(units->getProgramListInfo(0, list), kResultOk);
    ASSERT_EQ(list.programCount, static_cast<int32>(std::size(cases)));
    for (int32 p = 0; p < list.programCount; ++p)
    {
        const auto& c = cases[static_cast<std::size_t>(p)];
        String128 name{};
        ASSERT_EQ(units->getProgramName(list.id, p, name), kResultOk);
        EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(name)), c.shown) << "program " << p;
        String128 shown{};
        fixture.controller->getParamStringByValue(10130, p / (list.programCount - 1.0), shown);
        EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(shown)), c.shown) << "program " << p;
    }
}

TEST(ADelayControllerState, TheHostRereadsValuesAfterAStateAPresetOrAProgramChange)
{
    ControllerFixture fixture(ParametersXml(R"(<Parameter Name="A" Handle="5" Index="3"><patch-list>1 4</patch-list></Parameter>)"));
    RestartCounter handler;
    fixture.controller->setComponentHandler(&handler);

    HostMemoryStream state(Chunk(R"(<Parameters><Param id="5" index="3" val="7.5"/></Parameters>)"));
    ASSERT_EQ(fixture.controller->setComponentState(&state), kResultOk);
    EXPECT_EQ(handler.valueRestarts, 1);

    const std::string preset = fixture.scratch.file("p.preset.xml");
    ASSERT_TRUE(fixture.controller->ExportPresetXml(preset));
    ASSERT_TRUE(fixture.controller->ImportPresetXml(preset));
    EXPECT_EQ(handler.valueRestarts, 2);

    // The engine reports that it moved to program 1: the program parameter follows.
    auto message = BinaryMessage(fixture.host, Record(1, QueMessageId::pat2, Bytes(int32_t{1})));
    EXPECT_EQ(fixture.controller->notify(message), kResultOk);
    EXPECT_EQ(handler.valueRestarts, 3);
    EXPECT_DOUBLE_EQ(fixture.controller->getParamNormalized(10130), 1.0);
    fixture.controller->setComponentHandler(nullptr);
}
