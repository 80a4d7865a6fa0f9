#include "core/CriticalSectionXp.h"

#include <stdexcept>

namespace gmpi_sdk
{

CriticalSectionXp::CriticalSectionXp()
{
    if (pthread_mutex_init(&mutex_, nullptr) != 0)
        throw std::runtime_error("Could not create a CriticalSectionXp");
}

CriticalSectionXp::~CriticalSectionXp()
{
    pthread_mutex_destroy(&mutex_);
}

void CriticalSectionXp::lock()
{
    pthread_mutex_lock(&mutex_);
}

void CriticalSectionXp::unlock()
{
    pthread_mutex_unlock(&mutex_);
}

bool CriticalSectionXp::try_lock()
{
    return pthread_mutex_trylock(&mutex_) == 0;
}

} // namespace gmpi_sdk
