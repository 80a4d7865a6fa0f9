#pragma once
// XML names of pin datatypes. "float" names both float (6) and audio (5); an
// audio pin is told apart by its "rate" attribute, so a name always gives 6.

#include <string>

// out := 6 first; empty text gives true with 6; a known name true and its code;
// any other text false (out stays 6).
bool XmlStringToDatatype(const std::string& text, int& out);
// The name of the first row with that code; empty when none.
std::string XmlStringFromDatatype(int datatype);
