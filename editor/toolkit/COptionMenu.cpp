#include "editor/toolkit/COptionMenu.h"

#include <cstring>
#include <memory>

#include "editor/toolkit/CBitmap.h"
#include "editor/toolkit/CFrame.h"
#include "editor/toolkit/COptionMenuPopup.h"

namespace VSTGUI {

COptionMenu::COptionMenu() : COptionMenu(CRect(), nullptr, -1) {}

COptionMenu::COptionMenu(const CRect& size, IControlListener* listener, int32_t tag, CBitmap* background,
                         CBitmap* backgroundWhenClicked, int32_t style)
    : CParamDisplay(size, background, style), backgroundWhenClicked_(backgroundWhenClicked)
{
    setListener(listener);
    setTag(tag);
    if (backgroundWhenClicked_)
        backgroundWhenClicked_->remember();
    setWantsFocus(true);
}

COptionMenu::~COptionMenu()
{
    if (backgroundWhenClicked_)
        backgroundWhenClicked_->forget();
}

CMenuItem* COptionMenu::addEntry(UTF8StringPtr title, int32_t index, int32_t flags)
{
    const std::string text = title ? title : "";
    if (text == "-")
        flags |= CMenuItem::kSeparator;
    if (index < 0 || index >= getNbEntries())
        index = getNbEntries();
    items_.insert(items_.begin() + index, CMenuItem(text, flags));
    invalid();
    return &items_[size_t(index)];
}

CMenuItem* COptionMenu::addSeparator(int32_t index)
{
    return addEntry("-", index, CMenuItem::kSeparator);
}

bool COptionMenu::removeEntry(int32_t index)
{
    if (index < 0 || index >= getNbEntries())
        return false;
    items_.erase(items_.begin() + index);
    invalid();
    return true;
}

bool COptionMenu::removeAllEntry()
{
    items_.clear();
    invalid();
    return true;
}

CMenuItem* COptionMenu::getEntry(int32_t index) const
{
    if (index < 0 || index >= getNbEntries())
        return nullptr;
    return const_cast<CMenuItem*>(&items_[size_t(index)]);
}

void COptionMenu::setValue(float value)
{
    CParamDisplay::setValue(value);
}

int32_t COptionMenu::getCurrentIndex(bool countSeparator) const
{
    const int32_t position = int32_t(value_);
    if (countSeparator || position < 0)
        return position;
    int32_t index = position;
    for (int32_t i = 0; i < position && i < getNbEntries(); ++i)
        if (items_[size_t(i)].isSeparator())
            --index;
    return index;
}

bool COptionMenu::checkEntry(int32_t index, bool state)
{
    CMenuItem* item = getEntry(index);
    if (!item || item->isSeparator())
        return false;
    item->setChecked(state);
    return true;
}

bool COptionMenu::checkEntryAlone(int32_t index)
{
    if (!getEntry(index))
        return false;
    for (int32_t i = 0; i < getNbEntries(); ++i)
        items_[size_t(i)].setChecked(i == index && !items_[size_t(i)].isSeparator());
    return true;
}

bool COptionMenu::isCheckEntry(int32_t index) const
{
    const CMenuItem* item = getEntry(index);
    return item && item->isChecked();
}

COptionMenu* COptionMenu::getLastItemMenu(int32_t& index) const
{
    index = lastChosen_;
    return const_cast<COptionMenu*>(this);
}

bool COptionMenu::popup()
{
    CFrame* frame = getFrame();
    if (!frame)
        return false;
    CPoint location = size_.getBottomLeft();
    localToFrame(location);
    return popup(frame, location);
}

bool COptionMenu::popup(CFrame* frame, const CPoint& frameLocation)
{
    if (!frame || popupOpen_)
        return false;
    remember();
    popupOpen_ = true;
    invalid();
    COptionMenuPopup list(*this);
    const bool shown = frame->popupMenu(list, frameLocation);
    const bool chosen = takeChoice(shown ? list.getChosenIndex() : -1);
    forget();
    return chosen;
}

void COptionMenu::popupAsync(CFrame* frame, const CPoint& frameLocation, std::function<void(bool chosen)> done)
{
    if (!frame || popupOpen_)
    {
        if (done)
            done(false);
        return;
    }
    remember();
    popupOpen_ = true;
    invalid();
    auto list = std::make_shared<COptionMenuPopup>(*this);
    frame->openMenu(list, frameLocation, [this, list, done = std::move(done)](bool shown) {
        const bool chosen = takeChoice(shown ? list->getChosenIndex() : -1);
        if (done)
            done(chosen);
        forget();
    });
}

bool COptionMenu::takeChoice(int32_t chosenIndex)
{
    popupOpen_ = false;
    invalid();
    if (chosenIndex < 0 || chosenIndex >= getNbEntries())
        return false;
    lastChosen_ = chosenIndex;
    beginEdit();
    setValue(float(lastChosen_));
    valueChanged();
    endEdit();
    return true;
}

void COptionMenu::drawBack(CDrawContext* context, CBitmap* newBack)
{
    CParamDisplay::drawBack(context, popupOpen_ && backgroundWhenClicked_ ? backgroundWhenClicked_ : newBack);
}

void COptionMenu::draw(CDrawContext* context)
{
    drawBack(context);
    if (const CMenuItem* item = getCurrent(); item && !item->isSeparator())
        drawPlatformText(context, item->getTitle().c_str());
    setDirty(false);
}

CMouseEventResult COptionMenu::onMouseDown(CPoint& where, const CButtonState& buttons)
{
    if (!buttons.isLeftButton() || (buttons & (kRButton | kMButton)))
        return kMouseEventNotHandled;
    CFrame* frame = getFrame();
    if (!frame)
        return kMouseEventHandled;
    CPoint location = size_.getBottomLeft();
    localToFrame(location);
    popupAsync(frame, location);
    return kMouseEventHandled;
}

} // namespace VSTGUI
