#include "core/CModuleFactory.h"
#include "core/HostControls.h"
#include "core/InterfaceObject.h"
#include "core/Module_Info3.h"
#include "core/ModuleXml.h"
#include "core/parameter_description.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace
{
std::string readTestFile(const char* relativePath)
{
    std::ifstream file(std::string(KV_TEST_DATA_DIR) + "/" + relativePath);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

std::string plugin(const std::string& body, const std::string& attributes = "id=\"T\"")
{
    return "<PluginList><Plugin " + attributes + ">" + body + "</Plugin></PluginList>";
}

Module_Info3_base* record(CModuleFactory& factory, const wchar_t* id)
{
    return dynamic_cast<Module_Info3_base*>(factory.GetById(id));
}

bool anyDiagnosticContains(const CModuleFactory& factory, const std::wstring& text)
{
    for (const auto& line : factory.Diagnostics())
    {
        if (line.find(text) != std::wstring::npos)
            return true;
    }
    return false;
}
} // namespace

TEST(ModuleXml, TestDocumentDescribesParametersPinsGroupsAndHostControls)
{
    const std::string xml = readTestFile("patches/module_descriptions.xml");
    ASSERT_FALSE(xml.empty());
    CModuleFactory factory;
    factory.RegisterPluginsXml(xml.c_str());
    EXPECT_TRUE(factory.Diagnostics().empty());

    Module_Info3_base* mixer = record(factory, L"Test Mixer");
    ASSERT_NE(mixer, nullptr);
    EXPECT_EQ(mixer->GetName(), L"Mixer");
    EXPECT_EQ(mixer->GetGroupName(), L"Test/Mixing");
    EXPECT_EQ(mixer->GetHelpUrl(), L"mixer.html");
    EXPECT_EQ(mixer->GetDspFlags(), 0x804u);
    EXPECT_EQ(mixer->getWindowType(), 5);
    EXPECT_EQ(mixer->GetFlags(), static_cast<uint32_t>(CF_PANEL_VIEW)); // structure view cleared
    EXPECT_TRUE(mixer->hasGuiModule());
    EXPECT_TRUE(mixer->hasDspModule());

    ASSERT_EQ(mixer->GetParameters().size(), 3u);
    const parameter_description* level = mixer->getParameterById(0);
    EXPECT_EQ(level->datatype, DT_FLOAT);
    EXPECT_EQ(level->flags, PD_POLYPHONIC | PD_PERSISTANT);
    EXPECT_EQ(level->default_value, L"0.8");
    const parameter_description* mode = mixer->getParameterById(1);
    EXPECT_EQ(mode->datatype, DT_ENUM);
    EXPECT_EQ(mode->flags, 0u);
    EXPECT_EQ(mode->automation, 0x02000000);
    EXPECT_EQ(mode->metadata, L"Sum,Average");
    EXPECT_EQ(mixer->getParameterById(2)->flags, PD_PRIVATE | PD_IGNORE_PATCH_CHANGE | PD_PERSISTANT);

    std::vector<int> ids;
    for (const auto& entry : mixer->GetPinDescriptions())
        ids.push_back(entry.first);
    EXPECT_EQ(ids, (std::vector<int>{0, 1, 2, 4, 5, 10, 11}));

    const InterfaceObject* levelPin = mixer->getPinDescriptionById(0);
    EXPECT_EQ(levelPin->GetFlags(), IO_PATCH_STORE | IO_PRIVATE);
    EXPECT_EQ(levelPin->getParameterId(), 0);
    const InterfaceObject* gate = mixer->getPinDescriptionById(2);
    EXPECT_EQ(gate->getHostConnect(), HC_VOICE_GATE);
    EXPECT_EQ(gate->GetFlags(), IO_HOST_CONTROL | IO_PRIVATE);
    EXPECT_EQ(gate->getParameterId(), -1);
    const InterfaceObject* bias = mixer->getPinDescriptionById(4);
    EXPECT_EQ(bias->GetDatatype(), DT_FSAMPLE);
    EXPECT_EQ(bias->GetDefaultVal(), L"2.5");
    EXPECT_EQ(bias->GetFlags(), IO_LINEAR_INPUT);
    EXPECT_EQ(mixer->getPinDescriptionById(5)->GetDirection(), DR_OUT);
    const InterfaceObject* input = mixer->getPinDescriptionById(10);
    EXPECT_TRUE(input->autoDuplicate());
    EXPECT_EQ(input->GetFlags(), IO_AUTODUPLICATE | IO_RENAME | IO_POLYPHONIC_ACTIVE);
    EXPECT_EQ(mixer->getPinDescriptionById(11)->GetFlags(), IO_MINIMISED | IO_NO_AUTOMATION);
    EXPECT_EQ(mixer->getPinDescriptionById(11)->GetDatatype(), DT_MIDI2);

    ASSERT_EQ(mixer->GetGuiPinDescriptions().size(), 3u);
    const InterfaceObject* label = mixer->getGuiPinDescriptionById(0);
    EXPECT_EQ(label->GetFlags(), IO_UI_COMMUNICATION | IO_PATCH_STORE | IO_PRIVATE | IO_REDRAW_ON_CHANGE);
    EXPECT_EQ(label->getParameterId(), 2);
    EXPECT_EQ(label->getParameterFieldId(), 1);
    const InterfaceObject* voices = mixer->getGuiPinDescriptionById(2);
    EXPECT_EQ(voices->getHostConnect(), HC_POLYPHONY);
    EXPECT_EQ(voices->getParameterFieldId(), 13);
    EXPECT_EQ(voices->GetFlags(), IO_UI_COMMUNICATION | IO_HOST_CONTROL | IO_PRIVATE);

    Module_Info3_base* source = record(factory, L"Test Source");
    ASSERT_NE(source, nullptr);
    EXPECT_EQ(source->GetName(), L"Test Source");
    EXPECT_EQ(source->GetDspFlags(), 0x24u | 0x40u | 0x100000u | 0x2u);
    EXPECT_EQ(source->GetFlags(), CF_POLYPHONIC_SOURCE | CF_STRUCTURE_VIEW | CF_GUI_NOT_VISIBLE);
    EXPECT_FALSE(source->hasGuiModule());
    EXPECT_EQ(source->getPinDescriptionById(0)->GetFlags(),
              IO_PAR_POLYPHONIC | IO_AUTOCONFIGURE_PARAMETER | IO_FILENAME | IO_IGNORE_PATCH_CHANGE);
}

TEST(ModuleXml, PinsWithoutIdsFollowThePreviousPinAndGroupsCountAfresh)
{
    CModuleFactory factory;
    factory.RegisterPluginsXml(plugin("<Audio><Pin name='a'/><Pin id='5' name='b'/><Pin name='c'/>"
                                      "<Group><Pin name='g'/><Pin name='h'/></Group><Other/></Audio>")
                                   .c_str());
    Module_Info3_base* info = record(factory, L"T");
    ASSERT_NE(info, nullptr);
    std::vector<std::wstring> names;
    for (const auto& entry : info->GetPinDescriptions())
        names.push_back(std::to_wstring(entry.first) + entry.second->GetName());
    // The group's first pin collides with pin 0 and is dropped.
    EXPECT_EQ(names, (std::vector<std::wstring>{L"0a", L"1h", L"5b", L"6c"}));
    EXPECT_TRUE(anyDiagnosticContains(factory, L"ERROR. module XML file (Korvane.exe): pin id 0 used twice."));
}

TEST(ModuleXml, AudioRateMakesAnAudioPinAndScalesItsDefaultToVolts)
{
    CModuleFactory factory;
    factory.RegisterPluginsXml(plugin("<Audio><Pin datatype='float' rate='audio' default='0.5'/>"
                                      "<Pin datatype='int' rate='audio'/><Pin datatype='float' default='0.5'/></Audio>")
                                   .c_str());
    Module_Info3_base* info = record(factory, L"T");
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->getPinDescriptionById(0)->GetDatatype(), DT_FSAMPLE);
    EXPECT_EQ(info->getPinDescriptionById(0)->GetDefaultVal(), L"5");
    EXPECT_EQ(info->getPinDescriptionById(1)->GetDatatype(), DT_FSAMPLE);
    EXPECT_EQ(info->getPinDescriptionById(1)->GetDefaultVal(), L"");
    EXPECT_EQ(info->getPinDescriptionById(2)->GetDatatype(), DT_FLOAT);
    EXPECT_EQ(info->getPinDescriptionById(2)->GetDefaultVal(), L"0.5");
}

