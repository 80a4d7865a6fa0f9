#include "tools/kvhost/MidiFile.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "pluginterfaces/vst/ivstmidicontrollers.h"
#include "tools/kvhost/FileBytes.h"

namespace
{
constexpr std::size_t kMaxMidiFileBytes = std::size_t{64} << 20;

class ByteReader
{
public:
    ByteReader(const unsigned char* bytes, std::size_t size) : bytes_(bytes), size_(size) {}

    std::size_t position() const { return position_; }
    std::size_t left() const { return size_ - position_; }

    bool byte(std::uint8_t& value)
    {
        if (left() < 1)
            return false;
        value = bytes_[position_++];
        return true;
    }

    bool bigEndian(std::size_t count, std::uint32_t& value)
    {
        if (left() < count)
            return false;
        value = 0;
        for (std::size_t i = 0; i < count; ++i)
            value = (value << 8) | bytes_[position_++];
        return true;
    }

    // A variable-length quantity: at most four bytes, seven bits each.
    bool variable(std::uint32_t& value)
    {
        value = 0;
        for (int i = 0; i < 4; ++i)
        {
            std::uint8_t b = 0;
            if (!byte(b))
                return false;
            value = (value << 7) | (b & 0x7F);
            if (!(b & 0x80))
                return true;
        }
        return false;
    }

    bool skip(std::size_t count)
    {
        if (left() < count)
            return false;
        position_ += count;
        return true;
    }

