#include "editor/VG_Container.h"

#include <algorithm>

#include "core/CModuleFactory.h"
#include "editor/GuiModuleWrapper.h"
#include "editor/KVVSTGUIEditor.h"

namespace
{
gmpi::IMpUnknown* createContainer()
{
    return static_cast<gmpi::IMpUserInterface2*>(new VG_Container());
}

const char* const kContainerXml = R"(<?xml version="1.0" encoding="utf-8" ?>
<PluginList>
  <Plugin id="ContainerV" name="Container" category="Special" graphicsApi="VSTGUI">
    <GUI>
      <Pin name="Controls on Parent" datatype="bool" direction="out" isMinimised="true"/>
      <Pin name="Controls on Module" datatype="bool" noAutomation="true"/>
      <Pin name="Controls on Parent" datatype="bool"/>
      <Pin name="Ignore Program Change" datatype="bool" noAutomation="true"/>
    </GUI>
  </Plugin>
</PluginList>
)";

int32_t registerContainer()
{
    RegisterPluginXml(kContainerXml);
    return RegisterPlugin(3, L"ContainerV", &createContainer);
}
} // namespace

extern const int32_t kvContainerRegistered = registerContainer();

VG_Container::VG_Container() : KvGuiVstGuiView(VSTGUI::CRect())
{
    initializePin(0, controlsOnParent_, &VG_Container::onVisibilityChanged);
    initializePin(2, controlsOnModule_, &VG_Container::onVisibilityChanged);
    setTransparency(true);
}

VG_Container::VG_Container(const VG_Container& other) : KvGuiVstGuiView(other)
{
}

void VG_Container::onVisibilityChanged()
{
    setVisible(controlsOnParent_.getValue() || controlsOnModule_.getValue());
}

int32_t VG_Container::initialize()
{
    onVisibilityChanged();
    return MpGuiBase2::initialize();
}

GuiModuleWrapper* VG_Container::WrapperOf(VSTGUI::CView* view) const
{
    auto* editor = dynamic_cast<KVVSTGUIEditor*>(getEditor());
    return editor ? editor->Lookup(view) : nullptr;
}

int32_t VG_Container::measure(MpSize, MpSize& returnDesiredSize)
{
    double left = 0, top = 0, right = 0, bottom = 0;
    for (int32_t i = 0; i < getNbViews(); ++i)
    {
        double childLeft = 0, childTop = 0, childRight = 0, childBottom = 0;
        if (GuiModuleWrapper* child = WrapperOf(getView(static_cast<uint32_t>(i))))
        {
            MpSize desired;
            child->DoMeasure(MpSize{50000, 50000}, desired);
            const MpRect r = child->getRect();
            desired = MpSize{};
            child->DoMeasure(MpSize{r.right - r.left, r.bottom - r.top}, desired);
            childLeft = r.left;
            childTop = r.top;
            childRight = r.left + desired.x;
            childBottom = r.top + desired.y;
        }
        if (left == 0 && top == 0 && right == 0 && bottom == 0)
        {
            left = childLeft;
            top = childTop;
            right = childRight;
            bottom = childBottom;
        }
        else if (!(childLeft == 0 && childTop == 0 && childRight == 0 && childBottom == 0))
        {
            left = std::min(left, childLeft);
            top = std::min(top, childTop);
            right = std::max(right, childRight);
            bottom = std::max(bottom, childBottom);
        }
    }
    returnDesiredSize = MpSize{static_cast<int32_t>(right - left), static_cast<int32_t>(bottom - top)};
    boxLeft = left;
    boxTop = top;
    if (GuiModuleWrapper* own = WrapperOf(this))
    {
        MpRect rect;
        rect.left = static_cast<int32_t>(boxLeft + OffsetX);
        rect.top = static_cast<int32_t>(boxTop + OffsetY);
        rect.right = rect.left + returnDesiredSize.x;
        rect.bottom = rect.top + returnDesiredSize.y;
        own->setRect(rect);
    }
    return gmpi::MP_OK;
}

int32_t VG_Container::arrange(MpRect finalRect)
{
    const VSTGUI::CRect size(finalRect.left, finalRect.top, finalRect.right, finalRect.bottom);
    setViewSize(size);
    setMouseableArea(size);
    for (int32_t i = 0; i < getNbViews(); ++i)
    {
        if (GuiModuleWrapper* child = WrapperOf(getView(static_cast<uint32_t>(i))))
            child->DoArrange(static_cast<float>(-boxLeft), static_cast<float>(-boxTop));
    }
    return gmpi::MP_OK;
}