TEST(ModuleXml, GraphicsApiIsReadFromTheGuiListFirst)
{
    CModuleFactory factory;
    factory.RegisterPluginsXml(
        "<PluginList>"
        "<Plugin id='A' graphicsApi='VSTGUI'><GUI/></Plugin>"
        "<Plugin id='B' graphicsApi='VSTGUI'><GUI graphicsApi='none'/></Plugin>"
        "<Plugin id='C'><GUI graphicsApi='WPF-internal'/></Plugin>"
        "<Plugin id='D' graphicsApi='GmpiGui'/>"
        "<Plugin id='E' graphicsApi='Metal'/>"
        "</PluginList>");
    EXPECT_EQ(record(factory, L"A")->getWindowType(), 5);
    EXPECT_FALSE(record(factory, L"A")->gui_object_non_visible());
    EXPECT_EQ(record(factory, L"B")->getWindowType(), 0);
    EXPECT_TRUE(record(factory, L"B")->gui_object_non_visible());
    EXPECT_EQ(record(factory, L"C")->getWindowType(), 4);
    EXPECT_TRUE(record(factory, L"C")->gui_object_non_visible());
    EXPECT_EQ(record(factory, L"D")->getWindowType(), 6);
    EXPECT_EQ(record(factory, L"E")->getWindowType(), 0);
    EXPECT_FALSE(record(factory, L"E")->gui_object_non_visible());
}

