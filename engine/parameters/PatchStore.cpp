#include "engine/parameters/PatchStore.h"

#include <tinyxml.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <thread>

#include "core/MpBlob.h"
#include "core/MyTypeTraits.h"
#include "core/RawConversions.h"
#include "core/SafeXmlText.h"
#include "core/ValueRule.h"
#include "core/conversion.h"
#include "core/it_enum_list.h"

namespace
{
constexpr std::size_t kWord = sizeof(uint64_t);

uint32_t Bits(float value)
{
    uint32_t bits = 0;
    std::memcpy(&bits, &value, sizeof(bits));
    return bits;
}

float FloatOf(uint32_t bits)
{
    float value = 0.0f;
    std::memcpy(&value, &bits, sizeof(value));
    return value;
}

// A byte entry's header: its sequence (odd while written) and its size.
uint64_t Header(uint32_t sequence, uint32_t size)
{
    return static_cast<uint64_t>(sequence) | (static_cast<uint64_t>(size) << 32);
}
uint32_t SequenceOf(uint64_t header)
{
    return static_cast<uint32_t>(header);
}
uint32_t SizeOf(uint64_t header)
{
    return static_cast<uint32_t>(header >> 32);
}

// A pairing word: the figure a block brought last (high half) and the one
// the controller brought last (low half) whose copies on the other route
// have not come yet; each as its bits plus 1, 0 for none.
uint32_t Half(float value)
{
    return Bits(value) + 1;
}
uint32_t BlockHalf(uint64_t word)
{
    return static_cast<uint32_t>(word >> 32);
}
uint32_t ControllerHalf(uint64_t word)
{
    return static_cast<uint32_t>(word);
}
uint64_t PairingWord(uint32_t block, uint32_t controller)
{
    return (static_cast<uint64_t>(block) << 32) | controller;
}
} // namespace

bool PatchStore::Shape::operator==(const Shape& other) const
{
    return handle == other.handle && hostId == other.hostId && kind == other.kind && patches == other.patches &&
           minimum == other.minimum && maximum == other.maximum && enumList == other.enumList && room == other.room &&
           voiced == other.voiced;
}

uint64_t PatchStore::Pack(Number n)
{
    return static_cast<uint64_t>(n.raw) | (static_cast<uint64_t>(Bits(n.normalized)) << 32);
}

PatchStore::Number PatchStore::Unpack(uint64_t word)
{
    return {static_cast<uint32_t>(word), FloatOf(static_cast<uint32_t>(word >> 32))};
}

