#pragma once
// What a frame knows of the editor that owns it: views reach their editor
// through their frame.

namespace VSTGUI {

class CFrame;

class VSTGUIEditorInterface
{
public:
    virtual ~VSTGUIEditorInterface() = default;
    virtual CFrame* getFrame() const = 0;
    // The frame's window timer fired (UI thread, about every 16 ms while the
    // window is shown and served).
    virtual void onFrameTimer() {}
    // The left button was pressed on the frame (true) or released (false):
    // what a control does in between is one gesture (UI thread).
    virtual void onPointerHeld(bool /*held*/) {}
    // The host's loop calls into the editor's window: the editor stays
    // alive until the matching leave, and what closing it frees meanwhile
    // waits until the outermost leave (UI thread).
    virtual void enterHostCall() {}
    virtual void leaveHostCall() {}
};

} // namespace VSTGUI
