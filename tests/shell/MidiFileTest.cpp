#include "tools/kvhost/MidiFile.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <vector>

#include "ShellTestSupport.h"
#include "pluginterfaces/vst/ivstmidicontrollers.h"

using Kind = PerformanceEvent::Kind;
using Bytes = std::vector<unsigned char>;

namespace
{
void Append(Bytes& out, std::initializer_list<int> bytes)
{
    for (int b : bytes)
        out.push_back(static_cast<unsigned char>(b));
}

void Append32(Bytes& out, std::uint32_t value)
{
    Append(out, {int(value >> 24), int((value >> 16) & 0xFF), int((value >> 8) & 0xFF), int(value & 0xFF)});
}

Bytes Header(int format, int tracks, int division)
{
    Bytes out;
    Append(out, {'M', 'T', 'h', 'd'});
    Append32(out, 6);
    Append(out, {0, format, tracks >> 8, tracks & 0xFF, division >> 8, division & 0xFF});
    return out;
}

void Track(Bytes& out, const Bytes& events)
{
    Append(out, {'M', 'T', 'r', 'k'});
    Append32(out, static_cast<std::uint32_t>(events.size()));
    out.insert(out.end(), events.begin(), events.end());
}

bool Parse(const Bytes& file, Performance& performance, std::string& error)
{
    return ParseMidiFile(file.data(), file.size(), performance, error);
}

} // namespace

TEST(MidiFile, FormatZeroNotesTakeTheirTimesFromTheTempo)
{
    // 480 ticks a quarter at 500000 us a quarter (120 bpm): 480 ticks = 0.5 s.
    Bytes events;
    Append(events, {0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20});
    Append(events, {0x00, 0x90, 69, 100});
    Append(events, {0x83, 0x60, 0x80, 69, 40});       // delta 480
    Append(events, {0x83, 0x60, 0x91, 70, 127});      // channel 2, at 960
    Append(events, {0x00, 71, 0});                    // running status, velocity 0: a note-off
    Append(events, {0x00, 0xFF, 0x2F, 0x00});
    Bytes file = Header(0, 1, 480);
    Track(file, events);

    Performance performance;
    std::string error;
    ASSERT_TRUE(Parse(file, performance, error)) << error;
    ASSERT_EQ(performance.events.size(), 4u);
    EXPECT_EQ(performance.events[0].kind, Kind::NoteOn);
    EXPECT_EQ(performance.events[0].number, 69);
    EXPECT_DOUBLE_EQ(performance.events[0].value, 100 / 127.0);
    EXPECT_EQ(performance.events[1].kind, Kind::NoteOff);
    EXPECT_DOUBLE_EQ(performance.events[1].seconds, 0.5);
    EXPECT_DOUBLE_EQ(performance.events[1].value, 40 / 127.0);
    EXPECT_EQ(performance.events[2].channel, 1);
    EXPECT_DOUBLE_EQ(performance.events[2].seconds, 1.0);
    EXPECT_EQ(performance.events[3].kind, Kind::NoteOff);
    EXPECT_EQ(performance.events[3].number, 71);
    EXPECT_DOUBLE_EQ(performance.endSeconds, 1.0);
}

TEST(MidiFile, FormatOneMergesTracksUnderTheTempoTrack)
{
    // Track 0: 120 bpm, then 60 bpm from quarter 2; meter 3/4. Track 1: the music.
    Bytes tempo;
    Append(tempo, {0x00, 0xFF, 0x58, 0x04, 3, 2, 24, 8});
    Append(tempo, {0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20});
    Append(tempo, {0x87, 0x40, 0xFF, 0x51, 0x03, 0x0F, 0x42, 0x40}); // at tick 960
    Append(tempo, {0x00, 0xFF, 0x2F, 0x00});
    Bytes music;
    Append(music, {0x00, 0xB0, 7, 64});
    Append(music, {0x8B, 0x20, 0x90, 60, 90});                       // tick 1440: quarter 3
    Append(music, {0x00, 0xE0, 0x00, 0x40});                          // pitch bend centre
    Append(music, {0x00, 0xD3, 100});                                 // channel pressure
    Append(music, {0x00, 0xC0, 5});                                   // program change
    Append(music, {0x00, 0xA2, 60, 33});                              // poly pressure on key 60
    Append(music, {0x00, 0xF0, 0x03, 0x7E, 0x01, 0xF7});              // system exclusive: skipped
    Append(music, {0x00, 0xFF, 0x2F, 0x00});
    Bytes file = Header(1, 2, 480);
    Track(file, tempo);
    Track(file, music);

    Performance performance;
    std::string error;
    ASSERT_TRUE(Parse(file, performance, error)) << error;
    ASSERT_EQ(performance.events.size(), 6u);
    EXPECT_EQ(performance.events[0].kind, Kind::Controller);
    EXPECT_EQ(performance.events[0].number, 7);
    EXPECT_DOUBLE_EQ(performance.events[0].value, 64 / 127.0);

    // Two quarters at 120 bpm (1 s), one at 60 bpm (1 s).
    EXPECT_DOUBLE_EQ(performance.events[1].seconds, 2.0);
    EXPECT_EQ(performance.events[1].kind, Kind::NoteOn);
    EXPECT_EQ(performance.events[2].number, Steinberg::Vst::kPitchBend);
    EXPECT_DOUBLE_EQ(performance.events[2].value, 8192 / 16383.0);
    EXPECT_EQ(performance.events[3].number, Steinberg::Vst::kAfterTouch);
    EXPECT_EQ(performance.events[3].channel, 3);
    EXPECT_EQ(performance.events[4].kind, Kind::ProgramChange);
    EXPECT_EQ(performance.events[4].number, 5);
    EXPECT_EQ(performance.events[5].kind, Kind::PolyPressure);
    EXPECT_EQ(performance.events[5].number, 60);
    EXPECT_EQ(performance.events[5].channel, 2);
    EXPECT_DOUBLE_EQ(performance.events[5].value, 33 / 127.0);

    EXPECT_DOUBLE_EQ(performance.tempo.tempoAt(1.5), 60.0);
    int numerator = 0;
    int denominator = 0;
    double barStart = 0.0;
    performance.tempo.timeSignatureAt(4.0, numerator, denominator, barStart);
    EXPECT_EQ(numerator, 3);
    EXPECT_EQ(denominator, 4);
    EXPECT_DOUBLE_EQ(barStart, 3.0);
}

