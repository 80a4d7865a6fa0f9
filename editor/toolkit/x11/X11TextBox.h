#pragma once
// The in-place text box: a borderless one-line field laid over the editor's
// window at a rectangle, white with black text in an 11-point font, holding
// the keyboard focus while it is open. Return, Tab, Back-tab (Shift+Tab), Up
// and Down end it with codes 0 to 4; Escape does nothing. The frame serves
// it with its own window and ends the box with code 1 on a press outside its
// band (the field widened by kBandMargin above and below). UI thread only.

#include <cstdint>
#include <string>

#include "editor/toolkit/x11/Pugl.h"

#include "editor/toolkit/CFontDesc.h"
#include "editor/toolkit/CRect.h"
#include "editor/toolkit/x11/TextBoxField.h"

typedef struct _cairo cairo_t;
typedef struct _cairo_surface cairo_surface_t;

namespace VSTGUI {

class CDrawContext;
class X11Frame;

class X11TextBox
{
public:
    X11TextBox(X11Frame& frame, const CRect& frameRect, const std::string& text);
    // Removes the field and gives the keyboard focus back.
    ~X11TextBox();
    X11TextBox(const X11TextBox&) = delete;
    X11TextBox& operator=(const X11TextBox&) = delete;

    // Shows the field with the focus; false when it cannot.
    bool open();
    // Gives the focus back and removes the field now; nothing of it is
    // touched after.
    void release();
    bool inBand(const CPoint& where) const;
    void finish(int32_t code);
    bool finished() const { return finished_; }
    int32_t code() const { return code_; }
    const std::string& text() const { return field_.text(); }

    static constexpr CCoord kBandMargin = 20;
    static constexpr CCoord kFontSize = 11;
    static constexpr CCoord kInset = 2;

private:
    static PuglStatus onEvent(PuglView* view, const PuglEvent* event);
    void onKey(const PuglKeyEvent& key);
    void draw(CDrawContext& context);
    // Width of the first `bytes` bytes of the text.
    CCoord widthOf(std::size_t bytes);
    // The byte offset nearest to x in the field.
    std::size_t offsetAt(CCoord x);

    X11Frame& frame_;
    CRect rect_;
    TextBoxField field_;
    CFontDesc font_;
    PuglView* view_ = nullptr;
    cairo_surface_t* measureSurface_ = nullptr;
    cairo_t* measure_ = nullptr;
    CCoord scroll_ = 0;
    bool finished_ = false;
    int32_t code_ = -1;
    unsigned long previousFocus_ = 0;
    int previousRevert_ = 0;
};

} // namespace VSTGUI
