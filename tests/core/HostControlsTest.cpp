#include "core/EPlugDataType.h"
#include "core/HostControls.h"
#include "core/midi_defs.h"

#include <gtest/gtest.h>

#include <string>

TEST(HostControls, EveryNameFindsItsOwnRowAndIdsOutsideTheTableGiveNothing)
{
    for (int id = 0; id < HC_NUM_HOST_CONTROLS; ++id)
    {
        const auto control = static_cast<HostControls>(id);
        const std::wstring name = GetHostControlName(control);
        ASSERT_FALSE(name.empty()) << id;
        EXPECT_EQ(StringToHostControl(name), control) << id;
    }
    EXPECT_EQ(HC_NUM_HOST_CONTROLS, 45);
    EXPECT_EQ(GetHostControlName(HC_NUM_HOST_CONTROLS), L"");
    EXPECT_EQ(GetHostControlDatatype(static_cast<HostControls>(-1)), -1);
    EXPECT_EQ(GetHostControlAutomation(HC_NUM_HOST_CONTROLS), -1);
}

TEST(HostControls, NamesMatchExactlyAndCaseSensitively)
{
    EXPECT_EQ(StringToHostControl(L"Voice/Gate"), HC_VOICE_GATE);
    EXPECT_EQ(StringToHostControl(L"voice/gate"), HC_NONE);
    EXPECT_EQ(StringToHostControl(L"Channel Pressure"), 17);
    EXPECT_EQ(StringToHostControl(L"ChannelPressure"), HC_NONE);
    EXPECT_EQ(StringToHostControl(L""), HC_NONE);
    EXPECT_EQ(StringToHostControl(L"Voice/Trigger"), 5);
    EXPECT_EQ(StringToHostControl(L"Processor/OfflineRenderMode"), 44);
}

TEST(HostControls, RowsCarryTheirDatatypeAndAutomationCode)
{
    EXPECT_EQ(GetHostControlDatatype(HC_PROGRAM_NAME), DT_TEXT);
    EXPECT_EQ(GetHostControlDatatype(HC_TIME_TRANSPORT_PLAYING), DT_BOOL);
    EXPECT_EQ(GetHostControlDatatype(HC_OVERSAMPLING_RATE), DT_ENUM);
    EXPECT_EQ(GetHostControlDatatype(HC_VOICE_VIRTUAL_VOICE_ID), DT_INT);

    EXPECT_EQ(GetHostControlAutomation(HC_HOLD_PEDAL), 0x02000040);
    EXPECT_EQ(GetHostControlAutomation(HC_PORTAMENTO), 0x02000005);
    EXPECT_EQ(GetHostControlAutomation(HC_BENDER_RANGE), 0x03000000);
    EXPECT_EQ(GetHostControlAutomation(HC_VOICE_PORTAMENTO_ENABLE), 0x1A140000);
    EXPECT_EQ(GetHostControlAutomation(HC_PROGRAM), -1);

    // Per-voice controls: kind 0x1F with the sub-index in bits 16-23.
    const int subIndex[] = {0, 1, 2, 3, 4, 5, 200, 201, 202};
    for (int i = 0; i < 9; ++i)
    {
        const auto control = static_cast<HostControls>(HC_VOICE_VOLUME + i);
        EXPECT_EQ(GetHostControlAutomation(control), (0x1F << 24) | (subIndex[i] << 16)) << i;
    }
}

TEST(HostControls, NameByAutomationTakesTheFirstRowWithThatCode)
{
    EXPECT_EQ(GetHostControlNameByAutomation(-1), L"PatchCommands");
    EXPECT_EQ(GetHostControlNameByAutomation(0x02000040), L"HoldPedal");
    EXPECT_EQ(GetHostControlNameByAutomation(0x14000000), L"Voice/Gate");
    EXPECT_EQ(GetHostControlNameByAutomation(0x02000041), L"");
}

