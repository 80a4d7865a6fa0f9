#pragma once
// The processor state chunk: an int32 byte count in the machine's byte order,
// then the preset state document as UTF-8 text without a terminating zero.

#include <string>

#include "pluginterfaces/base/ibstream.h"

namespace StateChunk
{
// Chunks larger than this are refused.
constexpr int kMaxBytes = 64 << 20;

// Reads a whole chunk. False, with text empty, when the count is missing,
// negative, above kMaxBytes or larger than what the stream holds. The text is
// read in pieces, so a false count allocates nothing in advance.
bool Read(Steinberg::IBStream* stream, std::string& text);

// Writes the count and the text; false when the stream took less.
bool Write(Steinberg::IBStream* stream, const std::string& text);

// True for an empty text (no state) and for a document whose root element is
// "Parameters" and whose nesting the parser can take; `program` (when
// given) takes the program the state names, or -1.
bool IsPresetState(const std::string& text, int* program = nullptr);
} // namespace StateChunk
