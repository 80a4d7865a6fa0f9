#include "shell/KvProgramList.h"

#include <tinyxml.h>

#include <algorithm>

#include "core/ExactXmlText.h"
#include "core/ModuleXml.h"
#include "core/SafeXmlText.h"
#include "core/conversion.h"
#include "shell/KvParameterList.h"

namespace
{
// The host control that carries a program's name (a text).
constexpr int kProgramNameControl = 4;
constexpr int kTextType = 1;
} // namespace

std::vector<std::string> KvProgramList::Read(const std::string& text)
{
    std::vector<std::string> given;
    std::size_t count = 1;
    if (!text.empty() && IsSafeXmlText(text))
    {
        TiXmlDocument document;
        document.Parse(text.c_str());
        const TiXmlElement* root = document.Error() ? nullptr : document.RootElement();
        const TiXmlElement* list = KvParameterList::FindList(root);
        bool named = false;
        for (const TiXmlElement* element = list ? list->FirstChildElement("Parameter") : nullptr; element;
             element = element->NextSiblingElement("Parameter"))
        {
            const TiXmlElement* patchList = element->FirstChildElement("patch-list");
            if (patchList == nullptr)
                continue;
            std::vector<std::string> items;
            XmlSplitString(ExactXmlText(patchList).c_str(), items);
            count = std::max(count, items.size());
            int control = -1;
            int type = 6;
            element->QueryIntAttribute("HostControl", &control);
            element->QueryIntAttribute("ValueType", &type);
            if (!named && control == kProgramNameControl && type == kTextType)
            {
                given = std::move(items);
                named = true;
            }
        }
    }
    count = std::min<std::size_t>(count, kMaxPrograms);
    std::vector<std::string> names(count);
    for (std::size_t p = 0; p < count; ++p)
    {
        // Hosts take names as UTF-16: bytes that are no UTF-8 show as U+FFFD,
        // and a name with nothing readable in it is numbered instead.
        std::size_t readable = 0;
        if (p < given.size())
            names[p] = ValidUtf8(given[p], &readable);
        if (readable == 0)
            names[p] = "Program " + std::to_string(p + 1);
    }
    return names;
}
