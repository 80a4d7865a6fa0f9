#pragma once
// Context menus of GUI modules: the process-wide list that modules add their
// items to, and the helper that shows an enum-list text as a popup menu at a
// view and gives back the chosen item's value. UI thread only.

#include <functional>
#include <string>
#include <vector>

#include "editor/GmpiGuiObject.h"
#include "sdk/mp_sdk_gui.h"

namespace VSTGUI
{
class CView;
struct CPoint;
} // namespace VSTGUI

namespace GmpiGuiHosting
{

struct menuInfo
{
    std::string text;
    int32_t id;
    int32_t flags;
};

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
class ContextItemsSink final : public gmpi::IMpContextItemSink
{
public:
    // The one list of the process, emptied by its user before each menu.
    static ContextItemsSink* Instance();

    int32_t queryInterface(const gmpi::MpGuid& iid, void** returnInterface) override;
    int32_t addRef() override { return 1; }
    int32_t release() override { return 1; }
    // A null text counts as empty.
    int32_t AddItem(const char* text, int32_t id, int32_t flags = 0) override;

    void Clear() { items_.clear(); }
    const std::vector<menuInfo>& Items() const { return items_; }
    // "text=id" items joined by ",".
    std::string EnumList() const;

private:
    ContextItemsSink() = default;
    std::vector<menuInfo> items_;
};
#pragma GCC diagnostic pop

} // namespace GmpiGuiHosting

namespace ContextMenuHelper
{
// Shows the items of enumList as a menu at where (the view's parent
// coordinates) and returns at once: true when it is shown; false when the
// view has no parent container or another menu or dialog of its editor is
// open.
// When an item is chosen, `chosen` is called with its value, later, from
// the window's events; a menu dismissed (or closed with the editor) calls
// nothing.
bool DoPopupMenu(VSTGUI::CView* view, VSTGUI::CPoint& where, const std::wstring& enumList,
                 std::function<void(int32_t id)> chosen);
} // namespace ContextMenuHelper
