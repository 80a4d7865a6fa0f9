#pragma once
// Typed pins of a GUI module. The module declares its pins as members and
// registers them with itself (its GuiPinOwner) in its constructor; the host
// sets them from raw bytes (setPin), and a module that assigns a new value
// sends it out through its owner's pinTransmit. A pin may carry a callback
// of the module that runs when the host changes its value. Editor thread only.

#include <cstdint>
#include <cstring>
#include <map>
#include <string>

#include "mp_sdk_common.h"

class GuiPinOwner;

// Runs a callback of the module with the voice whose value changed.
class IGuiPinCallbackBase
{
public:
    virtual ~IGuiPinCallbackBase() = default;
    virtual void operator()(int voice) = 0;
};

// A member function of the module without arguments.
template <class I>
class IGuiPinCallback final : public IGuiPinCallbackBase
{
public:
    using Handler = void (I::*)();
    IGuiPinCallback(I* module, Handler handler) : module_(module), handler_(handler) {}
    void operator()(int) override { (module_->*handler_)(); }

private:
    I* module_;
    Handler handler_;
};

// A member function of the module taking the voice.
template <class I>
class IGuiPinCallbackIndexed final : public IGuiPinCallbackBase
{
public:
    using Handler = void (I::*)(int voice);
    IGuiPinCallbackIndexed(I* module, Handler handler) : module_(module), handler_(handler) {}
    void operator()(int voice) override { (module_->*handler_)(voice); }

private:
    I* module_;
    Handler handler_;
};

class MpGuiPinBase
{
public:
    MpGuiPinBase() = default;
    MpGuiPinBase(const MpGuiPinBase&) = delete;
    MpGuiPinBase& operator=(const MpGuiPinBase&) = delete;
    virtual ~MpGuiPinBase() { delete callback_; }

    // Takes the raw value; true when it changed.
    virtual bool set(int voice, int size, const void* data) = 0;
    virtual int getDatatype() const = 0;
    // Runs the owner's notifyPin(pinId, 0) when the value is still the datatype's default.
    virtual void NotifyIfDefault(int pinId) = 0;
    virtual int rawSize() const = 0;
    virtual const void* rawData() const = 0;
    virtual IGuiPinCallbackBase* getDefaultEventHandler() { return nullptr; }

    int getId() const { return id_; }
    GuiPinOwner* getOwner() const { return owner_; }
    IGuiPinCallbackBase* getCallback() const { return callback_; }

    // Used by the owner's initializePin: the callback is owned by the pin.
    void setup(int id, GuiPinOwner* owner, IGuiPinCallbackBase* callback)
    {
        id_ = id;
        owner_ = owner;
        if (callback_ != callback)
            delete callback_;
        callback_ = callback;
    }

protected:
    // Sends the pin's current value out through the owner.
    void sendPinUpdate();

    int id_ = -1;
    GuiPinOwner* owner_ = nullptr;
    IGuiPinCallbackBase* callback_ = nullptr;
};

// The pins of one module by id (the map does not own them).
class GuiPinOwner
{
public:
    // The first pin entered with an id stays.
    void addPin(int pinId, MpGuiPinBase& pin) { pins_.emplace(pinId, &pin); }
    MpGuiPinBase* getPin(int pinId) const;
    // The pin's set: -1 for an unknown id, else 0.
    int32_t setPin(int32_t pinId, int32_t voice, int32_t size, const void* data);
    // As setPin, then the pin's callback when the value changed.
    int32_t setPin2(int32_t pinId, int32_t voice, int32_t size, const void* data);
    // Runs the pin's callback (if any): -1 for an unknown id, else 0.
    int32_t notifyPin(int32_t pinId, int32_t voice);

    // Sends a value out of a pin through the module's host.
    virtual int32_t pinTransmit(int32_t pinId, int32_t size, const void* data, int32_t voice = 0) = 0;

    const std::map<int, MpGuiPinBase*>& Pins() const { return pins_; }

protected:
    GuiPinOwner() = default;
    ~GuiPinOwner() = default;
    GuiPinOwner(const GuiPinOwner&) = default;
    GuiPinOwner& operator=(const GuiPinOwner&) = default;

    std::map<int, MpGuiPinBase*> pins_;
};

