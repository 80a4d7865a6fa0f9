#pragma once
// The editor view that the controller hands to the host for "editor": a
// frame of the toolkit shown inside the host's X11 window while attached
// (until the GUI modules arrive it shows only its background). It carries
// the editor's parameter traffic to the controller, knows the GUI modules
// that take messages from their DSP parts by handle, and runs the preset
// menu's file commands through a file chooser that can be replaced.

#include <map>
#include <string>

#include "editor/toolkit/VSTGUIEditorInterface.h"
#include "editor/toolkit/x11/FrameEmbedding.h"
#include "public.sdk/source/vst/vsteditcontroller.h"

class ADelayController;

// What a GUI module offers the controller: messages from its DSP part.
class IGuiModuleReceiver
{
public:
    virtual ~IGuiModuleReceiver() = default;
    // The data stays the caller's. Returns the module's result.
    virtual int receiveMessageFromAudio(int messageId, int size, const void* data) = 0;
};

// Picks the preset file of an export (save) or an import (open).
class IPresetFileChooser
{
public:
    virtual ~IPresetFileChooser() = default;
    // True with a UTF-8 path when the user chose a file.
    virtual bool ChooseFile(bool save, const std::string& title, const std::string& extension,
                            std::string& path) = 0;
};

// SDK interfaces are COM-style: objects die through release(), never through
// a base pointer, so their bases have no virtual destructor.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
class KVVSTGUIEditor : public Steinberg::Vst::EditorView, public VSTGUI::VSTGUIEditorInterface
{
public:
    KVVSTGUIEditor(ADelayController* owner, Steinberg::ViewRect* size);
    ~KVVSTGUIEditor() override;

    // The frame while the view is attached, else null.
    VSTGUI::CFrame* getFrame() const override { return embedding_.frame(); }

    ADelayController* Controller() const { return controller_; }

    // The GUI module with that handle, or null.
    IGuiModuleReceiver* HandleToObject(int handle) const;
    // Modules are not owned; a null receiver removes the handle.
    void SetModule(int handle, IGuiModuleReceiver* module);

    // Handle -1, field Value is the preset menu: choice 1 exports, 2 imports
    // through the file chooser; every other write goes to the controller.
    void setParameterFromGui(int handle, int field, int voice, int size, const void* data);
    bool getParameterValue(int handle, int field, std::string& out) const;
    int getParameterHandle(int moduleHandle, int moduleParamId) const;

    // Not owned; without one the preset commands do nothing.
    void SetFileChooser(IPresetFileChooser* chooser) { chooser_ = chooser; }
    // False after an export or import that failed, until the next command.
    bool LastPresetCommandSucceeded() const { return lastCommandOk_; }

    static constexpr const char* kPresetTitle = "Choose a plugin preset file";
    static constexpr const char* kPresetExtension = "preset.xml";

    // IPlugView
    Steinberg::tresult PLUGIN_API isPlatformTypeSupported(Steinberg::FIDString type) SMTG_OVERRIDE;
    // The frame opens in the host's window on attached and closes on removed;
    // attached twice, or removed when not attached, answers kResultFalse.
    Steinberg::tresult PLUGIN_API attached(void* parent, Steinberg::FIDString type) SMTG_OVERRIDE;
    Steinberg::tresult PLUGIN_API removed() SMTG_OVERRIDE;
    Steinberg::tresult PLUGIN_API onSize(Steinberg::ViewRect* newSize) SMTG_OVERRIDE;
    Steinberg::tresult PLUGIN_API canResize() SMTG_OVERRIDE { return Steinberg::kResultTrue; }
    Steinberg::tresult PLUGIN_API checkSizeConstraint(Steinberg::ViewRect* wanted) SMTG_OVERRIDE;

private:
    ADelayController* controller_;
    std::map<int, IGuiModuleReceiver*> modules_;
    IPresetFileChooser* chooser_ = nullptr;
    bool lastCommandOk_ = true;
    VSTGUI::FrameEmbedding embedding_;
};
#pragma GCC diagnostic pop
