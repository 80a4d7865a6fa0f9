#include "shell/KvEditorServices.h"

#include "shell/ADelayController.h"
#include "shell/MyVstPluginFactory.h"

void KvEditorServices::setParameterFromGui(int handle, int field, int size, const void* data)
{
    controller_.setParameterFromGui(handle, field, size, data);
}

bool KvEditorServices::getParameterValue(int handle, int field, std::string& out)
{
    return controller_.getParameterValue(handle, field, out);
}

int KvEditorServices::getParameterHandle(int moduleHandle, int moduleParamId) const
{
    return controller_.getParameterHandle(moduleHandle, moduleParamId);
}

void KvEditorServices::AddPatchAutomator(GuiPatchAutomator2* automator)
{
    controller_.AddPatchAutomator(automator);
}

void KvEditorServices::RemovePatchAutomator(GuiPatchAutomator2* automator)
{
    controller_.RemovePatchAutomator(automator);
}

bool KvEditorServices::sendMessageToAudio(int handle, int messageId, int size, const void* data)
{
    return controller_.sendMessageToAudio(handle, messageId, size, data);
}

void KvEditorServices::PointerHeld(bool held)
{
    controller_.PointerHeld(held);
}

bool KvEditorServices::PollProcessor()
{
    return controller_.PollProcessor();
}

void KvEditorServices::ServiceOtherThreads()
{
    controller_.ServiceOtherThreads();
}

int KvEditorServices::resolveFilename(const wchar_t* name, int maxChars, wchar_t* result) const
{
    return controller_.resolveFilename(name, maxChars, result);
}

bool KvEditorServices::ExportPresetXml(const std::string& path)
{
    return controller_.ExportPresetXml(path);
}

bool KvEditorServices::ImportPresetXml(const std::string& path)
{
    return controller_.ImportPresetXml(path);
}

std::string KvEditorServices::BundleDocument(const char* name) const
{
    MyVstPluginFactory* factory = controller_.Factory();
    return factory ? factory->getXml(name) : std::string();
}

std::wstring KvEditorServices::ResourceFolder() const
{
    MyVstPluginFactory* factory = controller_.Factory();
    return factory ? factory->getImbeddedFileFolder() : std::wstring();
}
