#include "core/Module_Info3.h"

Module_Info3::Module_Info3(const std::wstring& filename, const std::wstring& group) : filename_(filename)
{
    if (!group.empty())
        group_ = group;
}

bool Module_Info3::isSummary() const
{
    return guiPlugs_.empty() && plugs_.empty() && parameters_.empty();
}
