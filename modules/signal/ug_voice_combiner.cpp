#include "modules/signal/ug_voice_combiner.h"

#include "core/CModuleFactory.h"
#include "core/Module_Info.h"
#include "core/UnitClass.h"

ug_voice_combiner::ug_voice_combiner()
{
    flags_ |= UGF_SIMD_OVERWRITES_BUFFER_END | UGF_POLYPHONIC_AGGREGATOR;
}

namespace
{
[[maybe_unused]] const bool registered = CModuleFactory::Instance()->RegisterModule(
    new Module_Info(L"Voice Combiner", 518, 324, nullptr, &UnitClassOf<ug_voice_combiner>::value, 256));
}
