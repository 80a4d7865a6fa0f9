#pragma once
// A dialog program run as a child process, watched without blocking: its
// standard output is collected as it comes, its end noticed by poll(). The
// child leads a process group of its own, so ending it early (kill(), or
// the object going away first) ends whatever it started too, and it is
// always reaped: no zombie is left. UI thread only.

#include <sys/types.h>

#include <string>
#include <vector>

namespace VSTGUI {

class DialogProcess
{
public:
    DialogProcess() = default;
    // Kills and reaps a child that still runs.
    ~DialogProcess();
    DialogProcess(const DialogProcess&) = delete;
    DialogProcess& operator=(const DialogProcess&) = delete;

    // Starts arguments[0] (a path) with arguments[1...], one by one (no
    // shell), standard input from /dev/null. False with a log line when it
    // could not start; the process then counts as ended and failed.
    bool start(const std::vector<std::string>& arguments);
    // Reads what the child wrote so far and looks whether it ended; never
    // blocks. True once it ended and was reaped.
    bool poll();
    // Blocks until the child writes or ends, at most `milliseconds`.
    void wait(int milliseconds);
    // Ends a running child and its process group at once and reaps it.
    void kill();

    bool running() const { return pid_ > 0; }
    pid_t pid() const { return pid_; }
    // Ended by exiting with 0.
    bool succeeded() const { return ended_ && exitedWithZero_; }
    const std::string& output() const { return output_; }

private:
    // Reads what is there; false when the pipe is at its end.
    bool drain();
    void closePipe();
    void reaped(int status);

    pid_t pid_ = -1;
    int pipe_ = -1;
    std::string output_;
    bool ended_ = false;
    bool exitedWithZero_ = false;
    // The child was reaped by someone else (a host that ignores SIGCHLD):
    // the end of its output then says it ended.
    bool lostTrack_ = false;
};

} // namespace VSTGUI
