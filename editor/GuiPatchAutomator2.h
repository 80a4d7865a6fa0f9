#pragma once
// The editor's hidden parameter-binding module ("PatchAutomator"). Each
// binding of a module pin to a parameter field of the controller is one
// record, and the record's index is the automator's pin for it; the editor
// joins that pin and the module pin both ways. A value written by a module
// reaches the controller through setPin; a parameter that changes on the
// controller side is sent out of the pins bound to it (OnParameterUpdate).
// While it has an editor it is one of the controller's listeners.
//
// Threads: UI only; the controller calls OnParameterUpdate on the UI thread.

#include <vector>

#include "editor/KvGuiInvisibleBase.h"

class GuiModuleWrapper;
class KVVSTGUIEditor;

class GuiPatchAutomator2 : public KvGuiInvisibleBase
{
public:
    struct ParameterInfo2
    {
        int moduleHandle = -1;
        // For a host-control pin: -1 - the host-control number.
        int moduleParamId = -1;
        // The controller's parameter handle, -1 when none matched.
        int parameterHandle = -1;
        int field = 0;
    };

    GuiPatchAutomator2() = default;
    // UI. Leaves the controller's listeners.
    ~GuiPatchAutomator2() override;
    GuiPatchAutomator2(const GuiPatchAutomator2&) = delete;
    GuiPatchAutomator2& operator=(const GuiPatchAutomator2&) = delete;

    // UI. Keeps the editor and joins its controller's listeners (leaving
    // those of an earlier editor); null leaves them.
    void SetEditor(KVVSTGUIEditor* editor);
    KVVSTGUIEditor* Editor() const { return editor_; }
    // UI. The controller is going away: forget it without calling it.
    void ControllerGone();

    // UI. The automator pin of a binding: an equal binding's, else a new one.
    int Register(int moduleHandle, int moduleParamId, int field, GuiModuleWrapper* wrapper = nullptr, int pin = -1,
                 bool unused = false);
    const std::vector<ParameterInfo2>& Bindings() const { return bindings_; }

    // UI. While quiet (the editor opening or closing) writes of the modules
    // stay in the editor: values flow from the controller to the modules
    // only, and nothing a module does then edits a parameter.
    void SetQuiet(bool quiet) { quiet_ = quiet; }
    bool Quiet() const { return quiet_; }

    // UI. Sends the value (field Value or Normalized) of every binding of that parameter.
    virtual void OnParameterUpdate(int parameterHandle);
    // UI. Sends every binding's current value, then the base's initialize.
    int32_t initialize() override;
    // UI. A module wrote a bound pin: the write goes to the controller,
    // unless the automator is quiet.
    int32_t setPin(int32_t pin, int32_t voice, int32_t size, const void* data) override;

private:
    void Send(int index);

    KVVSTGUIEditor* editor_ = nullptr;
    std::vector<ParameterInfo2> bindings_;
    bool quiet_ = false;
};
