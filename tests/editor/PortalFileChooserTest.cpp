// The desktop portal's file chooser, on a session bus of the test's own
// (dbus-daemon) with a stand-in portal that answers the way the portal's
// FileChooser interface does: where it runs, the file selector asks it
// before any dialog program; where the bus has no portal, zenity serves.

#include <gtest/gtest.h>

#include <gio/gio.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <string>
#include <thread>

#include "editor/toolkit/CNewFileSelector.h"
#include "editor/toolkit/DesktopFileChooser.h"
#include "tests/TempFolder.h"
#include "tests/ThreadWait.h"

using namespace VSTGUI;
namespace fs = std::filesystem;

namespace
{
constexpr char kIntrospection[] = R"(<node>
  <interface name="org.freedesktop.portal.FileChooser">
    <method name="OpenFile"><arg type="s" direction="in"/><arg type="s" direction="in"/>
      <arg type="a{sv}" direction="in"/><arg type="o" direction="out"/></method>
    <method name="SaveFile"><arg type="s" direction="in"/><arg type="s" direction="in"/>
      <arg type="a{sv}" direction="in"/><arg type="o" direction="out"/></method>
    <property name="version" type="u" access="read"/>
  </interface>
</node>)";

// A private session bus: dbus-daemon on a socket of its own.
struct PrivateBus
{
    PrivateBus()
    {
        dir = folder.path();
        const std::string socket = (dir / "bus").string();
        address = "unix:path=" + socket;
        pid = ::fork();
        if (pid == 0)
        {
            ::execlp("dbus-daemon", "dbus-daemon", "--session", "--nofork", "--nopidfile",
                     ("--address=" + address).c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        // Ready once its socket takes connections (the file is there a
        // moment before).
        kv_test::WaitUntil([&] {
            if (pid > 0 && ::waitpid(pid, nullptr, WNOHANG) == pid)
                pid = -1;
            return pid <= 0 || Accepts(socket);
        });
        ok = pid > 0 && Accepts(socket);
    }
    static bool Accepts(const std::string& path)
    {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        if (path.size() >= sizeof(address.sun_path))
            return false;
        std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const bool connected =
            fd >= 0 && ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0;
        if (fd >= 0)
            ::close(fd);
        return connected;
    }
    ~PrivateBus()
    {
        if (pid > 0)
        {
            ::kill(pid, SIGTERM);
            ::waitpid(pid, nullptr, 0);
        }
    }
    kv_test::TempFolder folder{"portal-bus"};
    fs::path dir;
    std::string address;
    pid_t pid = -1;
    bool ok = false;
};

// A stand-in portal serving FileChooser on its own thread: it notes each
// call and answers on the request object with the uri it was given.
class StandInPortal
{
public:
    StandInPortal(const std::string& address, std::string uri) : uri_(std::move(uri))
    {
        context_ = g_main_context_new();
        loop_ = g_main_loop_new(context_, FALSE);
        g_main_context_push_thread_default(context_);
        connection_ = g_dbus_connection_new_for_address_sync(
            address.c_str(),
            static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                              G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
            nullptr, nullptr, nullptr);
        if (connection_)
        {
            GDBusNodeInfo* node = g_dbus_node_info_new_for_xml(kIntrospection, nullptr);
            static const GDBusInterfaceVTable table = {&StandInPortal::onCall, &StandInPortal::onGet, nullptr, {}};
            g_dbus_connection_register_object(connection_, "/org/freedesktop/portal/desktop", node->interfaces[0],
                                              &table, this, nullptr, nullptr);
            g_dbus_node_info_unref(node);
            GVariant* reply = g_dbus_connection_call_sync(
                connection_, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "RequestName",
                g_variant_new("(su)", "org.freedesktop.portal.Desktop", 0u), nullptr, G_DBUS_CALL_FLAGS_NONE, -1,
                nullptr, nullptr);
            if (reply)
                g_variant_unref(reply);
            ok = reply != nullptr;
        }
        g_main_context_pop_thread_default(context_);
        thread_ = std::thread([this] {
            g_main_context_push_thread_default(context_);
            g_main_loop_run(loop_);
            g_main_context_pop_thread_default(context_);
        });
        // A quit before the loop runs would be lost, and the join wait forever.
        kv_test::WaitUntil([this] { return g_main_loop_is_running(loop_) != FALSE; });
    }
    ~StandInPortal()
    {
        g_main_loop_quit(loop_);
        thread_.join();
        if (connection_)
        {
            g_dbus_connection_close_sync(connection_, nullptr, nullptr);
            g_object_unref(connection_);
        }
        g_main_loop_unref(loop_);
        g_main_context_unref(context_);
    }
    std::map<std::string, std::string> seen() const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return seen_;
    }
    bool ok = false;

private:
    static GVariant* onGet(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*, GError**,
                           gpointer)
    {
        return g_variant_new_uint32(3);
    }
    static void onCall(GDBusConnection* connection, const gchar* sender, const gchar*, const gchar*,
                       const gchar* method, GVariant* parameters, GDBusMethodInvocation* invocation, gpointer data)
    {
        auto* self = static_cast<StandInPortal*>(data);
        const gchar* parent = nullptr;
        const gchar* title = nullptr;
        GVariant* options = nullptr;
        g_variant_get(parameters, "(&s&s@a{sv})", &parent, &title, &options);
        const gchar* token = "t";
        g_variant_lookup(options, "handle_token", "&s", &token);
        std::string name;
        const gchar* currentName = nullptr;
        if (g_variant_lookup(options, "current_name", "&s", &currentName))
            name = currentName;
        std::string filter;
        if (GVariant* current = g_variant_lookup_value(options, "current_filter", G_VARIANT_TYPE("(sa(us))")))
        {
            GVariant* globs = nullptr;
            const gchar* label = nullptr;
            g_variant_get(current, "(&s@a(us))", &label, &globs);
            const gchar* glob = nullptr;
            guint32 kind = 0;
            if (g_variant_n_children(globs) > 0)
                g_variant_get_child(globs, 0, "(u&s)", &kind, &glob);
            filter = glob ? glob : "";
            g_variant_unref(globs);
            g_variant_unref(current);
        }
        {
            std::lock_guard<std::mutex> lock(self->mutex_);
            self->seen_ = {{"method", method}, {"title", title}, {"name", name}, {"filter", filter}};
        }
        g_variant_unref(options);
        std::string unique = sender + 1;
        for (char& c : unique)
            if (c == '.')
                c = '_';
        const std::string handle = "/org/freedesktop/portal/desktop/request/" + unique + "/" + token;
        g_dbus_method_invocation_return_value(invocation, g_variant_new("(o)", handle.c_str()));
        const gchar* uris[] = {self->uri_.c_str(), nullptr};
        GVariantBuilder results;
        g_variant_builder_init(&results, G_VARIANT_TYPE_VARDICT);
        g_variant_builder_add(&results, "{sv}", "uris", g_variant_new_strv(uris, -1));
        g_dbus_connection_emit_signal(connection, sender, handle.c_str(), "org.freedesktop.portal.Request",
                                      "Response", g_variant_new("(ua{sv})", 0u, &results), nullptr);
    }

    std::string uri_;
    GMainContext* context_ = nullptr;
    GMainLoop* loop_ = nullptr;
    GDBusConnection* connection_ = nullptr;
    std::thread thread_;
    mutable std::mutex mutex_;
    std::map<std::string, std::string> seen_;
};

// PATH holds only a zenity that answers "/from/zenity".
struct OnlyZenity
{
    OnlyZenity()
    {
        dir = folder.path();
        std::ofstream(dir / "zenity") << "#!/bin/sh\necho /from/zenity\n";
        ::chmod((dir / "zenity").c_str(), 0755);
        saved = std::getenv("PATH") ? std::getenv("PATH") : "";
        savedBus = std::getenv("DBUS_SESSION_BUS_ADDRESS") ? std::getenv("DBUS_SESSION_BUS_ADDRESS") : "";
        ::setenv("PATH", dir.c_str(), 1);
    }
    ~OnlyZenity()
    {
        ::setenv("PATH", saved.c_str(), 1);
        savedBus.empty() ? ::unsetenv("DBUS_SESSION_BUS_ADDRESS")
                         : ::setenv("DBUS_SESSION_BUS_ADDRESS", savedBus.c_str(), 1);
    }
    kv_test::TempFolder folder{"portal-path"};
    fs::path dir;
    std::string saved;
    std::string savedBus;
};
} // namespace

