// The controller's units and programs: one unit, the root, which holds the
// patch's program list when the patch has more than one program. Choosing a
// program in the host sets the program-change parameter, which the processor
// turns into a MIDI program change for the engine.

#include "shell/ADelayController.h"
#include "shell/KvHostParameter.h"

using namespace Steinberg;
using namespace Steinberg::Vst;

int32 PLUGIN_API ADelayController::getUnitCount()
{
    return 1;
}

tresult PLUGIN_API ADelayController::getUnitInfo(int32 unitIndex, UnitInfo& info)
{
    if (unitIndex != 0)
        return kInvalidArgument;
    info.id = kRootUnitId;
    info.parentUnitId = kNoParentUnitId;
    KvHostParameter::Write(info.name, std::string("Root"));
    info.programListId = getProgramListCount() > 0 ? kProgramListId : kNoProgramListId;
    return kResultOk;
}

int32 PLUGIN_API ADelayController::getProgramListCount()
{
    return programNames_.size() > 1 ? 1 : 0;
}

tresult PLUGIN_API ADelayController::getProgramListInfo(int32 listIndex, ProgramListInfo& info)
{
    if (listIndex != 0 || getProgramListCount() == 0)
        return kInvalidArgument;
    info.id = kProgramListId;
    KvHostParameter::Write(info.name, std::string("Programs"));
    info.programCount = static_cast<int32>(programNames_.size());
    return kResultOk;
}

tresult PLUGIN_API ADelayController::getProgramName(ProgramListID listId, int32 programIndex, String128 name)
{
    if (name == nullptr)
        return kInvalidArgument;
    if (listId != kProgramListId || getProgramListCount() == 0 || programIndex < 0 ||
        programIndex >= static_cast<int32>(programNames_.size()))
        return kResultFalse;
    KvHostParameter::Write(name, programNames_[static_cast<std::size_t>(programIndex)]);
    return kResultOk;
}

tresult PLUGIN_API ADelayController::getProgramInfo(ProgramListID, int32, Vst::CString, String128)
{
    return kResultFalse;
}

tresult PLUGIN_API ADelayController::hasProgramPitchNames(ProgramListID, int32)
{
    return kResultFalse;
}

tresult PLUGIN_API ADelayController::getProgramPitchName(ProgramListID, int32, int16, String128)
{
    return kResultFalse;
}

UnitID PLUGIN_API ADelayController::getSelectedUnit()
{
    return kRootUnitId;
}

tresult PLUGIN_API ADelayController::selectUnit(UnitID unitId)
{
    return unitId == kRootUnitId ? kResultOk : kResultFalse;
}

tresult PLUGIN_API ADelayController::getUnitByBus(MediaType, BusDirection, int32, int32, UnitID& unitId)
{
    unitId = kRootUnitId;
    return kResultOk;
}

tresult PLUGIN_API ADelayController::setUnitProgramData(int32, int32, IBStream*)
{
    return kResultFalse;
}
