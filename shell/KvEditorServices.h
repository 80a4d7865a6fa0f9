#pragma once
// The controller's services as the editor sees them: each call goes to the
// controller (and its factory for the bundle's documents). The controller
// makes one for each editor it creates; the editor owns it, and keeps the
// controller alive as long as it lives.
//
// Threads: UI, every method.

#include "editor/IKvEditorController.h"

class ADelayController;

class KvEditorServices final : public IKvEditorController
{
public:
    explicit KvEditorServices(ADelayController& controller) : controller_(controller) {}

    void setParameterFromGui(int handle, int field, int size, const void* data) override;
    bool getParameterValue(int handle, int field, std::string& out) override;
    int getParameterHandle(int moduleHandle, int moduleParamId) const override;
    void AddPatchAutomator(GuiPatchAutomator2* automator) override;
    void RemovePatchAutomator(GuiPatchAutomator2* automator) override;
    bool sendMessageToAudio(int handle, int messageId, int size, const void* data) override;
    bool PollProcessor() override;
    void PointerHeld(bool held) override;
    void ServiceOtherThreads() override;
    int resolveFilename(const wchar_t* name, int maxChars, wchar_t* result) const override;
    bool ExportPresetXml(const std::string& path) override;
    bool ImportPresetXml(const std::string& path) override;
    std::string BundleDocument(const char* name) const override;
    std::wstring ResourceFolder() const override;

private:
    ADelayController& controller_;
};