inline void MpGuiPinBase::sendPinUpdate()
{
    if (owner_)
        owner_->pinTransmit(id_, rawSize(), rawData(), 0);
}

// The datatype and default of each pin value type.
template <typename T>
struct MpGuiPinTraits;

template <>
struct MpGuiPinTraits<float>
{
    static constexpr int datatype = 6;
};
template <>
struct MpGuiPinTraits<int32_t>
{
    static constexpr int datatype = 8;
};
template <>
struct MpGuiPinTraits<bool>
{
    static constexpr int datatype = 4;
};
template <>
struct MpGuiPinTraits<std::wstring>
{
    static constexpr int datatype = 1;
};

template <typename T>
class MpGuiPin final : public MpGuiPinBase
{
public:
    MpGuiPin() = default;

    const T& getValue() const { return value_; }
    operator const T&() const { return value_; }

    // A module's own change: a new value is stored and sent out; an equal one sends nothing.
    MpGuiPin& operator=(const T& value)
    {
        if (!(value_ == value))
        {
            value_ = value;
            sendPinUpdate();
        }
        return *this;
    }

    bool set(int voice, int size, const void* data) override;
    int getDatatype() const override { return MpGuiPinTraits<T>::datatype; }
    void NotifyIfDefault(int pinId) override
    {
        if (value_ == T() && owner_)
            owner_->notifyPin(pinId, 0);
    }
    int rawSize() const override;
    const void* rawData() const override;

private:
    T value_{};
};

// Float and int: the same four bytes again change nothing; fewer bytes copy only those.
template <typename T>
bool MpGuiPinFixedSet(T& value, int size, const void* data)
{
    static_assert(sizeof(T) == 4);
    if (size == 4 && data && std::memcmp(&value, data, 4) == 0)
        return false;
    if (data && size > 0)
        std::memcpy(&value, data, size < 4 ? static_cast<std::size_t>(size) : 4u);
    return true;
}

template <>
inline bool MpGuiPin<float>::set(int, int size, const void* data)
{
    return MpGuiPinFixedSet(value_, size, data);
}
template <>
inline bool MpGuiPin<int32_t>::set(int, int size, const void* data)
{
    return MpGuiPinFixedSet(value_, size, data);
}

// Bool: one byte, or a 32-bit value (true when not 0; always reported as a change).
template <>
inline bool MpGuiPin<bool>::set(int, int size, const void* data)
{
    if (data == nullptr || size <= 0)
        return false;
    if (size == 4)
    {
        int32_t v = 0;
        std::memcpy(&v, data, 4);
        value_ = v != 0;
        return true;
    }
    const bool v = *static_cast<const uint8_t*>(data) != 0;
    if (size == 1 && v == value_)
        return false;
    value_ = v;
    return true;
}

// Wide text: 32-bit characters, size / 4 of them.
template <>
inline bool MpGuiPin<std::wstring>::set(int, int size, const void* data)
{
    static_assert(sizeof(wchar_t) == 4, "wide text holds 32-bit characters");
    if (size < 0 || (size > 0 && data == nullptr))
        return false;
    const std::size_t count = static_cast<std::size_t>(size) / 4;
    if (count == value_.size() && (count == 0 || std::memcmp(value_.data(), data, count * 4) == 0))
        return false;
    value_.assign(static_cast<const wchar_t*>(data), count);
    return true;
}

template <>
inline int MpGuiPin<bool>::rawSize() const
{
    return 1;
}
template <>
inline int MpGuiPin<std::wstring>::rawSize() const
{
    return static_cast<int>(value_.size() * sizeof(wchar_t));
}
template <typename T>
int MpGuiPin<T>::rawSize() const
{
    return static_cast<int>(sizeof(T));
}

template <typename T>
const void* MpGuiPin<T>::rawData() const
{
    return &value_;
}
template <>
inline const void* MpGuiPin<std::wstring>::rawData() const
{
    return value_.data();
}

using MpGuiPinFloat = MpGuiPin<float>;
using MpGuiPinInt = MpGuiPin<int32_t>;
using MpGuiPinBool = MpGuiPin<bool>;
using MpGuiPinString = MpGuiPin<std::wstring>;
