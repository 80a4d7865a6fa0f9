#pragma once
// Keeps X errors on the editor's own connection from ending the host.
//
// Xlib's default handlers end the process: on a protocol error (a window the
// host destroyed under us) and when the connection breaks (the X server went
// away). While a trap is set, errors on its display are counted and kept,
// errors on other displays go to whatever handler was there before, and the
// trap restores that handler when it goes. A trap is set around every call
// the editor makes into Xlib; the connection's exit handler (set once with
// watchConnection) marks the connection lost instead of exiting.
// UI thread only.

#include <vector>

typedef struct _XDisplay Display;

namespace VSTGUI {

class X11ErrorTrap
{
public:
    // `lost` (may be null) is the connection's flag from watchConnection.
    X11ErrorTrap(Display* display, const bool* lost);
    // Waits for the server's answer first, so that the errors of this
    // trap's requests arrive while it is set.
    ~X11ErrorTrap();
    X11ErrorTrap(const X11ErrorTrap&) = delete;
    X11ErrorTrap& operator=(const X11ErrorTrap&) = delete;

    // Waits for the server to answer everything sent so far.
    void sync();
    // The trap goes without waiting (the connection is about to close, or
    // it has just been synced).
    void skipSync() { syncOnExit_ = false; }
    int errorCount() const { return count_; }
    // An error named that resource (a window that is gone, say).
    bool hitResource(unsigned long id) const;

    // `lost` becomes true when the connection breaks; the flag must live as
    // long as the display.
    static void watchConnection(Display* display, bool* lost);

    // For the handlers: the innermost trap of that display, or null.
    static X11ErrorTrap* find(Display* display);
    void record(unsigned long resource);

private:
    Display* display_;
    const bool* lost_;
    X11ErrorTrap* outer_;
    void* previous_;
    void* previousIo_;
    int count_ = 0;
    bool syncOnExit_ = true;
    std::vector<unsigned long> resources_;
};

} // namespace VSTGUI
