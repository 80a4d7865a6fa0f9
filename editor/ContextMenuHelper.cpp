#include "editor/ContextMenuHelper.h"

#include "core/conversion.h"
#include "core/it_enum_list.h"
#include "editor/EditorLog.h"
#include "editor/toolkit/CFrame.h"
#include "editor/toolkit/COptionMenu.h"
#include "editor/toolkit/CViewContainer.h"

namespace GmpiGuiHosting
{

ContextItemsSink* ContextItemsSink::Instance()
{
    static ContextItemsSink sink;
    return &sink;
}

int32_t ContextItemsSink::queryInterface(const gmpi::MpGuid& iid, void** returnInterface)
{
    if (returnInterface == nullptr)
        return gmpi::MP_FAIL;
    *returnInterface = nullptr;
    if (iid != gmpi_gui::KV_IID_CONTEXT_ITEMS_SINK && iid != gmpi::MP_IID_UNKNOWN)
        return gmpi::MP_NOSUPPORT;
    *returnInterface = static_cast<gmpi::IMpContextItemSink*>(this);
    return gmpi::MP_OK;
}

int32_t ContextItemsSink::AddItem(const char* text, int32_t id, int32_t flags)
{
    items_.push_back({text ? text : "", id, flags});
    return gmpi::MP_OK;
}

std::string ContextItemsSink::EnumList() const
{
    std::string list;
    for (std::size_t i = 0; i < items_.size(); ++i)
    {
        if (i > 0)
            list += ',';
        list += items_[i].text + "=" + std::to_string(items_[i].id);
    }
    return list;
}

} // namespace GmpiGuiHosting

namespace ContextMenuHelper
{

bool DoPopupMenu(VSTGUI::CView* view, VSTGUI::CPoint& where, const std::wstring& enumList,
                 std::function<void(int32_t id)> chosen)
{
    VSTGUI::CViewContainer* parent = view ? view->getParent() : nullptr;
    VSTGUI::CFrame* frame = view ? view->getFrame() : nullptr;
    if (parent == nullptr || frame == nullptr)
        return false;
    if (ModalGuard::Busy(frame))
    {
        EditorLog("a context menu was asked for while another menu or dialog of this editor is open: not shown.");
        return false;
    }
    // Held until the menu ends.
    auto modal = std::make_shared<ModalGuard>(frame);

    auto* menu = new VSTGUI::COptionMenu(VSTGUI::CRect(where.x, where.y, where.x, where.y), nullptr, -1, nullptr,
                                         nullptr, 0);
    // Entries go in by value; the value of each position is kept, so that a
    // list whose values are out of order still gives the chosen item's value.
    std::vector<int32_t> values;
    it_enum_list items(enumList);
    for (items.First(); !items.IsDone(); items.Next())
    {
        const enum_entry* item = items.CurrentItem();
        const int32_t count = menu->getNbEntries();
        const int32_t position = item->value >= 0 && item->value < count ? item->value : count;
        menu->addEntry(WStringToUtf8(item->text).c_str(), position, 0);
        values.insert(values.begin() + position, item->value);
    }

    parent->addView(menu);
    menu->setDirty(true);
    menu->takeFocus();
    VSTGUI::CPoint location = menu->getViewSize().getBottomLeft();
    menu->localToFrame(location);
    parent->remember();
    menu->remember();
    menu->popupAsync(frame, location, [menu, parent, values, modal, chosen = std::move(chosen)](bool picked) {
        int32_t position = -1;
        menu->getLastItemMenu(position);
        if (parent->isChild(menu))
            parent->removeView(menu, true);
        menu->forget();
        parent->forget();
        if (picked && position >= 0 && position < static_cast<int32_t>(values.size()) && chosen)
            chosen(values[static_cast<std::size_t>(position)]);
    });
    return true;
}

} // namespace ContextMenuHelper
