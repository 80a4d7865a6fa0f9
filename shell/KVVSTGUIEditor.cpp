#include "shell/KVVSTGUIEditor.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "core/ParameterFieldType.h"
#include "editor/toolkit/CFrame.h"
#include "pluginterfaces/gui/iplugview.h"
#include "shell/ADelayController.h"

using namespace Steinberg;

namespace
{
// What the frame shows where no view draws.
constexpr VSTGUI::CColor kBackground(48, 52, 58);
} // namespace

KVVSTGUIEditor::KVVSTGUIEditor(ADelayController* owner, ViewRect* size)
    : EditorView(owner, size), controller_(owner)
{
}

KVVSTGUIEditor::~KVVSTGUIEditor()
{
    // A host that never calls removed still gets its window back clean.
    embedding_.remove();
}

IGuiModuleReceiver* KVVSTGUIEditor::HandleToObject(int handle) const
{
    const auto found = modules_.find(handle);
    return found == modules_.end() ? nullptr : found->second;
}

void KVVSTGUIEditor::SetModule(int handle, IGuiModuleReceiver* module)
{
    if (module)
        modules_[handle] = module;
    else
        modules_.erase(handle);
}

void KVVSTGUIEditor::setParameterFromGui(int handle, int field, int /*voice*/, int size, const void* data)
{
    if (controller_ == nullptr)
        return;
    if (handle != -1 || field != 0)
    {
        controller_->setParameterFromGui(handle, field, size, data);
        return;
    }
    // The preset menu: 1 exports, 2 imports; the chooser names the file.
    int32_t choice = 0;
    if (data == nullptr || size < static_cast<int>(sizeof(choice)))
        return;
    std::memcpy(&choice, data, sizeof(choice));
    if ((choice != 1 && choice != 2) || chooser_ == nullptr)
        return;
    const bool save = choice == 1;
    std::string path;
    if (!chooser_->ChooseFile(save, kPresetTitle, kPresetExtension, path) || path.empty())
        return;
    lastCommandOk_ = save ? controller_->ExportPresetXml(path) : controller_->ImportPresetXml(path);
}

bool KVVSTGUIEditor::getParameterValue(int handle, int field, std::string& out) const
{
    return controller_ != nullptr && controller_->getParameterValue(handle, field, out);
}

int KVVSTGUIEditor::getParameterHandle(int moduleHandle, int moduleParamId) const
{
    return controller_ != nullptr ? controller_->getParameterHandle(moduleHandle, moduleParamId) : -1;
}

tresult PLUGIN_API KVVSTGUIEditor::isPlatformTypeSupported(FIDString type)
{
    return type != nullptr && std::strcmp(type, kPlatformTypeX11EmbedWindowID) == 0 ? kResultTrue : kResultFalse;
}

tresult PLUGIN_API KVVSTGUIEditor::attached(void* parent, FIDString type)
{
    if (!VSTGUI::FrameEmbedding::supports(type) || embedding_.attached())
        return kResultFalse;
    auto* frame = new VSTGUI::CFrame(VSTGUI::CRect(0, 0, rect.getWidth(), rect.getHeight()), this);
    frame->setBackgroundColor(kBackground);
    std::string error;
    const bool opened = embedding_.attach(frame, parent, type, plugFrame, error);
    frame->forget();
    if (!opened)
    {
        std::fprintf(stderr, "KVVSTGUIEditor: the editor cannot open: %s\n", error.c_str());
        return kResultFalse;
    }
    return EditorView::attached(parent, type);
}

tresult PLUGIN_API KVVSTGUIEditor::removed()
{
    if (!embedding_.remove())
        return kResultFalse;
    return EditorView::removed();
}

tresult PLUGIN_API KVVSTGUIEditor::onSize(ViewRect* newSize)
{
    if (newSize == nullptr)
        return kInvalidArgument;
    ViewRect wanted = *newSize;
    checkSizeConstraint(&wanted);
    EditorView::onSize(&wanted);
    embedding_.resize(wanted);
    return kResultTrue;
}

tresult PLUGIN_API KVVSTGUIEditor::checkSizeConstraint(ViewRect* wanted)
{
    if (wanted == nullptr)
        return kInvalidArgument;
    // Any size of at least one pixel each way.
    if (wanted->right <= wanted->left)
        wanted->right = wanted->left + 1;
    if (wanted->bottom <= wanted->top)
        wanted->bottom = wanted->top + 1;
    return kResultTrue;
}
