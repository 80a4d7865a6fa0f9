#include "editor/toolkit/DialogProcess.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>

#include "editor/toolkit/ToolkitLog.h"

extern char** environ;

namespace VSTGUI {

namespace {
// More than any list of paths; a program that writes on is not kept in memory.
constexpr size_t kMaxOutput = size_t(1) << 20;
} // namespace

DialogProcess::~DialogProcess()
{
    kill();
}

bool DialogProcess::start(const std::vector<std::string>& arguments)
{
    if (pid_ > 0 || arguments.empty())
        return false;
    output_.clear();
    ended_ = false;
    exitedWithZero_ = false;
    lostTrack_ = false;
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
    {
        toolkitLog("cannot start \"%s\": %s", arguments[0].c_str(), std::strerror(errno));
        ended_ = true;
        return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    // A group of its own, so that kill() reaches what it starts; the host's
    // blocked or ignored signals are not handed on.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none, defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    for (int s : {SIGPIPE, SIGCHLD, SIGINT, SIGTERM, SIGHUP})
        sigaddset(&defaults, s);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    std::vector<char*> argv;
    for (const std::string& a : arguments)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int error = posix_spawn(&pid, arguments[0].c_str(), &actions, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    if (error != 0)
    {
        ::close(fds[0]);
        toolkitLog("cannot start \"%s\": %s", arguments[0].c_str(), std::strerror(error));
        ended_ = true;
        return false;
    }
    ::fcntl(fds[0], F_SETFL, ::fcntl(fds[0], F_GETFL) | O_NONBLOCK);
    pipe_ = fds[0];
    pid_ = pid;
    return true;
}

bool DialogProcess::drain()
{
    if (pipe_ < 0)
        return false;
    char buffer[4096];
    for (;;)
    {
        const ssize_t n = ::read(pipe_, buffer, sizeof buffer);
        if (n > 0)
        {
            output_.append(buffer, std::min(size_t(n), kMaxOutput - std::min(kMaxOutput, output_.size())));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return true;
        closePipe();
        return false;
    }
}

void DialogProcess::closePipe()
{
    if (pipe_ >= 0)
        ::close(pipe_);
    pipe_ = -1;
}

void DialogProcess::reaped(int status)
{
    closePipe();
    pid_ = -1;
    ended_ = true;
    exitedWithZero_ = WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool DialogProcess::poll()
{
    if (ended_)
        return true;
    if (pid_ <= 0)
        return ended_ = true;
    const bool open = drain();
    if (!lostTrack_)
    {
        int status = 0;
        const pid_t r = ::waitpid(pid_, &status, WNOHANG);
        if (r == pid_)
        {
            // What it wrote before it exited is in the pipe; what is
            // left there by programs it started is not waited for.
            drain();
            reaped(status);
            return true;
        }
        if (r == 0 || (r < 0 && errno == EINTR))
            return false;
        // Someone else reaped it: its output's end tells when it is over.
        toolkitLog("the dialog program was reaped by someone else; its answer is taken as it stands");
        lostTrack_ = true;
    }
    if (open)
        return false;
    // The exit code is lost: an answer counts as chosen, as a cancelled
    // dialog prints nothing.
    reaped(output_.empty() ? 1 << 8 : 0);
    return true;
}

void DialogProcess::wait(int milliseconds)
{
    if (ended_)
        return;
    if (pipe_ >= 0)
    {
        pollfd watch{pipe_, POLLIN, 0};
        ::poll(&watch, 1, milliseconds);
    }
    else
        ::usleep(useconds_t(std::min(milliseconds, 10)) * 1000);
}

void DialogProcess::kill()
{
    if (pid_ > 0 && !lostTrack_)
    {
        ::kill(-pid_, SIGKILL);
        ::kill(pid_, SIGKILL);
        int status = 0;
        while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR)
        {
        }
    }
    closePipe();
    if (pid_ > 0)
    {
        pid_ = -1;
        ended_ = true;
        exitedWithZero_ = false;
    }
}

} // namespace VSTGUI
