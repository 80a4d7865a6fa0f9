#include "editor/toolkit/PortalFileChooser.h"

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <gio/gio.h>

#include "editor/toolkit/ToolkitLog.h"

namespace VSTGUI {

namespace {
constexpr char kService[] = "org.freedesktop.portal.Desktop";
constexpr char kPath[] = "/org/freedesktop/portal/desktop";
constexpr char kInterface[] = "org.freedesktop.portal.FileChooser";
constexpr char kRequest[] = "org.freedesktop.portal.Request";

// A session bus to ask: named in the environment, or the usual socket. GLib
// would otherwise start one of its own through the X server.
bool SessionBusNamed()
{
    const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    if (address != nullptr && *address != '\0')
        return true;
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime == nullptr || *runtime == '\0')
        return false;
    struct stat st;
    const std::string socket = std::string(runtime) + "/bus";
    return ::stat(socket.c_str(), &st) == 0 && S_ISSOCK(st.st_mode);
}

// Filters as the portal takes them: a(sa(us)), one glob each.
GVariant* Filters(const CNewFileSelector& selector, GVariant** current)
{
    GVariantBuilder filters;
    g_variant_builder_init(&filters, G_VARIANT_TYPE("a(sa(us))"));
    const CFileExtension* first = selector.getDefaultExtension();
    auto make = [](const CFileExtension& e) {
        const std::string pattern = e.getExtension() == "*" ? "*" : "*." + std::string(e.getExtension());
        const std::string name = e.getDescription().empty() ? pattern : std::string(e.getDescription());
        GVariantBuilder globs;
        g_variant_builder_init(&globs, G_VARIANT_TYPE("a(us)"));
        g_variant_builder_add(&globs, "(us)", 0u, pattern.c_str());
        return g_variant_new("(s@a(us))", name.c_str(), g_variant_builder_end(&globs));
    };
    *current = nullptr;
    if (first)
    {
        GVariant* filter = g_variant_ref_sink(make(*first));
        *current = g_variant_ref(filter);
        g_variant_builder_add_value(&filters, filter);
        g_variant_unref(filter);
    }
    for (const CFileExtension& e : selector.getExtensions())
        if (!first || !(e == *first))
            g_variant_builder_add_value(&filters, make(e));
    return g_variant_builder_end(&filters);
}

class PortalRun : public IFileChooserRun
{
public:
    PortalRun(GDBusConnection* connection, GMainContext* context)
        : connection_(connection), context_(context), cancellable_(g_cancellable_new())
    {
    }

    ~PortalRun() override
    {
        // An answer to the call still on its way is not waited for.
        g_cancellable_cancel(cancellable_);
        // A dialog still open is closed; nothing waits for its answer.
        if (!ended_ && !handle_.empty())
        {
            g_dbus_connection_call(connection_, kService, handle_.c_str(), kRequest, "Close", nullptr, nullptr,
                                   G_DBUS_CALL_FLAGS_NONE, -1, nullptr, nullptr, nullptr);
            g_dbus_connection_flush_sync(connection_, nullptr, nullptr);
        }
        if (subscription_ != 0)
            g_dbus_connection_signal_unsubscribe(connection_, subscription_);
        // Callbacks still queued in our context go with it.
        while (g_main_context_iteration(context_, FALSE))
        {
        }
        g_dbus_connection_close_sync(connection_, nullptr, nullptr);
        g_object_unref(connection_);
        g_object_unref(cancellable_);
        g_main_context_unref(context_);
    }

    bool ask(const CNewFileSelector& selector, unsigned long parentWindow)
    {
        static std::atomic<unsigned> counter{0};
        const std::string token = "korvane" + std::to_string(::getpid()) + "_" + std::to_string(++counter);
        std::string sender = g_dbus_connection_get_unique_name(connection_);
        if (!sender.empty() && sender[0] == ':')
            sender.erase(0, 1);
        for (char& c : sender)
            if (c == '.')
                c = '_';
        handle_ = std::string(kPath) + "/request/" + sender + "/" + token;

        g_main_context_push_thread_default(context_);
        subscription_ = g_dbus_connection_signal_subscribe(connection_, kService, kRequest, "Response",
                                                           handle_.c_str(), nullptr, G_DBUS_SIGNAL_FLAGS_NONE,
                                                           &PortalRun::onResponse, this, nullptr);
        GVariantBuilder options;
        g_variant_builder_init(&options, G_VARIANT_TYPE_VARDICT);
        g_variant_builder_add(&options, "{sv}", "handle_token", g_variant_new_string(token.c_str()));
        g_variant_builder_add(&options, "{sv}", "modal", g_variant_new_boolean(TRUE));
        const bool save = selector.getStyle() == CNewFileSelector::kSelectSaveFile;
        if (selector.getStyle() == CNewFileSelector::kSelectDirectory)
            g_variant_builder_add(&options, "{sv}", "directory", g_variant_new_boolean(TRUE));
        else
        {
            GVariant* current = nullptr;
            GVariant* filters = Filters(selector, &current);
            g_variant_builder_add(&options, "{sv}", "filters", filters);
            if (current)
            {
                g_variant_builder_add(&options, "{sv}", "current_filter", current);
                g_variant_unref(current);
            }
        }
        if (save && !selector.getDefaultSaveName().empty())
            g_variant_builder_add(&options, "{sv}", "current_name",
                                  g_variant_new_string(selector.getDefaultSaveName().c_str()));
        if (!selector.getInitialDirectory().empty())
            g_variant_builder_add(&options, "{sv}", "current_folder",
                                  g_variant_new_bytestring(selector.getInitialDirectory().c_str()));
        char parent[32] = "";
        if (parentWindow != 0)
            std::snprintf(parent, sizeof(parent), "x11:%lx", parentWindow);
        const std::string title = selector.getTitle().empty() ? std::string("Choose a file") : selector.getTitle();
        g_dbus_connection_call(connection_, kService, kPath, kInterface, save ? "SaveFile" : "OpenFile",
                               g_variant_new("(ssa{sv})", parent, title.c_str(), &options), G_VARIANT_TYPE("(o)"),
                               G_DBUS_CALL_FLAGS_NONE, -1, cancellable_, &PortalRun::onAsked, this);
        g_main_context_pop_thread_default(context_);
        return true;
    }

