#pragma once
// The checks a text from a file, the host or another thread must pass before
// it goes to the XML parser, which trusts its input: no zero byte (the parser
// would stop there and the rest would be taken for gone), nesting the parser
// can take, and no multi-byte character cut off at the end (the parser steps
// over a whole character and would read past the text).

#include <string>

bool IsSafeXmlText(const std::string& text);
