#include "tools/kvhost/XvfbServer.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

extern char** environ;

namespace
{
// Appends "<pid>" or "<pid> <display number>" to the file that
// KV_XVFB_RECORD names, when it names one: a run that checks what its tests
// leave behind then knows which X servers are its own.
void Record(pid_t pid, const std::string& number)
{
    const char* path = std::getenv("KV_XVFB_RECORD");
    if (path == nullptr || *path == '\0')
        return;
    const int fd = open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0)
        return;
    const std::string line = std::to_string(pid) + (number.empty() ? "" : " " + number) + "\n";
    // One write, so that the lines of servers started side by side never mix;
    // a server it fails to record is only not checked for.
    [[maybe_unused]] const ssize_t written = write(fd, line.data(), line.size());
    close(fd);
}
} // namespace

XvfbServer::XvfbServer()
{
    int fds[2];
    if (pipe(fds) != 0)
    {
        error_ = "no pipe for Xvfb";
        return;
    }
    const std::string fd = std::to_string(fds[1]);
    const char* argv[] = {"Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1024x768x24", "-nolisten", "tcp", nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const int spawned = posix_spawnp(&pid_, "Xvfb", &actions, nullptr, const_cast<char* const*>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (spawned != 0)
    {
        pid_ = 0;
        close(fds[0]);
        error_ = "Xvfb is not installed (scripts/setup.sh installs it)";
        return;
    }
    Record(pid_, "");
    // Xvfb writes its display number once it takes connections.
    std::string number;
    pollfd ready{fds[0], POLLIN, 0};
    char c = 0;
    while (poll(&ready, 1, 10000) > 0 && read(fds[0], &c, 1) == 1 && c != '\n')
        number += c;
    close(fds[0]);
    if (number.empty())
    {
        stop();
        error_ = "Xvfb did not start";
        return;
    }
    Record(pid_, number);
    name_ = ":" + number;
}

XvfbServer::~XvfbServer()
{
    stop();
}

void XvfbServer::stop()
{
    if (pid_ <= 0)
        return;
    ::kill(pid_, SIGTERM);
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = 0;
}