TEST(ModuleXml, RegisteringAPluginAgainUpdatesNamesAndAddsOnlyNewParameters)
{
    CModuleFactory factory;
    factory.RegisterPluginsXml(plugin("<Parameters><Parameter id='0' name='first'/></Parameters>"
                                      "<Audio><Pin name='in'/></Audio>",
                                      "id='T' name='Old' category='G1'")
                                   .c_str());
    factory.RegisterPluginsXml(plugin("<Parameters><Parameter id='0' name='changed'/><Parameter id='1' name='new'/>"
                                      "</Parameters><Audio><Pin name='x'/><Pin name='y'/></Audio>",
                                      "id='T' name='New' polyphonic='true'")
                                   .c_str());
    Module_Info3_base* info = record(factory, L"T");
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(factory.ModuleCount(), 1u);
    EXPECT_EQ(info->GetName(), L"New");
    EXPECT_EQ(info->GetGroupName(), L""); // category is always replaced
    EXPECT_EQ(info->GetDspFlags(), 0x4u);
    EXPECT_EQ(info->getParameterById(0)->name, L"first");
    EXPECT_EQ(info->getParameterById(1)->name, L"new");
    ASSERT_EQ(info->GetPinDescriptions().size(), 1u);
    EXPECT_EQ(info->getPinDescriptionById(0)->GetName(), L"in");
}

