#include "tools/kvhost/NoteList.h"

#include <charconv>
#include <cmath>
#include <sstream>
#include <vector>

#include "tools/kvhost/FileBytes.h"

namespace
{
constexpr std::size_t kMaxNoteListBytes = std::size_t{64} << 20;

std::vector<std::string> Tokens(const std::string& line)
{
    std::vector<std::string> tokens;
    std::size_t at = 0;
    const std::string blanks = " \t\r\v\f";
    while (at < line.size())
    {
        at = line.find_first_not_of(blanks, at);
        if (at == std::string::npos || line[at] == '#')
            break;
        const auto end = line.find_first_of(blanks + "#", at);
        tokens.push_back(line.substr(at, end == std::string::npos ? std::string::npos : end - at));
        at = end;
    }
    return tokens;
}

// The whole token as a number, independent of the locale.
bool Number(const std::string& token, double& value)
{
    const char* end = token.data() + token.size();
    auto [ptr, code] = std::from_chars(token.data(), end, value);
    return code == std::errc() && ptr == end && std::isfinite(value);
}

bool Integer(const std::string& token, int low, int high, int& value)
{
    const char* end = token.data() + token.size();
    auto [ptr, code] = std::from_chars(token.data(), end, value);
    return code == std::errc() && ptr == end && value >= low && value <= high;
}

class LineReader
{
public:
    LineReader(Performance& performance, std::string& error) : performance_(performance), error_(error) {}

    bool read(const std::vector<std::string>& tokens)
    {
        const std::string& first = tokens[0];
        if (first == "tempo")
            return tempo(tokens);
        if (first == "time_signature")
            return timeSignature(tokens);
        if (first == "end")
            return end(tokens);

        double seconds = 0.0;
        if (!Number(first, seconds) || seconds < 0.0)
            return fail("a line starts with a time in seconds (0 or more) or a setting, not \"" + first + "\"");
        if (tokens.size() < 2)
            return fail("the time " + first + " is followed by no event");
        PerformanceEvent event;
        event.seconds = seconds;
        const std::string& kind = tokens[1];
        if (kind == "note_on")
            return note(tokens, event, true);
        if (kind == "note_off")
            return note(tokens, event, false);
        if (kind == "param")
            return parameter(tokens, event);
        if (kind == "cc")
            return controller(tokens, event);
        return fail("unknown event \"" + kind + "\" (note_on, note_off, param or cc)");
    }

private:
    bool fail(const std::string& message)
    {
        error_ = message;
        return false;
    }

    bool count(const std::vector<std::string>& tokens, std::size_t least, std::size_t most, const char* usage)
    {
        if (tokens.size() < least || tokens.size() > most)
            return fail(std::string("expected \"") + usage + "\"");
        return true;
    }

    bool channel(const std::vector<std::string>& tokens, std::size_t at, PerformanceEvent& event)
    {
        int value = 1;
        if (tokens.size() > at && !Integer(tokens[at], 1, 16, value))
            return fail("channel \"" + tokens[at] + "\" is not 1 to 16");
        event.channel = value - 1;
        return true;
    }

    bool tempo(const std::vector<std::string>& tokens)
    {
        double bpm = 0.0;
        if (!count(tokens, 2, 2, "tempo <bpm>"))
            return false;
        if (!Number(tokens[1], bpm) || !performance_.tempo.setTempo(0.0, bpm))
            return fail("tempo \"" + tokens[1] + "\" is not a positive number");
        return true;
    }

    bool timeSignature(const std::vector<std::string>& tokens)
    {
        int numerator = 0;
        int denominator = 0;
        if (!count(tokens, 3, 3, "time_signature <numerator> <denominator>"))
            return false;
        if (!Integer(tokens[1], 1, 255, numerator) || !Integer(tokens[2], 1, 64, denominator) ||
            !performance_.tempo.setTimeSignature(0.0, numerator, denominator))
            return fail("time signature needs a numerator 1-255 and a denominator that is a power of 2");
        return true;
    }

