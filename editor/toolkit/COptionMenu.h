#pragma once
// A control that shows its current entry and pops up its list of entries:
// entries by position, separators ("-"), checked entries and the check
// style. The pop-up shows in a window of the platform; a choice sets the
// value to the entry's position and tells the listener. A press on the
// control opens it and returns at once; the choice comes later, from the
// window's events. UI thread only.

#include <functional>
#include <vector>

#include "editor/toolkit/CParamDisplay.h"

namespace VSTGUI {

class CMenuItem
{
public:
    enum Flags : int32_t
    {
        kNoFlags = 0,
        kDisabled = 1 << 0,
        kTitle = 1 << 1,
        kChecked = 1 << 2,
        kSeparator = 1 << 3,
    };

    CMenuItem(const UTF8String& title, int32_t flags) : title_(title), flags_(flags) {}

    const UTF8String& getTitle() const { return title_; }
    void setTitle(const UTF8String& title) { title_ = title; }
    int32_t getFlags() const { return flags_; }
    bool isChecked() const { return flags_ & kChecked; }
    bool isEnabled() const { return !(flags_ & kDisabled); }
    bool isSeparator() const { return flags_ & kSeparator; }
    bool isTitle() const { return flags_ & kTitle; }
    void setChecked(bool state) { flags_ = state ? (flags_ | kChecked) : (flags_ & ~kChecked); }
    void setEnabled(bool state) { flags_ = state ? (flags_ & ~kDisabled) : (flags_ | kDisabled); }

private:
    UTF8String title_;
    int32_t flags_;
};

class COptionMenu : public CParamDisplay
{
public:
    COptionMenu();
    COptionMenu(const CRect& size, IControlListener* listener, int32_t tag, CBitmap* background = nullptr,
                CBitmap* backgroundWhenClicked = nullptr, int32_t style = 0);
    ~COptionMenu() override;

    // Inserts at index; an index below 0 or past the end appends. The title
    // "-" makes a separator.
    CMenuItem* addEntry(UTF8StringPtr title, int32_t index = -1, int32_t flags = CMenuItem::kNoFlags);
    CMenuItem* addSeparator(int32_t index = -1);
    bool removeEntry(int32_t index);
    bool removeAllEntry();
    int32_t getNbEntries() const { return int32_t(items_.size()); }
    CMenuItem* getEntry(int32_t index) const;

    // The value is the position of the current entry, separators counted.
    void setValue(float value) override;
    int32_t getCurrentIndex(bool countSeparator = false) const;
    CMenuItem* getCurrent() const { return getEntry(int32_t(value_)); }
    bool checkEntry(int32_t index, bool state);
    // Checks index and clears every other entry.
    bool checkEntryAlone(int32_t index);
    bool isCheckEntry(int32_t index) const;
    // The menu and position of the last choice (this menu; -1 before any).
    COptionMenu* getLastItemMenu(int32_t& index) const;

    // Pops the list up under the control and waits for it; true when an
    // entry was chosen.
    bool popup();
    // Pops the list up at frameLocation of frame (the menu need not be shown)
    // and waits for it.
    bool popup(CFrame* frame, const CPoint& frameLocation);
    // Pops the list up at frameLocation of frame and returns at once. A
    // choice is taken as popup() takes it; then `done` (if any) is called
    // once, with whether an entry was chosen (false at once when the list
    // cannot be shown or one is open already). The menu stays alive until then.
    void popupAsync(CFrame* frame, const CPoint& frameLocation, std::function<void(bool chosen)> done = {});
    bool isPopupOpen() const { return popupOpen_; }

    void draw(CDrawContext* context) override;
    CMouseEventResult onMouseDown(CPoint& where, const CButtonState& buttons) override;

protected:
    void drawBack(CDrawContext* context, CBitmap* newBack = nullptr) override;

private:
    // Takes the choice the list ended with; true when there was one.
    bool takeChoice(int32_t chosenIndex);

    std::vector<CMenuItem> items_;
    CBitmap* backgroundWhenClicked_ = nullptr;
    int32_t lastChosen_ = -1;
    bool popupOpen_ = false;
};

} // namespace VSTGUI