TEST(ModuleXml, ParameterDatatypeAndAutomationDefaultsAndUnknownValues)
{
    CModuleFactory factory;
    factory.RegisterPluginsXml(plugin("<Parameters><Parameter id='0'/><Parameter id='1' datatype='integer'/>"
                                      "<Parameter id='2' automation='Bender'/><Parameter id='3' automation='Wheel'/>"
                                      "<Parameter id='x'/><Parameter id='99999999999'/></Parameters>")
                                   .c_str());
    Module_Info3_base* info = record(factory, L"T");
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->getParameterById(0)->datatype, DT_FLOAT);
    EXPECT_EQ(info->getParameterById(0)->automation, -1);
    EXPECT_EQ(info->getParameterById(0)->flags, PD_PERSISTANT);
    EXPECT_EQ(info->getParameterById(1)->datatype, DT_ENUM);
    EXPECT_EQ(info->getParameterById(2)->automation, 6 << 24);
    EXPECT_EQ(info->getParameterById(3)->automation, -1);
    EXPECT_EQ(info->GetParameters().size(), 4u); // "x" reads as 0, already taken
    EXPECT_TRUE(anyDiagnosticContains(factory, L"err. module XML file (Korvane.exe): parameter id 1 unknown datatype."));
    EXPECT_TRUE(anyDiagnosticContains(factory, L"): pin id 3 unknown automation type."));
    EXPECT_TRUE(anyDiagnosticContains(factory, L"parameter id 99999999999 out of range."));
}

TEST(ModuleXml, PinBindingsAreCheckedAndStillRegistered)
{
    CModuleFactory factory;
    factory.RegisterPluginsXml(plugin("<Parameters><Parameter id='0'/></Parameters>"
                                      "<Audio><Pin name='a' parameterId='0' parameterField='1'/>"
                                      "<Pin name='b' parameterId='7'/><Pin name='c' parameterId='0' autoDuplicate='true'/>"
                                      "<Pin name='d' parameterId='' parameterField='3'/><Pin name='e' datatype='quux'/>"
                                      "<Pin name='f' hostConnect='Voice/Nothing'/></Audio>"
                                      "<GUI><Pin name='g' parameterId='0' direction='out'/></GUI>")
                                   .c_str());
    Module_Info3_base* info = record(factory, L"T");
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->GetPinDescriptions().size(), 6u);
    EXPECT_EQ(info->getPinDescriptionById(1)->getParameterId(), 7);
    EXPECT_FALSE(info->getPinDescriptionById(3)->isParameterPlug());
    EXPECT_EQ(info->getPinDescriptionById(3)->getParameterFieldId(), 0);
    EXPECT_EQ(info->getPinDescriptionById(4)->GetDatatype(), DT_ENUM);
    EXPECT_EQ(info->getPinDescriptionById(5)->getHostConnect(), -1);
    EXPECT_TRUE(info->getPinDescriptionById(5)->isHostControlledPlug());

    const std::wstring prefix = L"ERROR. module XML file (Korvane.exe): pin id ";
    EXPECT_TRUE(anyDiagnosticContains(factory, prefix + L"0 parameterField not supported on Audio (DSP) pins."));
    EXPECT_TRUE(anyDiagnosticContains(factory, prefix + L"1 parameter: 7 not defined"));
    EXPECT_TRUE(anyDiagnosticContains(factory, prefix + L"2  - can't have both 'autoDuplicate' and 'parameterId'"));
    EXPECT_TRUE(anyDiagnosticContains(factory, prefix + L"4 unknown datatype."));
    EXPECT_TRUE(anyDiagnosticContains(factory, prefix + L"5 unknown hostConnect Voice/Nothing."));
    EXPECT_TRUE(anyDiagnosticContains(factory, prefix + L"0 Can't have isParameter on output Gui Pin"));
}

