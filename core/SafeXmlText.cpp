#include "core/SafeXmlText.h"

#include <cstring>

#include "core/ModuleXml.h"

namespace
{
// Bytes the parser takes for the character that starts with this byte.
std::size_t CharacterLength(unsigned char lead)
{
    if (lead >= 0xF0)
        return 4;
    if (lead >= 0xE0)
        return 3;
    if (lead >= 0xC0)
        return 2;
    return 1;
}
} // namespace

bool IsSafeXmlText(const std::string& text)
{
    if (std::memchr(text.data(), 0, text.size()) != nullptr)
        return false;
    // Only the last three bytes can start a character longer than what is left.
    const std::size_t size = text.size();
    for (std::size_t i = size >= 3 ? size - 3 : 0; i < size; ++i)
        if (i + CharacterLength(static_cast<unsigned char>(text[i])) > size)
            return false;
    return XmlNestingWithin(text.c_str());
}
