#pragma once
// What a patch manager holds beyond the preset state document, carried from
// one engine to the next when the engine is built again from the same
// document (a new sample rate or block size, or an activation that starts
// from silence): the values of every program and key, the program that
// plays, the MIDI channel, the controllers each parameter answers to (MIDI
// learn) and the key tuning. The voice host controls (gate, pitch,
// velocities ... one value per key) are what notes leave behind and are not
// carried: the new engine starts without them, as a fresh one does.
//
// Threads: user-interface thread, while no block runs.

#include <string>
#include <vector>

#include "engine/parameters/hasMidiTuning.h"

class DspPatchManager;
class PatchStorageBase;

class PatchMemory
{
public:
    PatchMemory() = default;
    ~PatchMemory();
    PatchMemory(const PatchMemory&) = delete;
    PatchMemory& operator=(const PatchMemory&) = delete;

    // Takes the memory out of a manager whose engine is closed and about to
    // go: its values move here, and it is left without them.
    void Take(DspPatchManager& from);
    // Gives it to a manager built from the same document and opened, after
    // the preset state was set on it: a parameter of the same handle and
    // shape takes its values back, the program, MIDI channel, controllers
    // and tuning are set without a program change, and a value that now
    // differs from what its pins were sent reaches them as a preset's does.
    // What finds no match stays as the new manager has it.
    void Give(DspPatchManager& to);

private:
    struct Values
    {
        int handle = -1;
        int dataType = -1;
        int automation = -1;
        std::wstring automationSysex;
        std::vector<PatchStorageBase*> storage;
    };
    void Clear();

    std::vector<Values> values_;
    bool taken_ = false;
    int program_ = 0;
    int midiChannel_ = 0;
    hasMidiTuning::Table tuning_{};
};
