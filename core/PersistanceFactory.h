#pragma once
// Makes patch-parameter objects by class id (20 text, 21 enum, 22 float,
// 23 bool, 24 int, 28 blob). Creators register from static initializers;
// the first creator of an id stays.

#include <map>
#include <memory>
#include <mutex>

class dsp_patch_parameter_base;

class PersistanceRegister_base
{
public:
    virtual ~PersistanceRegister_base() = default;
    // A new object; the caller owns it.
    virtual dsp_patch_parameter_base* CreateObject() const = 0;
};

// The creator of one patch-parameter class.
template <class Parameter>
class PersistanceRegister : public PersistanceRegister_base
{
public:
    dsp_patch_parameter_base* CreateObject() const override { return new Parameter(); }
};

class PersistanceFactory
{
public:
    static PersistanceFactory* Instance();

    PersistanceFactory() = default;
    PersistanceFactory(const PersistanceFactory&) = delete;
    PersistanceFactory& operator=(const PersistanceFactory&) = delete;

    // Takes ownership of the creator. False, and the creator deleted, when the
    // id is taken (the first stays).
    bool KVRegisterClass(int id, PersistanceRegister_base* creator);
    // A new object of the class, or null for an unknown id.
    dsp_patch_parameter_base* CreateObject(int id) const;

private:
    mutable std::mutex mutex_;
    std::map<int, std::unique_ptr<PersistanceRegister_base>> creators_;
};
