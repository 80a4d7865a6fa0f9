#include "core/HostControls.h"
#include "core/InterfaceObject.h"
#include "core/ParameterFieldType.h"
#include "core/PinDatatypeXml.h"
#include "core/pin_description.h"

#include <gtest/gtest.h>

TEST(InterfaceObject, OnlyAudioInputsThatAreNotLinearBecomePolyphonyActive)
{
    float* buffer = nullptr;
    InterfaceObject audioIn(nullptr, L"In", DR_IN, DT_FSAMPLE, L"0", L"", 0, L"", &buffer);
    InterfaceObject linearIn(nullptr, L"In", DR_IN, DT_FSAMPLE, L"0", L"", IO_LINEAR_INPUT);
    InterfaceObject audioOut(nullptr, L"Out", DR_OUT, DT_FSAMPLE, L"0", L"", 0);
    InterfaceObject floatIn(nullptr, L"Value", DR_IN, DT_FLOAT, L"0", L"", 0);

    EXPECT_EQ(audioIn.GetFlags(), IO_POLYPHONIC_ACTIVE);
    EXPECT_EQ(audioIn.GetBufferAddress(), &buffer);
    EXPECT_EQ(linearIn.GetFlags(), IO_LINEAR_INPUT);
    EXPECT_FALSE(linearIn.GetPPActiveFlag());
    EXPECT_EQ(audioOut.GetFlags(), 0u);
    EXPECT_EQ(floatIn.GetFlags(), 0u);
    EXPECT_TRUE(floatIn.GetPPActiveFlag());
    EXPECT_EQ(audioIn.getPlugDescID(), -1);
    EXPECT_EQ(audioIn.getParameterId(), -1);
}

TEST(InterfaceObject, HostControlledBuiltInPinIsBoundToTheControlOfItsName)
{
    InterfaceObject gate(nullptr, L"Voice/Gate", DR_IN, DT_FLOAT, L"", L"", IO_HOST_CONTROL);
    InterfaceObject unknown(nullptr, L"Gate", DR_IN, DT_FLOAT, L"", L"", IO_HOST_CONTROL);
    InterfaceObject plain(nullptr, L"Voice/Gate", DR_IN, DT_FLOAT, L"", L"", 0);

    EXPECT_EQ(gate.getHostConnect(), HC_VOICE_GATE);
    EXPECT_TRUE(gate.isHostControlledPlug());
    EXPECT_EQ(unknown.getHostConnect(), -1);
    EXPECT_EQ(plain.getHostConnect(), -1);
}

TEST(InterfaceObject, TableRowNotesInBracesChooseTheParameterField)
{
    const pin_description rows[] = {
        {L"Items", DR_IN, DT_TEXT, L"", L"", IO_PATCH_STORE, L"{FT_ENUM_LIST}"},
        {L"Name", DR_IN, DT_TEXT, L"", L"", IO_PATCH_STORE, L"{FT_SHORT_NAME}"},
        {L"Other", DR_IN, DT_TEXT, L"", L"", IO_PATCH_STORE, L"{FT_SOMETHING}"},
        {L"Sig", DR_IN, DT_FSAMPLE, nullptr, nullptr, 0, nullptr},
    };
    EXPECT_EQ(InterfaceObject(0, rows[0]).getParameterFieldId(), FT_ENUM_LIST);
    EXPECT_EQ(InterfaceObject(1, rows[1]).getParameterFieldId(), FT_SHORT_NAME);
    EXPECT_EQ(InterfaceObject(2, rows[2]).getParameterFieldId(), FT_VALUE);

    const InterfaceObject audio(7, rows[3]);
    EXPECT_EQ(audio.getPlugDescID(), 7);
    EXPECT_EQ(audio.GetFlags(), IO_POLYPHONIC_ACTIVE);
    EXPECT_TRUE(audio.GetDefaultVal().empty());
}

TEST(InterfaceObject, XmlRecordTakesItsHostControlByName)
{
    pin_description2 record;
    record.flags = IO_UI_COMMUNICATION | IO_UI_DUAL_FLAG;
    record.direction = DR_OUT;
    record.datatype = DT_FLOAT;
    record.name = L"Pitch";
    record.host_connect = L"Voice/Pitch";
    record.default_value = L"5";

    const InterfaceObject pin(3, record);
    EXPECT_EQ(pin.getHostConnect(), HC_VOICE_PITCH);
    EXPECT_TRUE(pin.isDualUiPlug());
    EXPECT_TRUE(pin.isParameterPlug());
    EXPECT_EQ(pin.GetDefault(), L"5");
    EXPECT_EQ(pin.GetDirection(), DR_OUT);

    record.flags = IO_UI_COMMUNICATION;
    record.host_connect.clear();
    const InterfaceObject guiOnly(4, record);
    EXPECT_FALSE(guiOnly.isDualUiPlug());
    EXPECT_FALSE(guiOnly.isParameterPlug());
    EXPECT_EQ(guiOnly.getHostConnect(), -1);
}

TEST(PinDatatypeXml, FloatAlwaysReadsAsFloatAndUnknownNamesFail)
{
    int datatype = -5;
    EXPECT_TRUE(XmlStringToDatatype("float", datatype));
    EXPECT_EQ(datatype, DT_FLOAT);
    EXPECT_TRUE(XmlStringToDatatype("", datatype));
    EXPECT_EQ(datatype, DT_FLOAT);
    EXPECT_TRUE(XmlStringToDatatype("blob", datatype));
    EXPECT_EQ(datatype, DT_BLOB);
    EXPECT_FALSE(XmlStringToDatatype("integer", datatype));
    EXPECT_EQ(datatype, DT_FLOAT);

    EXPECT_EQ(XmlStringFromDatatype(DT_FSAMPLE), "float");
    EXPECT_EQ(XmlStringFromDatatype(DT_ENUM), "enum");
    EXPECT_EQ(XmlStringFromDatatype(7), "");
}

TEST(ParameterFields, FieldTablesGiveDatatypeSizeAndName)
{
    EXPECT_EQ(getFieldSize(FT_FILE_EXTENSION), 0);
    EXPECT_EQ(getFieldDatatype(FT_FILE_EXTENSION), DT_TEXT);
    EXPECT_EQ(getFieldSize(FT_VALUE), -1);
    EXPECT_EQ(getFieldDatatype(FT_NORMALIZED), DT_FLOAT);
    EXPECT_EQ(getFieldSize(FT_MENU_SELECTION), 4);
    EXPECT_EQ(getFieldDatatype(static_cast<ParameterFieldType>(2)), DT_TEXT);
    EXPECT_EQ(getFieldDatatype(static_cast<ParameterFieldType>(52)), DT_INT);
    EXPECT_EQ(getFieldSize(static_cast<ParameterFieldType>(16)), -1);
    EXPECT_EQ(getFieldDatatype(static_cast<ParameterFieldType>(55)), -1);

    int field = -1;
    EXPECT_TRUE(XmlStringToParameterField("Automation Sysex", field));
    EXPECT_EQ(field, FT_AUTOMATION_SYSEX);
    EXPECT_FALSE(XmlStringToParameterField("automation", field));
    EXPECT_EQ(field, FT_VALUE);
    EXPECT_EQ(XmlStringFromParameterField(FT_GRAB), "Grab");
    EXPECT_EQ(XmlStringFromParameterField(2), "");
}
