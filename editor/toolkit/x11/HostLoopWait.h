#pragma once
// A wait of the editor's inside a call from the host's event loop (a module
// that asked for a menu or a file dialog and must have the answer when its
// call returns) that keeps the host's loop turning. GTK and Qt hosts run
// GLib's main context on the UI thread: when this thread owns that context
// and is dispatching one of its sources, the wait iterates it, nested, as
// the toolkits' own modal dialogs do, so the host's windows redraw and its
// timers fire meanwhile. A source of the wait's own watches the editor's
// connection, since GLib does not call a source again while the host is
// inside it. Under any other loop the wait only watches the connection (the
// host's loop waits meanwhile). UI thread only.

typedef struct _GMainContext GMainContext;
typedef struct _GSource GSource;

namespace VSTGUI {

class HostLoopWait
{
public:
    // fd: the connection to wake for (-1: none).
    explicit HostLoopWait(int fd);
    ~HostLoopWait();
    HostLoopWait(const HostLoopWait&) = delete;
    HostLoopWait& operator=(const HostLoopWait&) = delete;

    // The host's GLib loop turns while this waits.
    bool turnsHostLoop() const { return context_ != nullptr; }
    // Until the connection has something to read or `milliseconds` passed;
    // the host's loop dispatches what is due meanwhile (it may call into
    // the editor, also to close it).
    void wait(int milliseconds);

private:
    int fd_;
    GMainContext* context_ = nullptr;
    GSource* watch_ = nullptr;
};

} // namespace VSTGUI
