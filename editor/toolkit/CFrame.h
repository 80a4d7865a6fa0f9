#pragma once
// The root container of an editor. It collects the parts that need drawing
// and draws only those: in a window when the platform asks, or offscreen
// into a draw context (drawDirty). Mouse events from the platform enter here.
// A frame that is not touched does no work. UI thread only.

#include <memory>
#include <vector>

#include "editor/toolkit/CViewContainer.h"
#include "editor/toolkit/DirtyRegion.h"
#include "editor/toolkit/IPlatformFrame.h"
#include "editor/toolkit/VSTGUIEditorInterface.h"

namespace VSTGUI {

class CFrame : public CViewContainer, public IPlatformFrameCallback
{
public:
    // The frame is placed at 0, 0; its size is capped at kMaxSize.
    CFrame(const CRect& size, VSTGUIEditorInterface* editor);
    ~CFrame() override;

    // Shows the frame in the host's window through the installed platform.
    bool open(void* parent, PlatformType type = PlatformType::kDefaultNative);
    // Shows the frame through the given platform frame (taken over).
    bool open(std::unique_ptr<IPlatformFrame> platformFrame);
    // Lets go of the window; views stay.
    void close();
    IPlatformFrame* getPlatformFrame() const { return platformFrame_.get(); }
    VSTGUIEditorInterface* getEditor() const { return editor_; }

    // The window's modal pop-ups, safe against the frame being closed or
    // released while they run; false without a window.
    bool popupMenu(COptionMenuPopup& popup, const CPoint& frameLocation);
    bool runTextBox(const CRect& frameRect, std::string& text, int32_t& resultCode);
    // The same pop-ups without waiting (see IPlatformFrame): `done` is called
    // once, with false when there is no window or the frame closes first.
    // The frame stays alive until then.
    void openMenu(const std::shared_ptr<COptionMenuPopup>& popup, const CPoint& frameLocation,
                  IPlatformFrame::MenuDone done);
    void openTextBox(const CRect& frameRect, const std::string& text, IPlatformFrame::TextBoxDone done);
    // Serves the window until done() answers true or the frame is closed;
    // false without a window (nothing was run: the caller waits its own way).
    bool runModal(const std::function<bool()>& done);

    bool setSize(CCoord width, CCoord height);
    void enableTooltips(bool state) { tooltips_ = state; }
    bool tooltipsEnabled() const { return tooltips_; }

    // Draws what is dirty onto context and empties the dirty region; false
    // when nothing was dirty.
    bool drawDirty(CDrawContext* context);
    const DirtyRegion& getDirtyRegion() const { return dirty_; }

    void invalidRect(const CRect& rect) override;
    void invalidChildRect(const CRect& rect) override;
    CPoint& localToFrame(CPoint& point) const override { return point; }
    CPoint& frameToLocal(CPoint& point) const override { return point; }

    // IPlatformFrameCallback
    void platformDrawRect(CDrawContext* context, const CRect& rect) override;
    CMouseEventResult platformOnMouseDown(CPoint& where, const CButtonState& buttons) override;
    CMouseEventResult platformOnMouseMoved(CPoint& where, const CButtonState& buttons) override;
    CMouseEventResult platformOnMouseUp(CPoint& where, const CButtonState& buttons) override;
    bool platformGetTooltipText(const CPoint& where, std::string& text) override;
    // Passes the tick on to the editor.
    void platformOnTimer() override;
    // Tells file selectors run on this frame whose dialog ended; offscreen
    // callers call it themselves.
    void platformOnIdle() override;
    // Keeps the frame and its editor while the host's loop calls in; a
    // window closed meanwhile is let go when the outermost call leaves.
    void platformEnter() override;
    void platformLeave() override;

    static constexpr CCoord kMaxSize = 8192;

private:
    static CRect capped(const CRect& size);
    // Lets go of a window closed during a modal pop-up or a host's call,
    // once none of them is on the stack.
    void releaseClosed();

    VSTGUIEditorInterface* editor_;
    std::unique_ptr<IPlatformFrame> platformFrame_;
    // A window closed during a modal pop-up or a host's call is let go when
    // the last of them returns.
    std::vector<std::unique_ptr<IPlatformFrame>> closedDuringCall_;
    int modalDepth_ = 0;
    int callDepth_ = 0;
    DirtyRegion dirty_;
    bool tooltips_ = false;
};

} // namespace VSTGUI
