#include "engine/graph/EngineModules.h"

#include <mutex>

#include "core/CModuleFactory.h"
#include "core/Module_Info.h"
#include "core/UnitClass.h"
#include "engine/graph/ug_adder2.h"
#include "engine/graph/ug_container.h"
#include "engine/graph/ug_default_setter.h"
#include "engine/parameters/ug_midi_automator.h"
#include "engine/parameters/dsp_patch_parameter.h"
#include "engine/parameters/ug_patch_automator.h"
#include "engine/parameters/ug_patch_param_setter.h"
#include "engine/parameters/ug_patch_param_watcher.h"
#include "engine/hostio/ug_vst_in.h"
#include "engine/voices/ug_voice_mute.h"
#include "engine/hostio/ug_vst_out.h"

// Called explicitly rather than from static initialisers: the engine is a
// static library, and units nothing refers to would not be linked in.
void RegisterEngineModules()
{
    static std::once_flag once;
    std::call_once(once, [] {
        RegisterPatchParameterClasses();
        RegisterSdkModuleAdapter();
        CModuleFactory* registry = CModuleFactory::Instance();
        registry->RegisterModule(new Module_Info(L"Container", 0, 0, nullptr, &UnitClassOf<ug_container>::value, 8));
        registry->RegisterModule(
            new Module_Info(L"Float Adder2", 155, 32829, nullptr, &UnitClassOf<ug_adder2>::value, 8));
        registry->RegisterModule(
            new Module_Info(L"KV Default Setter", 0, 0, nullptr, &UnitClassOf<ug_default_setter>::value, 8));
        registry->RegisterModule(
            new Module_Info(L"KV Patch Automator", 0, 0, nullptr, &UnitClassOf<ug_patch_automator>::value, 8));
        registry->RegisterModule(new Module_Info(L"KV Patch Parameter Setter", 146, 32829, nullptr,
                                                 &UnitClassOf<ug_patch_param_setter>::value, 256));
        registry->RegisterModule(new Module_Info(L"KV Patch Parameter Watcher", 153, 32829, nullptr,
                                                 &UnitClassOf<ug_patch_param_watcher>::value, 256));
        registry->RegisterModule(
            new Module_Info(L"MIDI Automator", 0, 0, nullptr, &UnitClassOf<ug_midi_automator>::value, 8));
        registry->RegisterModule(
            new Module_Info(L"MIDI Automator Output", 0, 0, nullptr, &UnitClassOf<ug_patch_automator_out>::value, 8));
        registry->RegisterModule(
            new Module_Info(L"KV Voice Mute", 0, 0, nullptr, &UnitClassOf<ug_voice_mute>::value, 8));
        registry->RegisterModule(new Module_Info(L"VST Input", 494, 32829, nullptr, &UnitClassOf<ug_vst_in>::value, 8));
        registry->RegisterModule(
            new Module_Info(L"VST Output", 495, 32829, nullptr, &UnitClassOf<ug_vst_out>::value, 8));
    });
}
