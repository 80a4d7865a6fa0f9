#include "tools/kvhost/NoteList.h"

#include <gtest/gtest.h>

#include "ShellTestSupport.h"

using Kind = PerformanceEvent::Kind;

TEST(NoteList, EveryKindOfLineIsRead)
{
    const std::string text = "# a comment line\n"
                             "tempo 90\n"
                             "time_signature 3 4\n"
                             "\n"
                             "0.5 note_on 60 127   # trailing comment\n"
                             "1 note_off 60\n"
                             "0.25 param 4000000000 0.75\n"
                             "2 cc 7 64 16\n"
                             "1.5 note_on 61 1 2\n"
                             "end 10\n";
    Performance performance;
    std::string error;
    ASSERT_TRUE(ParseNoteList(text, performance, error)) << error;
    ASSERT_EQ(performance.events.size(), 5u);

    const auto& parameter = performance.events[0];
    EXPECT_EQ(parameter.kind, Kind::Parameter);
    EXPECT_DOUBLE_EQ(parameter.seconds, 0.25);
    EXPECT_EQ(parameter.parameterId, 4000000000u);
    EXPECT_DOUBLE_EQ(parameter.value, 0.75);

    const auto& on = performance.events[1];
    EXPECT_EQ(on.kind, Kind::NoteOn);
    EXPECT_EQ(on.number, 60);
    EXPECT_DOUBLE_EQ(on.value, 1.0);
    EXPECT_EQ(on.channel, 0);

    EXPECT_EQ(performance.events[2].kind, Kind::NoteOff);
    EXPECT_DOUBLE_EQ(performance.events[2].value, 64 / 127.0);
    EXPECT_DOUBLE_EQ(performance.events[3].value, 1 / 127.0);
    EXPECT_EQ(performance.events[3].channel, 1);

    const auto& controller = performance.events[4];
    EXPECT_EQ(controller.kind, Kind::Controller);
    EXPECT_EQ(controller.number, 7);
    EXPECT_DOUBLE_EQ(controller.value, 64 / 127.0);
    EXPECT_EQ(controller.channel, 15);

    EXPECT_DOUBLE_EQ(performance.endSeconds, 10.0);
    EXPECT_DOUBLE_EQ(performance.lastSeconds(), 10.0);
    EXPECT_DOUBLE_EQ(performance.tempo.tempoAt(0.0), 90.0);
    int numerator = 0;
    int denominator = 0;
    double barStart = 0.0;
    performance.tempo.timeSignatureAt(0.0, numerator, denominator, barStart);
    EXPECT_EQ(numerator, 3);
}

TEST(NoteList, EventsAtTheSameTimeKeepTheirOrder)
{
    Performance performance;
    std::string error;
    ASSERT_TRUE(ParseNoteList("1 note_off 60\n1 note_on 60 100\n0 note_on 60 100\n", performance, error));
    EXPECT_EQ(performance.events[0].kind, Kind::NoteOn);
    EXPECT_EQ(performance.events[1].kind, Kind::NoteOff);
    EXPECT_EQ(performance.events[2].kind, Kind::NoteOn);
}

TEST(NoteList, ABadOrTruncatedLineIsRefusedWithItsLineNumber)
{
    const std::pair<const char*, const char*> cases[] = {
        {"0 note_on 60 100\n1 note_on 60", "line 2:"},      // cut after the key
        {"0 note_on 60 100\n1 note_o", "line 2: unknown event"},
        {"1.0", "line 1: the time 1.0 is followed by no event"},
        {"0 note_on 128 100", "key"},
        {"0 note_on 60 0", "velocity"},                        // a note-on is never silent
        {"0 note_on 60 100 17", "channel"},
        {"0 param 1 1.5", "parameter value"},
        {"0 param -1 0.5", "parameter id"},
        {"0 cc 7 128", "controller value"},
        {"-1 note_on 60 100", "line 1"},
        {"0,5 note_on 60 100", "line 1"},                      // a decimal comma is not a number
        {"nan note_on 60 100", "line 1"},
        {"tempo 0", "tempo"},
        {"time_signature 4 3", "time signature"},
        {"0 note_on 60 100 1 extra", "expected"},
    };
    for (const auto& [text, expected] : cases)
    {
        Performance performance;
        std::string error;
        EXPECT_FALSE(ParseNoteList(text, performance, error)) << text;
        EXPECT_NE(error.find(expected), std::string::npos) << text << " -> " << error;
    }
}

TEST(NoteList, AMissingFileIsNamedInTheMessage)
{
    Performance performance;
    std::string error;
    EXPECT_FALSE(LoadNoteList("/nonexistent/notes.txt", performance, error));
    EXPECT_NE(error.find("/nonexistent/notes.txt"), std::string::npos);
}
