#pragma once
// One platform mutex with default attributes. Usable with std::lock_guard.

#include <pthread.h>

namespace gmpi_sdk
{

class CriticalSectionXp
{
public:
    // Throws std::runtime_error("Could not create a CriticalSectionXp") when
    // the mutex cannot be created.
    CriticalSectionXp();
    ~CriticalSectionXp();
    CriticalSectionXp(const CriticalSectionXp&) = delete;
    CriticalSectionXp& operator=(const CriticalSectionXp&) = delete;

    void Enter() { lock(); }
    void Leave() { unlock(); }
    bool TryEnter() { return try_lock(); }

    void lock();
    void unlock();
    bool try_lock();

private:
    pthread_mutex_t mutex_;
};

} // namespace gmpi_sdk
