#include "editor/GuiModuleWrapper.h"

#include <algorithm>
#include <cstring>

#include "core/InterfaceObject.h"
#include "core/Module_Info.h"
#include "core/Module_Info3.h"
#include "core/ProtectedFile.h"
#include "core/conversion.h"
#include "core/file_helpers.h"
#include "editor/GmpiResourceManager.h"
#include "editor/PinIteratorGuiVst3.h"
#include "editor/IKvEditorController.h"
#include "editor/KVVSTGUIEditor.h"

namespace
{
constexpr const char* kResourceScheme = "resource://";
}

namespace
{
// How external module bundles hand an older-style GUI object to its wrapper.
const Module_Info3::GuiWrapperAccess kExternalGuiAccess{
    [](GuiModuleWrapper* wrapper) -> gmpi::IMpUnknown* { return static_cast<gmpi::IMpUserInterfaceHost*>(wrapper); },
    [](GuiModuleWrapper* wrapper, gmpi::IMpUnknown* gui) {
        wrapper->Attach(static_cast<gmpi::IMpUserInterface*>(static_cast<void*>(gui)));
    }};
} // namespace

GuiModuleWrapper::GuiModuleWrapper(KVVSTGUIEditor* editor, Module_Info* moduleType, int handle, const char* title,
                                   gmpi::IMpUnknown* object)
    : moduleType_(moduleType), editor_(editor), handle_(handle)
{
    Module_Info3::SetGuiWrapperAccess(&kExternalGuiAccess);
    void* face = nullptr;
    if (object && object->queryInterface(gmpi::MP_IID_GUI_PLUGIN2, &face) == gmpi::MP_OK)
        plugin_ = static_cast<gmpi::IMpUserInterface2*>(face);
    if (title)
        titleBar_ = std::make_unique<headerWidget>(title);
}

GuiModuleWrapper::~GuiModuleWrapper()
{
    titleBar_.reset();
    if (plugin_)
        plugin_->release();
    if (legacyPlugin_)
        legacyPlugin_->release();
}

int32_t GuiModuleWrapper::queryInterface(const gmpi::MpGuid& iid, void** returnInterface)
{
    if (returnInterface == nullptr)
        return gmpi::MP_FAIL;
    *returnInterface = nullptr;
    if (iid == gmpi::MP_IID_UI_HOST2)
        *returnInterface = static_cast<gmpi::IMpUserInterfaceHost2*>(this);
    else if (iid == gmpi::MP_IID_UI_HOST || iid == gmpi::MP_IID_UNKNOWN)
        *returnInterface = static_cast<gmpi::IMpUserInterfaceHost*>(this);
    else
        return gmpi::MP_NOSUPPORT;
    addRef();
    return gmpi::MP_OK;
}

int32_t GuiModuleWrapper::pinTransmit(int32_t pinId, int32_t size, const void* data, int32_t voice)
{
    // A copy: a delivery may not add connections, but it must not invalidate the walk if it did.
    const auto connections = connections_;
    for (const auto& connection : connections)
    {
        if (connection.localPin == pinId)
            connection.other->setPin(this, pinId, connection.otherPin, voice, size, data);
    }
    return gmpi::MP_OK;
}

int32_t GuiModuleWrapper::pinTransmit(int32_t pinId, int32_t size, void* data, int32_t voice)
{
    return pinTransmit(pinId, size, static_cast<const void*>(data), voice);
}

int32_t GuiModuleWrapper::setPin(GuiModuleWrapper* sender, int senderPin, int pin, int voice, int size,
                                 const void* data)
{
    if (nesting_ >= kMaxNesting)
        return gmpi::MP_OK;
    ++nesting_;
    if (plugin_)
    {
        plugin_->setPin(pin, voice, size, data);
    }
    else if (legacyPlugin_)
    {
        legacyPlugin_->setPin(pin, voice, size, const_cast<void*>(data));
        legacyPlugin_->notifyPin(pin, voice);
    }
    const auto connections = connections_;
    for (const auto& connection : connections)
    {
        if (connection.localPin != pin || (connection.other == sender && connection.otherPin == senderPin))
            continue;
        connection.other->setPin(this, pin, connection.otherPin, voice, size, data);
    }
    --nesting_;
    return gmpi::MP_OK;
}