TEST(PortalFileChooser, WhereAPortalRunsItChoosesBeforeZenityAndWithoutOneZenityServes)
{
    OnlyZenity path;
    // dbus-daemon is looked for on the real PATH.
    ::setenv("PATH", (path.dir.string() + ":" + path.saved).c_str(), 1);
    PrivateBus bus;
    ::setenv("PATH", path.dir.c_str(), 1);
    if (!bus.ok)
        GTEST_SKIP() << "no dbus-daemon to run a session bus";
    ::setenv("DBUS_SESSION_BUS_ADDRESS", bus.address.c_str(), 1);

    struct Case
    {
        bool portal;
        CNewFileSelector::Style style;
        std::string expected;
        std::string method;
    };
    const Case cases[] = {
        {true, CNewFileSelector::kSelectSaveFile, "/picked/My Preset.preset.xml", "SaveFile"},
        {true, CNewFileSelector::kSelectFile, "/picked/My Preset.preset.xml", "OpenFile"},
        {false, CNewFileSelector::kSelectFile, "/from/zenity", ""},
    };
    for (const Case& c : cases)
    {
        std::unique_ptr<StandInPortal> portal;
        if (c.portal)
        {
            portal = std::make_unique<StandInPortal>(bus.address, "file:///picked/My%20Preset.preset.xml");
            ASSERT_TRUE(portal->ok);
        }
        CNewFileSelector* selector = CNewFileSelector::create(nullptr, c.style);
        selector->setTitle("Presets");
        selector->setDefaultSaveName("Init");
        selector->setDefaultExtension(CFileExtension("Preset", "preset.xml"));
        EXPECT_TRUE(selector->runModal()) << c.method;
        ASSERT_EQ(selector->getNumSelectedFiles(), 1u) << c.method;
        EXPECT_EQ(std::string(selector->getSelectedFile(0)), c.expected);
        selector->forget();
        if (portal)
        {
            const auto seen = portal->seen();
            EXPECT_EQ(seen.at("method"), c.method);
            EXPECT_EQ(seen.at("title"), "Presets");
            EXPECT_EQ(seen.at("filter"), "*.preset.xml");
            EXPECT_EQ(seen.at("name"), c.style == CNewFileSelector::kSelectSaveFile ? "Init" : "");
        }
    }
}
