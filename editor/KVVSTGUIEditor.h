#pragma once
// The editor view that the controller hands to the host for "editor". open
// reads the GUI patch document (gui.kv.xml) of the bundle and builds a frame
// of its canvas: the background image, one host wrapper per GUI module with
// the module's view placed on the canvas, the connections between module
// pins, and the hidden automator that binds parameter pins to the
// controller's parameters. It carries the editor's parameter traffic to the
// controller, runs the preset menu's export and import through a file
// selector, and answers modules' questions on skin images and fonts. While
// the host has it attached, the frame is shown inside the host's X11 window.
//
// Threads: every method runs on the UI thread (the host's user-interface
// thread); the audio thread never reaches the editor.

#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "editor/IKvEditorController.h"
#include "editor/SkinBitmapInfo.h"
#include "editor/toolkit/IPlatformFrame.h"
#include "editor/toolkit/VSTGUIEditorInterface.h"
#include "editor/toolkit/x11/FrameEmbedding.h"
#include "public.sdk/source/vst/vsteditcontroller.h"

class GuiModuleWrapper;
class GuiPatchAutomator2;
class TiXmlDocument;
class TiXmlElement;
namespace VSTGUI
{
class CBitmap;
class CBaseObject;
class CFrame;
class CParamDisplay;
class CView;
class CViewContainer;
} // namespace VSTGUI

// SDK interfaces are COM-style: objects die through release(), never through
// a base pointer, so their bases have no virtual destructor.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
class KVVSTGUIEditor : public Steinberg::Vst::EditorView, public VSTGUI::VSTGUIEditorInterface
{
public:
    // UI. owner is the controller the view belongs to; services carries its
    // services to the editor and is owned by it.
    KVVSTGUIEditor(Steinberg::Vst::EditController* owner, std::unique_ptr<IKvEditorController> services,
                   Steinberg::ViewRect* size);
    // UI. Closes the editor when the host let go of it without removing it.
    ~KVVSTGUIEditor() override;

    // UI.
    IKvEditorController* Controller() const { return controller_.get(); }

    // UI. Builds the editor from gui.kv.xml; parent is the host's window
    // (null: offscreen, the frame is not shown). False when the document is
    // missing or does not parse: nothing is built.
    bool open(void* parent, VSTGUI::PlatformType platformType = VSTGUI::PlatformType::kX11EmbedWindowID);
    // UI. Tears the modules down and lets go of the frame. Safe when not open.
    void close();
    bool IsOpen() const { return frame_ != nullptr; }
    // UI.
    VSTGUI::CFrame* getFrame() const override { return frame_; }
    // UI. The file selector ended.
    int32_t notify(VSTGUI::CBaseObject* sender, const char* message);
    // UI. The window's timer: what the host's other threads changed reaches
    // the views; at most every kPollMilliseconds the controller asks the
    // processor for the engine's values that wait.
    void onFrameTimer() override;
    static constexpr int kPollMilliseconds = 40;
    // UI. A drag of a control is one gesture of each parameter it edits.
    void onPointerHeld(bool held) override;

    // UI. The host's loop calls into the editor's window: the editor holds
    // itself until the call leaves, and a close meanwhile (the host removing
    // the view while a module waits for its menu) lets go of the modules and
    // the frame only then.
    void enterHostCall() override;
    void leaveHostCall() override;

    // UI. The module with that handle, or null.
    GuiModuleWrapper* HandleToObject(int handle) const;
    // UI. The first wrapper (ascending handle) whose view is view, or null.
    GuiModuleWrapper* Lookup(VSTGUI::CView* view) const;
    // UI. Enters a wrapper under its handle; false (and the wrapper is
    // deleted) when the handle is taken: the first stays.
    bool AddModule(int handle, std::unique_ptr<GuiModuleWrapper> wrapper);
    const std::map<int, std::unique_ptr<GuiModuleWrapper>>& Modules() const { return modules_; }
    // UI. The automator of the open editor, or null.
    GuiPatchAutomator2* Automator() const { return automator_; }

    // UI. Handle -1, field Value is the preset menu: 1 exports, 2 imports
    // through the file selector; every other write goes to the controller.
    void setParameterFromGui(int handle, int field, int voice, int size, const void* data);
    bool getParameterValue(int handle, int field, std::string& out) const;
    int getParameterHandle(int moduleHandle, int moduleParamId) const;
    void* getParameterChangeListener(int) const { return nullptr; }
    // UI. False after an export or import that failed, until the next command.
    bool LastPresetCommandSucceeded() const { return lastCommandOk_; }