int32_t GuiModuleWrapper::createPinIterator(void** returnInterface)
{
    if (returnInterface == nullptr)
        return gmpi::MP_FAIL;
    *returnInterface = static_cast<gmpi::IMpPinIterator*>(new PinIteratorGuiVst3(this));
    return gmpi::MP_OK;
}

int32_t GuiModuleWrapper::getHandle(int32_t& returnValue)
{
    returnValue = handle_;
    return gmpi::MP_OK;
}

int32_t GuiModuleWrapper::sendMessageToAudio(int32_t id, int32_t size, const void* messageData)
{
    if (editor_ && editor_->Controller())
        editor_->Controller()->sendMessageToAudio(handle_, id, size, messageData);
    return gmpi::MP_OK;
}

int32_t GuiModuleWrapper::sendMessageToAudio(int32_t id, int32_t size, void* messageData)
{
    return sendMessageToAudio(id, size, static_cast<const void*>(messageData));
}

int32_t GuiModuleWrapper::ClearResourceUris()
{
    GmpiResourceManager::Instance()->ClearResourceUris(handle_);
    return gmpi::MP_OK;
}

int32_t GuiModuleWrapper::RegisterResourceUri(const char* resourceName, const char* resourceType,
                                              gmpi::IMpUnknown* returnString)
{
    const std::wstring folder = editor_ ? editor_->ResourceFolder() : std::wstring();
    const std::wstring skin = editor_ ? Utf8ToWstring(editor_->SkinName()) : std::wstring();
    return GmpiResourceManager::Instance()->RegisterResourceUri(handle_, folder, skin, resourceName, resourceType,
                                                                returnString);
}

// A path, or "resource://name" for a file of the bundle's Resources folder.
int32_t GuiModuleWrapper::OpenUri(const char* fullUri, gmpi::IProtectedFile2** returnStream)
{
    if (returnStream == nullptr)
        return gmpi::MP_FAIL;
    *returnStream = nullptr;
    if (fullUri == nullptr)
        return gmpi::MP_FAIL;
    std::string path = fullUri;
    const std::size_t schemeLength = std::strlen(kResourceScheme);
    if (path.compare(0, schemeLength, kResourceScheme) == 0)
    {
        const std::string name = path.substr(schemeLength);
        // A resource name names a file of the folder itself, nothing above or below it.
        if (name.empty() || name.find('/') != std::string::npos || name.find('\\') != std::string::npos ||
            name == "." || name == ".." || editor_ == nullptr || editor_->ResourceFolder().empty())
            return gmpi::MP_FAIL;
        path = WStringToUtf8(combine_path_and_file(editor_->ResourceFolder(), Utf8ToWstring(name)));
    }
    ProtectedFile2* file = ProtectedFile2::FromUri(path.c_str(), "rb");
    if (file == nullptr)
        return gmpi::MP_FAIL;
    *returnStream = file;
    return gmpi::MP_OK;
}

// The name and its terminator, cut to the caller's length.
int32_t GuiModuleWrapper::getHostId(int32_t maxChars, wchar_t* returnString)
{
    if (returnString == nullptr || maxChars <= 0)
        return gmpi::MP_FAIL;
    const std::size_t length = std::min<std::size_t>(std::wcslen(kHostId), static_cast<std::size_t>(maxChars) - 1);
    std::wmemcpy(returnString, kHostId, length);
    returnString[length] = L'\0';
    return gmpi::MP_OK;
}