TEST(ModuleXml, EveryPinFlagAttributeSetsItsBitOnlyWhenTrue)
{
    const std::pair<const char*, uint32_t> attributes[] = {
        {"private", IO_PRIVATE},
        {"autoRename", IO_RENAME},
        {"isFilename", IO_FILENAME},
        {"linearInput", IO_LINEAR_INPUT},
        {"ignorePatchChange", IO_IGNORE_PATCH_CHANGE},
        {"autoDuplicate", IO_AUTODUPLICATE},
        {"isMinimised", IO_MINIMISED},
        {"isPolyphonic", IO_PAR_POLYPHONIC},
        {"autoConfigureParameter", IO_AUTOCONFIGURE_PARAMETER},
        {"noAutomation", IO_NO_AUTOMATION},
        {"redrawOnChange", IO_REDRAW_ON_CHANGE},
    };
    std::string pins;
    for (const auto& [name, bit] : attributes)
        pins += std::string("<Pin ") + name + "='true'/><Pin " + name + "='True'/>";

    CModuleFactory factory;
    factory.RegisterPluginsXml(plugin("<GUI>" + pins + "</GUI>").c_str());
    Module_Info3_base* info = record(factory, L"T");
    ASSERT_NE(info, nullptr);
    int id = 0;
    for (const auto& [name, bit] : attributes)
    {
        EXPECT_EQ(info->getGuiPinDescriptionById(id++)->GetFlags(), IO_UI_COMMUNICATION | bit) << name;
        EXPECT_EQ(info->getGuiPinDescriptionById(id++)->GetFlags(), static_cast<uint32_t>(IO_UI_COMMUNICATION)) << name;
    }
}

TEST(ModuleXml, ExternalBundleRecordKeepsItsFileAndMakesNothingYet)
{
    CModuleFactory factory;
    factory.RegisterPluginsXml(plugin("", "id='Ext' imbeddedFilename='Ext.kvm'").c_str());
    auto* info = dynamic_cast<Module_Info3*>(factory.GetById(L"Ext"));
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->Filename(), L"Ext.kvm");
    EXPECT_TRUE(info->fromExternalDll());
    EXPECT_TRUE(info->isSummary());
    EXPECT_FALSE(info->OnDemandLoad());
    EXPECT_EQ(info->BuildSynthOb(), nullptr);

    // Diagnostics name the bundle file.
    factory.RegisterPluginsXml(plugin("<Audio><Pin datatype='bad'/></Audio>", "id='Ext2' imbeddedFilename='B.kvm'").c_str());
    EXPECT_TRUE(anyDiagnosticContains(factory, L"ERROR. module XML file (B.kvm): pin id 0 unknown datatype."));
}

TEST(ModuleXml, PluginClashingWithABuiltInModuleIsSkippedAndTheListGoesOn)
{
    CModuleFactory factory;
    auto* builtIn = new Module_Info(L"Clash", 1, 1, nullptr, nullptr, 0);
    ASSERT_TRUE(factory.RegisterModule(builtIn));
    factory.RegisterPluginsXml("<PluginList><Plugin id='Clash' name='X'/><Plugin id='After'/></PluginList>");
    EXPECT_EQ(factory.GetById(L"Clash"), builtIn);
    EXPECT_EQ(builtIn->GetName(), L"");
    EXPECT_NE(factory.GetById(L"After"), nullptr);
    EXPECT_TRUE(anyDiagnosticContains(factory, L"Plugin Clash clashes with a built-in module; skipped."));
}

TEST(ModuleXml, XmlCompletesTheRecordOfACompiledInSdkModule)
{
    CModuleFactory factory;
    ASSERT_EQ(factory.RegisterPlugin(3, L"Knob", []() -> gmpi::IMpUnknown* { return nullptr; }), 0);
    Module_Info* before = factory.GetById(L"Knob");
    factory.RegisterPluginsXml(plugin("<GUI><Pin name='Value'/></GUI>", "id='Knob' name='Knob' category='Controls'").c_str());
    EXPECT_EQ(factory.GetById(L"Knob"), before);
    EXPECT_EQ(before->GetGroupName(), L"Controls");
    EXPECT_EQ(before->GetGuiPinDescriptions().size(), 1u);
    EXPECT_TRUE(before->hasGuiModule());
    EXPECT_FALSE(before->hasDspModule());
}

