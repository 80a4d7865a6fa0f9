#include "editor/toolkit/x11/FrameEmbedding.h"

#include <dlfcn.h>

#include <cstring>

#include "editor/toolkit/CFrame.h"
#include "editor/toolkit/x11/X11Frame.h"
#include "pluginterfaces/gui/iplugview.h"

namespace VSTGUI {

using namespace Steinberg;

namespace {
// Pango and gdk-pixbuf register their types with GObject, which stays loaded
// for good; a host that unloads the plug-in and loads it again would take
// them out from under those types, and the next font would hang the host.
// Once the editor has drawn, they stay loaded with GObject.
void keepGraphicsLibrariesLoaded()
{
    static const bool kept = [] {
        for (const char* name : {"libpangocairo-1.0.so.0", "libpangoft2-1.0.so.0", "libpango-1.0.so.0",
                                 "libgdk_pixbuf-2.0.so.0"})
        {
            // Only those already loaded: this adds the flag, nothing else.
            if (void* library = dlopen(name, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE))
                dlclose(library);
        }
        return true;
    }();
    (void)kept;
}
} // namespace

FrameEmbedding::~FrameEmbedding()
{
    remove();
}

bool FrameEmbedding::supports(FIDString type)
{
    return type != nullptr && std::strcmp(type, kPlatformTypeX11EmbedWindowID) == 0;
}

bool FrameEmbedding::attach(CFrame* frame, void* parent, FIDString type, IPlugFrame* plugFrame, std::string& error)
{
    if (frame_ != nullptr)
    {
        error = "the view is attached already";
        return false;
    }
    if (frame == nullptr || parent == nullptr || !supports(type))
    {
        error = frame == nullptr ? "no frame" : parent == nullptr ? "no parent window" : "not an X11 window";
        return false;
    }
    keepGraphicsLibrariesLoaded();
    Linux::IRunLoop* runLoop = nullptr;
    if (plugFrame == nullptr ||
        plugFrame->queryInterface(Linux::IRunLoop_iid, reinterpret_cast<void**>(&runLoop)) != kResultOk)
        runLoop = nullptr;
    std::unique_ptr<X11Frame> window = X11Frame::create(frame, frame->getViewSize(), parent, runLoop, error);
    if (runLoop)
        runLoop->release();
    if (!window || !frame->open(std::move(window)))
        return false;
    frame->remember();
    frame_ = frame;
    return true;
}

bool FrameEmbedding::remove()
{
    if (frame_ == nullptr)
        return false;
    CFrame* frame = frame_;
    frame_ = nullptr;
    frame->close();
    frame->forget();
    return true;
}

bool FrameEmbedding::resize(const ViewRect& size)
{
    if (frame_ == nullptr)
        return false;
    return frame_->setSize(size.getWidth(), size.getHeight());
}

} // namespace VSTGUI