TEST(MidiFile, SmpteTimeBaseCountsTicksInFrames)
{
    // 25 frames a second, 40 ticks a frame: 1000 ticks a second.
    Bytes events;
    Append(events, {0x87, 0x68, 0x90, 64, 64}); // tick 1000
    Append(events, {0x00, 0xFF, 0x2F, 0x00});
    Bytes file = Header(0, 1, ((256 - 25) << 8) | 40);
    Track(file, events);

    Performance performance;
    std::string error;
    ASSERT_TRUE(Parse(file, performance, error)) << error;
    ASSERT_EQ(performance.events.size(), 1u);
    EXPECT_DOUBLE_EQ(performance.events[0].seconds, 1.0);
}

TEST(MidiFile, UnknownChunksAreSkipped)
{
    Bytes events;
    Append(events, {0x00, 0x90, 60, 100, 0x00, 0xFF, 0x2F, 0x00});
    Bytes file = Header(0, 1, 96);
    Append(file, {'X', 'Y', 'Z', 'W', 0, 0, 0, 2, 0xAA, 0xBB});
    Track(file, events);
    Performance performance;
    std::string error;
    ASSERT_TRUE(Parse(file, performance, error)) << error;
    EXPECT_EQ(performance.events.size(), 1u);
}

TEST(MidiFile, DamagedFilesAreRefusedWithAReason)
{
    auto withTrack = [](int format, int tracks, int division, const Bytes& events) {
        Bytes file = Header(format, tracks, division);
        Track(file, events);
        return file;
    };
    Bytes truncated = withTrack(0, 1, 96, Bytes{0x00, 0x90, 60, 100, 0x00, 0xFF, 0x2F, 0x00});
    truncated.resize(truncated.size() - 3);
    Bytes badLength = Header(0, 1, 96);
    Append(badLength, {'M', 'T', 'r', 'k', 0x7F, 0xFF, 0xFF, 0xFF, 0x00});

    const std::pair<Bytes, const char*> cases[] = {
        {Bytes{'R', 'I', 'F', 'F', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, "no MThd"},
        {Bytes{'M', 'T', 'h', 'd'}, "no MThd"},
        {truncated, "truncated"},
        {badLength, "truncated"},
        {Header(0, 2, 96), "announces 2 tracks but holds 0"},
        {withTrack(2, 1, 96, Bytes{0x00, 0xFF, 0x2F, 0x00}), "format 2"},
        {withTrack(0, 0, 96, Bytes{0x00, 0xFF, 0x2F, 0x00}), "no tracks"},
        {withTrack(0, 1, 0, Bytes{0x00, 0xFF, 0x2F, 0x00}), "division"},
        {withTrack(0, 1, 96, Bytes{0x00, 60, 100}), "data byte without a status"},
        {withTrack(0, 1, 96, Bytes{0x00, 0x90, 60}), "past the end"},
        {withTrack(0, 1, 96, Bytes{0x00, 0x90, 60, 0x90}), "status byte where a data byte"},
        {withTrack(0, 1, 96, Bytes{0xFF, 0xFF, 0xFF, 0xFF, 0x7F}), "delta time"},
        {withTrack(0, 1, 96, Bytes{0x00, 0xFF, 0x51, 0x10, 0x00}), "meta event runs past"},
        {withTrack(0, 1, 96, Bytes{0x00, 0xF0, 0x7F, 0x00}), "system exclusive"},
        {withTrack(0, 1, 96, Bytes{0x00, 0xF8}), "cannot hold"},
    };
    for (const auto& [file, expected] : cases)
    {
        Performance performance;
        std::string error;
        EXPECT_FALSE(Parse(file, performance, error)) << expected;
        EXPECT_NE(error.find(expected), std::string::npos) << expected << " -> " << error;
    }
}

TEST(MidiFile, AFileIsNamedInTheMessageWhenItIsRefused)
{
    shell_test::ScratchFolder scratch;
    shell_test::WriteText(scratch.path() / "broken.mid", "MThd");
    Performance performance;
    std::string error;
    EXPECT_FALSE(LoadMidiFile(scratch.file("broken.mid"), performance, error));
    EXPECT_NE(error.find("broken.mid"), std::string::npos);
    EXPECT_NE(error.find("MThd"), std::string::npos);
}