    // UI: skins.
    const std::vector<SkinBitmapInfo>& SkinImages() const { return skinImages_; }
    const std::vector<SkinFontInfo>& SkinFonts() const { return skinFonts_; }
    const std::string& SkinName() const { return skinName_; }
    // The bundle's Resources folder (ending in "/"), or empty.
    std::wstring ResourceFolder() const;
    SkinBitmapInfo getBitmapInfo(const std::wstring& name) const;
    SkinFontInfo getFontInfo(const std::wstring& category) const;
    // A bitmap of the record's file (one reference for the caller), or null.
    VSTGUI::CBitmap* loadBitmapResource(const SkinBitmapInfo& info) const;
    // Font, alignment and colours of a text control from the skin's font of that category.
    void ApplyStyle(const std::wstring& category, VSTGUI::CParamDisplay* control) const;

    // UI: layout passes, run at the end of open.
    void Measure();
    void Arrange();

    static constexpr const char* kPresetTitle = "Choose a plugin preset file";
    static constexpr const char* kPresetDescription = "preset";
    static constexpr const char* kPresetExtension = "xml";
    // Limits of what the document may ask for.
    static constexpr int kMaxCanvasSize = 8192;
    static constexpr int kMaxCoordinate = 100000;

    // UI: IPlugView.
    Steinberg::tresult PLUGIN_API isPlatformTypeSupported(Steinberg::FIDString type) SMTG_OVERRIDE;
    // The editor opens in the host's window on attached and closes on removed;
    // attached twice, or removed when not attached, answers kResultFalse.
    Steinberg::tresult PLUGIN_API attached(void* parent, Steinberg::FIDString type) SMTG_OVERRIDE;
    Steinberg::tresult PLUGIN_API removed() SMTG_OVERRIDE;
    Steinberg::tresult PLUGIN_API onSize(Steinberg::ViewRect* newSize) SMTG_OVERRIDE;
    // The canvas size of the document, read ahead of attached: hosts size
    // their window from it before the editor opens.
    Steinberg::tresult PLUGIN_API getSize(Steinberg::ViewRect* size) SMTG_OVERRIDE;
    Steinberg::tresult PLUGIN_API canResize() SMTG_OVERRIDE { return Steinberg::kResultTrue; }
    Steinberg::tresult PLUGIN_API checkSizeConstraint(Steinberg::ViewRect* wanted) SMTG_OVERRIDE;

private:
    void ReadSkins(const TiXmlElement* window);
    GuiModuleWrapper* BuildAutomator();
    void BuildModules(VSTGUI::CViewContainer* container, const TiXmlElement* element, int offsetX, int offsetY,
                      int depth);
    void ConnectModules(const TiXmlElement* element, GuiModuleWrapper* automator, int depth);
    void ApplyPlugs(const TiXmlElement* module, GuiModuleWrapper* wrapper, GuiModuleWrapper* automator);
    void RunPresetSelector(int choice);
    // Registers the module descriptions of the bundle's DSP patch document
    // when no graph has registered them yet.
    void RegisterBundleDescriptions() const;
    // Parses gui.kv.xml; false (with a log line saying why) when it cannot.
    bool ParseDocument(TiXmlDocument& document) const;
    // The canvas size the document asks for, within the limits.
    static void CanvasSize(const TiXmlElement* canvas, int& width, int& height);
    // What a close lets go of: the modules, then the frame's views and the frame.
    struct Closing
    {
        std::map<int, std::unique_ptr<GuiModuleWrapper>> modules;
        VSTGUI::CFrame* frame = nullptr;
    };
    static void LetGo(Closing& closing);
    // Shows the frame in the host's window.
    bool openFrame(void* parent, VSTGUI::PlatformType platformType);
    // An empty frame of the view's size, for a bundle without an editor document.
    void OpenEmptyFrame();

    std::unique_ptr<IKvEditorController> controller_;
    std::vector<SkinBitmapInfo> skinImages_;
    std::vector<SkinFontInfo> skinFonts_;
    std::string skinName_;
    std::map<int, std::unique_ptr<GuiModuleWrapper>> modules_;
    GuiPatchAutomator2* automator_ = nullptr;
    int fileSelectorMode_ = 0;
    bool lastCommandOk_ = true;
    bool sizeRead_ = false;
    std::chrono::steady_clock::time_point lastPoll_{};
    bool pointerHeld_ = false;
    VSTGUI::CFrame* frame_ = nullptr;
    VSTGUI::FrameEmbedding embedding_;
    int hostCalls_ = 0;
    std::vector<Closing> closing_;
};
#pragma GCC diagnostic pop
