#pragma once
// Helpers of the portable graphics objects handed to graphics-API modules:
// a reference-counted base answering one interface id, a register of the
// live objects of a class (so that a pointer a module hands back is used
// only when it is one of ours and still alive), the guard that keeps menus,
// dialogs and text boxes from stacking up, and writing text into a module's
// return-string object. UI thread only.

#include <cstdint>
#include <string>
#include <unordered_map>

#include "sdk/gmpi_gui.h"

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
// Answers Iid and MP_IID_UNKNOWN with itself; the count starts at 1 and the
// last release deletes the object.
template <class Interface, const gmpi::MpGuid& Iid>
class GmpiGuiObject : public Interface
{
public:
    int32_t queryInterface(const gmpi::MpGuid& iid, void** returnInterface) override
    {
        if (returnInterface == nullptr)
            return gmpi::MP_FAIL;
        *returnInterface = nullptr;
        if (iid != Iid && iid != gmpi::MP_IID_UNKNOWN)
            return gmpi::MP_NOSUPPORT;
        *returnInterface = static_cast<Interface*>(this);
        addRef();
        return gmpi::MP_OK;
    }
    int32_t addRef() override { return ++count_; }
    int32_t release() override
    {
        const int32_t left = --count_;
        if (left == 0)
            delete this;
        return left;
    }
    int32_t RefCount() const { return count_; }

protected:
    GmpiGuiObject() = default;
    virtual ~GmpiGuiObject() = default;
    GmpiGuiObject(const GmpiGuiObject&) = delete;
    GmpiGuiObject& operator=(const GmpiGuiObject&) = delete;

private:
    int32_t count_ = 1;
};
#pragma GCC diagnostic pop

// The live objects of class T by the address of the face modules hold.
template <class T>
class LiveObjects
{
public:
    static void Add(const void* face, T* object) { map()[face] = object; }
    static void Remove(const void* face) { map().erase(face); }
    // The object behind a face a module handed back; null when it is not one of ours.
    static T* Find(const void* face)
    {
        if (face == nullptr)
            return nullptr;
        const auto found = map().find(face);
        return found == map().end() ? nullptr : found->second;
    }
    static std::size_t Count() { return map().size(); }

private:
    static std::unordered_map<const void*, T*>& map()
    {
        static std::unordered_map<const void*, T*> objects;
        return objects;
    }
};

// Menus, file dialogs and text boxes of modules and context menus: one at a
// time in each editor, whose frame stands for it (`frame`); the editors of
// other instances open theirs meanwhile. Held from opening to the end, also
// when the opener returned first.
class ModalGuard
{
public:
    explicit ModalGuard(const void* frame) : frame_(frame) { ++depths()[frame_]; }
    ~ModalGuard()
    {
        if (--depths()[frame_] <= 0)
            depths().erase(frame_);
    }
    ModalGuard(const ModalGuard&) = delete;
    ModalGuard& operator=(const ModalGuard&) = delete;
    static bool Busy(const void* frame) { return depths().count(frame) > 0; }

private:
    static std::unordered_map<const void*, int>& depths()
    {
        static std::unordered_map<const void*, int> open;
        return open;
    }
    const void* frame_;
};

// Writes text into an object answering MP_IID_RETURNSTRING: MP_OK, or the
// query's failure (MP_NOSUPPORT for a null object).
inline int32_t WriteReturnString(gmpi::IMpUnknown* object, const std::string& text)
{
    if (object == nullptr)
        return gmpi::MP_NOSUPPORT;
    void* face = nullptr;
    const int32_t found = object->queryInterface(gmpi::MP_IID_RETURNSTRING, &face);
    if (found != gmpi::MP_OK || face == nullptr)
        return found != gmpi::MP_OK ? found : gmpi::MP_NOSUPPORT;
    auto* returnString = static_cast<gmpi::IMpReturnString*>(face);
    returnString->setData(text.data(), static_cast<int32_t>(text.size()));
    returnString->release();
    return gmpi::MP_OK;
}
