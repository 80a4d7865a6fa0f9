#pragma once
// Text content that TinyXML gives back exactly as it was written.
//
// TinyXML's reader condenses runs of blanks inside text content to one,
// trims blanks at both ends and drops a text that is nothing but blanks. Its
// switch for that (TiXmlBase::SetCondenseWhiteSpace) is one flag for the whole
// process, shared with the host and with any other plug-in that uses the same
// library, and read by every parse on every thread; it is left alone. Instead
// a text that would not survive plain is written as CDATA, which the reader
// keeps byte for byte (a "]]>" inside is split over two sections), and the
// reader joins every text piece of the element. Attribute values already
// come back exactly and need none of this.

#include <string>

class TiXmlElement;

// Adds `value` as the text content of `element`.
void AppendExactXmlText(TiXmlElement* element, const std::string& value);

// The text content of `element`: all its text pieces, CDATA or not, joined;
// empty when it has none.
std::string ExactXmlText(const TiXmlElement* element);

// True when `value` written as plain text content would read back different.
bool NeedsExactXmlText(const std::string& value);