    bool poll(std::vector<std::string>& files) override
    {
        while (!ended_ && g_main_context_iteration(context_, FALSE))
        {
        }
        if (!ended_)
            return false;
        files = files_;
        return true;
    }

    void wait(int milliseconds) override
    {
        // Wakes as soon as a message comes in.
        for (int waited = 0; waited < milliseconds && !ended_; waited += 5)
            if (!g_main_context_iteration(context_, FALSE))
                ::usleep(5000);
    }

private:
    static void onAsked(GObject* source, GAsyncResult* result, gpointer data)
    {
        auto* self = static_cast<PortalRun*>(data);
        GError* error = nullptr;
        GVariant* reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, &error);
        if (reply == nullptr)
        {
            if (!g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED))
                toolkitLog("file selector cancelled: the desktop portal refused the dialog: %s",
                           error ? error->message : "no reason given");
            if (error)
                g_error_free(error);
            self->ended_ = true;
            return;
        }
        // Older portals answer on a path of their own choosing.
        const gchar* path = nullptr;
        g_variant_get(reply, "(&o)", &path);
        if (path != nullptr && self->handle_ != path && self->subscription_ != 0)
        {
            g_dbus_connection_signal_unsubscribe(self->connection_, self->subscription_);
            self->handle_ = path;
            self->subscription_ = g_dbus_connection_signal_subscribe(
                self->connection_, kService, kRequest, "Response", path, nullptr, G_DBUS_SIGNAL_FLAGS_NONE,
                &PortalRun::onResponse, self, nullptr);
        }
        g_variant_unref(reply);
    }

    static void onResponse(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*,
                           GVariant* parameters, gpointer data)
    {
        auto* self = static_cast<PortalRun*>(data);
        guint32 code = 2;
        GVariant* results = nullptr;
        g_variant_get(parameters, "(u@a{sv})", &code, &results);
        if (code == 0 && results != nullptr)
        {
            const gchar** uris = nullptr;
            if (g_variant_lookup(results, "uris", "^a&s", &uris) && uris != nullptr)
            {
                for (const gchar** uri = uris; *uri != nullptr; ++uri)
                    if (gchar* path = g_filename_from_uri(*uri, nullptr, nullptr))
                    {
                        self->files_.emplace_back(path);
                        g_free(path);
                    }
                g_free(uris);
            }
        }
        if (results)
            g_variant_unref(results);
        self->ended_ = true;
    }

    GDBusConnection* connection_;
    GMainContext* context_;
    GCancellable* cancellable_;
    std::string handle_;
    guint subscription_ = 0;
    bool ended_ = false;
    std::vector<std::string> files_;
};
} // namespace

std::unique_ptr<IFileChooserRun> PortalFileChooser::start(const CNewFileSelector& selector, unsigned long parentWindow)
{
    if (!SessionBusNamed())
        return nullptr;
    GError* error = nullptr;
    gchar* address = g_dbus_address_get_for_bus_sync(G_BUS_TYPE_SESSION, nullptr, &error);
    GDBusConnection* connection =
        address ? g_dbus_connection_new_for_address_sync(
                      address,
                      static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                                        G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
                      nullptr, nullptr, &error)
                : nullptr;
    g_free(address);
    if (connection == nullptr)
    {
        toolkitLog("no desktop portal: cannot reach the session bus: %s", error ? error->message : "no reason given");
        if (error)
            g_error_free(error);
        return nullptr;
    }
    g_dbus_connection_set_exit_on_close(connection, FALSE);
    // Only a portal that runs already and serves file choosers.
    GVariant* version = g_dbus_connection_call_sync(
        connection, kService, kPath, "org.freedesktop.DBus.Properties", "Get",
        g_variant_new("(ss)", kInterface, "version"), G_VARIANT_TYPE("(v)"), G_DBUS_CALL_FLAGS_NO_AUTO_START,
        kProbeMilliseconds, nullptr, &error);
    if (version == nullptr)
    {
        if (error)
            g_error_free(error);
        g_dbus_connection_close_sync(connection, nullptr, nullptr);
        g_object_unref(connection);
        return nullptr;
    }
    g_variant_unref(version);
    auto run = std::make_unique<PortalRun>(connection, g_main_context_new());
    run->ask(selector, parentWindow);
    return run;
}

} // namespace VSTGUI
