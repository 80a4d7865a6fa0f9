#pragma once
// Small helpers for reading module-description XML and the other XML documents
// of the system.

#include <string>
#include <vector>

class TiXmlElement;

// Deepest element nesting that the XML readers accept. The DOM parser recurses
// once per level, so a deeper document could overflow the stack.
constexpr int kMaxXmlNestingDepth = 1000;

// The text, or "" for a null pointer: attribute reads go through this.
const char* FixNullCharPtr(const char* text);

// The number of an attribute, read as ValueRule::ParseNumber reads a text,
// whatever the locale: false, and value unchanged, when the attribute is
// missing or is no finite number.
bool XmlNumberAttribute(const TiXmlElement& element, const char* name, double& value);

// Splits white-space-separated items; an item in double or single quotes may
// hold blanks ('a "b c" d' gives a, b c, d).
void XmlSplitString(const char* text, std::vector<std::string>& items);

// A cheap scan of the element nesting of an XML text, without parsing it:
// false when some element lies deeper than maxDepth. Comments, CDATA,
// declarations and quoted attribute values are skipped.
bool XmlNestingWithin(const char* text, int maxDepth = kMaxXmlNestingDepth);
