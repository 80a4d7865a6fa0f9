#include "core/ExactXmlText.h"

#include <tinyxml.h>

namespace
{
bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}
} // namespace

bool NeedsExactXmlText(const std::string& value)
{
    if (value.empty())
        return false;
    if (IsBlank(value.front()) || IsBlank(value.back()))
        return true;
    // Only a run of raw blanks is condensed; other control characters are
    // written as character references, which the reader leaves alone.
    for (std::size_t i = 1; i < value.size(); ++i)
    {
        if (value[i] == ' ' && value[i - 1] == ' ')
            return true;
    }
    return false;
}

void AppendExactXmlText(TiXmlElement* element, const std::string& value)
{
    if (!element || value.empty())
        return;
    if (!NeedsExactXmlText(value))
    {
        element->LinkEndChild(new TiXmlText(value.c_str()));
        return;
    }
    // A CDATA section ends at the first "]]>": cut after its "]]".
    std::size_t start = 0;
    for (;;)
    {
        const std::size_t end = value.find("]]>", start);
        const std::size_t cut = end == std::string::npos ? value.size() : end + 2;
        auto* piece = new TiXmlText(value.substr(start, cut - start).c_str());
        piece->SetCDATA(true);
        element->LinkEndChild(piece);
        if (end == std::string::npos)
            return;
        start = cut;
    }
}

std::string ExactXmlText(const TiXmlElement* element)
{
    std::string text;
    if (!element)
        return text;
    for (const TiXmlNode* child = element->FirstChild(); child; child = child->NextSibling())
    {
        if (const TiXmlText* piece = child->ToText())
            text += piece->Value();
    }
    return text;
}
