#include "core/ModuleXml.h"

#include <cstring>

#include <tinyxml.h>

#include "core/ValueRule.h"

namespace
{
bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

bool isQuote(char c)
{
    return c == '"' || c == '\'';
}

// Position just after the next occurrence of the terminator, or the end of the text.
const char* skipPast(const char* p, const char* terminator)
{
    const char* found = std::strstr(p, terminator);
    return found ? found + std::strlen(terminator) : p + std::strlen(p);
}

bool startsWith(const char* p, const char* prefix)
{
    return std::strncmp(p, prefix, std::strlen(prefix)) == 0;
}
} // namespace

const char* FixNullCharPtr(const char* text)
{
    return text ? text : "";
}

void XmlSplitString(const char* text, std::vector<std::string>& items)
{
    if (!text)
        return;

    const char* p = text;
    for (;;)
    {
        while (*p && isBlank(*p))
            ++p;
        if (!*p)
            return;

        if (isQuote(*p))
        {
            const char quote = *p++;
            const char* start = p;
            while (*p && *p != quote)
                ++p;
            items.emplace_back(start, p);
            if (*p)
                ++p; // closing quote
        }
        else
        {
            const char* start = p;
            while (*p && !isBlank(*p) && !isQuote(*p))
                ++p;
            items.emplace_back(start, p);
        }
    }
}

bool XmlNestingWithin(const char* text, int maxDepth)
{
    if (!text)
        return true;

    int depth = 0;
    const char* p = text;
    while (*p)
    {
        if (*p != '<')
        {
            ++p;
            continue;
        }
        if (startsWith(p, "<!--"))
        {
            p = skipPast(p + 4, "-->");
            continue;
        }
        if (startsWith(p, "<![CDATA["))
        {
            p = skipPast(p + 9, "]]>");
            continue;
        }
        if (p[1] == '?' || p[1] == '!')
        {
            p = skipPast(p + 2, ">");
            continue;
        }
        if (p[1] == '/')
        {
            if (depth > 0)
                --depth;
            p = skipPast(p + 2, ">");
            continue;
        }

        // A start tag: find its closing '>', stepping over quoted attribute values.
        ++p;
        char quote = 0;
        while (*p && (quote || *p != '>'))
        {
            if (quote)
            {
                if (*p == quote)
                    quote = 0;
            }
            else if (isQuote(*p))
            {
                quote = *p;
            }
            ++p;
        }
        if (!*p)
            break;
        const bool selfClosing = p[-1] == '/';
        ++p;
        if (!selfClosing && ++depth > maxDepth)
            return false;
    }
    return true;
}

bool XmlNumberAttribute(const TiXmlElement& element, const char* name, double& value)
{
    const char* text = element.Attribute(name);
    return text != nullptr && ValueRule::ParseNumber(text, value);
}
