#pragma once
// Mouse and keyboard input sent through the X server (the XTEST extension),
// as a user's would arrive: the plug-in's editor cannot tell it from a real
// mouse and keyboard. Positions are in the coordinates of a given window.
// Each call returns once the server has taken the events.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

typedef struct _XDisplay Display;

class XTestInput
{
public:
    // False when the server has no XTEST extension.
    static bool Available(Display* display);

    XTestInput(Display* display, unsigned long window) : display_(display), window_(window) {}

    bool move(int x, int y);
    // button: 1 left, 2 middle, 3 right, 8 and 9 the extra buttons.
    bool press(int button);
    bool release(int button);
    bool click(int x, int y, int button = 1);
    // Press at one point, move in `steps` steps to the other, release there.
    bool drag(int x0, int y0, int x1, int y1, int button = 1, int steps = 8);

    // A key by its X keysym name ("Return", "Tab", "ISO_Left_Tab", "Escape",
    // "Up", "a"), with Shift and Control held when asked.
    bool key(const std::string& keysymName, bool shift = false, bool control = false);
    // UTF-8 text, character by character; characters missing from the
    // keyboard map are put on a spare key first.
    bool type(const std::string& utf8);
    // Puts the characters of the text that the keyboard lacks on spare keys
    // now, so that clients have taken the new map before they are typed.
    bool prepare(const std::string& utf8);

private:
    bool keySym(unsigned long keysym, bool shift, bool control);
    // The key and whether Shift is needed for that keysym, mapping a spare
    // key to it when no key has it.
    bool findKey(unsigned long keysym, unsigned& keycode, bool& shift);
    bool sync();

    Display* display_;
    unsigned long window_;
    std::map<unsigned long, unsigned> remapped_;
};
