#include "shell/KvValueLedger.h"

#include <algorithm>

void KvValueLedger::Note(int handle, int64_t moment)
{
    std::lock_guard<std::mutex> lock(mutex_);
    int64_t& newest = moments_[handle];
    newest = std::max(newest, moment);
}

void KvValueLedger::NoteAll(int64_t moment)
{
    std::lock_guard<std::mutex> lock(mutex_);
    all_ = std::max(all_, moment);
    program_ = std::max(program_, moment);
}

void KvValueLedger::NoteProgram(int64_t moment)
{
    std::lock_guard<std::mutex> lock(mutex_);
    program_ = std::max(program_, moment);
}

int64_t KvValueLedger::Newest(int handle) const
{
    const auto found = moments_.find(handle);
    return std::max(all_, found == moments_.end() ? int64_t{0} : found->second);
}

bool KvValueLedger::ReportIsNewer(int handle, int64_t moment) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return moment > Newest(handle);
}

bool KvValueLedger::ProgramReportIsNewer(int64_t moment) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return moment > std::max(all_, program_);
}

bool KvValueLedger::ProgramMaySet(int handle, int64_t moment) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return Newest(handle) <= moment;
}