    bool end(const std::vector<std::string>& tokens)
    {
        double seconds = 0.0;
        if (!count(tokens, 2, 2, "end <seconds>"))
            return false;
        if (!Number(tokens[1], seconds) || seconds < 0.0)
            return fail("end \"" + tokens[1] + "\" is not a time in seconds");
        performance_.endSeconds = seconds;
        return true;
    }

    bool note(const std::vector<std::string>& tokens, PerformanceEvent& event, bool on)
    {
        if (on && !count(tokens, 4, 5, "<time> note_on <key> <velocity 1-127> [channel]"))
            return false;
        if (!on && !count(tokens, 3, 5, "<time> note_off <key> [velocity] [channel]"))
            return false;
        if (!Integer(tokens[2], 0, 127, event.number))
            return fail("key \"" + tokens[2] + "\" is not 0 to 127");
        int velocity = on ? 0 : 64;
        if (tokens.size() > 3 && !Integer(tokens[3], on ? 1 : 0, 127, velocity))
            return fail("velocity \"" + tokens[3] + (on ? "\" is not 1 to 127" : "\" is not 0 to 127"));
        if (!channel(tokens, 4, event))
            return false;
        event.kind = on ? PerformanceEvent::Kind::NoteOn : PerformanceEvent::Kind::NoteOff;
        event.value = velocity / 127.0;
        performance_.events.push_back(event);
        return true;
    }

    bool parameter(const std::vector<std::string>& tokens, PerformanceEvent& event)
    {
        if (!count(tokens, 4, 4, "<time> param <id> <value 0-1>"))
            return false;
        const char* end = tokens[2].data() + tokens[2].size();
        auto [ptr, code] = std::from_chars(tokens[2].data(), end, event.parameterId);
        if (code != std::errc() || ptr != end)
            return fail("parameter id \"" + tokens[2] + "\" is not a number from 0 to 4294967295");
        if (!Number(tokens[3], event.value) || event.value < 0.0 || event.value > 1.0)
            return fail("parameter value \"" + tokens[3] + "\" is not 0 to 1");
        event.kind = PerformanceEvent::Kind::Parameter;
        performance_.events.push_back(event);
        return true;
    }

    bool controller(const std::vector<std::string>& tokens, PerformanceEvent& event)
    {
        int value = 0;
        if (!count(tokens, 4, 5, "<time> cc <controller 0-127> <value 0-127> [channel]"))
            return false;
        if (!Integer(tokens[2], 0, 127, event.number))
            return fail("controller \"" + tokens[2] + "\" is not 0 to 127");
        if (!Integer(tokens[3], 0, 127, value))
            return fail("controller value \"" + tokens[3] + "\" is not 0 to 127");
        if (!channel(tokens, 4, event))
            return false;
        event.kind = PerformanceEvent::Kind::Controller;
        event.value = value / 127.0;
        performance_.events.push_back(event);
        return true;
    }

    Performance& performance_;
    std::string& error_;
};
} // namespace

bool ParseNoteList(const std::string& text, Performance& performance, std::string& error)
{
    Performance parsed;
    LineReader reader(parsed, error);
    std::istringstream lines(text);
    std::string line;
    int number = 0;
    while (std::getline(lines, line))
    {
        ++number;
        const auto tokens = Tokens(line);
        if (tokens.empty())
            continue;
        if (!reader.read(tokens))
        {
            error = "line " + std::to_string(number) + ": " + error;
            return false;
        }
    }
    parsed.sortByTime();
    performance = std::move(parsed);
    return true;
}

bool LoadNoteList(const std::string& path, Performance& performance, std::string& error)
{
    std::vector<char> bytes;
    if (!ReadFileBytes(path, kMaxNoteListBytes, bytes, error))
        return false;
    if (!ParseNoteList(std::string(bytes.begin(), bytes.end()), performance, error))
    {
        error = path + ": " + error;
        return false;
    }
    return true;
}
