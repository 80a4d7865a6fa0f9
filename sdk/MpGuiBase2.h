#pragma once
// Bases of GUI modules written against the module SDK. MpGuiBase2 is the
// newer kind (IMpUserInterface2: the host comes through setHost, a pin's
// callback runs when the host changes its value); MpGuiBase_base the older
// one (IMpUserInterface: the host sets a pin, then notifies it). A module
// derives from one, declares MpGuiPin members, registers them with
// initializePin in its constructor and implements addRef and release.
// Editor thread only.

#include <cstdint>

#include "MpGuiPin.h"
#include "mp_sdk_gui.h"

class MpGuiBase2 : public gmpi::IMpUserInterface2, public GuiPinOwner
{
public:
    using Handler = void (MpGuiBase2::*)();
    using IndexedHandler = void (MpGuiBase2::*)(int voice);

    MpGuiBase2() = default;
    MpGuiBase2(const MpGuiBase2&) = default;
    MpGuiBase2& operator=(const MpGuiBase2&) = delete;

    // MP_IID_GUI_PLUGIN2 and MP_IID_UNKNOWN, with one reference added.
    int32_t queryInterface(const gmpi::MpGuid& iid, void** returnInterface) override;
    // Keeps the host's MP_IID_UI_HOST2 face (the host outlives the module;
    // no count is held): MP_OK, or MP_NOSUPPORT without it.
    int32_t setHost(gmpi::IMpUnknown* host) override;
    // Runs the callback of every pin still holding its default, in id order.
    int32_t initialize() override;
    int32_t setPin(int32_t pinId, int32_t voice, int32_t size, const void* data) override;
    int32_t receiveMessageFromAudio(int32_t, int32_t, const void*) override { return gmpi::MP_FAIL; }
    int32_t populateContextMenu(float, float, gmpi::IMpUnknown*) override { return gmpi::MP_FAIL; }
    int32_t onContextMenu(int32_t) override { return gmpi::MP_FAIL; }
    int32_t getToolTip(float, float, gmpi::IMpUnknown*) override { return gmpi::MP_FAIL; }
    virtual ~MpGuiBase2() = default;
    int32_t pinTransmit(int32_t pinId, int32_t size, const void* data, int32_t voice = 0) override;

    void initializePin(int pinId, MpGuiPinBase& pin, Handler handler = nullptr);
    void initializePin(int pinId, MpGuiPinBase& pin, IndexedHandler handler);
    // The id is one more than the highest id so far (0 for the first pin).
    void initializePin(MpGuiPinBase& pin, Handler handler = nullptr);

    // Handlers of the derived module, without casts at the call.
    template <class M>
    void initializePin(int pinId, MpGuiPinBase& pin, void (M::*handler)())
    {
        initializePin(pinId, pin, static_cast<Handler>(handler));
    }
    template <class M>
    void initializePin(int pinId, MpGuiPinBase& pin, void (M::*handler)(int))
    {
        initializePin(pinId, pin, static_cast<IndexedHandler>(handler));
    }
    template <class M>
    void initializePin(MpGuiPinBase& pin, void (M::*handler)())
    {
        initializePin(pin, static_cast<Handler>(handler));
    }

    gmpi::IMpUserInterfaceHost2* getHost() const { return host_; }

protected:
    gmpi::IMpUserInterfaceHost2* host_ = nullptr;
};

class MpGuiBase_base : public gmpi::IMpUserInterface, public gmpi::IoldSchoolInitialisation, public GuiPinOwner
{
public:
    using Handler = void (MpGuiBase_base::*)();
    using IndexedHandler = void (MpGuiBase_base::*)(int voice);

    MpGuiBase_base() = default;
    MpGuiBase_base(const MpGuiBase_base&) = delete;
    MpGuiBase_base& operator=(const MpGuiBase_base&) = delete;

    // MP_IID_GUI_PLUGIN and MP_IID_UNKNOWN, with one reference added.
    int32_t queryInterface(const gmpi::MpGuid& iid, void** returnInterface) override;
    int32_t initialize() override { return gmpi::MP_OK; }
    // Stores the value; the host's notifyPin that follows runs the callback.
    int32_t setPin(int32_t pinId, int32_t voice, int32_t size, void* data) override;
    int32_t notifyPin(int32_t pinId, int32_t voice) override;
    int32_t receiveMessageFromAudio(int32_t, int32_t, void*) override { return gmpi::MP_OK; }
    int32_t onCreateContextMenu() override { return gmpi::MP_OK; }
    int32_t onContextMenu(int32_t) override { return gmpi::MP_OK; }
    virtual ~MpGuiBase_base() = default;
    // Keeps the host's MP_IID_UI_HOST face; throws std::runtime_error
    // "host Interfaces not supported" when the host lacks it.
    int32_t setHost(gmpi::IMpUnknown* host) override;
    int32_t pinTransmit(int32_t pinId, int32_t size, const void* data, int32_t voice = 0) override;

    void initializePin(int pinId, MpGuiPinBase& pin, Handler handler = nullptr);
    void initializePin(int pinId, MpGuiPinBase& pin, IndexedHandler handler);
    template <class M>
    void initializePin(int pinId, MpGuiPinBase& pin, void (M::*handler)())
    {
        initializePin(pinId, pin, static_cast<Handler>(handler));
    }

    gmpi::IMpUserInterfaceHost* getHost() const { return host_; }

protected:
    gmpi::IMpUserInterfaceHost* host_ = nullptr;
};
