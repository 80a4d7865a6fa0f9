#pragma once
// What a plug-in's view does with its frame on Linux: on attached it opens
// the frame inside the host's X11 window ("X11EmbedWindowID"), served by the
// run loop the host offers through its IPlugFrame; on removed it closes it;
// on onSize it sizes it. Each step answers a clear result when called out of
// turn (attached twice, removed twice or before attached). UI thread only.

#include <string>

#include "pluginterfaces/base/funknown.h"

namespace Steinberg {
class IPlugFrame;
struct ViewRect;
} // namespace Steinberg

namespace VSTGUI {

class CFrame;

class FrameEmbedding
{
public:
    FrameEmbedding() = default;
    // Closes a frame still open.
    ~FrameEmbedding();
    FrameEmbedding(const FrameEmbedding&) = delete;
    FrameEmbedding& operator=(const FrameEmbedding&) = delete;

    static bool supports(Steinberg::FIDString type);

    // Opens the frame (taking a reference) in the host's window `parent`.
    // False with a message when the type, the window or the connection fails.
    bool attach(CFrame* frame, void* parent, Steinberg::FIDString type, Steinberg::IPlugFrame* plugFrame,
                std::string& error);
    // Closes the frame's window and lets go of the frame; false when none was open.
    bool remove();
    bool resize(const Steinberg::ViewRect& size);

    CFrame* frame() const { return frame_; }
    bool attached() const { return frame_ != nullptr; }

private:
    CFrame* frame_ = nullptr;
};

} // namespace VSTGUI
