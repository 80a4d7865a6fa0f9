#include "editor/toolkit/x11/HostLoopWait.h"

#include <poll.h>

#include <glib-unix.h>
#include <glib.h>

#include "editor/toolkit/ToolkitLog.h"

namespace VSTGUI {

namespace {
gboolean Woken(gint, GIOCondition, gpointer)
{
    return G_SOURCE_CONTINUE;
}

gboolean TimeUp(gpointer)
{
    return G_SOURCE_REMOVE;
}
} // namespace

HostLoopWait::HostLoopWait(int fd) : fd_(fd)
{
    GMainContext* context = g_main_context_ref_thread_default();
    // Inside a dispatch of a context this thread owns: the host's loop.
    if (g_main_depth() > 0 && g_main_context_is_owner(context))
    {
        context_ = context;
        if (fd_ >= 0)
        {
            watch_ = g_unix_fd_source_new(fd_, static_cast<GIOCondition>(G_IO_IN | G_IO_HUP | G_IO_ERR));
            g_source_set_callback(watch_, G_SOURCE_FUNC(&Woken),
                                  nullptr, nullptr);
            g_source_attach(watch_, context_);
        }
        return;
    }
    g_main_context_unref(context);
    static bool told = false;
    if (!told)
        toolkitLog("the host's loop is not GLib's: it waits while a menu or dialog asked for by a module is open");
    told = true;
}

HostLoopWait::~HostLoopWait()
{
    if (watch_)
    {
        g_source_destroy(watch_);
        g_source_unref(watch_);
    }
    if (context_)
        g_main_context_unref(context_);
}

void HostLoopWait::wait(int milliseconds)
{
    if (context_ == nullptr)
    {
        pollfd watch{fd_, POLLIN, 0};
        poll(&watch, fd_ >= 0 ? 1 : 0, milliseconds);
        return;
    }
    GSource* timeout = g_timeout_source_new(static_cast<guint>(milliseconds));
    g_source_set_callback(timeout, &TimeUp, nullptr, nullptr);
    g_source_attach(timeout, context_);
    g_main_context_iteration(context_, TRUE);
    g_source_destroy(timeout);
    g_source_unref(timeout);
}

} // namespace VSTGUI
