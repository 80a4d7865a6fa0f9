#pragma once
// Standard MIDI Files (format 0 and 1) as a performance: notes, controllers,
// channel and polyphonic pressure, program changes and pitch bend with their times from the file's tempo map
// (or its SMPTE time base), tempo and time-signature changes for the process
// context. Every read is bounded by its chunk; a damaged file is refused with
// a message that says where.

#include <string>
#include <vector>

#include "tools/kvhost/Performance.h"

bool ParseMidiFile(const unsigned char* bytes, std::size_t size, Performance& performance, std::string& error);
bool LoadMidiFile(const std::string& path, Performance& performance, std::string& error);
