#!/usr/bin/env python3
"""Writes the KvLargePatch bundle's documents (factory, DSP, parameters).

A held note whose level is the sum of 1,500 host parameters, plus 50 text
parameters of 2,000 characters that only the state carries. The documents
are kept in the repository; run this again after changing it:

    python3 tests/patches/make_large_patch.py

The left output is the note (its waveform is parameter index 0); the right
output is the level itself, a constant while no value moves, so a block that
plays a mixture of two states shows it to the last parameter.
"""

import os

NUMBERS = 1500
TEXTS = 50
TEXT_LENGTH = 2000
FIRST_NUMBER_HANDLE = 1000
FIRST_TEXT_HANDLE = 3000
FIRST_SUMMAND_ID = 5000

HERE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "KvLargePatch")


def number(i):
    """The document's value of number parameter i, in volts: 1, 2 or 3 mV,
    3 V (a level of 0.3) in all."""
    return "%.3f" % (0.001 * (1 + i % 3))


def text(i):
    """The document's text parameter i: 2,000 characters, no space."""
    unit = "t%02d-doc-" % i
    return (unit * (TEXT_LENGTH // len(unit) + 1))[:TEXT_LENGTH]


def factory():
    return """<?xml version="1.0" encoding="UTF-8"?>
<Factory>
  <Vendor Name="Korvane" Url="https://korvane.invalid" Email="test@korvane.invalid"/>
  <Plugins>
    <Plugin Name="KvLargePatch" Version="0.1.0"
            ProcessorId="{5C3A9E71-0B4D-4E82-9F16-A7D2C8E41B01}"
            ControllerId="{5C3A9E71-0B4D-4E82-9F16-A7D2C8E41B02}"
            subCategories="Instrument|Synth"
            outputsAsStereoPairs="true"
            outputNames="Main Out"/>
  </Plugins>
</Factory>
"""


def dsp():
    parameters = [
        '            <Parameter DataType="21" Index="0" Handle="100" '
        'MetaData="Sine, Saw, Ramp, Triangle, Pulse,White Noise,Pink Noise"><p>0</p></Parameter>'
    ]
    for i in range(NUMBERS):
        parameters.append(
            '            <Parameter DataType="22" Index="%d" Handle="%d" RangeMinimum="0" RangeMaximum="10"><p>%s</p></Parameter>'
            % (i + 1, FIRST_NUMBER_HANDLE + i, number(i)))
    for i in range(TEXTS):
        parameters.append('            <Parameter DataType="20" Handle="%d"><p>%s</p></Parameter>'
                          % (FIRST_TEXT_HANDLE + i, text(i)))
    # The voice's host controls, as the demo instrument binds them.
    parameters += [
        '            <Parameter DataType="22" Handle="110" ContainerHandle="10" isPolyphonic="1" HostControl="7" Automation="318767104" VoiceCount="128"/>',
        '            <Parameter DataType="22" Handle="111" ContainerHandle="10" isPolyphonic="1" HostControl="8" Automation="352321536" VoiceCount="128"/>',
        '            <Parameter DataType="22" Handle="112" ContainerHandle="10" isPolyphonic="1" HostControl="10" Automation="385875968" VoiceCount="128"/>',
        '            <Parameter DataType="22" Handle="113" ContainerHandle="10" isPolyphonic="1" isPolyphonicGate="1" HostControl="6" Automation="335544320" VoiceCount="128"/>',
        '            <Parameter DataType="22" Handle="114" ContainerHandle="10" isPolyphonic="1" HostControl="5" Automation="402653184" VoiceCount="128"/>',
        '            <Parameter DataType="22" Handle="115" ContainerHandle="10" HostControl="15" Automation="100663296" RangeMinimum="-1" RangeMaximum="1"/>',
        '            <Parameter DataType="22" Handle="116" ContainerHandle="10" HostControl="16" Automation="33554496"/>',
    ]
    summands = []
    lines = []
    for i in range(NUMBERS):
        module = FIRST_SUMMAND_ID + i
        summands.append(
            '          <Module Type="FloatToVolts" Id="%d"><Plugs><Plug Idx="0" Default="0"/>'
            '<Plug Idx="1" Parameter="%d"/></Plugs></Module>' % (module, FIRST_NUMBER_HANDLE + i))
        lines.append('          <Line From="%d" FromPin="2" To="30" ToPin="0"/>' % module)
    return """<?xml version="1.0" encoding="UTF-8"?>
<!-- Written by tests/patches/make_large_patch.py. One voice of Oscillator,
     ADSR (no attack, full sustain) and VCA driven by "Midi to CV"; its
     waveform is host parameter 0. Host parameters 1 to 1500 each feed a
     FloatToVolts without smoothing; their outputs meet on the input of VCA 30
     (unity gain), whose output, the sum, is the level of the master VCA 20
     and the right output. Fifty text parameters drive nothing. -->
<DSP>
  <Container Id="1">
    <Modules>
      <Module Type="Container" Id="2" ExpandInline="0">
        <PatchManager>
          <Parameters>
%s
          </Parameters>
        </PatchManager>
        <Plugs>
          <Plug Direction="0" Datatype="2"/>
          <Plug Direction="1" Datatype="5"/>
          <Plug Direction="1" Datatype="5"/>
        </Plugs>
        <Modules>
          <Module Type="IO Mod" Id="3">
            <Plugs>
              <Plug Direction="1" Datatype="2" TiedTo="2" TiedToPinIdx="0"/>
              <Plug Direction="0" Datatype="5" TiedTo="2" TiedToPinIdx="1"/>
              <Plug Direction="0" Datatype="5" TiedTo="2" TiedToPinIdx="2"/>
            </Plugs>
          </Module>
          <Module Type="Container" Id="10" ExpandInline="0" Polyphonic="1" VoiceCount="1" VoiceReserveCount="1">
            <Modules>
              <Module Type="Midi to CV" Id="11">
                <Plugs>
                  <Plug Idx="13" Default="0"/>
                  <Plug Idx="18" HostControl="6"/>
                  <Plug Idx="19" HostControl="5"/>
                  <Plug Idx="20" HostControl="8"/>
                  <Plug Idx="21" HostControl="7"/>
                  <Plug Idx="22" HostControl="10"/>
                  <Plug Idx="14" HostControl="12"/>
                  <Plug Idx="23" HostControl="11"/>
                  <Plug Idx="24" HostControl="15"/>
                  <Plug Idx="26" HostControl="16"/>
                </Plugs>
              </Module>
              <Module Type="Oscillator" Id="12">
                <Plugs>
                  <Plug Idx="2" Parameter="100"/>
                </Plugs>
              </Module>
              <Module Type="ADSR" Id="13">
                <Plugs>
                  <Plug Idx="1" Default="0"/>
                  <Plug Idx="2" Default="0"/>
                  <Plug Idx="3" Default="10"/>
                  <Plug Idx="4" Default="3"/>
                </Plugs>
              </Module>
              <Module Type="VCA" Id="14">
                <Plugs>
                  <Plug Idx="3" Default="2"/>
                </Plugs>
              </Module>
            </Modules>
            <Lines>
              <Line From="11" FromPin="4" To="12" ToPin="0"/>
              <Line From="11" FromPin="3" To="13" ToPin="0"/>
              <Line From="11" FromPin="5" To="13" ToPin="5"/>
              <Line From="12" FromPin="3" To="14" ToPin="0"/>
              <Line From="13" FromPin="6" To="14" ToPin="1"/>
            </Lines>
          </Module>
%s
          <Module Type="VCA" Id="30">
            <Plugs>
              <Plug Idx="1" Default="10"/>
              <Plug Idx="3" Default="2"/>
            </Plugs>
          </Module>
          <Module Type="VCA" Id="20">
            <Plugs>
              <Plug Idx="3" Default="2"/>
            </Plugs>
          </Module>
        </Modules>
        <Lines>
          <Line From="3" FromPin="0" To="11" ToPin="0"/>
%s
          <Line From="14" FromPin="2" To="20" ToPin="0"/>
          <Line From="30" FromPin="2" To="20" ToPin="1"/>
          <Line From="20" FromPin="2" To="3" ToPin="1"/>
          <Line From="30" FromPin="2" To="3" ToPin="2"/>
        </Lines>
      </Module>
    </Modules>
  </Container>
</DSP>
""" % ("\n".join(parameters), "\n".join(summands), "\n".join(lines))


def parameters():
    entries = [
        '      <Parameter Name="Wave" Handle="100" Index="0" ValueType="8" '
        'MetaData="Sine,Saw,Ramp,Triangle,Pulse,White Noise,Pink Noise"><patch-list>0</patch-list></Parameter>'
    ]
    for i in range(NUMBERS):
        entries.append(
            '      <Parameter Name="Part %d" Handle="%d" Index="%d" ValueType="6" RangeMinimum="0" RangeMaximum="10">'
            '<patch-list>%s</patch-list></Parameter>' % (i + 1, FIRST_NUMBER_HANDLE + i, i + 1, number(i)))
    for i in range(TEXTS):
        entries.append('      <Parameter Name="Note %d" Handle="%d" ValueType="1"><patch-list>%s</patch-list></Parameter>'
                       % (i + 1, FIRST_TEXT_HANDLE + i, text(i)))
    return """<?xml version="1.0" encoding="UTF-8"?>
<!-- Written by tests/patches/make_large_patch.py: the waveform, 1,500 parts
     of the level (volts) and 50 texts that only the state carries. -->
<Document>
  <Controller>
    <Parameters>
%s
    </Parameters>
  </Controller>
</Document>
""" % "\n".join(entries)


def main():
    os.makedirs(HERE, exist_ok=True)
    for name, text_of in (("factory.kv.xml", factory), ("dsp.kv.xml", dsp), ("parameters.kv.xml", parameters)):
        with open(os.path.join(HERE, name), "w", encoding="utf-8") as out:
            out.write(text_of())


if __name__ == "__main__":
    main()
