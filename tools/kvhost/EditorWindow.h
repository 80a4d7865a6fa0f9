#pragma once
// A plug-in's editor in a real X11 window, as a DAW shows it: a top-level
// window of the view's size, the view attached to it as "X11EmbedWindowID",
// this host's IPlugFrame (which resizes the window) and IRunLoop (which the
// editor registers its X connection and repaint timer with). Input reaches
// the editor through the X server (see XTestInput) and screenshots are read
// back from it (see WindowCapture). Host thread only.

#include <memory>
#include <string>

#include "pluginterfaces/base/smartpointer.h"
#include "pluginterfaces/gui/iplugview.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"
#include "tools/kvhost/EditorAction.h"
#include "tools/kvhost/EditorRunLoop.h"
#include "tools/kvhost/WindowCapture.h"
#include "tools/kvhost/XTestInput.h"

// SDK interfaces are COM-style: objects die through release(), never through
// a base pointer, so their bases have no virtual destructor.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
class EditorWindow : public Steinberg::IPlugFrame
{
public:
    // Connects to the X server named (empty: $DISPLAY); null with a message
    // when there is none.
    static std::unique_ptr<EditorWindow> Connect(const std::string& displayName, std::string& error);
    virtual ~EditorWindow();
    EditorWindow(const EditorWindow&) = delete;
    EditorWindow& operator=(const EditorWindow&) = delete;

    // Creates the controller's "editor" view and opens it.
    bool open(Steinberg::Vst::IEditController* controller, std::string& error);
    // Opens a view: a window of its size, setFrame, attached. Takes a reference.
    bool open(Steinberg::IPlugView* view, std::string& error);
    // removed(), setFrame(nullptr), the view released, the window destroyed.
    void close();
    // Destroys the window while the view is still attached, as a host that
    // closes its window before telling the editor does.
    void destroyWindow();

    // The run loop offered to views opened from now on in place of this
    // host's own: a host whose UI thread runs another loop (not owned; null
    // puts back the own). settle() and play() serve only the own.
    void offerRunLoop(Steinberg::Linux::IRunLoop* runLoop) { offered_ = runLoop; }

    Steinberg::IPlugView* view() const { return view_.get(); }
    EditorRunLoop& runLoop() { return runLoop_; }
    XTestInput& input() { return *input_; }
    Display* display() const { return display_; }
    unsigned long window() const { return window_; }
    int width() const { return width_; }
    int height() const { return height_; }
    // Seconds from createView (or open's start) to attached() returning.
    double openSeconds() const { return openSeconds_; }
    // The X connection broke (the server went away).
    bool serverLost() const { return serverLost_; }
    // resizeView calls the view made, and how many it answered with onSize.
    int resizeRequests() const { return resizeRequests_; }

    // Runs the loop until what was sent reached the editor and it redrew:
    // until each of its timers ran kSettleTimerRounds times and then a round
    // trip to the server leaves nothing to read. False when that took longer
    // than kSettleSeconds.
    bool settle();
    static constexpr int kSettleTimerRounds = 2;
    static constexpr double kSettleSeconds = 20.0;
    // Runs the actions on a thread of their own, with an X connection of its
    // own, while this thread serves the editor: as a user's input arrives
    // while a modal loop of the editor (a menu, the text box) holds the host.
    // Each action goes once the editor handled the one before (see
    // HostThreadIdle), within kHandleSeconds. A modal loop still open
    // kHandleSeconds after the last action (its input went astray, or the
    // actions left a menu open) is ended by unmapping the window, and the
    // play fails. True when every action worked.
    bool play(const std::vector<EditorAction>& actions, std::string& error);
    static constexpr double kHandleSeconds = 20.0;
    bool capture(WindowImage& image, std::string& error);
    bool screenshot(const std::string& pngPath, std::string& error);

    // IPlugFrame
    Steinberg::tresult PLUGIN_API resizeView(Steinberg::IPlugView* view, Steinberg::ViewRect* newSize) SMTG_OVERRIDE;
    Steinberg::tresult PLUGIN_API queryInterface(const Steinberg::TUID iid, void** obj) SMTG_OVERRIDE;
    // Owned by the host, which outlives the view: nothing to count.
    Steinberg::uint32 PLUGIN_API addRef() SMTG_OVERRIDE { return 1; }
    Steinberg::uint32 PLUGIN_API release() SMTG_OVERRIDE { return 1; }

    static constexpr const char* kPlatformType = "X11EmbedWindowID";
    static constexpr int kMaxSide = 8192;

private:
    explicit EditorWindow(Display* display);
    void serveHostEvents();
    static void ConnectionLost(Display* display, void* self);

    EditorRunLoop runLoop_;
    Steinberg::Linux::IRunLoop* offered_ = nullptr;
    Display* display_ = nullptr;
    unsigned long window_ = 0;
    int width_ = 0;
    int height_ = 0;
    double openSeconds_ = 0.0;
    bool serverLost_ = false;
    bool attached_ = false;
    int resizeRequests_ = 0;
    Steinberg::IPtr<Steinberg::IPlugView> view_;
    std::unique_ptr<XTestInput> input_;
};
#pragma GCC diagnostic pop
