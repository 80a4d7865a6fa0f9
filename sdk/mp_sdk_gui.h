#pragma once
// Module SDK, GUI part: the interfaces between a GUI module and the editor
// that hosts it. A GUI module of the newer kind answers MP_IID_GUI_PLUGIN2
// (IMpUserInterface2) and takes its host through setHost; an older one
// answers MP_IID_GUI_PLUGIN (IMpUserInterface) and gets its host at creation.
// The host answers MP_IID_UI_HOST2 and MP_IID_UI_HOST. Every call runs on the
// editor's thread (the host's user-interface thread).
//
// ABI: the operations of each interface are virtual functions in the order
// written here; results are int32 (MP_OK, MP_FAIL, MP_NOSUPPORT).

#include <cstdint>

#include "mp_sdk_common.h"

namespace gmpi
{

// The newer GUI module.
class IMpUserInterface2 : public IMpUnknown
{
public:
    virtual int32_t setHost(IMpUnknown* host) = 0;
    // Runs once after the host has set the pins it knows values for.
    virtual int32_t initialize() = 0;
    virtual int32_t setPin(int32_t pinId, int32_t voice, int32_t size, const void* data) = 0;
    // A message from the module's DSP part; the data stays the caller's.
    virtual int32_t receiveMessageFromAudio(int32_t id, int32_t size, const void* messageData) = 0;
    virtual int32_t populateContextMenu(float x, float y, IMpUnknown* contextMenuItemsSink) = 0;
    virtual int32_t onContextMenu(int32_t selection) = 0;
    // returnString answers MP_IID_RETURNSTRING.
    virtual int32_t getToolTip(float x, float y, IMpUnknown* returnString) = 0;

protected:
    ~IMpUserInterface2() = default;
};

// The older GUI module: a pin value arrives by setPin, then notifyPin.
class IMpUserInterface : public IMpUnknown
{
public:
    virtual int32_t initialize() = 0;
    virtual int32_t setPin(int32_t pinId, int32_t voice, int32_t size, void* data) = 0;
    virtual int32_t notifyPin(int32_t pinId, int32_t voice) = 0;
    virtual int32_t receiveMessageFromAudio(int32_t id, int32_t size, void* messageData) = 0;
    virtual int32_t onCreateContextMenu() = 0;
    virtual int32_t onContextMenu(int32_t selection) = 0;

protected:
    ~IMpUserInterface() = default;
};

// What a newer GUI module may ask of its host.
class IMpUserInterfaceHost2 : public IMpUnknown
{
public:
    // Sends a value out of one of the module's pins, along its connections.
    virtual int32_t pinTransmit(int32_t pinId, int32_t size, const void* data, int32_t voice = 0) = 0;
    // A new pin iterator (MP_IID_PIN_ITERATOR) with one reference for the caller.
    virtual int32_t createPinIterator(void** returnInterface) = 0;
    virtual int32_t getHandle(int32_t& returnValue) = 0;
    // A message to the module's DSP part.
    virtual int32_t sendMessageToAudio(int32_t id, int32_t size, const void* messageData) = 0;
    virtual int32_t ClearResourceUris() = 0;
    // The full file name of a skin resource ("Image", "ImageMeta") through
    // returnString (MP_IID_RETURNSTRING): MP_OK, MP_FAIL when not found.
    virtual int32_t RegisterResourceUri(const char* resourceName, const char* resourceType, IMpUnknown* returnString) = 0;
    // Opens a file (a path, or "resource://name" for a bundle resource)
    // for reading: an IProtectedFile2 with one reference for the caller.
    virtual int32_t OpenUri(const char* fullUri, IProtectedFile2** returnStream) = 0;

protected:
    ~IMpUserInterfaceHost2() = default;
};

// What an older GUI module may ask of its host.
class IMpUserInterfaceHost : public IMpUnknown
{
public:
    virtual int32_t pinTransmit(int32_t pinId, int32_t size, void* data, int32_t voice = 0) = 0;
    virtual int32_t sendMessageToAudio(int32_t id, int32_t size, void* messageData) = 0;
    virtual int32_t setIdleTimer(int32_t active) = 0;
    virtual int32_t getHandle(int32_t& returnValue) = 0;
    // Writes the host's name and a terminating zero, at most maxChars characters in all.
    virtual int32_t getHostId(int32_t maxChars, wchar_t* returnString) = 0;
    virtual int32_t getHostVersion(int32_t& returnValue) = 0;
    virtual int32_t createPinIterator(void** returnInterface) = 0;
    virtual int32_t resolveFilename(const wchar_t* shortFilename, int32_t maxChars, wchar_t* returnFullFilename) = 0;
    virtual int32_t addContextMenuItem(wchar_t* menuText, int32_t index, int32_t flags) = 0;
    virtual int32_t getPinCount(int32_t& returnCount) = 0;
    virtual int32_t openProtectedFile(const wchar_t* shortFilename, IProtectedFile** file) = 0;

protected:
    ~IMpUserInterfaceHost() = default;
};

// Where a module adds its context menu entries.
class IMpContextItemSink : public IMpUnknown
{
public:
    virtual int32_t AddItem(const char* text, int32_t id, int32_t flags = 0) = 0;

protected:
    ~IMpContextItemSink() = default;
};

} // namespace gmpi

// Module placement in the editor, in pixels.
struct MpRect
{
    int32_t top = 0;
    int32_t bottom = 0;
    int32_t left = 0;
    int32_t right = 0;
};

struct MpSize
{
    int32_t x = 0; // width
    int32_t y = 0; // height
};
