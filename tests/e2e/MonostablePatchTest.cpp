// A "Monostable" in a patch document: a pulse longer than a block leaves the
// module out of the running list and its delayed end call wakes it, so the
// pulse still ends on its exact sample at the host output.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "e2e/DemoSynthRig.h"
#include "engine/graph/ug_base.h"

using kvtest::DemoSynthRig;

namespace
{
// Host parameter 0 (0-10 V) drives the trigger; the pulse lasts 1 V = 0.1 s.
const std::string kDocument = R"(<DSP><Container Id="1"><Modules>
  <Module Type="Container" Id="2" ExpandInline="0">
    <PatchManager><Parameters>
      <Parameter DataType="22" Index="0" Handle="100"><p>0</p></Parameter>
    </Parameters></PatchManager>
    <Plugs>
      <Plug Direction="0" Datatype="2"/>
      <Plug Direction="1" Datatype="5"/>
      <Plug Direction="1" Datatype="5"/>
    </Plugs>
    <Modules>
      <Module Type="IO Mod" Id="3"><Plugs>
        <Plug Direction="1" Datatype="2" TiedTo="2" TiedToPinIdx="0"/>
        <Plug Direction="0" Datatype="5" TiedTo="2" TiedToPinIdx="1"/>
        <Plug Direction="0" Datatype="5" TiedTo="2" TiedToPinIdx="2"/>
      </Plugs></Module>
      <Module Type="Monostable" Id="11"><Plugs>
        <Plug Idx="0" Parameter="100"/>
        <Plug Idx="1" Default="1"/>
      </Plugs></Module>
    </Modules>
    <Lines>
      <Line From="11" FromPin="2" To="3" ToPin="1"/>
      <Line From="11" FromPin="2" To="3" ToPin="2"/>
    </Lines>
  </Module>
</Modules></Container></DSP>)";

// The same monostable inside a section oversampled twice, which has no patch
// manager of its own: the section may sleep only while nothing inside waits.
const std::string kOversampledDocument = R"(<DSP><Container Id="1"><Modules>
  <Module Type="Container" Id="2" ExpandInline="0">
    <PatchManager><Parameters>
      <Parameter DataType="22" Index="0" Handle="100"><p>0</p></Parameter>
    </Parameters></PatchManager>
    <Plugs>
      <Plug Direction="0" Datatype="2"/>
      <Plug Direction="1" Datatype="5"/>
      <Plug Direction="1" Datatype="5"/>
    </Plugs>
    <Modules>
      <Module Type="IO Mod" Id="3"><Plugs>
        <Plug Direction="1" Datatype="2" TiedTo="2" TiedToPinIdx="0"/>
        <Plug Direction="0" Datatype="5" TiedTo="2" TiedToPinIdx="1"/>
        <Plug Direction="0" Datatype="5" TiedTo="2" TiedToPinIdx="2"/>
      </Plugs></Module>
      <Module Type="Container" Id="50" ExpandInline="0" Oversample="2">
        <Plugs><Plug Direction="1" Datatype="5"/></Plugs>
        <Modules>
          <Module Type="IO Mod" Id="51"><Plugs>
            <Plug Direction="0" Datatype="5" TiedTo="50" TiedToPinIdx="0"/>
          </Plugs></Module>
          <Module Type="Monostable" Id="11"><Plugs>
            <Plug Idx="0" Parameter="100"/>
            <Plug Idx="1" Default="1"/>
          </Plugs></Module>
        </Modules>
        <Lines><Line From="11" FromPin="2" To="51" ToPin="0"/></Lines>
      </Module>
    </Modules>
    <Lines>
      <Line From="50" FromPin="0" To="3" ToPin="1"/>
      <Line From="50" FromPin="0" To="3" ToPin="2"/>
    </Lines>
  </Module>
</Modules></Container></DSP>)";
} // namespace

TEST(MonostablePatch, ALongPulseSleepsOutOfTheListAndEndsOnItsSampleAtTheOutput)
{
    for (const std::vector<int>& blocks : {std::vector<int>{100}, std::vector<int>{37, 441, 512}})
    {
        DemoSynthRig rig(DemoSynthRig::Text{kDocument});
        ASSERT_TRUE(rig.built);
        auto* pulse = dynamic_cast<ug_base*>(rig.Master().HandleToObject(11));
        ASSERT_NE(pulse, nullptr);
        // Two rising edges: at 1000 and at 12000 (after a fall at 9000).
        rig.Parameter(1000, 0, 1.0f);
        rig.Parameter(9000, 0, 0.0f);
        rig.Parameter(12000, 0, 1.0f);
        rig.RunTo(3000, blocks);
        EXPECT_FALSE(pulse->IsListed()) << "idle in the middle of the pulse";
        rig.RunTo(20000, blocks);

        const int64_t length = 4800; // 0.1 s at 48 kHz
        for (int64_t start : {int64_t{1000}, int64_t{12000}})
        {
            EXPECT_EQ(rig.out[static_cast<size_t>(start - 1)], 0.0f) << start;
            EXPECT_EQ(rig.out[static_cast<size_t>(start)], 0.5f) << start;
            EXPECT_EQ(rig.out[static_cast<size_t>(start + length - 1)], 0.5f) << start;
            EXPECT_EQ(rig.out[static_cast<size_t>(start + length)], 0.0f) << start;
        }
        EXPECT_EQ(rig.Peak(5800, 12000), 0.0f);
        EXPECT_FALSE(pulse->IsListed());
    }
}

TEST(MonostablePatch, APulseInsideAnOversampledSectionEndsWhileTheSectionWouldOtherwiseSleep)
{
    DemoSynthRig rig(DemoSynthRig::Text{kOversampledDocument});
    ASSERT_TRUE(rig.built);
    auto* pulse = dynamic_cast<ug_base*>(rig.Master().HandleToObject(11));
    ASSERT_NE(pulse, nullptr);
    rig.Parameter(1000, 0, 1.0f);
    rig.RunTo(3000, {100});
    EXPECT_FALSE(pulse->IsListed()) << "idle in the middle of the pulse";
    rig.RunTo(12000, {100});
    // 0.1 s at 48 kHz, give or take the section's filters.
    EXPECT_NEAR(rig.out[3000], 0.5f, 0.01f);
    EXPECT_NEAR(rig.out[5700], 0.5f, 0.01f);
    EXPECT_LT(rig.Peak(6000, 12000), 0.01f);
}
