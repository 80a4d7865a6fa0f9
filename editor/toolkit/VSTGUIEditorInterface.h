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
};

} // namespace VSTGUI
