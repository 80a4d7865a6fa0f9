#pragma once
// The host's note-list text: one event a line, times in seconds, "#" starts
// a comment. Numbers use "." whatever the locale.
//
//   tempo 120                       beats per minute (default 120)
//   time_signature 3 4
//   end 4.0                         render at least this long
//   0.0 note_on 60 100 [channel]    key 0-127, velocity 1-127, channel 1-16
//   1.0 note_off 60 [velocity] [channel]
//   0.5 param 0 0.75                host parameter id, normalized value 0-1
//   0.5 cc 7 64 [channel]           MIDI controller 0-127, value 0-127

#include <string>

#include "tools/kvhost/Performance.h"

// False with "line N: ..." in `error` on the first line that cannot be read.
bool ParseNoteList(const std::string& text, Performance& performance, std::string& error);
bool LoadNoteList(const std::string& path, Performance& performance, std::string& error);
