#pragma once
// Registers the module types that the engine itself creates by id
// ("Container", "Float Adder2", "KV Default Setter", "VST Input",
// "VST Output", the patch automator and the MIDI automator pair). Safe to
// call any number of times from any thread.

void RegisterEngineModules();

// Lets SDK-kind module types make their units through the SDK module adapter
// (ug_plugin3). Called by RegisterEngineModules.
void RegisterSdkModuleAdapter();
