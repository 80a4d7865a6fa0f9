#pragma once
// The editor's window on X11: a child of the host's window (embedded with
// XEmbed information), made through pugl on an X connection of its own.
// The connection is served from the host's run loop: its descriptor wakes
// serve(), and a repaint timer draws what the frame marked dirty, clipped
// to those rectangles. Mouse events go to the frame. The option menu's list
// and the in-place text box are windows of the same connection, served with
// it from the host's loop: opening one returns at once, and its end is
// handed on from there. The modal versions wait for that end in a loop that
// keeps the host's loop turning where it can (HostLoopWait). Errors on the
// connection, the host destroying the window and the X server going away
// leave the frame inert, never the host ended. The host's window is
// watched: when it is destroyed, unmapped or reparented, or the host moves
// the editor's window out of it, a modal wait ends at once as cancelled.
// Closing the frame, and the host hiding the editor's window (its own or one
// around it), end what is open as cancelled. UI thread only.

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "editor/toolkit/DirtyRegion.h"
#include "editor/toolkit/IPlatformFrame.h"

#include "editor/toolkit/x11/Pugl.h"

typedef struct _XDisplay Display;

namespace Steinberg::Linux {
class IRunLoop;
}

namespace VSTGUI {

class X11Painter;
class X11Popup;
class X11RunLoopHandler;
class X11TextBox;
class X11Tooltip;

class X11Frame : public IPlatformFrame
{
public:
    // Makes the window inside `parent` (an X11 Window id) and registers with
    // the run loop (which may be null: then nothing is served until the
    // caller calls serve()). Null with a message when it cannot.
    static std::unique_ptr<X11Frame> create(IPlatformFrameCallback* frame, const CRect& size, void* parent,
                                            Steinberg::Linux::IRunLoop* runLoop, std::string& error);
    // Unregisters from the run loop, destroys the window, closes the connection.
    ~X11Frame() override;
    X11Frame(const X11Frame&) = delete;
    X11Frame& operator=(const X11Frame&) = delete;

    // IPlatformFrame
    bool invalidRect(const CRect& rect) override;
    bool setSize(const CRect& size) override;
    void* getPlatformRepresentation() const override;
    bool popupMenu(COptionMenuPopup& popup, const CPoint& frameLocation) override;
    bool runTextBox(const CRect& frameRect, std::string& text, int32_t& resultCode) override;
    void openMenu(const std::shared_ptr<COptionMenuPopup>& popup, const CPoint& frameLocation,
                  MenuDone done) override;
    void openTextBox(const CRect& frameRect, const std::string& text, TextBoxDone done) override;
    std::unique_ptr<IFileChooserRun> openFileBrowser(const CNewFileSelector& selector) override;
    // Removes the menu's list, the text box and the window, and closes the
    // connection, unless an event of the connection is being dispatched
    // (then the destructor does it); the frame is inert after.
    void shutdown() override;

    // What the run loop calls: events that arrived, then what is dirty.
    void serve();
    // The repaint timer: events already read, the frame's tick, what is
    // dirty, then the frame's idle work (file dialogs that may have ended).
    void onTimer();
    // Serves the connection until done() answers true, turning the host's
    // GLib loop meanwhile when it runs one (HostLoopWait); false when the
    // window or the connection went first, or the frame was closed.
    bool runModal(const std::function<bool()>& done) override;

    // The window can still be used: the connection holds and the host has
    // not destroyed it.
    bool usable() const { return !lost_ && !windowGone_ && world_ != nullptr; }
    bool connectionLost() const { return lost_; }
    bool windowGone() const { return windowGone_; }
    bool registeredWithRunLoop() const { return registered_; }
    Display* display() const { return display_; }
    PuglWorld* world() const { return world_; }
    // A window of its own on this connection (a menu's list, a tooltip, the
    // file browser), not yet realised: fixed size at x, y on the screen,
    // events to `onEvent` with `handle`. UI thread.
    PuglView* newScreenView(void* handle, PuglEventFunc onEvent, int x, int y, int width, int height) const;
    unsigned long window() const { return window_; }
    const bool* lostFlag() const { return &lost_; }
    CCoord width() const { return width_; }
    CCoord height() const { return height_; }

    // Draws the rectangles (window coordinates) of a window (the editor's,
    // the menu's, the text box's) of that size: `draw` paints with cairo
    // into an image, whose pixels then go to the window. Nothing of cairo
    // is tied to the X connection, so nothing outlives it.
    void paint(unsigned long window, const std::vector<CRect>& rects, CCoord width, CCoord height,
               const std::function<void(CDrawContext& context)>& draw);

    // The tooltip of the view under the pointer, while one is shown (else null).
    const X11Tooltip* tooltip() const;

