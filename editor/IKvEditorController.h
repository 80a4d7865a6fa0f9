#pragma once
// What the editor asks of the plug-in's controller: parameter reads and
// writes, messages to the engine, the automators that follow host
// parameters, the user preset files, the bundle's documents and resources.
// The shell makes one for each editor it creates and hands it over; the
// editor holds it as long as it lives.
//
// Threads: UI, every method.

#include <string>

class GuiPatchAutomator2;

class IKvEditorController
{
public:
    virtual ~IKvEditorController() = default;

    // Parameter writes and reads of the editor's modules, by parameter handle.
    virtual void setParameterFromGui(int handle, int field, int size, const void* data) = 0;
    virtual bool getParameterValue(int handle, int field, std::string& out) = 0;
    virtual int getParameterHandle(int moduleHandle, int moduleParamId) const = 0;
    // Automators hear of host parameter changes while they are entered.
    virtual void AddPatchAutomator(GuiPatchAutomator2* automator) = 0;
    virtual void RemovePatchAutomator(GuiPatchAutomator2* automator) = 0;
    // A module's message to its engine side; false when it could not be sent.
    virtual bool sendMessageToAudio(int handle, int messageId, int size, const void* data) = 0;
    // Asks for the engine's values that wait; false when it could not ask.
    virtual bool PollProcessor() = 0;
    // The pointer was pressed on the editor (true) or released (false): the
    // parameter edits in between are one gesture for each parameter.
    virtual void PointerHeld(bool held) = 0;
    // Passes on what host calls from other threads changed since the last
    // time (the editor's timer calls it).
    virtual void ServiceOtherThreads() = 0;
    virtual int resolveFilename(const wchar_t* name, int maxChars, wchar_t* result) const = 0;
    // User preset files; false when the file could not be written / read.
    virtual bool ExportPresetXml(const std::string& path) = 0;
    virtual bool ImportPresetXml(const std::string& path) = 0;

    // The text of one of the bundle's documents ("gui.kv.xml"), empty when missing.
    virtual std::string BundleDocument(const char* name) const = 0;
    // The bundle's Resources folder (ending in "/"), or empty.
    virtual std::wstring ResourceFolder() const = 0;
};