TEST(HostControls, ClassesAreTheFixedSetsOfIds)
{
    int attaches = 0;
    int polyphonic = 0;
    for (int id = 0; id < HC_NUM_HOST_CONTROLS; ++id)
    {
        const auto control = static_cast<HostControls>(id);
        attaches += HostControlAttachesToParentContainer(control);
        polyphonic += HostControlisPolyphonic(control);
        if (HostControlisPolyphonic(control))
        {
            EXPECT_TRUE(HostControlAttachesToParentContainer(control)) << id;
        }
    }
    EXPECT_EQ(attaches, 8 + 4 + 4 + 14);
    EXPECT_EQ(polyphonic, 8 + 10);
    EXPECT_FALSE(HostControlAttachesToParentContainer(HC_UNUSED));
    EXPECT_FALSE(HostControlAttachesToParentContainer(HC_TIME_BPM));
    EXPECT_TRUE(HostControlAttachesToParentContainer(HC_BENDER_RANGE));
    EXPECT_FALSE(HostControlisPolyphonic(HC_VOICE_ALLOCATION_MODE));
    EXPECT_TRUE(AffectsVoiceAllocation(HC_VOICE_ALLOCATION_MODE));
    EXPECT_TRUE(AffectsVoiceAllocation(HC_PORTAMENTO));
    EXPECT_FALSE(AffectsVoiceAllocation(HC_POLYPHONY));
}

TEST(ControllerKinds, XmlNamesConvertBothWaysAndUnknownNamesFail)
{
    int kind = 0;
    EXPECT_TRUE(XmlStringToController("", kind));
    EXPECT_EQ(kind, -1);
    EXPECT_TRUE(XmlStringToController("CC", kind));
    EXPECT_EQ(kind, 2);
    EXPECT_TRUE(XmlStringToController("GlideStartPitch", kind));
    EXPECT_EQ(kind, 0x0B);
    EXPECT_FALSE(XmlStringToController("cc", kind));
    EXPECT_EQ(kind, -1);

    EXPECT_EQ(XmlStringFromController(0x14), "Voice/Gate");
    EXPECT_EQ(XmlStringFromController(8), "");
    EXPECT_TRUE(ControllerType::isPolyphonic(0x13));
    EXPECT_FALSE(ControllerType::isPolyphonic(0x0B));
}

TEST(ControllerDescriptions, EachControllerNumberGetsTheTextOfItsListItem)
{
    init_controller_descriptions();
    init_controller_descriptions();
    ASSERT_EQ(CONTROLLER_DESCRIPTION.size(), 128u);

    EXPECT_EQ(CONTROLLER_DESCRIPTION[0], L"0 - Bank Select");
    EXPECT_EQ(CONTROLLER_DESCRIPTION[3], L"3");
    EXPECT_EQ(CONTROLLER_DESCRIPTION[33], L"33 - Mod Wheel LSB");
    EXPECT_EQ(CONTROLLER_DESCRIPTION[64], L"64 - Hold Pedal");
    EXPECT_EQ(CONTROLLER_DESCRIPTION[99], L"98/99 - NRPN HI");
    EXPECT_EQ(CONTROLLER_DESCRIPTION[101], L"100/101 - RPN HI");
    EXPECT_EQ(CONTROLLER_DESCRIPTION[127], L"127 - Polyphonic");

    // Every other entry begins with its own number: items land on their values.
    for (int i = 0; i < 128; ++i)
    {
        if (i == 99 || i == 101)
            continue;
        EXPECT_EQ(CONTROLLER_DESCRIPTION[i].rfind(std::to_wstring(i), 0), 0u) << i;
    }
}

TEST(ControllerValues, MsbAndLsbUpdatesReplaceTheirSevenBits)
{
    unsigned short value = 0x1234;
    cntrl_update_msb(value, 0x40);
    cntrl_update_lsb(value, 0x00);
    EXPECT_EQ(value, 8192);

    cntrl_update_lsb(value, 0x7F);
    EXPECT_EQ(value, (0x40 << 7) | 0x7F);
    cntrl_update_msb(value, 0x01);
    EXPECT_EQ(value, (0x01 << 7) | 0x7F);

    short signedValue = 0;
    cntrl_update_msb(signedValue, 127);
    cntrl_update_lsb(signedValue, 0);
    EXPECT_EQ(signedValue, 16256);
    EXPECT_FLOAT_EQ(cntrl_to_fsample(signedValue), 1.0f);
    EXPECT_FLOAT_EQ(cntrl_to_fsample(8128), static_cast<float>(8128 / 16256.0));
}
