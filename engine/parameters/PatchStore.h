#pragma once
// The one memory of a patch's values, shared by everything that reads or
// writes them: every program's value of each monophonic patch parameter of
// the main patch manager, the program that plays and the host's bypass. The
// host's calls on the controller, a block's points, the engine's own moves,
// the editor's edits and states all write here when they happen, and the
// controller, the editor and state reads read here. A program choice makes
// another program's memory current; nothing is copied between programs.
//
// Values are kept as the engine plays them (raw), with the host's normalised
// figure beside each number: the one the host gave, or the raw value's own.
// Texts and blobs are kept within the room the document gives them.
//
// The engine keeps what its modules last heard, and hears at the start of
// each block what others changed since (TakeStale). A state is written
// whole between two blocks: Load waits for a block that is running to end,
// and blocks that start meanwhile leave the memory alone (EnterBlock is
// false) and play what they played, so that no block plays part of a state.
//
// A value a host sends on both routes (on the controller, and in a block)
// is one action: whichever route brings it first acts, and the other
// route's copy of the same figure is passed over (Pair). The engine's own
// move ends the wait for a block's copy (a point after it is the host's
// newest value), not for the controller's copy of what a block brought. A state ends the pairing of what blocks brought before it; a copy
// the host held for its next block may come after the state with the
// state's figure, and is passed over too. What the host was told of the
// engine's own moves, passed back to the controller, is no action either.
//
// Threads: Shape and attaching the engine on the user-interface thread
// while no block runs. Reads and writes of values from any thread: the
// audio thread never waits (a text it cannot write or read whole now is
// written or read at its next block); other threads may wait for each
// other, for the audio thread's copy of a text, or for a block to end.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class PatchStore
{
public:
    enum class Kind : uint8_t
    {
        Float,
        Int,
        Enum,
        Bool,
        Text,
        Blob,
        // A host parameter no patch parameter holds: the host's figure
        // alone, in no program (the controller's own state saves it).
        Figure
    };
    // One patch parameter's value, as the engine's parameter describes it.
    struct Shape
    {
        int handle = -1;
        // The host parameter id (its Index), -1 for none.
        int hostId = -1;
        Kind kind = Kind::Float;
        int patches = 1;
        double minimum = 0.0;
        double maximum = 10.0;
        std::wstring enumList;
        // Text and blob: bytes a value may take.
        std::size_t room = 0;
        // A value the engine keeps per voice: the store holds none, and a
        // state names it with this text.
        bool voiced = false;
        std::string text;
        // A figure's value at first.
        double initial = 0.0;
        bool operator==(const Shape& other) const;
    };
    // A number as kept: the raw value (float, int32 or bool in its low
    // bytes) and the host's normalised figure (as a float; the whole double
    // is kept beside it, and read where the two agree).
    struct Number
    {
        uint32_t raw = 0;
        float normalized = 0.0f;
        bool operator==(const Number& other) const { return raw == other.raw && normalized == other.normalized; }
    };
    // The host ids of the program choice and the bypass.
    static constexpr int kProgramId = 10130;
    static constexpr int kBypassId = 10131;
    // Where a host value comes from, for pairing.
    enum class Route : uint32_t
    {
        None,
        Controller,
        Block
    };

    PatchStore() = default;
    PatchStore(const PatchStore&) = delete;
    PatchStore& operator=(const PatchStore&) = delete;

    // UI, while no block runs. False when the shapes are those the store
    // has already: its values stay. Otherwise it takes the new shapes with
    // zero values. `programs`: the patch's program count (its first
    // parameter's); `hostPrograms`: how many of them the host chooses among
    // (a state names only those); `programSteps`: the steps of the host's
    // program-change parameter.
    bool Reshape(std::vector<Shape> shapes, int programs, int hostPrograms, int programSteps);
    int SlotCount() const { return static_cast<int>(shapes_.size()); }
    const Shape& ShapeOf(int slot) const { return shapes_[static_cast<std::size_t>(slot)]; }
    int SlotOfHandle(int handle) const;
    int SlotOfHostId(int id) const;
    bool HasHostId(int id) const { return id == kProgramId || id == kBypassId || SlotOfHostId(id) >= 0; }
    // The patch that holds a program's value of the slot.
    int PatchOf(int slot, int program) const;

    // Any thread. Numbers.
    Number Read(int slot, int patch) const;
    // Who writes: the engine (its modules heard it already) or the editor
    // (the engine hears it at its next block).
    enum class Writer
    {
        Engine,
        Editor
    };
    // A raw value; the host's figure stays when it still stands for the raw
    // value, else it is the raw value's own (`hint`, when given and standing
    // for it, is taken instead). True when the raw value changed.
    bool WriteRaw(int slot, int patch, uint32_t raw, Writer writer, const double* hint = nullptr);
    // Texts and blobs. The editor's read or write waits for the audio
    // thread's copy; the engine's is false when another thread is at it now
    // (and the engine takes the value again at its next block). A text is
    // cut to the room in whole characters; a blob that does not fit is
    // refused (false).
    bool ReadBytes(int slot, int patch, std::string& out) const;
    bool TryReadBytes(int slot, int patch, void* into, std::size_t room, std::size_t& size) const;
    bool WriteBytes(int slot, int patch, const void* data, std::size_t size, Writer writer,
                    bool* changed = nullptr);

    // Any thread: the program that plays, and the bypass.
    int Program() const;
    bool Bypass() const;
    // Audio, the store open: a block's bypass point that acts; a block's
    // point of a figure (false for an id that is none).
    void BypassFromBlock(bool on, double normalized);
    bool FigureFromBlock(int id, double normalized);
    // A figure set by the controller's own state: any thread but the audio thread.
    void SetFigure(int id, double normalized);
    // The engine moved to a program (a block's point, the patch's MIDI:
    // `own`, which ends the pairing of the host's copies of its choice).
    void ProgramFromEngine(int program, bool own);

    // Host values by host id: what getParamNormalized reads, and the
    // controller's route (any thread but the audio thread). SetHostValue is
    // false when the value was passed over as the twin of a block's point,
    // or the id holds no value here.
    double HostValue(int id) const;
    bool SetHostValue(int id, double normalized);
    // Audio: whether a block's point of a host id is the twin of a value set
    // on the controller (then passed over). Otherwise the point acts, and
    // its own twin on the controller will be passed over.
    bool PointIsTwin(int id, double normalized);
    // Audio: whether it would be, without passing it over yet.
    bool PointWouldPair(int id, double normalized);
    // Any thread: the engine moved the slot on its own.
    void OwnMove(int slot);
    // Audio: the host was told of the engine's own move of a host id at
    // this figure. Its copy coming back to the controller (at once, late, or
    // never) is no action of the host's, and is passed over.
    void Reported(int id, double normalized);
    // The controller told the host of a MIDI controller's parameter (10000
    // and up) that shows a patch value: the host's copy of it coming back in
    // a block is the same action (PointIsTwin), no message.
    void DisplayShown(int id, double normalized);
    // The controller's side: whether the engine moved a host parameter on
    // its own since it last took it (the host is asked to reread).
    bool TakeOwnMoves() { return ownMoves_.exchange(false, std::memory_order_acq_rel); }

    // States. Format: the current program's values, the program and the
    // bypass as the preset state document; any thread but the audio thread.
    // Load: a document written by Format (or an earlier build), whole;
    // false, and nothing changed, for text that is no such document. It
    // waits for a block that is running to end.
    void Format(std::string& out) const;
    bool Load(const std::string& text);

    // Audio: around what a block does with the memory. False while a state
    // is being written: the block then leaves the memory alone.
    bool EnterBlock();
    void LeaveBlock();
    // The thread that runs the engine (the audio thread, or the one that
    // builds it while no block runs): whether it may read and write here now.
    bool Open() const { return open_.load(std::memory_order_relaxed); }
    // Audio: the slots whose value others changed since the engine last took
    // them (each one once), then forgotten; `take(slot)`.
    template <class Take>
    void TakeStale(Take take) { TakeBits(engineStale_.get(), take); }
    // Audio: a slot the engine could not write through (the memory was not
    // open, or a text was being read): the engine takes it again.
    void MarkUnwritten(int slot);

    // The controller's side: slots changed by others than the controller
    // since it last took them, and whether the program or the bypass did.
    template <class Take>
    void TakeShown(Take take) { TakeBits(shownStale_.get(), take); }
    bool TakeProgramShown() { return programShown_.exchange(false, std::memory_order_acq_rel); }
    // Whether a state was loaded since the controller last took it.
    bool TakeStateShown() { return stateShown_.exchange(false, std::memory_order_acq_rel); }

    // Any thread: the host (one that cannot be asked to reread at once)
    // hears a program's values as output changes of the block that plays it.
    void TellHostPrograms(bool tell) { tellHostPrograms_.store(tell, std::memory_order_relaxed); }
    bool TellsHostPrograms() const { return tellHostPrograms_.load(std::memory_order_relaxed); }
    // Audio: whether the host chose a program on the controller since the
    // last block (also one it left again meanwhile).
    bool TakeHostChoice() { return hostChoice_.exchange(false, std::memory_order_acq_rel); }

    // A store lent to whoever asks by the token (the controller of the same
    // process, over the connection): Borrow finds it while it lives.
    static int64_t Lend(const std::shared_ptr<PatchStore>& store);
    static std::shared_ptr<PatchStore> Borrow(int64_t token);

    // Conversions by a slot's rule, the ones the engine plays by.
    static bool RawOfNormalized(const Shape& shape, double normalized, uint32_t& raw);
    static double NormalizedOfRaw(const Shape& shape, uint32_t raw);
    // A state's value text and back; false for a text the rule refuses.
    static std::string TextOf(Kind kind, const void* data, std::size_t size);
    static bool ValueOfText(const Shape& shape, const std::string& text, std::string& raw);

private:
    static uint64_t Pack(Number n);
    static Number Unpack(uint64_t word);
    std::size_t NumberAt(int slot, int patch) const;
    std::size_t BytesAt(int slot, int patch) const;
    std::size_t Words(int slot) const;
    void MarkStale(int slot, bool forEngine, bool forController);
    bool WriteNumber(int slot, int patch, uint32_t raw, double figure);
    // The host's figure of a number word, whole where the double kept beside it agrees.
    static double Figure(const std::atomic<double>& whole, uint64_t word);
    bool WriteBytesNow(int slot, int patch, const void* data, std::size_t size, Writer writer, bool* changed);
    bool Pair(std::atomic<uint64_t>& pairing, Route route, float value);
    std::atomic<uint64_t>* PairingOf(int id);
    void SetProgram(int program, double normalized);
    void SetBypass(bool on, double normalized);
    int Steps() const { return programSteps_ > 0 ? programSteps_ : 1; }
    // Each set bit's slot, once; the bits are cleared.
    template <class Take>
    void TakeBits(std::atomic<uint64_t>* words, Take take);

    std::vector<Shape> shapes_;
    // Per slot: where its numbers or byte entries start, by patch.
    std::vector<std::size_t> offsets_;
    std::vector<int> slotOfHostId_;
    std::vector<std::pair<int, int>> slotOfHandle_;
    std::unique_ptr<std::atomic<uint64_t>[]> numbers_;
    std::unique_ptr<std::atomic<double>[]> figures_;
    // A byte entry: a header word (sequence in the low half, odd while being
    // written; size in the high half), then the room in words.
    std::unique_ptr<std::atomic<uint64_t>[]> bytes_;
    std::unique_ptr<std::atomic<uint64_t>[]> pairing_;
    // Per slot, after a state: the figure it brought where the host held a
    // copy for its next block (a controller's copy waited for its twin). A
    // host that rewrites what it holds from the state sends that figure
    // instead: the same held copy, no new action.
    std::unique_ptr<std::atomic<uint32_t>[]> heldAfterState_;
    // Per slot: the figure of the engine's own move last told to the host.
    std::unique_ptr<std::atomic<uint32_t>[]> reported_;
    std::unique_ptr<std::atomic<uint64_t>[]> engineStale_;
    std::unique_ptr<std::atomic<uint64_t>[]> shownStale_;
    std::size_t staleWords_ = 0;
    std::atomic<uint64_t> program_{0};
    std::atomic<uint64_t> bypass_{0};
    std::atomic<double> programFigure_{0.0};
    std::atomic<double> bypassFigure_{0.0};
    std::atomic<uint64_t> programPairing_{0};
    std::atomic<uint64_t> bypassPairing_{0};
    static constexpr int kFirstController = 10000;
    static constexpr int kControllers = 130;
    std::atomic<uint64_t> controllerPairing_[kControllers] = {};
    std::atomic<bool> programShown_{false};
    std::atomic<bool> stateShown_{false};
    std::atomic<bool> tellHostPrograms_{false};
    std::atomic<bool> hostChoice_{false};
    std::atomic<bool> ownMoves_{false};
    int programs_ = 1;
    int hostPrograms_ = 0;
    int programSteps_ = 127;

    // Writers other than the audio thread, one at a time.
    mutable std::mutex writers_;
    // States being written, one at a time; taken before writers_, and held
    // while the write waits for a block, which the others do not wait for.
    std::mutex stateTurn_;
    // Odd while a state is being written; a block in the memory.
    std::atomic<uint32_t> stateWrites_{0};
    std::atomic<bool> blockIn_{false};
    std::atomic<bool> open_{true};
};

template <class Take>
void PatchStore::TakeBits(std::atomic<uint64_t>* words, Take take)
{
    for (std::size_t w = 0; w < staleWords_; ++w)
    {
        uint64_t bits = words[w].exchange(0, std::memory_order_acquire);
        while (bits != 0)
        {
            const int bit = __builtin_ctzll(bits);
            bits &= bits - 1;
            take(static_cast<int>(w * 64 + static_cast<std::size_t>(bit)));
        }
    }
}
