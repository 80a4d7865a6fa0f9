#pragma once
// Base64 with the standard alphabet and "=" padding, no line breaks.
// Both sides take and give std::string used as a byte container.
// Decoding does not validate: it keeps the results that stored documents rely
// on (unknown characters act as all-ones bits, an "=" in the third or fourth
// place of a group ends decoding), but never reads outside the text.

#include <string>

namespace Base64
{
std::string encode(const std::string& bytes);
std::string decode(const std::string& text);
} // namespace Base64
