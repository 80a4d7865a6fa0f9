#pragma once
// The editor's host of one GUI module. It carries the module's pin values
// along the connections of the GUI patch document (both ways, never straight
// back to the sender, at most ten deliveries deep on one wrapper), relays
// messages between the module and its DSP part through the controller,
// resolves resource names and opens files for it, and answers its other
// questions. The editor owns its wrappers: addRef and release do nothing.
//
// Threads: every method runs on the UI thread (the host's user-interface
// thread); nothing here is reached from the audio thread.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "editor/SkinBitmapInfo.h"
#include "sdk/mp_sdk_gui.h"

class InterfaceObject;
class KVVSTGUIEditor;
class Module_Info;
namespace VSTGUI
{
class CView;
}
namespace gmpi_gui
{
class IMpGraphicsHost;
}

// The title bar of a module with a title: its text, place and font.
struct headerWidget
{
    explicit headerWidget(std::string text) : title(std::move(text)) {}
    // UI: draws the title centred in the bar through a drawing context (KV_IID_GRAPHICS_DRAWCONTEXT)
    // with a text format from host; MP_NOSUPPORT when context is not one.
    int32_t OnRender(gmpi_gui::IMpGraphicsHost* host, gmpi::IMpUnknown* context);
    std::string title;
    float left = 0, top = 0, right = 10, bottom = 10;
    SkinFontInfo font;
};

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
class GuiModuleWrapper : public gmpi::IMpUserInterfaceHost2, public gmpi::IMpUserInterfaceHost
{
public:
    static constexpr int kMaxNesting = 10;
    static constexpr const wchar_t* kHostId = L"Korvane";
    static constexpr int32_t kHostVersion = 122770;

    // UI. Keeps the object's MP_IID_GUI_PLUGIN2 face (one reference of its own), if it has one.
    GuiModuleWrapper(KVVSTGUIEditor* editor, Module_Info* moduleType, int handle, const char* title,
                     gmpi::IMpUnknown* object);
    // UI. Releases the module (the newer face, then the older one).
    virtual ~GuiModuleWrapper();
    GuiModuleWrapper(const GuiModuleWrapper&) = delete;
    GuiModuleWrapper& operator=(const GuiModuleWrapper&) = delete;

    // UI: gmpi::IMpUnknown (both faces).
    int32_t queryInterface(const gmpi::MpGuid& iid, void** returnInterface) override;
    int32_t addRef() override { return 1; }
    int32_t release() override { return 1; }

    // UI: gmpi::IMpUserInterfaceHost2.
    int32_t pinTransmit(int32_t pinId, int32_t size, const void* data, int32_t voice = 0) override;
    int32_t createPinIterator(void** returnInterface) override;
    int32_t getHandle(int32_t& returnValue) override;
    int32_t sendMessageToAudio(int32_t id, int32_t size, const void* messageData) override;
    int32_t ClearResourceUris() override;
    int32_t RegisterResourceUri(const char* resourceName, const char* resourceType,
                                gmpi::IMpUnknown* returnString) override;
    int32_t OpenUri(const char* fullUri, gmpi::IProtectedFile2** returnStream) override;

    // UI: the module's view (none for modules without one).
    virtual VSTGUI::CView* getVstGuiView() = 0;
    // UI: one more count on the view, for the container that shows it.
    virtual void AdjustRefCount() = 0;
    virtual void DoMeasure(MpSize available, MpSize& desired) = 0;
    // UI: places the module at its rectangle moved by dx, dy.
    virtual void DoArrange(float dx, float dy) = 0;

    // UI: gmpi::IMpUserInterfaceHost (the older face).
    int32_t pinTransmit(int32_t pinId, int32_t size, void* data, int32_t voice = 0) override;
    int32_t sendMessageToAudio(int32_t id, int32_t size, void* messageData) override;
    int32_t setIdleTimer(int32_t) override { return gmpi::MP_FAIL; }
    int32_t getHostId(int32_t maxChars, wchar_t* returnString) override;
    int32_t getHostVersion(int32_t& returnValue) override;
    int32_t resolveFilename(const wchar_t* shortFilename, int32_t maxChars, wchar_t* returnFullFilename) override;
    int32_t addContextMenuItem(wchar_t*, int32_t, int32_t) override { return gmpi::MP_FAIL; }
    int32_t getPinCount(int32_t& returnCount) override;
    int32_t openProtectedFile(const wchar_t*, gmpi::IProtectedFile**) override { return gmpi::MP_FAIL; }
    int32_t addContextMenuItem(const char*, int32_t, int32_t) { return gmpi::MP_FAIL; }

    // UI: editor side.
    // Takes an older module (its own reference), releasing the one held before.
    void Attach(gmpi::IMpUserInterface* legacy);
    void AddConnection(int localPin, GuiModuleWrapper* other, int otherPin);
    bool isPinConnected(int pin) const;
    // The older module's initialize, then the newer one's.
    void initialize();
    // Delivers a value to the module and on along this pin's connections,
    // except straight back to the sender (null for values the editor sets).
    int32_t setPin(GuiModuleWrapper* sender, int senderPin, int pin, int voice, int size, const void* data);
    // A message from the module's DSP part: the module's result, or -1 without one.
    int32_t receiveMessageFromAudio(int32_t id, int32_t size, const void* data);

    // UI: the module type's GUI pins, with the auto-copied ones.
    int GetPinCount() const;
    int GetPinIdByIndex(int index) const;
    InterfaceObject* GetPinDescription(int id) const;
    int GetPinDirection(int id) const;
    int GetPinDatatype(int id) const;

    // UI: plain accessors.
    int Handle() const { return handle_; }
    KVVSTGUIEditor* Editor() const { return editor_; }
    Module_Info* ModuleType() const { return moduleType_; }
    gmpi::IMpUserInterface2* Plugin() const { return plugin_; }
    gmpi::IMpUserInterface* LegacyPlugin() const { return legacyPlugin_; }
    headerWidget* TitleBar() const { return titleBar_.get(); }
    const MpRect& getRect() const { return rect_; }
    void setRect(const MpRect& rect) { rect_ = rect; }
    void AddAutoCopy() { ++autoCopyCount_; }
    int AutoCopyCount() const { return autoCopyCount_; }
    int NestingDepth() const { return nesting_; }

protected:
    struct Connection
    {
        GuiModuleWrapper* other;
        int localPin;
        int otherPin;
    };

    std::vector<Connection> connections_;
    int nesting_ = 0;
    Module_Info* moduleType_;
    KVVSTGUIEditor* editor_;
    int handle_;
    gmpi::IMpUserInterface* legacyPlugin_ = nullptr;
    gmpi::IMpUserInterface2* plugin_ = nullptr;
    std::unique_ptr<headerWidget> titleBar_;
    MpRect rect_;
    int autoCopyCount_ = 0;
};
#pragma GCC diagnostic pop