bool PatchStore::Reshape(std::vector<Shape> shapes, int programs, int hostPrograms, int programSteps)
{
    std::lock_guard<std::mutex> lock(writers_);
    for (Shape& shape : shapes)
        shape.patches = shape.voiced ? 0 : std::max(shape.patches, 1);
    programs = std::max(programs, 1);
    if (shapes == shapes_ && programs == programs_ && hostPrograms == hostPrograms_ && programSteps == programSteps_ &&
        numbers_)
        return false;
    shapes_ = std::move(shapes);
    programs_ = programs;
    hostPrograms_ = hostPrograms;
    programSteps_ = programSteps;
    offsets_.assign(shapes_.size(), 0);
    slotOfHostId_.clear();
    slotOfHandle_.clear();
    std::size_t numbers = 0;
    std::size_t bytes = 0;
    for (std::size_t slot = 0; slot < shapes_.size(); ++slot)
    {
        const Shape& shape = shapes_[slot];
        const bool variable = shape.kind == Kind::Text || shape.kind == Kind::Blob;
        offsets_[slot] = variable ? bytes : numbers;
        if (variable)
            bytes += static_cast<std::size_t>(shape.patches) * (1 + Words(static_cast<int>(slot)));
        else
            numbers += static_cast<std::size_t>(shape.patches);
        if (shape.hostId >= 0 && shape.hostId < kProgramId && !shape.voiced)
        {
            if (slotOfHostId_.size() <= static_cast<std::size_t>(shape.hostId))
                slotOfHostId_.resize(static_cast<std::size_t>(shape.hostId) + 1, -1);
            if (slotOfHostId_[static_cast<std::size_t>(shape.hostId)] < 0)
                slotOfHostId_[static_cast<std::size_t>(shape.hostId)] = static_cast<int>(slot);
        }
        if (!shape.voiced)
            slotOfHandle_.emplace_back(shape.handle, static_cast<int>(slot));
    }
    std::stable_sort(slotOfHandle_.begin(), slotOfHandle_.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    numbers_ = std::make_unique<std::atomic<uint64_t>[]>(std::max<std::size_t>(numbers, 1));
    figures_ = std::make_unique<std::atomic<double>[]>(std::max<std::size_t>(numbers, 1));
    bytes_ = std::make_unique<std::atomic<uint64_t>[]>(std::max<std::size_t>(bytes, 1));
    pairing_ = std::make_unique<std::atomic<uint64_t>[]>(std::max<std::size_t>(shapes_.size(), 1));
    heldAfterState_ = std::make_unique<std::atomic<uint32_t>[]>(std::max<std::size_t>(shapes_.size(), 1));
    reported_ = std::make_unique<std::atomic<uint32_t>[]>(std::max<std::size_t>(shapes_.size(), 1));
    staleWords_ = (shapes_.size() + 63) / 64;
    engineStale_ = std::make_unique<std::atomic<uint64_t>[]>(std::max<std::size_t>(staleWords_, 1));
    shownStale_ = std::make_unique<std::atomic<uint64_t>[]>(std::max<std::size_t>(staleWords_, 1));
    for (std::size_t slot = 0; slot < shapes_.size(); ++slot)
        if (shapes_[slot].kind == Kind::Figure)
            WriteNumber(static_cast<int>(slot), 0, 0, shapes_[slot].initial);
    program_.store(Pack({0, 0.0f}));
    bypass_.store(Pack({0, 0.0f}));
    programPairing_.store(0);
    bypassPairing_.store(0);
    return true;
}

int PatchStore::SlotOfHandle(int handle) const
{
    const auto found = std::lower_bound(slotOfHandle_.begin(), slotOfHandle_.end(), handle,
                                        [](const auto& entry, int h) { return entry.first < h; });
    return found != slotOfHandle_.end() && found->first == handle ? found->second : -1;
}

int PatchStore::SlotOfHostId(int id) const
{
    return id >= 0 && static_cast<std::size_t>(id) < slotOfHostId_.size() ? slotOfHostId_[static_cast<std::size_t>(id)]
                                                                            : -1;
}

int PatchStore::PatchOf(int slot, int program) const
{
    const int patches = shapes_[static_cast<std::size_t>(slot)].patches;
    return patches > 1 && program >= 0 && program < patches ? program : 0;
}

std::size_t PatchStore::Words(int slot) const
{
    return (shapes_[static_cast<std::size_t>(slot)].room + kWord - 1) / kWord;
}

std::size_t PatchStore::NumberAt(int slot, int patch) const
{
    return offsets_[static_cast<std::size_t>(slot)] + static_cast<std::size_t>(patch);
}

std::size_t PatchStore::BytesAt(int slot, int patch) const
{
    return offsets_[static_cast<std::size_t>(slot)] + static_cast<std::size_t>(patch) * (1 + Words(slot));
}

void PatchStore::MarkStale(int slot, bool forEngine, bool forController)
{
    const uint64_t bit = uint64_t{1} << (static_cast<std::size_t>(slot) % 64);
    const std::size_t word = static_cast<std::size_t>(slot) / 64;
    if (forEngine)
        engineStale_[word].fetch_or(bit, std::memory_order_release);
    if (forController)
        shownStale_[word].fetch_or(bit, std::memory_order_release);
}

void PatchStore::MarkUnwritten(int slot)
{
    if (slot >= 0 && slot < SlotCount())
        MarkStale(slot, true, false);
}

PatchStore::Number PatchStore::Read(int slot, int patch) const
{
    return Unpack(numbers_[NumberAt(slot, patch)].load(std::memory_order_acquire));
}

double PatchStore::Figure(const std::atomic<double>& whole, uint64_t word)
{
    const double figure = whole.load(std::memory_order_acquire);
    const float kept = Unpack(word).normalized;
    return static_cast<float>(figure) == kept ? figure : kept;
}

bool PatchStore::WriteNumber(int slot, int patch, uint32_t raw, double figure)
{
    const std::size_t at = NumberAt(slot, patch);
    figures_[at].store(figure, std::memory_order_release);
    const uint64_t old = numbers_[at].exchange(Pack({raw, static_cast<float>(figure)}), std::memory_order_acq_rel);
    return Unpack(old).raw != raw;
}

bool PatchStore::WriteRaw(int slot, int patch, uint32_t raw, Writer writer, const double* hint)
{
    // The editor's writes take their turn with states and the host's values.
    std::unique_lock<std::mutex> lock(writers_, std::defer_lock);
    const Shape& shape = shapes_[static_cast<std::size_t>(slot)];
    if (writer == Writer::Editor)
    {
        lock.lock();
        // By the rule of the engine's: a number the host sees within its
        // range, an enum value of its list.
        switch (shape.kind)
        {
        case Kind::Float:
        {
            const float value = FloatOf(raw);
            if (!std::isfinite(value))
                return false;
            if (shape.hostId >= 0)
                raw = Bits(static_cast<float>(ValueRule::Clamp(value, shape.minimum, shape.maximum)));
            break;
        }
        case Kind::Int:
            if (shape.hostId >= 0)
                raw = static_cast<uint32_t>(static_cast<int32_t>(
                    ValueRule::Clamp(static_cast<int32_t>(raw), shape.minimum, shape.maximum)));
            break;
        case Kind::Enum:
            if (!it_enum_list::IsValidValue(shape.enumList, static_cast<int32_t>(raw)))
                return false;
            break;
        default:
            raw = (raw & 0xFF) != 0 ? 1u : 0u;
            break;
        }
    }
    const std::size_t at = NumberAt(slot, patch);
    std::atomic<uint64_t>& word = numbers_[at];
    uint64_t old = word.load(std::memory_order_acquire);
    uint32_t hinted = 0;
    const bool hintStands = hint != nullptr && RawOfNormalized(shape, *hint, hinted) && hinted == raw;
    for (;;)
    {
        const Number was = Unpack(old);
        double figure = Figure(figures_[at], old);
        if (hintStands)
            figure = *hint;
        else if (uint32_t stands = 0; was.raw != raw || !RawOfNormalized(shape, figure, stands) || stands != raw)
            figure = NormalizedOfRaw(shape, raw);
        const Number now{raw, static_cast<float>(figure)};
        if (now == was && figures_[at].load(std::memory_order_relaxed) == figure)
            return false;
        figures_[at].store(figure, std::memory_order_release);
        if (word.compare_exchange_weak(old, Pack(now), std::memory_order_acq_rel, std::memory_order_acquire))
        {
            MarkStale(slot, writer == Writer::Editor, writer == Writer::Engine);
            return was.raw != raw;
        }
    }
}

bool PatchStore::ReadBytes(int slot, int patch, std::string& out) const
{
    std::string into(shapes_[static_cast<std::size_t>(slot)].room, '\0');
    std::size_t size = 0;
    while (!TryReadBytes(slot, patch, into.data(), into.size(), size))
        std::this_thread::yield();
    into.resize(size);
    out = std::move(into);
    return true;
}

bool PatchStore::TryReadBytes(int slot, int patch, void* into, std::size_t room, std::size_t& size) const
{
    const std::size_t at = BytesAt(slot, patch);
    const uint64_t before = bytes_[at].load(std::memory_order_acquire);
    if (SequenceOf(before) & 1)
        return false;
    const std::size_t length = std::min<std::size_t>(SizeOf(before), room);
    auto* out = static_cast<unsigned char*>(into);
    for (std::size_t i = 0; i * kWord < length; ++i)
    {
        const uint64_t word = bytes_[at + 1 + i].load(std::memory_order_relaxed);
        std::memcpy(out + i * kWord, &word, std::min(kWord, length - i * kWord));
    }
    std::atomic_thread_fence(std::memory_order_acquire);
    if (bytes_[at].load(std::memory_order_relaxed) != before)
        return false;
    size = length;
    return true;
}

bool PatchStore::WriteBytes(int slot, int patch, const void* data, std::size_t size, Writer writer, bool* changed)
{
    std::unique_lock<std::mutex> lock(writers_, std::defer_lock);
    if (writer == Writer::Editor)
        lock.lock();
    return WriteBytesNow(slot, patch, data, size, writer, changed);
}

bool PatchStore::WriteBytesNow(int slot, int patch, const void* data, std::size_t size, Writer writer,
                               bool* changed)
{
    const Shape& shape = shapes_[static_cast<std::size_t>(slot)];
    // A text is cut to the room in whole characters; a blob that does not
    // fit is refused.
    if (size > shape.room)
    {
        if (shape.kind == Kind::Blob)
            return false;
        size = shape.room / sizeof(int32_t) * sizeof(int32_t);
    }
    const std::size_t at = BytesAt(slot, patch);
    uint64_t header = bytes_[at].load(std::memory_order_acquire);
    for (;;)
    {
        if ((SequenceOf(header) & 1) == 0 &&
            bytes_[at].compare_exchange_weak(header, Header(SequenceOf(header) + 1, SizeOf(header)),
                                             std::memory_order_acquire, std::memory_order_acquire))
            break;
        // Another writer is at it: the engine takes the value again at its
        // next block; the editor waits for the audio thread's short copy.
        if (writer == Writer::Engine)
            return false;
        std::this_thread::yield();
        header = bytes_[at].load(std::memory_order_acquire);
    }
    bool differs = SizeOf(header) != size;
    const auto* in = static_cast<const unsigned char*>(data);
    for (std::size_t i = 0; i * kWord < size; ++i)
    {
        uint64_t word = 0;
        std::memcpy(&word, in + i * kWord, std::min(kWord, size - i * kWord));
        std::atomic<uint64_t>& target = bytes_[at + 1 + i];
        differs = differs || target.load(std::memory_order_relaxed) != word;
        target.store(word, std::memory_order_relaxed);
    }
    bytes_[at].store(Header(SequenceOf(header) + 2, static_cast<uint32_t>(size)), std::memory_order_release);
    if (differs)
        MarkStale(slot, writer == Writer::Editor, writer == Writer::Engine);
    if (changed)
        *changed = differs;
    return true;
}

int PatchStore::Program() const
{
    return static_cast<int>(Unpack(program_.load(std::memory_order_acquire)).raw);
}

bool PatchStore::Bypass() const
{
    return Unpack(bypass_.load(std::memory_order_acquire)).raw != 0;
}

void PatchStore::SetProgram(int program, double normalized)
{
    programFigure_.store(normalized, std::memory_order_release);
    const Number was =
        Unpack(program_.exchange(Pack({static_cast<uint32_t>(program), static_cast<float>(normalized)})));
    if (was.raw != static_cast<uint32_t>(program))
        programShown_.store(true, std::memory_order_release);
}

void PatchStore::SetBypass(bool on, double normalized)
{
    bypassFigure_.store(normalized, std::memory_order_release);
    bypass_.store(Pack({on ? 1u : 0u, static_cast<float>(normalized)}), std::memory_order_release);
}

void PatchStore::BypassFromBlock(bool on, double normalized)
{
    if (Open())
        SetBypass(on, normalized);
}

namespace
{
// The stores lent in this process, by token.
struct Lent
{
    std::mutex mutex;
    std::vector<std::pair<int64_t, std::weak_ptr<PatchStore>>> stores;
    int64_t next = static_cast<int64_t>(std::random_device{}() & 0xFFFFFF) << 24;
};
Lent& LentStores()
{
    static Lent lent;
    return lent;
}
} // namespace

bool PatchStore::FigureFromBlock(int id, double normalized)
{
    const int slot = SlotOfHostId(id);
    if (slot < 0 || shapes_[static_cast<std::size_t>(slot)].kind != Kind::Figure || !Open())
        return false;
    WriteNumber(slot, 0, 0, normalized);
    MarkStale(slot, false, true);
    return true;
}

void PatchStore::SetFigure(int id, double normalized)
{
    std::lock_guard<std::mutex> lock(writers_);
    const int slot = SlotOfHostId(id);
    if (slot >= 0 && shapes_[static_cast<std::size_t>(slot)].kind == Kind::Figure && ValueRule::Normalized(normalized))
    {
        WriteNumber(slot, 0, 0, normalized);
        pairing_[static_cast<std::size_t>(slot)].store(0, std::memory_order_relaxed);
    }
}

int64_t PatchStore::Lend(const std::shared_ptr<PatchStore>& store)
{
    Lent& lent = LentStores();
    std::lock_guard<std::mutex> lock(lent.mutex);
    auto& stores = lent.stores;
    stores.erase(std::remove_if(stores.begin(), stores.end(), [](const auto& entry) { return entry.second.expired(); }),
                 stores.end());
    for (const auto& [token, weak] : stores)
        if (weak.lock() == store)
            return token;
    stores.emplace_back(++lent.next, store);
    return lent.next;
}

std::shared_ptr<PatchStore> PatchStore::Borrow(int64_t token)
{
    Lent& lent = LentStores();
    std::lock_guard<std::mutex> lock(lent.mutex);
    for (const auto& [lentAs, weak] : lent.stores)
        if (lentAs == token)
            return weak.lock();
    return nullptr;
}

void PatchStore::ProgramFromEngine(int program, bool own)
{
    if (own)
        programPairing_.store(0, std::memory_order_release);
    if (program == Program())
        return;
    SetProgram(program, std::clamp(static_cast<double>(program) / Steps(), 0.0, 1.0));
}

std::atomic<uint64_t>* PatchStore::PairingOf(int id)
{
    if (id == kProgramId)
        return &programPairing_;
    if (id == kBypassId)
        return &bypassPairing_;
    if (id >= kFirstController && id < kFirstController + kControllers)
        return &controllerPairing_[id - kFirstController];
    const int slot = SlotOfHostId(id);
    return slot >= 0 ? &pairing_[static_cast<std::size_t>(slot)] : nullptr;
}

bool PatchStore::Pair(std::atomic<uint64_t>& pairing, Route route, float value)
{
    // A copy that acts waits for its twin on the other route. A block's
    // value that acts ends the controller's copies still waiting for theirs:
    // a host's block carries its newest value, so they would never come.
    // The controller's copies come in the order the host made them, those
    // the host passes on late included, so a block's copy waits on.
    const uint32_t figure = Half(value);
    uint64_t word = pairing.load(std::memory_order_acquire);
    for (;;)
    {
        const uint32_t block = BlockHalf(word);
        const uint32_t controller = ControllerHalf(word);
        bool twin = false;
        uint64_t next = 0;
        if (route == Route::Block)
        {
            twin = controller == figure;
            next = twin ? PairingWord(block, 0) : PairingWord(figure, 0);
        }
        else
        {
            twin = block == figure;
            next = twin ? PairingWord(0, controller) : PairingWord(block, figure);
        }
        if (pairing.compare_exchange_weak(word, next, std::memory_order_acq_rel, std::memory_order_acquire))
            return twin;
    }
}

void PatchStore::OwnMove(int slot)
{
    if (slot < 0 || slot >= SlotCount())
        return;
    // A block's point after the move is the host's newest value (an
    // automation point), not the copy of what it set on the controller
    // before. The controller's copy of what a block brought before may still
    // come (JUCE holds it until its loop turns): it is older than the move.
    std::atomic<uint64_t>& pairing = pairing_[static_cast<std::size_t>(slot)];
    pairing.store(PairingWord(BlockHalf(pairing.load(std::memory_order_relaxed)), 0), std::memory_order_release);
    if (shapes_[static_cast<std::size_t>(slot)].hostId >= 0)
        ownMoves_.store(true, std::memory_order_release);
}

void PatchStore::Reported(int id, double normalized)
{
    if (const int slot = SlotOfHostId(id); slot >= 0)
        reported_[static_cast<std::size_t>(slot)].store(Half(static_cast<float>(normalized)), std::memory_order_release);
}

void PatchStore::DisplayShown(int id, double normalized)
{
    if (id >= kFirstController && id < kFirstController + kControllers)
        Pair(controllerPairing_[id - kFirstController], Route::Controller, static_cast<float>(normalized));
}

double PatchStore::HostValue(int id) const
{
    if (id == kProgramId)
        return Figure(programFigure_, program_.load(std::memory_order_acquire));
    if (id == kBypassId)
        return Figure(bypassFigure_, bypass_.load(std::memory_order_acquire));
    const int slot = SlotOfHostId(id);
    if (slot < 0)
        return 0.0;
    const std::size_t at = NumberAt(slot, PatchOf(slot, Program()));
    return Figure(figures_[at], numbers_[at].load(std::memory_order_acquire));
}

bool PatchStore::SetHostValue(int id, double normalized)
{
    std::atomic<uint64_t>* pairing = PairingOf(id);
    if (pairing == nullptr || !ValueRule::Normalized(normalized))
        return false;
    if (const int slot = SlotOfHostId(id); slot >= 0)
    {
        uint32_t echo = Half(static_cast<float>(normalized));
        if (reported_[static_cast<std::size_t>(slot)].compare_exchange_strong(echo, 0, std::memory_order_acq_rel))
            return false;
    }
    std::lock_guard<std::mutex> lock(writers_);
    if (Pair(*pairing, Route::Controller, static_cast<float>(normalized)))
        return false;
    if (id == kProgramId)
    {
        const int program = static_cast<int>(ValueRule::WholePlain(normalized, 0.0, Steps())) & 0x7F;
        if (program != Program())
            hostChoice_.store(true, std::memory_order_release);
        SetProgram(program, normalized);
        programShown_.store(false, std::memory_order_relaxed);
        return true;
    }
    if (id == kBypassId)
    {
        SetBypass(ValueRule::SwitchOn(normalized), normalized);
        return true;
    }
    const int slot = SlotOfHostId(id);
    const Shape& shape = shapes_[static_cast<std::size_t>(slot)];
    const int patch = PatchOf(slot, Program());
    heldAfterState_[static_cast<std::size_t>(slot)].store(0, std::memory_order_relaxed);
    uint32_t raw = 0;
    if (shape.kind == Kind::Figure)
    {
        WriteNumber(slot, 0, 0, normalized);
        return true;
    }
    if (!RawOfNormalized(shape, normalized, raw))
        return false;
    // Hosts keep normalised values as floats: what they write back is the
    // value they read, rounded to a float, and it may cross to the plain
    // value's neighbour. A float figure that stands where the value stands
    // moves nothing (unless the value stands outside its range).
    if (shape.kind == Kind::Float)
    {
        const uint32_t current = Read(slot, patch).raw;
        const float plain = FloatOf(current);
        if (std::isfinite(plain) && ValueRule::Clamp(plain, shape.minimum, shape.maximum) == plain &&
            static_cast<float>(normalized) == static_cast<float>(NormalizedOfRaw(shape, current)))
            raw = current;
    }
    WriteNumber(slot, patch, raw, normalized);
    MarkStale(slot, true, false);
    return true;
}

bool PatchStore::PointWouldPair(int id, double normalized)
{
    std::atomic<uint64_t>* pairing = PairingOf(id);
    return pairing != nullptr &&
           ControllerHalf(pairing->load(std::memory_order_acquire)) == Half(static_cast<float>(normalized));
}

bool PatchStore::PointIsTwin(int id, double normalized)
{
    std::atomic<uint64_t>* pairing = PairingOf(id);
    if (pairing == nullptr)
        return false;
    const int slot = SlotOfHostId(id);
    if (slot >= 0 && heldAfterState_[static_cast<std::size_t>(slot)].exchange(0, std::memory_order_acq_rel) ==
                         Half(static_cast<float>(normalized)))
    {
        pairing->store(PairingWord(BlockHalf(pairing->load(std::memory_order_relaxed)), 0), std::memory_order_release);
        return true;
    }
    return Pair(*pairing, Route::Block, static_cast<float>(normalized));
}

bool PatchStore::EnterBlock()
{
    blockIn_.store(true, std::memory_order_seq_cst);
    const bool open = (stateWrites_.load(std::memory_order_seq_cst) & 1) == 0;
    if (!open)
        blockIn_.store(false, std::memory_order_release);
    open_.store(open, std::memory_order_relaxed);
    return open;
}

void PatchStore::LeaveBlock()
{
    blockIn_.store(false, std::memory_order_release);
    open_.store(true, std::memory_order_relaxed);
}

// Conversions: the rules the engine's parameters play by (ValueRule and the
// enum list), so that what the store holds is what plays.
bool PatchStore::RawOfNormalized(const Shape& shape, double normalized, uint32_t& raw)
{
    switch (shape.kind)
    {
    case Kind::Float:
        raw = Bits(static_cast<float>(ValueRule::RangePlain(normalized, shape.minimum, shape.maximum)));
        return true;
    case Kind::Int:
        raw = static_cast<uint32_t>(
            static_cast<int32_t>(ValueRule::WholePlain(normalized, shape.minimum, shape.maximum)));
        return true;
    case Kind::Enum:
        raw = static_cast<uint32_t>(normalised_to_enum(shape.enumList, normalized));
        return true;
    case Kind::Bool:
        raw = ValueRule::SwitchOn(normalized) ? 1u : 0u;
        return true;
    default:
        return false;
    }
}

double PatchStore::NormalizedOfRaw(const Shape& shape, uint32_t raw)
{
    switch (shape.kind)
    {
    case Kind::Float:
        return ValueRule::RangeNormalized(FloatOf(raw), shape.minimum, shape.maximum);
    case Kind::Int:
        return ValueRule::WholeNormalized(static_cast<int32_t>(raw), shape.minimum, shape.maximum);
    case Kind::Enum:
        return EnumNormalized(shape.enumList, static_cast<int32_t>(raw));
    case Kind::Bool:
        return (raw & 0xFF) != 0 ? 1.0 : 0.0;
    default:
        return 0.0;
    }
}

std::string PatchStore::TextOf(Kind kind, const void* data, std::size_t size)
{
    const int n = static_cast<int>(size);
    switch (kind)
    {
    case Kind::Float:
        // As few digits as read back to the same bits.
        return FloatToExactUtf8(RawToValue<float>(data, n));
    case Kind::Int:
    case Kind::Enum:
        return MyTypeTraits<int>::toXML(RawToValue<int>(data, n));
    case Kind::Bool:
        return MyTypeTraits<bool>::toXML(RawToValue<bool>(data, n));
    case Kind::Text:
        return MyTypeTraits<std::wstring>::toXML(RawToValue<std::wstring>(data, n));
    case Kind::Blob:
        return MyTypeTraits<MpBlob>::toXML(RawToValue<MpBlob>(data, n));
    case Kind::Figure:
        break;
    }
    return {};
}

bool PatchStore::ValueOfText(const Shape& shape, const std::string& saved, std::string& raw)
{
    constexpr double kUnbounded = std::numeric_limits<double>::infinity();
    // Only a value the host sees is brought into its range, as in the engine.
    const bool ranged = shape.hostId >= 0;
    const double low = ranged ? shape.minimum : -kUnbounded;
    const double high = ranged ? shape.maximum : kUnbounded;
    const bool number = shape.kind != Kind::Text && shape.kind != Kind::Blob;
    // A number may have its decimal comma from an earlier build.
    const std::string text = number ? ValueRule::SavedNumberText(saved) : saved;
    // The raw form of what the rule read, when it read one.
    const auto keep = [&raw](bool read, const auto& v) {
        if (read)
            raw = ToRaw4(v);
        return read;
    };
    float f = 0.0f;
    int32_t i = 0;
    bool b = false;
    std::wstring w;
    MpBlob blob;
    switch (shape.kind)
    {
    case Kind::Float:
        return keep(ValueRule::Float(text, low, high, f), f);
    case Kind::Int:
        return keep(ValueRule::Int(text, low, high, i), i);
    case Kind::Enum:
        return keep(ValueRule::Enum(text, shape.enumList, i), i);
    case Kind::Bool:
        return keep(ValueRule::Bool(text, b), b);
    case Kind::Text:
        MyTypeTraits<std::wstring>::parse(text.c_str(), w);
        return keep(true, w);
    case Kind::Blob:
        MyTypeTraits<MpBlob>::parse(text.c_str(), blob);
        return keep(true, blob);
    case Kind::Figure:
        break;
    }
    return false;
}

void PatchStore::Format(std::string& out) const
{
    std::lock_guard<std::mutex> lock(writers_);
    const int program = Program();
    TiXmlDocument document;
    document.LinkEndChild(new TiXmlDeclaration("1.0", "", ""));
    auto* root = new TiXmlElement("Parameters");
    document.LinkEndChild(root);
    // Readers that know neither the program nor the bypass skip them.
    if (programs_ > 1 && program < hostPrograms_)
        root->SetAttribute("program", program);
    if (Bypass())
        root->SetAttribute("bypass", 1);
    std::string bytes;
    for (int slot = 0; slot < SlotCount(); ++slot)
    {
        const Shape& shape = shapes_[static_cast<std::size_t>(slot)];
        // The controller's own state saves the figures.
        if (shape.kind == Kind::Figure)
            continue;
        const int patch = PatchOf(slot, program);
        auto* element = new TiXmlElement("Param");
        element->SetAttribute("id", shape.handle);
        if (shape.hostId != -1)
            element->SetAttribute("index", shape.hostId);
        if (shape.voiced)
        {
            element->SetAttribute("val", shape.text);
            root->LinkEndChild(element);
            continue;
        }
        if (shape.kind == Kind::Text || shape.kind == Kind::Blob)
            ReadBytes(slot, patch, bytes);
        else
        {
            const uint32_t raw = Read(slot, patch).raw;
            bytes.assign(reinterpret_cast<const char*>(&raw), shape.kind == Kind::Bool ? 1 : sizeof(raw));
        }
        element->SetAttribute("val", TextOf(shape.kind, bytes.data(), bytes.size()));
        root->LinkEndChild(element);
    }
    TiXmlPrinter printer;
    printer.SetIndent(" ");
    printer.SetLineBreak("\n");
    document.Accept(&printer);
    out = printer.CStr();
}

bool PatchStore::Load(const std::string& text)
{
    // Read whole before anything changes.
    struct Value
    {
        int slot;
        std::string raw;
    };
    std::vector<Value> values;
    int program = -1;
    bool bypass = false;
    if (!text.empty())
    {
        if (!IsSafeXmlText(text))
            return false;
        TiXmlDocument document;
        document.Parse(text.c_str());
        const TiXmlElement* root = document.Error() ? nullptr : document.FirstChildElement("Parameters");
        if (root == nullptr)
            return false;
        // A program the host does not choose among names none: the one that
        // plays takes the values.
        if (root->QueryIntAttribute("program", &program) != TIXML_SUCCESS || program < 0 ||
            program >= std::min(programs_, hostPrograms_))
            program = -1;
        int on = 0;
        bypass = root->QueryIntAttribute("bypass", &on) == TIXML_SUCCESS && on != 0;
        for (const TiXmlElement* param = root->FirstChildElement("Param"); param;
             param = param->NextSiblingElement("Param"))
        {
            int id = -1;
            param->QueryIntAttribute("id", &id);
            const char* val = param->Attribute("val");
            const int slot = SlotOfHandle(id);
            Value value{slot, {}};
            if (slot >= 0 && val && ValueOfText(shapes_[static_cast<std::size_t>(slot)], val, value.raw))
                values.push_back(std::move(value));
        }
    }
    const std::lock_guard<std::mutex> turn(stateTurn_);
    // Blocks that start from here on leave the memory alone; one that runs
    // is waited for. Readers and other writers meanwhile go on, on the
    // values before the state.
    stateWrites_.fetch_add(1, std::memory_order_seq_cst);
    while (blockIn_.load(std::memory_order_seq_cst))
        std::this_thread::yield();
    const std::lock_guard<std::mutex> lock(writers_);
    if (program >= 0)
        SetProgram(program, std::clamp(static_cast<double>(program) / Steps(), 0.0, 1.0));
    SetBypass(bypass, bypass ? 1.0 : 0.0);
    // The state is a new action on every value: what blocks brought before
    // it waits for no copy on the controller (a host passes those on before
    // its state calls). The controller's copies still wait for theirs: a
    // host's block may bring a value set before the state after it.
    const auto blockCopiesGo = [](std::atomic<uint64_t>& pairing) {
        pairing.store(PairingWord(0, ControllerHalf(pairing.load(std::memory_order_relaxed))),
                      std::memory_order_relaxed);
    };
    for (int slot = 0; slot < SlotCount(); ++slot)
        blockCopiesGo(pairing_[static_cast<std::size_t>(slot)]);
    blockCopiesGo(programPairing_);
    blockCopiesGo(bypassPairing_);
    const int playing = Program();
    int cut = 0;
    for (const Value& value : values)
    {
        const Shape& shape = shapes_[static_cast<std::size_t>(value.slot)];
        cut += value.raw.size() > shape.room && (shape.kind == Kind::Text || shape.kind == Kind::Blob);
        const int patch = PatchOf(value.slot, playing);
        bool changed = false;
        if (shape.kind == Kind::Text || shape.kind == Kind::Blob)
            WriteBytesNow(value.slot, patch, value.raw.data(), value.raw.size(), Writer::Editor, &changed);
        else
        {
            uint32_t raw = 0;
            std::memcpy(&raw, value.raw.data(), std::min(value.raw.size(), sizeof(raw)));
            changed = WriteNumber(value.slot, patch, raw, NormalizedOfRaw(shape, raw));
        }
        if (changed)
            MarkStale(value.slot, true, true);
    }
    for (int slot = 0; slot < SlotCount(); ++slot)
        heldAfterState_[static_cast<std::size_t>(slot)].store(
            ControllerHalf(pairing_[static_cast<std::size_t>(slot)].load(std::memory_order_relaxed)) != 0 &&
                    shapes_[static_cast<std::size_t>(slot)].hostId >= 0
                ? Half(static_cast<float>(HostValue(shapes_[static_cast<std::size_t>(slot)].hostId)))
                : 0,
            std::memory_order_relaxed);
    stateShown_.store(true, std::memory_order_release);
    stateWrites_.fetch_add(1, std::memory_order_seq_cst);
    if (cut > 0)
        std::fprintf(stderr, "Korvane: %d text or blob value(s) of a state exceed their room: texts are cut to it, "
                             "blobs refused.\n", cut);
    return true;
}
