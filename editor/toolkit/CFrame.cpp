#include "editor/toolkit/CFrame.h"

#include <cmath>

#include <unistd.h>

#include <vector>

#include "editor/toolkit/CDrawContext.h"
#include "editor/toolkit/CNewFileSelector.h"
#include "editor/toolkit/COptionMenuPopup.h"
#include "editor/toolkit/ToolkitLog.h"

namespace VSTGUI {

namespace {
PlatformFrameFactory& factory()
{
    static PlatformFrameFactory f = nullptr;
    return f;
}

// Keeps the frame alive through a handler that may let go of it.
struct Hold
{
    explicit Hold(CFrame* f) : frame(f) { frame->remember(); }
    ~Hold() { frame->forget(); }
    CFrame* frame;
};
} // namespace

void setPlatformFrameFactory(PlatformFrameFactory f)
{
    factory() = f;
}

PlatformFrameFactory getPlatformFrameFactory()
{
    return factory();
}

std::unique_ptr<IFileChooserRun> IPlatformFrame::openFileBrowser(const CNewFileSelector& /*selector*/)
{
    return nullptr;
}

void IPlatformFrame::openMenu(const std::shared_ptr<COptionMenuPopup>& popup, const CPoint& frameLocation,
                              MenuDone done)
{
    const bool chosen = popupMenu(*popup, frameLocation);
    done(chosen);
}

void IPlatformFrame::openTextBox(const CRect& frameRect, const std::string& text, TextBoxDone done)
{
    std::string edited = text;
    int32_t resultCode = -1;
    const bool shown = runTextBox(frameRect, edited, resultCode);
    done(shown, shown ? edited : text, shown ? resultCode : -1);
}

bool IPlatformFrame::runModal(const std::function<bool()>& done)
{
    while (!done())
        ::usleep(5000);
    return true;
}

CRect CFrame::capped(const CRect& size)
{
    CCoord width = std::max<CCoord>(0, size.getWidth());
    CCoord height = std::max<CCoord>(0, size.getHeight());
    if (width > kMaxSize || height > kMaxSize)
    {
        // Whole pixels: no decimal separator for the host's locale to change.
        toolkitLog("frame of %lld x %lld capped at %lld x %lld", std::llround(width), std::llround(height),
                   std::llround(std::min(width, kMaxSize)), std::llround(std::min(height, kMaxSize)));
        width = std::min(width, kMaxSize);
        height = std::min(height, kMaxSize);
    }
    return CRect(0, 0, width, height);
}

CFrame::CFrame(const CRect& size, VSTGUIEditorInterface* editor) : CViewContainer(capped(size)), editor_(editor)
{
    dirty_.add(size_);
}

CFrame::~CFrame()
{
    close();
    removeAll(true);
}

bool CFrame::open(void* parent, PlatformType type)
{
    PlatformFrameFactory make = factory();
    if (!make)
    {
        toolkitLog("no window system to open the editor in");
        return false;
    }
    std::unique_ptr<IPlatformFrame> platform(make(this, size_, parent, type));
    if (!platform)
        return false;
    return open(std::move(platform));
}

bool CFrame::open(std::unique_ptr<IPlatformFrame> platformFrame)
{
    if (!platformFrame)
        return false;
    platformFrame_ = std::move(platformFrame);
    invalid();
    return true;
}

void CFrame::close()
{
    // Their dialogs end with the window; nobody is told.
    CNewFileSelector::endRunning(this);
    // The frame lets go of its window before the window shuts down: a menu
    // or text box that the shutdown ends calls back into a frame already
    // closed, so it ends as cancelled. Nothing touches the window once
    // close returns, also when a modal loop below us has yet to return.
    std::unique_ptr<IPlatformFrame> platform = std::move(platformFrame_);
    if (!platform)
        return;
    platform->shutdown();
    if (modalDepth_ > 0 || callDepth_ > 0)
        closedDuringCall_.push_back(std::move(platform));
}

void CFrame::releaseClosed()
{
    if (modalDepth_ == 0 && callDepth_ == 0)
        closedDuringCall_.clear();
}

void CFrame::platformEnter()
{
    remember();
    ++callDepth_;
    if (editor_)
        editor_->enterHostCall();
}

void CFrame::platformLeave()
{
    VSTGUIEditorInterface* editor = editor_;
    --callDepth_;
    // The platform frame that calls may go here: it touches nothing after.
    releaseClosed();
    if (editor)
        editor->leaveHostCall();
    forget();
}

void CFrame::openMenu(const std::shared_ptr<COptionMenuPopup>& popup, const CPoint& frameLocation,
                      IPlatformFrame::MenuDone done)
{
    IPlatformFrame* platform = platformFrame_.get();
    if (!platform)
    {
        toolkitLog("no window to show the menu in");
        popup->cancel();
        done(false);
        return;
    }
    remember();
    platform->openMenu(popup, frameLocation, [this, platform, done = std::move(done)](bool chosen) {
        // A frame closed meanwhile takes no choice.
        done(chosen && platformFrame_.get() == platform);
        forget();
    });
}

void CFrame::openTextBox(const CRect& frameRect, const std::string& text, IPlatformFrame::TextBoxDone done)
{
    IPlatformFrame* platform = platformFrame_.get();
    if (!platform)
    {
        toolkitLog("no window to edit text in");
        done(false, text, -1);
        return;
    }
    remember();
    platform->openTextBox(frameRect, text,
                          [this, platform, text, done = std::move(done)](bool shown, const std::string& edited,
                                                                         int32_t resultCode) {
                              if (shown && platformFrame_.get() == platform)
                                  done(true, edited, resultCode);
                              else
                                  done(false, text, -1);
                              forget();
                          });
}

bool CFrame::popupMenu(COptionMenuPopup& popup, const CPoint& frameLocation)
{
    IPlatformFrame* platform = platformFrame_.get();
    if (!platform)
    {
        toolkitLog("no window to show the menu in");
        return false;
    }
    Hold self(this);
    ++modalDepth_;
    const bool chosen = platform->popupMenu(popup, frameLocation);
    --modalDepth_;
    releaseClosed();
    // A frame closed meanwhile takes no choice.
    return chosen && platformFrame_.get() == platform;
}

bool CFrame::runTextBox(const CRect& frameRect, std::string& text, int32_t& resultCode)
{
    IPlatformFrame* platform = platformFrame_.get();
    if (!platform)
    {
        toolkitLog("no window to edit text in");
        return false;
    }
    Hold self(this);
    ++modalDepth_;
    const bool shown = platform->runTextBox(frameRect, text, resultCode);
    --modalDepth_;
    releaseClosed();
    return shown && platformFrame_.get() == platform;
}

bool CFrame::runModal(const std::function<bool()>& done)
{
    IPlatformFrame* platform = platformFrame_.get();
    if (!platform)
        return false;
    Hold self(this);
    ++modalDepth_;
    platform->runModal([&] { return platformFrame_.get() != platform || done(); });
    --modalDepth_;
    releaseClosed();
    return true;
}

void CFrame::platformOnIdle()
{
    Hold self(this);
    CNewFileSelector::pollRunning(this);
}

bool CFrame::setSize(CCoord width, CCoord height)
{
    const CRect size = capped(CRect(0, 0, width, height));
    if (size == size_)
        return true;
    setViewSize(size, true);
    if (platformFrame_)
        platformFrame_->setSize(size);
    return true;
}

void CFrame::invalidRect(const CRect& rect)
{
    invalidChildRect(rect);
}

void CFrame::invalidChildRect(const CRect& rect)
{
    CRect r = rect;
    r.bound(size_);
    if (r.isEmpty())
        return;
    dirty_.add(r);
    if (platformFrame_)
        platformFrame_->invalidRect(r);
}

bool CFrame::drawDirty(CDrawContext* context)
{
    if (dirty_.isEmpty())
        return false;
    // What a draw makes dirty again waits for the next pass.
    const std::vector<CRect> rects = dirty_.rects();
    for (const CRect& r : rects)
        platformDrawRect(context, r);
    return true;
}

void CFrame::platformDrawRect(CDrawContext* context, const CRect& rect)
{
    // Whole pixels: the platform paints whole pixels, and a clip that cut a
    // row in part would leave that row half drawn over what it held before.
    CRect area(std::floor(rect.left), std::floor(rect.top), std::ceil(rect.right), std::ceil(rect.bottom));
    area.bound(size_);
    dirty_.subtract(area);
    if (area.isEmpty())
        return;
    context->saveGlobalState();
    context->setClipLimit(area);
    context->setClipRect(area);
    drawRect(context, area);
    context->restoreGlobalState();
    context->setClipLimit(context->getSurfaceRect());
}

CMouseEventResult CFrame::platformOnMouseDown(CPoint& where, const CButtonState& buttons)
{
    Hold self(this);
    if (editor_ && (buttons & kLButton))
        editor_->onPointerHeld(true);
    return onMouseDown(where, buttons);
}

CMouseEventResult CFrame::platformOnMouseMoved(CPoint& where, const CButtonState& buttons)
{
    Hold self(this);
    return onMouseMoved(where, buttons);
}

CMouseEventResult CFrame::platformOnMouseUp(CPoint& where, const CButtonState& buttons)
{
    Hold self(this);
    const CMouseEventResult result = onMouseUp(where, buttons);
    if (editor_ && (buttons & kLButton))
        editor_->onPointerHeld(false);
    return result;
}

bool CFrame::platformGetTooltipText(const CPoint& where, std::string& text)
{
    if (!tooltips_)
        return false;
    // The innermost view under the point that has a tooltip.
    CPoint local = where;
    const CView* found = nullptr;
    const CViewContainer* container = this;
    while (container)
    {
        CView* view = container->getViewAt(local, false);
        if (!view)
            break;
        uint32_t size = 0;
        if (view->getAttributeSize(kCViewTooltipAttribute, size) && size > 0)
            found = view;
        container = dynamic_cast<const CViewContainer*>(view);
        if (container)
            local = local - container->getViewSize().getTopLeft();
    }
    if (!found)
        return false;
    uint32_t size = 0;
    found->getAttributeSize(kCViewTooltipAttribute, size);
    std::string bytes(size, '\0');
    found->getAttribute(kCViewTooltipAttribute, size, bytes.data(), size);
    text.assign(bytes.c_str());
    return !text.empty();
}

void CFrame::platformOnTimer()
{
    if (editor_)
        editor_->onFrameTimer();
}

} // namespace VSTGUI