int32_t GuiModuleWrapper::getHostVersion(int32_t& returnValue)
{
    returnValue = kHostVersion;
    return gmpi::MP_OK;
}

int32_t GuiModuleWrapper::resolveFilename(const wchar_t* shortFilename, int32_t maxChars,
                                          wchar_t* returnFullFilename)
{
    if (editor_ == nullptr || editor_->Controller() == nullptr)
        return gmpi::MP_FAIL;
    return editor_->Controller()->resolveFilename(shortFilename, maxChars, returnFullFilename);
}

int32_t GuiModuleWrapper::getPinCount(int32_t& returnCount)
{
    returnCount = GetPinCount();
    return gmpi::MP_OK;
}

void GuiModuleWrapper::Attach(gmpi::IMpUserInterface* legacy)
{
    if (legacy)
        legacy->addRef();
    if (legacyPlugin_)
        legacyPlugin_->release();
    legacyPlugin_ = legacy;
}

void GuiModuleWrapper::AddConnection(int localPin, GuiModuleWrapper* other, int otherPin)
{
    if (other)
        connections_.push_back({other, localPin, otherPin});
}

bool GuiModuleWrapper::isPinConnected(int pin) const
{
    return std::any_of(connections_.begin(), connections_.end(),
                       [pin](const Connection& c) { return c.localPin == pin; });
}

void GuiModuleWrapper::initialize()
{
    if (legacyPlugin_)
        legacyPlugin_->initialize();
    if (plugin_)
        plugin_->initialize();
}

int32_t GuiModuleWrapper::receiveMessageFromAudio(int32_t id, int32_t size, const void* data)
{
    if (size < 0 || (size > 0 && data == nullptr))
        return gmpi::MP_FAIL;
    if (plugin_)
        return plugin_->receiveMessageFromAudio(id, size, data);
    if (legacyPlugin_)
    {
        // The older face takes writable bytes: give it a copy, the caller's stay untouched.
        std::string copy(static_cast<const char*>(data), static_cast<std::size_t>(size));
        return legacyPlugin_->receiveMessageFromAudio(id, size, copy.data());
    }
    return gmpi::MP_FAIL;
}

int GuiModuleWrapper::GetPinCount() const
{
    const int described = moduleType_ ? static_cast<int>(moduleType_->GetGuiPinDescriptions().size()) : 0;
    return described + (autoCopyCount_ > 0 ? autoCopyCount_ - 1 : 0);
}

int GuiModuleWrapper::GetPinIdByIndex(int index) const
{
    if (moduleType_ == nullptr || index < 0)
        return -1;
    const auto& pins = moduleType_->GetGuiPinDescriptions();
    const int described = static_cast<int>(pins.size());
    if (index < described)
        return moduleType_->getGuiPinDescriptionByPosition(index)->getPlugDescID();
    const bool duplicates =
        std::any_of(pins.begin(), pins.end(), [](const auto& entry) { return entry.second->autoDuplicate(); });
    if (!duplicates || pins.empty())
        return -1;
    return index + pins.rbegin()->first + 1 - described;
}

InterfaceObject* GuiModuleWrapper::GetPinDescription(int id) const
{
    if (moduleType_ == nullptr)
        return nullptr;
    if (InterfaceObject* pin = moduleType_->getGuiPinDescriptionById(id))
        return pin;
    for (const auto& [pinId, pin] : moduleType_->GetGuiPinDescriptions())
    {
        if (pin->autoDuplicate())
            return pin;
    }
    return nullptr;
}

int GuiModuleWrapper::GetPinDirection(int id) const
{
    const InterfaceObject* pin = GetPinDescription(id);
    return pin ? static_cast<int>(pin->GetDirection()) : -1;
}

int GuiModuleWrapper::GetPinDatatype(int id) const
{
    const InterfaceObject* pin = GetPinDescription(id);
    return pin ? static_cast<int>(pin->GetDatatype()) : -1;
}
