#pragma once
// No C++ exception may leave the plug-in through an interface the host calls:
// the host's stack has no handler for ours, so one would end the host. Every
// exported method runs its body through KvGuard::Run, which turns an
// exception into a result code and one log line.

#include <atomic>
#include <exception>
#include <type_traits>

#include "shell/KvHostCalls.h"

namespace KvGuard
{
// One line on standard error naming the method and the exception.
void Report(const char* where, const char* what) noexcept;

// Runs body; an exception gives `failed` (as body's result type) and a
// report instead.
template <typename Failed, typename Body>
std::invoke_result_t<Body&> Run(const char* where, Failed failed, Body&& body) noexcept
{
    try
    {
        return body();
    }
    catch (const std::exception& error)
    {
        Report(where, error.what());
    }
    catch (...)
    {
        Report(where, "unknown exception");
    }
    return static_cast<std::invoke_result_t<Body&>>(failed);
}

template <typename Body>
void Run(const char* where, Body&& body) noexcept
{
    try
    {
        body();
    }
    catch (const std::exception& error)
    {
        Report(where, error.what());
    }
    catch (...)
    {
        Report(where, "unknown exception");
    }
}

// Runs body as Run does, as a call the host made into the plug-in: handler
// calls asked for meanwhile wait (KvHostCalls).
template <typename Failed, typename Body>
std::invoke_result_t<Body&> HostCall(const char* where, Failed failed, Body&& body) noexcept
{
    const KvHostCalls::Scope scope;
    return Run(where, failed, body);
}

// For the audio thread, which may not log: an exception is counted, and the
// count is reported later from the user-interface thread (ReportCounted).
template <typename Failed, typename Body>
std::invoke_result_t<Body&> RunCounted(std::atomic<int>& count, Failed failed, Body&& body) noexcept
{
    try
    {
        return body();
    }
    catch (...)
    {
        count.fetch_add(1, std::memory_order_relaxed);
    }
    return static_cast<std::invoke_result_t<Body&>>(failed);
}

// Reports and clears what RunCounted counted.
void ReportCounted(const char* where, std::atomic<int>& count) noexcept;

// How many exceptions were reported in this process (tests and fuzzers
// treat any as a fault).
int ReportCount() noexcept;
} // namespace KvGuard
