#pragma once
// An X server of one's own for running editors where there is no screen:
// Xvfb, started with -displayfd so that several started side by side never
// take the same display number. Tests and benchmarks use it; without Xvfb
// they fall back to $DISPLAY. Each server's process, then its display
// number, is added to the file that KV_XVFB_RECORD names, when set: CI checks
// that none is left running or leaves its display lock behind.

#include <sys/types.h>

#include <string>

class XvfbServer
{
public:
    // Starts a server of 1024 x 768 at 24 bits; check ok().
    XvfbServer();
    // Stops the server.
    ~XvfbServer();
    XvfbServer(const XvfbServer&) = delete;
    XvfbServer& operator=(const XvfbServer&) = delete;

    bool ok() const { return !name_.empty(); }
    // ":N"
    const std::string& name() const { return name_; }
    // Why it did not start.
    const std::string& error() const { return error_; }
    // Ends the server now, as a crash of the X server would.
    void stop();

private:
    pid_t pid_ = 0;
    std::string name_;
    std::string error_;
};
