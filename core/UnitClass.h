#pragma once
// How the registry makes, inspects and disposes of the DSP unit of a built-in
// module type without knowing the engine's classes. A module unit registers
// its type with UnitClassOf<its class>::value; the template is instantiated in
// the module's own source, where the unit class is complete.
//
//   // at the end of ug_example.cpp
//   namespace {
//   const bool registered = CModuleFactory::Instance()->RegisterModule(
//       new Module_Info(L"Example", 402, 144, nullptr, &UnitClassOf<ug_example>::value, 0x100));
//   }
//
// The unit class must be default-constructible, derive publicly from ug_base,
// and have a public `moduleType` (Module_Info*) and a public virtual
// `ListInterface2(std::vector<InterfaceObject*>&)`.

#include <type_traits>
#include <vector>

class ug_base;
class Module_Info;
class InterfaceObject;

struct UnitClass
{
    // A new unit whose module type is already set to the record.
    ug_base* (*create)(Module_Info* moduleType);
    // Appends new descriptions of the unit's pins, in pin order.
    void (*listPins)(ug_base* unit, std::vector<InterfaceObject*>& pins);
    void (*destroy)(ug_base* unit);
};

template <class Unit>
struct UnitClassOf
{
    static ug_base* Create(Module_Info* moduleType)
    {
        Unit* unit = new Unit();
        unit->moduleType = moduleType;
        // A class that keeps the base's DoProcess is run by the block loop
        // without the virtual call.
        unit->plainPiece_ = std::is_same_v<decltype(&Unit::DoProcess), void (ug_base::*)(int, int)>;
        return unit;
    }

    static void ListPins(ug_base* unit, std::vector<InterfaceObject*>& pins)
    {
        static_cast<Unit*>(unit)->ListInterface2(pins);
    }

    static void Destroy(ug_base* unit)
    {
        delete static_cast<Unit*>(unit);
    }

    static constexpr UnitClass value{&Create, &ListPins, &Destroy};
};
