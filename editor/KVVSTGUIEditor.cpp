#include "editor/KVVSTGUIEditor.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "core/ParameterFieldType.h"
#include "editor/GuiModuleWrapper.h"
#include "editor/toolkit/CNewFileSelector.h"
#include "editor/toolkit/CFrame.h"
#include "editor/toolkit/CView.h"
#include "pluginterfaces/gui/iplugview.h"

using namespace Steinberg;

namespace
{
// What the frame shows where no view draws.
constexpr VSTGUI::CColor kBackground(48, 52, 58);

// Hands the selector's end message to the editor. The selector keeps it
// while its dialog is open; the editor's frame closing ends that dialog
// untold, so the editor is alive whenever it is called.
class SelectorDelegate final : public VSTGUI::CBaseObject
{
public:
    explicit SelectorDelegate(KVVSTGUIEditor* editor) : editor_(editor) {}
    VSTGUI::CMessageResult notify(VSTGUI::CBaseObject* sender, VSTGUI::IdStringPtr message) override
    {
        return static_cast<VSTGUI::CMessageResult>(editor_->notify(sender, message));
    }

private:
    KVVSTGUIEditor* editor_;
};
} // namespace

KVVSTGUIEditor::KVVSTGUIEditor(Steinberg::Vst::EditController* owner, std::unique_ptr<IKvEditorController> services,
                               ViewRect* size)
    : EditorView(owner, size), controller_(std::move(services))
{
}

KVVSTGUIEditor::~KVVSTGUIEditor()
{
    close();
}

GuiModuleWrapper* KVVSTGUIEditor::HandleToObject(int handle) const
{
    const auto found = modules_.find(handle);
    return found == modules_.end() ? nullptr : found->second.get();
}

GuiModuleWrapper* KVVSTGUIEditor::Lookup(VSTGUI::CView* view) const
{
    if (view == nullptr)
        return nullptr;
    for (const auto& [handle, wrapper] : modules_)
    {
        if (wrapper->getVstGuiView() == view)
            return wrapper.get();
    }
    return nullptr;
}

bool KVVSTGUIEditor::AddModule(int handle, std::unique_ptr<GuiModuleWrapper> wrapper)
{
    if (!wrapper || modules_.count(handle))
        return false;
    modules_.emplace(handle, std::move(wrapper));
    return true;
}

void KVVSTGUIEditor::setParameterFromGui(int handle, int field, int /*voice*/, int size, const void* data)
{
    if (controller_ == nullptr)
        return;
    int32_t choice = 0;
    if (handle == -1 && field == FT_VALUE && data != nullptr && size >= static_cast<int>(sizeof(choice)))
        std::memcpy(&choice, data, sizeof(choice));
    if (choice == 1 || choice == 2)
        RunPresetSelector(choice);
    else
        controller_->setParameterFromGui(handle, field, size, data);
}

// The preset menu: 1 exports (a save selector), 2 imports (an open selector).
void KVVSTGUIEditor::RunPresetSelector(int choice)
{
    const bool import = choice == 2;
    VSTGUI::CNewFileSelector* selector = VSTGUI::CNewFileSelector::create(
        frame_, import ? VSTGUI::CNewFileSelector::kSelectFile : VSTGUI::CNewFileSelector::kSelectSaveFile);
    if (selector == nullptr)
        return;
    selector->setDefaultExtension(VSTGUI::CFileExtension(kPresetDescription, kPresetExtension));
    selector->setTitle(kPresetTitle);
    // The dialog stays open after run returns; a refused run (one is open
    // already) leaves the open one's mode alone.
    auto* delegate = new SelectorDelegate(this);
    if (selector->run(delegate))
        fileSelectorMode_ = import ? 1 : 0;
    delegate->forget();
    selector->forget();
}

int32_t KVVSTGUIEditor::notify(VSTGUI::CBaseObject* sender, const char* message)
{
    auto* selector = dynamic_cast<VSTGUI::CNewFileSelector*>(sender);
    if (selector == nullptr || message == nullptr ||
        std::strcmp(message, VSTGUI::CNewFileSelector::kSelectEndMessage) != 0)
        return VSTGUI::kMessageUnknown;
    const char* path = selector->getSelectedFile(0);
    if (path != nullptr && *path != 0 && controller_ != nullptr)
        lastCommandOk_ = fileSelectorMode_ == 1 ? controller_->ImportPresetXml(path)
                                                : controller_->ExportPresetXml(path);
    return VSTGUI::kMessageNotified;
}

void KVVSTGUIEditor::onFrameTimer()
{
    if (controller_ != nullptr)
        controller_->ServiceOtherThreads();
    const auto now = std::chrono::steady_clock::now();
    if (controller_ == nullptr || now - lastPoll_ < std::chrono::milliseconds(kPollMilliseconds))
        return;
    lastPoll_ = now;
    controller_->PollProcessor();
}

void KVVSTGUIEditor::onPointerHeld(bool held)
{
    pointerHeld_ = held;
    if (controller_ != nullptr)
        controller_->PointerHeld(held);
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

bool KVVSTGUIEditor::openFrame(void* parent, VSTGUI::PlatformType platformType)
{
    if (frame_ == nullptr || platformType != VSTGUI::PlatformType::kX11EmbedWindowID)
        return false;
    frame_->setBackgroundColor(kBackground);
    std::string error;
    if (!embedding_.attach(frame_, parent, kPlatformTypeX11EmbedWindowID, plugFrame, error))
    {
        std::fprintf(stderr, "KVVSTGUIEditor: the editor cannot open: %s\n", error.c_str());
        return false;
    }
    return true;
}

void KVVSTGUIEditor::OpenEmptyFrame()
{
    frame_ = new VSTGUI::CFrame(VSTGUI::CRect(0, 0, rect.getWidth(), rect.getHeight()), this);
}

tresult PLUGIN_API KVVSTGUIEditor::attached(void* parent, FIDString type)
{
    if (!VSTGUI::FrameEmbedding::supports(type) || embedding_.attached())
        return kResultFalse;
    // A bundle without an editor document still gets an (empty) view.
    if (!open(parent, VSTGUI::PlatformType::kX11EmbedWindowID))
    {
        OpenEmptyFrame();
        openFrame(parent, VSTGUI::PlatformType::kX11EmbedWindowID);
    }
    if (!embedding_.attached())
    {
        close();
        return kResultFalse;
    }
    return EditorView::attached(parent, type);
}

tresult PLUGIN_API KVVSTGUIEditor::removed()
{
    if (!embedding_.attached())
        return kResultFalse;
    // A drag the window's closing cut ends its gestures.
    if (pointerHeld_)
        onPointerHeld(false);
    close();
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
