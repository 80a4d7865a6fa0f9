#include "editor/toolkit/x11/X11FileBrowser.h"

#include <algorithm>
#include <cmath>

#include "editor/toolkit/CDrawContext.h"
#include "editor/toolkit/x11/X11ErrorTrap.h"
#include "editor/toolkit/x11/X11Frame.h"

#include <X11/Xlib.h>

namespace VSTGUI {

namespace {
FileBrowserPanel::Mode ModeOf(const CNewFileSelector& selector)
{
    switch (selector.getStyle())
    {
    case CNewFileSelector::kSelectSaveFile:
        return FileBrowserPanel::Mode::kSave;
    case CNewFileSelector::kSelectDirectory:
        return FileBrowserPanel::Mode::kFolder;
    default:
        return FileBrowserPanel::Mode::kOpen;
    }
}

std::vector<std::string> ExtensionsOf(const CNewFileSelector& selector)
{
    std::vector<std::string> extensions;
    for (const CFileExtension& e : selector.getExtensions())
        extensions.push_back(e.getExtension());
    return extensions;
}

bool KeyOf(uint32_t key, uint32_t mods, FileBrowserPanel::Key& out)
{
    using Key = FileBrowserPanel::Key;
    switch (key)
    {
    case PUGL_KEY_UP:
        out = Key::kUp;
        return true;
    case PUGL_KEY_DOWN:
        out = Key::kDown;
        return true;
    case PUGL_KEY_PAGE_UP:
        out = Key::kPageUp;
        return true;
    case PUGL_KEY_PAGE_DOWN:
        out = Key::kPageDown;
        return true;
    case '\r':
    case '\n':
        out = Key::kReturn;
        return true;
    case PUGL_KEY_ESCAPE:
        out = Key::kEscape;
        return true;
    case PUGL_KEY_BACKSPACE:
        out = Key::kBackspace;
        return true;
    case PUGL_KEY_DELETE:
        out = Key::kDelete;
        return true;
    case PUGL_KEY_LEFT:
        out = Key::kLeft;
        return true;
    case PUGL_KEY_RIGHT:
        out = Key::kRight;
        return true;
    case PUGL_KEY_HOME:
        out = Key::kHome;
        return true;
    case PUGL_KEY_END:
        out = Key::kEnd;
        return true;
    case 'a':
        out = Key::kSelectAll;
        return (mods & PUGL_MOD_CTRL) != 0;
    default:
        return false;
    }
}

// The top-level window that holds `window` (the host's, for a plug-in).
Window TopLevelOf(Display* display, Window window)
{
    for (int depth = 0; depth < 64; ++depth)
    {
        Window root = 0;
        Window parent = 0;
        Window* children = nullptr;
        unsigned count = 0;
        if (!XQueryTree(display, window, &root, &parent, &children, &count))
            return window;
        if (children)
            XFree(children);
        if (parent == 0 || parent == root)
            return window;
        window = parent;
    }
    return window;
}
} // namespace

X11FileBrowser::X11FileBrowser(X11Frame& frame, const CNewFileSelector& selector)
    : frame_(frame),
      panel_(ModeOf(selector), ExtensionsOf(selector), selector.getInitialDirectory(), selector.getDefaultSaveName()),
      title_(selector.getTitle().empty() ? std::string("Choose a file") : std::string(selector.getTitle()))
{
}

X11FileBrowser::~X11FileBrowser()
{
    release();
}

void X11FileBrowser::release()
{
    if (view_ == nullptr)
        return;
    if (!panel_.done())
        panel_.cancel();
    X11ErrorTrap trap(frame_.display(), frame_.lostFlag());
    puglFreeView(view_);
    view_ = nullptr;
}

bool X11FileBrowser::open()
{
    if (!frame_.usable())
        return false;
    Display* display = frame_.display();
    X11ErrorTrap trap(display, frame_.lostFlag());
    const int screen = DefaultScreen(display);
    const Window root = RootWindow(display, screen);
    int x = 0;
    int y = 0;
    Window child = 0;
    XTranslateCoordinates(display, static_cast<Window>(frame_.window()), root, 0, 0, &x, &y, &child);
    const int width = static_cast<int>(FileBrowserPanel::kWidth);
    const int height = static_cast<int>(FileBrowserPanel::kHeight);
    // Over the editor's top left, on the screen.
    x = std::max(0, std::min(x, DisplayWidth(display, screen) - width));
    y = std::max(0, std::min(y, DisplayHeight(display, screen) - height));

    view_ = frame_.newScreenView(this, onEvent, x, y, width, height);
    puglSetWindowTitle(view_, title_.c_str());
    puglSetTransientParent(view_, TopLevelOf(display, static_cast<Window>(frame_.window())));
    if (puglRealize(view_) != PUGL_SUCCESS)
    {
        puglFreeView(view_);
        view_ = nullptr;
        return false;
    }
    // pugl centres a window asked for at 0, 0 on the screen.
    XMoveWindow(display, static_cast<Window>(puglGetNativeView(view_)), x, y);
    puglShow(view_);
    trap.sync();
    return trap.errorCount() == 0 && frame_.usable();
}

bool X11FileBrowser::poll(std::vector<std::string>& files)
{
    if (!panel_.done())
        return false;
    if (!panel_.result().empty())
        files.push_back(panel_.result());
    return true;
}

PuglStatus X11FileBrowser::onEvent(PuglView* view, const PuglEvent* event)
{
    auto* self = static_cast<X11FileBrowser*>(puglGetHandle(view));
    FileBrowserPanel& panel = self->panel_;
    bool redraw = false;
    switch (event->type)
    {
    case PUGL_EXPOSE:
    {
        const CRect area(event->expose.x, event->expose.y, event->expose.x + event->expose.width,
                         event->expose.y + event->expose.height);
        self->frame_.paint(puglGetNativeView(view), {area}, FileBrowserPanel::kWidth, FileBrowserPanel::kHeight,
                           [&panel](CDrawContext& context) { panel.draw(context); });
        break;
    }
    case PUGL_MAP:
    {
        // The keyboard comes here, as to any dialog.
        X11ErrorTrap trap(self->frame_.display(), self->frame_.lostFlag());
        XSetInputFocus(self->frame_.display(), static_cast<Window>(puglGetNativeView(view)), RevertToParent,
                       CurrentTime);
        break;
    }
    case PUGL_CLOSE:
        panel.cancel();
        break;
    case PUGL_BUTTON_PRESS:
        if (event->button.button == 0)
        {
            const CPoint where(event->button.x, event->button.y);
            const bool again = self->lastPressTime_ >= 0 &&
                               event->button.time - self->lastPressTime_ <= X11Frame::kDoubleClickSeconds &&
                               std::fabs(where.x - self->lastPress_.x) <= X11Frame::kDoubleClickDistance &&
                               std::fabs(where.y - self->lastPress_.y) <= X11Frame::kDoubleClickDistance;
            self->lastPressTime_ = again ? -1.0 : event->button.time;
            self->lastPress_ = where;
            redraw = panel.onMouseDown(where, again);
        }
        break;
    case PUGL_KEY_PRESS:
    {
        FileBrowserPanel::Key key;
        if (KeyOf(event->key.key, event->key.state, key))
            redraw = panel.onKey(key, (event->key.state & PUGL_MOD_SHIFT) != 0);
        break;
    }
    case PUGL_TEXT:
        if (!(event->text.state & (PUGL_MOD_CTRL | PUGL_MOD_SUPER)))
            redraw = panel.onText(event->text.string);
        break;
    default:
        break;
    }
    if (redraw && !panel.done())
        puglPostRedisplay(view);
    return PUGL_SUCCESS;
}

} // namespace VSTGUI