    const unsigned char* here() const { return bytes_ + position_; }

private:
    const unsigned char* bytes_;
    std::size_t size_;
    std::size_t position_ = 0;
};

struct TimedEvent
{
    std::uint64_t tick;
    PerformanceEvent event;
};

struct TempoChange
{
    std::uint64_t tick;
    double bpm;
};

struct MeterChange
{
    std::uint64_t tick;
    int numerator;
    int denominator;
};

struct TrackContent
{
    std::vector<TimedEvent> events;
    std::vector<TempoChange> tempos;
    std::vector<MeterChange> meters;
    std::uint64_t endTick = 0;
};

bool Fail(std::string& error, int track, std::size_t offset, const std::string& message)
{
    error = "track " + std::to_string(track) + " at byte " + std::to_string(offset) + ": " + message;
    return false;
}

bool ReadMeta(ByteReader& track, std::uint64_t tick, TrackContent& content, bool& ended, int number,
              std::string& error)
{
    const std::size_t start = track.position();
    std::uint8_t type = 0;
    std::uint32_t length = 0;
    if (!track.byte(type) || !track.variable(length) || track.left() < length)
        return Fail(error, number, start, "meta event runs past the end of the track");
    const unsigned char* data = track.here();
    track.skip(length);
    if (type == 0x2F)
        ended = true;
    else if (type == 0x51 && length == 3)
    {
        const std::uint32_t microseconds = (std::uint32_t{data[0]} << 16) | (std::uint32_t{data[1]} << 8) | data[2];
        if (microseconds > 0)
            content.tempos.push_back({tick, 60.0e6 / microseconds});
    }
    else if (type == 0x58 && length >= 2 && data[1] <= 6)
        content.meters.push_back({tick, data[0], 1 << data[1]});
    return true;
}

// A channel message whose status is known; `firstData` is its first data
// byte when running status has already read it, or -1.
bool ReadChannelMessage(ByteReader& track, std::uint8_t status, int firstData, std::uint64_t tick,
                        TrackContent& content, int number, std::string& error)
{
    const std::size_t start = track.position();
    const int kind = status & 0xF0;
    const int dataBytes = kind == 0xC0 || kind == 0xD0 ? 1 : 2;
    std::uint8_t data[2] = {0, 0};
    int i = 0;
    if (firstData >= 0)
        data[i++] = static_cast<std::uint8_t>(firstData);
    for (; i < dataBytes; ++i)
    {
        if (!track.byte(data[i]))
            return Fail(error, number, start, "message runs past the end of the track");
        if (data[i] & 0x80)
            return Fail(error, number, start, "status byte where a data byte belongs");
    }

    PerformanceEvent event;
    event.channel = status & 0x0F;
    switch (kind)
    {
    case 0x80:
    case 0x90:
        // A note-on of velocity 0 is a note-off.
        event.kind = kind == 0x90 && data[1] > 0 ? PerformanceEvent::Kind::NoteOn : PerformanceEvent::Kind::NoteOff;
        event.number = data[0];
        event.value = data[1] / 127.0;
        break;
    case 0xA0:
    case 0xB0:
        event.kind = kind == 0xB0 ? PerformanceEvent::Kind::Controller : PerformanceEvent::Kind::PolyPressure;
        event.number = data[0];
        event.value = data[1] / 127.0;
        break;
    case 0xC0:
        event.kind = PerformanceEvent::Kind::ProgramChange;
        event.number = data[0];
        break;
    case 0xD0:
        event.kind = PerformanceEvent::Kind::Controller;
        event.number = Steinberg::Vst::kAfterTouch;
        event.value = data[0] / 127.0;
        break;
    case 0xE0:
        event.kind = PerformanceEvent::Kind::Controller;
        event.number = Steinberg::Vst::kPitchBend;
        event.value = (data[0] | (data[1] << 7)) / 16383.0;
        break;
    default:
        return true;
    }
    content.events.push_back({tick, event});
    return true;
}

bool ReadTrack(ByteReader track, int number, TrackContent& content, std::string& error)
{
    std::uint64_t tick = 0;
    std::uint8_t runningStatus = 0;
    bool ended = false;
    while (!ended && track.left() > 0)
    {
        const std::size_t start = track.position();
        std::uint32_t delta = 0;
        std::uint8_t first = 0;
        if (!track.variable(delta))
            return Fail(error, number, start, "bad or truncated delta time");
        tick += delta;
        if (!track.byte(first))
            return Fail(error, number, start, "delta time without an event");

        if (first == 0xFF)
        {
            runningStatus = 0;
            if (!ReadMeta(track, tick, content, ended, number, error))
                return false;
        }
        else if (first == 0xF0 || first == 0xF7)
        {
            runningStatus = 0;
            std::uint32_t length = 0;
            if (!track.variable(length) || !track.skip(length))
                return Fail(error, number, start, "system exclusive message runs past the end of the track");
        }
        else if (first >= 0xF0)
        {
            return Fail(error, number, start, "system message that a MIDI file cannot hold");
        }
        else if (first >= 0x80)
        {
            runningStatus = first;
            if (!ReadChannelMessage(track, first, -1, tick, content, number, error))
                return false;
        }
        else
        {
            // Running status: the byte read is the first data byte.
            if (runningStatus == 0)
                return Fail(error, number, start, "data byte without a status");
            if (!ReadChannelMessage(track, runningStatus, first, tick, content, number, error))
                return false;
        }
    }
    content.endTick = tick;
    return true;
}

// Seconds of a tick, from the tempo map or from the SMPTE frame rate.
class TickClock
{
public:
    TickClock(std::uint16_t division, const TempoMap& tempo) : tempo_(tempo)
    {
        if (division & 0x8000)
        {
            const int frames = -static_cast<std::int8_t>(division >> 8);
            const double rate = frames == 29 ? 30000.0 / 1001.0 : frames;
            if ((frames == 24 || frames == 25 || frames == 29 || frames == 30) && (division & 0xFF) > 0)
                ticksPerSecond_ = rate * (division & 0xFF);
        }
        else
        {
            ticksPerQuarter_ = division;
        }
    }

    bool valid() const { return ticksPerQuarter_ > 0 || ticksPerSecond_ > 0.0; }
    bool musical() const { return ticksPerQuarter_ > 0; }
    double quarters(std::uint64_t tick) const { return static_cast<double>(tick) / ticksPerQuarter_; }
    double seconds(std::uint64_t tick) const
    {
        return musical() ? tempo_.secondsAt(quarters(tick)) : static_cast<double>(tick) / ticksPerSecond_;
    }

private:
    const TempoMap& tempo_;
    int ticksPerQuarter_ = 0;
    double ticksPerSecond_ = 0.0;
};
} // namespace

