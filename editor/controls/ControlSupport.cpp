#include "editor/controls/ControlSupport.h"

#include "core/conversion.h"
#include "core/it_enum_list.h"
#include "editor/EditorLog.h"
#include "editor/GuiModuleWrapper.h"
#include "editor/toolkit/COptionMenu.h"
#include "sdk/MpGuiBase2.h"

namespace controls
{
KVVSTGUIEditor* EditorOf(const MpGuiBase2& module)
{
    auto* wrapper = dynamic_cast<GuiModuleWrapper*>(module.getHost());
    return wrapper ? wrapper->Editor() : nullptr;
}

void FillMenu(VSTGUI::COptionMenu& menu, const std::wstring& itemList)
{
    menu.removeAllEntry();
    it_enum_list it(itemList);
    int count = 0;
    for (it.First(); !it.IsDone(); it.Next())
    {
        if (count == kMaxMenuEntries)
        {
            EditorLog("an item list has more than %d items: the rest are left out.", kMaxMenuEntries);
            break;
        }
        const enum_entry* item = it.CurrentItem();
        menu.addEntry(WStringToUtf8(item->text).c_str(), item->index);
        ++count;
    }
}

int IndexOfValue(const std::wstring& itemList, int value)
{
    it_enum_list it(itemList);
    if (!it.FindValue(value))
        return -1;
    return it.CurrentItem()->index < kMaxMenuEntries ? it.CurrentItem()->index : -1;
}

bool ValueAtIndex(const std::wstring& itemList, int index, int& value)
{
    if (index < 0 || index >= kMaxMenuEntries)
        return false;
    it_enum_list it(itemList);
    if (!it.FindIndex(index))
        return false;
    value = it.CurrentItem()->value;
    return true;
}
} // namespace controls

#include "editor/SkinBitmapInfo.h"
#include "editor/toolkit/CFontDesc.h"

namespace controls
{
VSTGUI::CFontDesc* MakeFont(const SkinFontInfo& info)
{
    return new VSTGUI::CFontDesc(info.Facename.c_str(), info.Size, info.style);
}

double TextHeight(VSTGUI::CFontDesc* font)
{
    const VSTGUI::IPlatformFont* platform = font ? font->getPlatformFont() : nullptr;
    return platform ? platform->getAscent() + platform->getDescent() : 0.0;
}
} // namespace controls