    static constexpr unsigned kRepaintMilliseconds = 16;
    // How long a modal wait sleeps at most when nothing wakes it.
    static constexpr int kModalWakeMilliseconds = 50;
    // How long the pointer rests on a view before its tooltip shows, and how
    // far it may drift meanwhile.
    static constexpr int kTooltipMilliseconds = 600;
    static constexpr double kTooltipDrift = 3.0;
    static constexpr double kDoubleClickSeconds = 0.4;
    static constexpr double kDoubleClickDistance = 4.0;

private:
    X11Frame(IPlatformFrameCallback* frame, Steinberg::Linux::IRunLoop* runLoop);
    bool open(const CRect& size, unsigned long parent, std::string& error);
    void unregister();
    // Reads what arrived and dispatches it; notices the window's destruction.
    void dispatch();
    void flushDirty();
    void checkLost();
    // Takes the events about the host's window (and ours leaving it).
    void watchHost();
    // Where the host's window stands: whether it is there and viewable,
    // whose child it is, and whose child ours is. A modal loop compares it
    // with how it began, so an event another reader took cannot hide a change.
    struct HostPlace
    {
        bool there = false;
        int mapState = 0;
        unsigned long hostParent = 0;
        unsigned long ourParent = 0;
        bool operator==(const HostPlace& o) const
        {
            return there == o.there && mapState == o.mapState && hostParent == o.hostParent &&
                   ourParent == o.ourParent;
        }
    };
    HostPlace hostPlace();
    static PuglStatus onEvent(PuglView* view, const PuglEvent* event);
    void onMouse(const PuglEvent& event);
    // The buttons X said were held for pointer events still queued: pugl
    // passes on the modifiers of an event but not its buttons. Recorded
    // before pugl reads the queue, taken when pugl hands the event on.
    struct PointerState
    {
        int type;
        unsigned long time;
        int x, y;
        int32_t buttons;
    };
    void recordPointerStates();
    bool takePointerState(int type, double seconds, double x, double y, int32_t& buttons);
    // The buttons held now and where the pointer is, asked of the server.
    int32_t queryButtons(CPoint& where);
    // Makes the held buttons those the pointer really holds: a release that
    // went to another window (a menu, the text box) reaches the views now.
    void reconcileButtons(int32_t real, const CPoint& where);
    // Hands on the end of the menu and the text box when they ended, or
    // ends them as cancelled when asked; last of all, since what it calls
    // may close the frame.
    void finishWidgets(bool cancelMenu, bool cancelTextBox);
    // Ends the menu and the text box as cancelled when the editor's window
    // was viewable while they were open and is no longer: a host may hide
    // its window, or one around it, without telling the editor.
    void finishWidgetsWhenHidden();
    // The editor's window is mapped and so are all windows around it.
    bool windowViewable();
    // Serves the connection until the menu (or the text box) that was opened
    // has ended, or ends it as cancelled when the window goes first.
    void waitForWidget(const bool& ended, bool menu);
    // The tooltip: the pointer moved, entered or left; a press; the timer.
    void pointerMoved(const CPoint& where);
    void hideTooltip(bool untilMoved);
    void tooltipTick();

    IPlatformFrameCallback* frame_;
    Steinberg::Linux::IRunLoop* runLoop_;
    X11RunLoopHandler* handler_ = nullptr;
    bool registered_ = false;

    PuglWorld* world_ = nullptr;
    PuglView* view_ = nullptr;
    Display* display_ = nullptr;
    unsigned long window_ = 0;
    std::unique_ptr<X11Painter> painter_;
    CCoord width_ = 0;
    CCoord height_ = 0;
    bool lost_ = false;
    bool windowGone_ = false;
    bool visible_ = false;
    DirtyRegion dirty_;

    int32_t held_ = 0;
    std::vector<PointerState> pointerStates_;
    double lastPressTime_ = -1.0;
    CPoint lastPress_;
    struct OpenMenu
    {
        std::shared_ptr<COptionMenuPopup> list;
        std::unique_ptr<X11Popup> window;
        MenuDone done;
        bool seenViewable = false;
    };
    struct OpenTextBox
    {
        std::unique_ptr<X11TextBox> box;
        TextBoxDone done;
        // What a cancelled box gives back.
        std::string given;
        bool seenViewable = false;
    };
    std::unique_ptr<OpenMenu> menu_;
    std::unique_ptr<OpenTextBox> textBox_;

    std::unique_ptr<X11Tooltip> tooltip_;
    bool pointerInside_ = false;
    // Shown or dismissed for this rest of the pointer: waits for it to move.
    bool tooltipDone_ = true;
    CPoint restingAt_;
    std::chrono::steady_clock::time_point restingSince_{};
    unsigned long parent_ = 0;
    // Counts what happened to the host's window; a modal loop ends when it moves.
    unsigned hostChanges_ = 0;
    // hostChanges_ when the open widgets last looked whether they are hidden.
    unsigned hostChangesSeen_ = 0;
    bool dispatching_ = false;
};

} // namespace VSTGUI