bool ParseMidiFile(const unsigned char* bytes, std::size_t size, Performance& performance, std::string& error)
{
    ByteReader file(bytes, size);
    std::uint32_t headerLength = 0;
    std::uint32_t format = 0;
    std::uint32_t trackCount = 0;
    std::uint32_t division = 0;
    if (size < 14 || std::memcmp(bytes, "MThd", 4) != 0)
    {
        error = "not a Standard MIDI File (no MThd header)";
        return false;
    }
    file.skip(4);
    if (!file.bigEndian(4, headerLength) || headerLength < 6 || !file.bigEndian(2, format) ||
        !file.bigEndian(2, trackCount) || !file.bigEndian(2, division) || !file.skip(headerLength - 6))
    {
        error = "the MIDI file header is damaged";
        return false;
    }
    if (format > 1)
    {
        error = "MIDI file format " + std::to_string(format) + " is not supported (only 0 and 1)";
        return false;
    }
    if (trackCount == 0)
    {
        error = "the MIDI file has no tracks";
        return false;
    }

    Performance parsed;
    TickClock clock(static_cast<std::uint16_t>(division), parsed.tempo);
    if (!clock.valid())
    {
        error = "the MIDI file's time division " + std::to_string(division) + " is not valid";
        return false;
    }

    std::vector<TrackContent> tracks;
    while (tracks.size() < trackCount && file.left() > 0)
    {
        const std::size_t start = file.position();
        char id[4];
        std::uint32_t length = 0;
        if (file.left() < 8)
        {
            error = "chunk header at byte " + std::to_string(start) + " is truncated";
            return false;
        }
        std::memcpy(id, file.here(), 4);
        file.skip(4);
        file.bigEndian(4, length);
        if (length > file.left())
        {
            error = "chunk at byte " + std::to_string(start) + " is truncated: it needs " + std::to_string(length) +
                    " bytes, " + std::to_string(file.left()) + " are left";
            return false;
        }
        // Chunks of other kinds are skipped, as the format asks.
        if (std::memcmp(id, "MTrk", 4) == 0)
        {
            tracks.emplace_back();
            const int number = static_cast<int>(tracks.size()) - 1;
            if (!ReadTrack(ByteReader(file.here(), length), number, tracks.back(), error))
                return false;
        }
        file.skip(length);
    }
    if (tracks.size() < trackCount)
    {
        error = "the MIDI file announces " + std::to_string(trackCount) + " tracks but holds " +
                std::to_string(tracks.size());
        return false;
    }

    // Tempo and meter changes count from any track. With an SMPTE time base
    // they do not move events, and the context keeps the default tempo.
    if (clock.musical())
    {
        for (const auto& track : tracks)
        {
            for (const auto& change : track.tempos)
                parsed.tempo.setTempo(clock.quarters(change.tick), change.bpm);
            for (const auto& change : track.meters)
                parsed.tempo.setTimeSignature(clock.quarters(change.tick), change.numerator, change.denominator);
        }
    }

    std::vector<TimedEvent> merged;
    std::uint64_t endTick = 0;
    for (auto& track : tracks)
    {
        merged.insert(merged.end(), track.events.begin(), track.events.end());
        endTick = std::max(endTick, track.endTick);
    }
    std::stable_sort(merged.begin(), merged.end(),
                     [](const TimedEvent& a, const TimedEvent& b) { return a.tick < b.tick; });
    parsed.events.reserve(merged.size());
    for (auto& timed : merged)
    {
        timed.event.seconds = clock.seconds(timed.tick);
        parsed.events.push_back(timed.event);
    }
    parsed.endSeconds = clock.seconds(endTick);
    performance = std::move(parsed);
    return true;
}

bool LoadMidiFile(const std::string& path, Performance& performance, std::string& error)
{
    std::vector<char> bytes;
    if (!ReadFileBytes(path, kMaxMidiFileBytes, bytes, error))
        return false;
    if (!ParseMidiFile(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), performance, error))
    {
        error = path + ": " + error;
        return false;
    }
    return true;
}
