#pragma once
// Which value of each patch parameter the controller holds is the newest:
// the moment (KvClock) its value was last set, by the host, the editor, a
// program chosen or a state, or by the engine's report of the block that
// began at that moment. The engine's reports travel behind the host's calls
// (they wait for the user-interface thread, and for the host's next call
// into the processor there): a report is taken only when its block began
// after everything else that set the parameter, and a program chosen sets
// only what nothing set after the choice.
//
// Threads: any (host calls may come from threads of the host's own); one
// lock of its own, never taken by the audio thread.

#include <cstdint>
#include <map>
#include <mutex>

class KvValueLedger
{
public:
    // The parameter of `handle` took a value at `moment`.
    void Note(int handle, int64_t moment);
    // Every parameter took a value at `moment` (a state).
    void NoteAll(int64_t moment);
    // A program was chosen at `moment`.
    void NoteProgram(int64_t moment);

    // Whether the engine's report of `handle` from a block that began at
    // `moment` is newer than the value the controller holds.
    bool ReportIsNewer(int handle, int64_t moment) const;
    // Whether the engine's report of a program, from a block that began at
    // `moment`, is newer than the last program chosen (or state).
    bool ProgramReportIsNewer(int64_t moment) const;
    // Whether a program chosen at `moment` may set the parameter of
    // `handle`: nothing set it after the choice.
    bool ProgramMaySet(int handle, int64_t moment) const;

private:
    int64_t Newest(int handle) const;

    mutable std::mutex mutex_;
    std::map<int, int64_t> moments_;
    int64_t all_ = 0;
    int64_t program_ = 0;
};
