#pragma once
// The list an option menu pops up: its size, its drawing, and the choice
// made with the mouse and the keys. The platform only hosts it: it makes a
// window of getSize(), draws it with draw(), feeds it events in the list's
// own coordinates and stops when isDone(). A list taller than the screen
// (fitHeight) shows a part of itself and scrolls: with the wheel, and to
// keep the entry chosen with the keys in view. UI thread only.

#include <vector>

#include "editor/toolkit/CButtonState.h"
#include "editor/toolkit/CColor.h"
#include "editor/toolkit/CRect.h"

namespace VSTGUI {

class COptionMenu;
class CFontDesc;

class COptionMenuPopup
{
public:
    enum class Key
    {
        kUp,
        kDown,
        kHome,
        kEnd,
        kReturn,
        kEscape,
    };

    explicit COptionMenuPopup(const COptionMenu& menu);
    ~COptionMenuPopup();
    COptionMenuPopup(const COptionMenuPopup&) = delete;
    COptionMenuPopup& operator=(const COptionMenuPopup&) = delete;

    CPoint getSize() const { return size_; }
    // Makes the list at most maxHeight tall; a longer one scrolls.
    void fitHeight(CCoord maxHeight);
    bool scrolls() const { return size_.y < contentHeight_; }
    CCoord getScroll() const { return scroll_; }
    void draw(CDrawContext* context) const;

    // Each returns true when the list must be drawn again.
    bool onMouseMoved(const CPoint& where);
    // A press outside the list cancels it.
    bool onMouseDown(const CPoint& where, const CButtonState& buttons);
    // A release over an entry chooses it, unless it is the release of the
    // press that opened the list and the mouse has not moved onto an entry.
    bool onMouseUp(const CPoint& where, const CButtonState& buttons);
    bool onKeyDown(Key key);
    // Wheel steps, positive away from the user (towards the top).
    bool onWheel(double steps);
    // Escape, a click outside or the window lost: nothing chosen.
    void cancel();

    bool isDone() const { return done_; }
    // The chosen entry's position in the menu, -1 when none.
    int32_t getChosenIndex() const { return chosen_; }
    int32_t getHoverIndex() const { return hover_; }
    // The entry at where, -1 for none, a separator or a disabled entry.
    int32_t entryAt(const CPoint& where) const;
    // Where the entry is shown now (scrolled out of view: outside the list).
    CRect getEntryRect(int32_t index) const;

private:
    struct Entry
    {
        std::string title;
        bool separator;
        bool enabled;
        bool checked;
        CRect rect;
    };

    bool selectable(int32_t index) const;
    bool moveHover(int32_t from, int32_t step);
    void choose(int32_t index);
    bool scrollTo(CCoord offset);
    bool showEntry(int32_t index);

    std::vector<Entry> entries_;
    CFontDesc* font_;
    CPoint size_;
    double textHeight_ = 0;
    // Entry rectangles are laid out in content coordinates: shown at y - scroll_.
    CCoord contentHeight_ = 0;
    CCoord scroll_ = 0;
    int32_t hover_ = -1;
    int32_t chosen_ = -1;
    bool done_ = false;
    bool pressedInside_ = false;
    bool movedOntoEntry_ = false;
};

} // namespace VSTGUI
