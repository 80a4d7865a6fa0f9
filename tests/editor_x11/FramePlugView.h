#pragma once
// A plug-in view that shows a frame the caller built, through the window
// layer: tests and benchmarks of the window layer without a plug-in module.

#include <string>

#include "editor/toolkit/CFrame.h"
#include "editor/toolkit/x11/FrameEmbedding.h"
#include "public.sdk/source/common/pluginview.h"

// SDK interfaces are COM-style: objects die through release(), never through
// a base pointer, so their bases have no virtual destructor.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
class FramePlugView : public Steinberg::CPluginView
{
public:
    // Takes a reference to the frame.
    explicit FramePlugView(VSTGUI::CFrame* frame) : CPluginView(nullptr), frame_(frame)
    {
        frame_->remember();
        const VSTGUI::CRect& size = frame->getViewSize();
        rect = Steinberg::ViewRect(0, 0, static_cast<Steinberg::int32>(size.getWidth()),
                                   static_cast<Steinberg::int32>(size.getHeight()));
    }
    ~FramePlugView() override
    {
        embedding_.remove();
        frame_->forget();
    }

    Steinberg::tresult PLUGIN_API isPlatformTypeSupported(Steinberg::FIDString type) SMTG_OVERRIDE
    {
        return VSTGUI::FrameEmbedding::supports(type) ? Steinberg::kResultTrue : Steinberg::kResultFalse;
    }
    Steinberg::tresult PLUGIN_API attached(void* parent, Steinberg::FIDString type) SMTG_OVERRIDE
    {
        std::string error;
        if (!embedding_.attach(frame_, parent, type, plugFrame, error))
            return Steinberg::kResultFalse;
        return CPluginView::attached(parent, type);
    }
    Steinberg::tresult PLUGIN_API removed() SMTG_OVERRIDE
    {
        if (!embedding_.remove())
            return Steinberg::kResultFalse;
        return CPluginView::removed();
    }

private:
    VSTGUI::CFrame* frame_;
    VSTGUI::FrameEmbedding embedding_;
};
#pragma GCC diagnostic pop
