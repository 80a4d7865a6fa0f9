#include "tools/kvhost/XTestInput.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace
{
// The code points of UTF-8 text; a malformed byte stands for itself.
std::vector<std::uint32_t> CodePoints(const std::string& text)
{
    std::vector<std::uint32_t> points;
    for (std::size_t i = 0; i < text.size();)
    {
        const auto lead = static_cast<unsigned char>(text[i]);
        const int length = lead < 0x80 ? 1 : (lead >> 5) == 6 ? 2 : (lead >> 4) == 14 ? 3 : (lead >> 3) == 30 ? 4 : 1;
        std::uint32_t point = length == 1 ? lead : lead & (0x3fu >> (length - 1));
        if (i + length > text.size())
        {
            points.push_back(lead);
            ++i;
            continue;
        }
        for (int k = 1; k < length; ++k)
            point = (point << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3fu);
        points.push_back(point);
        i += length;
    }
    return points;
}

unsigned long KeysymOf(std::uint32_t point)
{
    switch (point)
    {
    case '\n':
        return XK_Return;
    case '\t':
        return XK_Tab;
    case '\b':
        return XK_BackSpace;
    default:
        break;
    }
    // Latin-1 keysyms are the code points; others are 0x01000000 + code point.
    return point < 0x100 ? point : 0x01000000u | point;
}
} // namespace

bool XTestInput::Available(Display* display)
{
    int event = 0;
    int error = 0;
    int major = 0;
    int minor = 0;
    return display != nullptr && XTestQueryExtension(display, &event, &error, &major, &minor);
}

bool XTestInput::sync()
{
    XSync(display_, False);
    return true;
}

bool XTestInput::move(int x, int y)
{
    const Window root = DefaultRootWindow(display_);
    int rootX = 0;
    int rootY = 0;
    Window child = 0;
    if (!XTranslateCoordinates(display_, window_, root, x, y, &rootX, &rootY, &child))
        return false;
    XTestFakeMotionEvent(display_, -1, rootX, rootY, CurrentTime);
    return sync();
}

bool XTestInput::press(int button)
{
    XTestFakeButtonEvent(display_, static_cast<unsigned>(button), True, CurrentTime);
    return sync();
}

bool XTestInput::release(int button)
{
    XTestFakeButtonEvent(display_, static_cast<unsigned>(button), False, CurrentTime);
    return sync();
}

bool XTestInput::click(int x, int y, int button)
{
    return move(x, y) && press(button) && release(button);
}

bool XTestInput::drag(int x0, int y0, int x1, int y1, int button, int steps)
{
    if (!move(x0, y0) || !press(button))
        return false;
    steps = steps < 1 ? 1 : steps;
    for (int i = 1; i <= steps; ++i)
    {
        if (!move(x0 + (x1 - x0) * i / steps, y0 + (y1 - y0) * i / steps))
            return false;
    }
    return release(button);
}

bool XTestInput::key(const std::string& keysymName, bool shift, bool control)
{
    const KeySym sym = XStringToKeysym(keysymName.c_str());
    return sym != NoSymbol && keySym(sym, shift, control);
}

bool XTestInput::type(const std::string& utf8)
{
    for (std::uint32_t point : CodePoints(utf8))
    {
        if (!keySym(KeysymOf(point), false, false))
            return false;
    }
    return true;
}

bool XTestInput::prepare(const std::string& utf8)
{
    for (std::uint32_t point : CodePoints(utf8))
    {
        unsigned keycode = 0;
        bool shift = false;
        if (!findKey(KeysymOf(point), keycode, shift))
            return false;
    }
    return true;
}

bool XTestInput::findKey(unsigned long keysym, unsigned& keycode, bool& shift)
{
    const auto known = remapped_.find(keysym);
    if (known != remapped_.end())
    {
        keycode = known->second;
        shift = false;
        return true;
    }
    int low = 0;
    int high = 0;
    XDisplayKeycodes(display_, &low, &high);
    int perCode = 0;
    KeySym* map = XGetKeyboardMapping(display_, static_cast<KeyCode>(low), high - low + 1, &perCode);
    if (map == nullptr)
        return false;
    int spare = 0;
    for (int code = low; code <= high; ++code)
    {
        const KeySym* syms = map + static_cast<std::ptrdiff_t>(code - low) * perCode;
        for (int level = 0; level < perCode && level < 2; ++level)
        {
            if (syms[level] == keysym)
            {
                keycode = static_cast<unsigned>(code);
                shift = level == 1;
                XFree(map);
                return true;
            }
        }
        bool empty = true;
        for (int level = 0; level < perCode; ++level)
            empty = empty && syms[level] == NoSymbol;
        if (empty && spare == 0)
            spare = code;
    }
    XFree(map);
    if (spare == 0)
        return false;
    // Both levels, so that Shift does not change it.
    KeySym both[2] = {keysym, keysym};
    XChangeKeyboardMapping(display_, spare, 2, both, 1);
    sync();
    remapped_[keysym] = static_cast<unsigned>(spare);
    keycode = static_cast<unsigned>(spare);
    shift = false;
    return true;
}

bool XTestInput::keySym(unsigned long keysym, bool shift, bool control)
{
    unsigned keycode = 0;
    bool needShift = false;
    if (!findKey(keysym, keycode, needShift))
        return false;
    const KeyCode shiftKey = XKeysymToKeycode(display_, XK_Shift_L);
    const KeyCode controlKey = XKeysymToKeycode(display_, XK_Control_L);
    const bool holdShift = (shift || needShift) && shiftKey != 0;
    const bool holdControl = control && controlKey != 0;
    if (holdShift)
        XTestFakeKeyEvent(display_, shiftKey, True, CurrentTime);
    if (holdControl)
        XTestFakeKeyEvent(display_, controlKey, True, CurrentTime);
    XTestFakeKeyEvent(display_, keycode, True, CurrentTime);
    XTestFakeKeyEvent(display_, keycode, False, CurrentTime);
    if (holdControl)
        XTestFakeKeyEvent(display_, controlKey, False, CurrentTime);
    if (holdShift)
        XTestFakeKeyEvent(display_, shiftKey, False, CurrentTime);
    return sync();
}
