// Lines may name modules of other containers. A document with lines from a
// voice container's module to the container around it builds, plays a note
// and is torn down, without touching memory it does not own.
#include <gtest/gtest.h>

#include <vector>

#include "engine/runtime/KvAudioMaster.h"
#include "engine/runtime/SynthRuntime.h"

TEST(CrossContainerLines, VoiceModulesWiredToTheContainerAroundBuildAndPlay)
{
    // A voice's VCA straight into both host outputs, beside a second note
    // source outside the voices: its copies need adders outside.
    const char* text =
        R"(<DSP><Container Id="1"><Modules><Module Type="Container" Id="2" ExpandInline="0">
             <Plugs><Plug Direction="1" Datatype="5"/><Plug Direction="1" Datatype="5"/></Plugs>
             <Modules>
               <Module Type="IO Mod" Id="3"><Plugs>
                 <Plug Direction="0" Datatype="5" TiedTo="2" TiedToPinIdx="0"/>
                 <Plug Direction="0" Datatype="5" TiedTo="2" TiedToPinIdx="1"/>
               </Plugs></Module>
               <Module Type="Container" Id="10" ExpandInline="0"><Modules>
                 <Module Type="Midi to CV" Id="11"/>
                 <Module Type="VCA" Id="20"/>
               </Modules></Module>
               <Module Type="Midi to CV" Id="12"/>
             </Modules>
             <Lines>
               <Line From="20" FromPin="2" To="3" ToPin="0"/>
               <Line From="20" FromPin="2" To="3" ToPin="1"/>
             </Lines>
           </Module></Modules></Container></DSP>)";
    SynthRuntime runtime;
    ASSERT_TRUE(runtime.initialize(44100, 64, text));
    std::vector<float> buffers[2] = {std::vector<float>(64), std::vector<float>(64)};
    float* out[2] = {buffers[0].data(), buffers[1].data()};
    const unsigned char note[3] = {0x90, 60, 100};
    runtime.AudioMaster()->MidiIn(0, note, 3);
    for (int n : {64, 1, 17, 64})
        runtime.AudioMaster()->DoProcess(n, nullptr, out, 0, 2);
}