TEST(ModuleXml, BadDocumentsRegisterNothingAndNeverCrash)
{
    CModuleFactory factory;
    factory.RegisterPluginsXml(static_cast<const char*>(nullptr));
    factory.RegisterPluginsXml("");
    factory.RegisterPluginsXml("<PluginList><Plugin id='Broken'>");
    factory.RegisterPluginsXml("<Other><Plugin id='Elsewhere'/></Other>");
    factory.RegisterPluginsXml("<PluginList><Plugin/><Plugin><Audio><Pin id='-3'/><Pin id='1e99'/>"
                               "<Pin id='99999999999'/><Pin id='2' parameterId='88888888888'/></Audio></Plugin></PluginList>");

    std::string deep;
    for (int i = 0; i < 40000; ++i)
        deep += "<PluginList>";
    factory.RegisterPluginsXml(deep.c_str());

    EXPECT_EQ(factory.GetById(L"Broken"), nullptr);
    EXPECT_EQ(factory.GetById(L"Elsewhere"), nullptr);
    // Both blank ids land on one record; none of its odd pins registered.
    EXPECT_EQ(factory.ModuleCount(), 1u);
    Module_Info3_base* blank = record(factory, L"<!!!BLANK-ID!!!>");
    ASSERT_NE(blank, nullptr);
    EXPECT_EQ(blank->GetPinDescriptions().size(), 1u); // "1e99" reads as pin 1
    EXPECT_TRUE(anyDiagnosticContains(factory, L"does not parse"));
    EXPECT_TRUE(anyDiagnosticContains(factory, L"nests deeper than 1000 levels"));
    EXPECT_TRUE(anyDiagnosticContains(factory, L"pin id -3 out of range."));
    EXPECT_TRUE(anyDiagnosticContains(factory, L"pin id 2 parameterId out of range."));
}

TEST(ModuleXml, NestingScanSeesThroughQuotesCommentsAndSelfClosingTags)
{
    auto nested = [](int depth, const std::string& open, const std::string& close) {
        std::string text;
        for (int i = 0; i < depth; ++i)
            text += open;
        for (int i = 0; i < depth; ++i)
            text += close;
        return text;
    };
    EXPECT_TRUE(XmlNestingWithin(nested(1000, "<a>", "</a>").c_str()));
    EXPECT_FALSE(XmlNestingWithin(nested(1001, "<a>", "</a>").c_str()));
    EXPECT_FALSE(XmlNestingWithin(nested(1001, "<a x=\"/>\" y='>'>", "</a>").c_str()));
    EXPECT_TRUE(XmlNestingWithin(nested(5000, "<a/><!-- <b> --><![CDATA[<c>]]><?pi <d>?>", "").c_str()));
    EXPECT_TRUE(XmlNestingWithin(nullptr));
}

TEST(ModuleXml, SplitStringHonoursBothQuoteKinds)
{
    std::vector<std::string> items;
    XmlSplitString("a \"b c\"  'd'", items);
    EXPECT_EQ(items, (std::vector<std::string>{"a", "b c", "d"}));

    items.clear();
    XmlSplitString("x\"y\" \"\" 'open", items);
    EXPECT_EQ(items, (std::vector<std::string>{"x", "y", "", "open"}));

    items.clear();
    XmlSplitString(nullptr, items);
    XmlSplitString("   ", items);
    EXPECT_TRUE(items.empty());
    EXPECT_STREQ(FixNullCharPtr(nullptr), "");
}

TEST(ModuleXml, RegisterPluginXmlFillsTheProcessRegistry)
{
    EXPECT_EQ(RegisterPluginXml("<PluginList><Plugin id='Process Wide Test Module'/></PluginList>"), 0);
    EXPECT_NE(CModuleFactory::Instance()->GetById(L"Process Wide Test Module"), nullptr);
}
