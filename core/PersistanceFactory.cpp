#include "core/PersistanceFactory.h"

PersistanceFactory* PersistanceFactory::Instance()
{
    static PersistanceFactory instance;
    return &instance;
}

bool PersistanceFactory::KVRegisterClass(int id, PersistanceRegister_base* creator)
{
    std::unique_ptr<PersistanceRegister_base> owned(creator);
    if (!owned)
        return false;
    std::lock_guard<std::mutex> lock(mutex_);
    return creators_.try_emplace(id, std::move(owned)).second;
}

dsp_patch_parameter_base* PersistanceFactory::CreateObject(int id) const
{
    const PersistanceRegister_base* creator = nullptr;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const auto it = creators_.find(id);
        if (it == creators_.end())
            return nullptr;
        creator = it->second.get();
    }
    return creator->CreateObject();
}
