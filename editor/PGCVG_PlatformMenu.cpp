#include "editor/PGCVG_PlatformMenu.h"

#include "editor/EditorLog.h"
#include "editor/toolkit/CFrame.h"
#include "editor/toolkit/COptionMenu.h"

PGCVG_PlatformMenu::PGCVG_PlatformMenu(VSTGUI::CView* host, VSTGUI::CPoint origin)
    : menu_(new VSTGUI::COptionMenu()), host_(host), origin_(origin)
{
}

PGCVG_PlatformMenu::~PGCVG_PlatformMenu()
{
    menu_->forget();
}

int32_t PGCVG_PlatformMenu::AddItem(const char* text, int32_t id)
{
    const int32_t count = menu_->getNbEntries();
    if (count >= kMaxItems)
    {
        if (!warned_)
            EditorLog("a menu of more than %d items was asked for: the rest are left out.", kMaxItems);
        warned_ = true;
        return gmpi::MP_FAIL;
    }
    const int32_t position = id >= 0 && id < count ? id : count;
    menu_->addEntry(text ? text : "", position, 0);
    ids_.insert(ids_.begin() + position, id);
    return gmpi::MP_OK;
}

int32_t PGCVG_PlatformMenu::Popup(int32_t* returnValue, float x, float y)
{
    int32_t ignored = -1;
    int32_t& result = returnValue ? *returnValue : ignored;
    result = -1;
    VSTGUI::CFrame* frame = host_ ? host_->getFrame() : nullptr;
    if (ModalGuard::Busy(frame))
    {
        EditorLog("a menu was popped up while another menu or dialog of this editor is open: not shown.");
        return gmpi::MP_FAIL;
    }
    ModalGuard modal(frame);
    const VSTGUI::CPoint where(x + origin_.x, y + origin_.y);
    if (frame && menu_->popup(frame, where))
    {
        int32_t position = -1;
        menu_->getLastItemMenu(position);
        if (position >= 0 && position < static_cast<int32_t>(ids_.size()))
            result = ids_[static_cast<std::size_t>(position)];
    }
    return gmpi::MP_OK;
}
