#pragma once
// Module SDK, common part: what a module and its host share before either
// side is known. 16-byte interface ids, result codes, the unknown interface,
// the factory interfaces a module bundle offers through its "MP_GetFactory"
// entry, and small helper interfaces. Depends on nothing but the C++ library:
// a module compiled elsewhere includes this folder alone.
//
// ABI: every interface below is a table of virtual functions in the order
// written here; ids are compared byte for byte; results are int32.

#include <cstdint>
#include <cstring>

namespace gmpi
{

// A 16-byte interface id: uint32, uint16, uint16, then 8 bytes.
struct MpGuid
{
    uint32_t data1;
    uint16_t data2;
    uint16_t data3;
    uint8_t data4[8];
};
static_assert(sizeof(MpGuid) == 16, "interface ids are 16 bytes");

inline bool operator==(const MpGuid& a, const MpGuid& b)
{
    return std::memcmp(&a, &b, sizeof(MpGuid)) == 0;
}

inline bool operator!=(const MpGuid& a, const MpGuid& b)
{
    return !(a == b);
}

// Results of every interface operation.
enum ReturnCode : int32_t
{
    MP_OK = 0,
    MP_FAIL = -1,
    MP_NOSUPPORT = -2,
};

// Interface ids.
// {00000000-0000-C000-0000-000000000046}
inline constexpr MpGuid MP_IID_UNKNOWN = {0x00000000, 0x0000, 0xC000, {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
// {2B0DFC7E-A539-49CD-B72D-32FF9DF0D9E4}
inline constexpr MpGuid MP_IID_PLUGIN = {0x2B0DFC7E, 0xA539, 0x49CD, {0xB7, 0x2D, 0x32, 0xFF, 0x9D, 0xF0, 0xD9, 0xE4}};
// {1E07E3E8-8118-457F-A63C-D4F282A0F519}
inline constexpr MpGuid MP_IID_PLUGIN2 = {0x1E07E3E8, 0x8118, 0x457F, {0xA6, 0x3C, 0xD4, 0xF2, 0x82, 0xA0, 0xF5, 0x19}};
// {4F1B532F-3C46-4927-A498-614867425BE7}
inline constexpr MpGuid MP_IID_HOST = {0x4F1B532F, 0x3C46, 0x4927, {0xA4, 0x98, 0x61, 0x48, 0x67, 0x42, 0x5B, 0xE7}};
// {9A7904B7-7F7F-4D61-B558-C1A6695BB638}
inline constexpr MpGuid MP_IID_FACTORY = {0x9A7904B7, 0x7F7F, 0x4D61, {0xB5, 0x58, 0xC1, 0xA6, 0x69, 0x5B, 0xB6, 0x38}};
// {91C3D2EE-C701-4F35-91A6-094DC7E05976}
inline constexpr MpGuid MP_IID_FACTORY2 = {0x91C3D2EE, 0xC701, 0x4F35, {0x91, 0xA6, 0x09, 0x4D, 0xC7, 0xE0, 0x59, 0x76}};
// {CACB3203-4A57-4209-9E00-0C4B950457F6}
inline constexpr MpGuid MP_IID_GUI_PLUGIN = {0xCACB3203, 0x4A57, 0x4209, {0x9E, 0x00, 0x0C, 0x4B, 0x95, 0x04, 0x57, 0xF6}};
// {9CD06775-F5C2-4321-812D-0958153294B8}
inline constexpr MpGuid MP_IID_GUI_PLUGIN2 = {0x9CD06775, 0xF5C2, 0x4321, {0x81, 0x2D, 0x09, 0x58, 0x15, 0x32, 0x94, 0xB8}};
// {174F9DDC-1850-40DB-BAF0-E0B41D079645}
inline constexpr MpGuid MP_IID_UI_HOST = {0x174F9DDC, 0x1850, 0x40DB, {0xBA, 0xF0, 0xE0, 0xB4, 0x1D, 0x07, 0x96, 0x45}};
// {DE009D92-E281-4F92-9996-200F49690028}
inline constexpr MpGuid MP_IID_UI_HOST2 = {0xDE009D92, 0xE281, 0x4F92, {0x99, 0x96, 0x20, 0x0F, 0x49, 0x69, 0x00, 0x28}};
// {AB8FFB21-44FF-42B7-8885-29431399E7E4}
inline constexpr MpGuid MP_IID_RETURNSTRING = {0xAB8FFB21, 0x44FF, 0x42B7, {0x88, 0x85, 0x29, 0x43, 0x13, 0x99, 0xE7, 0xE4}};
// {CEA854B2-E0B9-4858-9231-77F20EB01020}
inline constexpr MpGuid MP_IID_PROTECTED_FILE2 = {0xCEA854B2, 0xE0B9, 0x4858, {0x92, 0x31, 0x77, 0xF2, 0x0E, 0xB0, 0x10, 0x20}};

// Every interface starts with these three operations. queryInterface gives a
// view of the object for an id (MP_NOSUPPORT and null for ids it does not
// answer); addRef and release return the new reference count.
class IMpUnknown
{
public:
    virtual int32_t queryInterface(const MpGuid& iid, void** returnInterface) = 0;
    virtual int32_t addRef() = 0;
    virtual int32_t release() = 0;

protected:
    ~IMpUnknown() = default;
};

// Module subtypes a factory makes.
enum MpSubType : int32_t
{
    MP_SUB_TYPE_AUDIO = 0,       // the DSP object
    MP_SUB_TYPE_GUI = 1,         // the GUI object of the older style
    MP_SUB_TYPE_GUI2 = 2,        // GUI objects the editor asks for first
    MP_SUB_TYPE_GUI3 = 3,        // ... and then
};

// The older factory (MP_IID_FACTORY): makes an instance of a module id and
// subtype with its host given at creation. MP_OK and one reference held by the
// caller in *returnInterface, or MP_FAIL and null.
class IMpFactory : public IMpUnknown
{
public:
    virtual int32_t createInstance(const wchar_t* uniqueId, int32_t subType, IMpUnknown* host,
                                   void** returnInterface) = 0;

protected:
    ~IMpFactory() = default;
};

// The newer factory (MP_IID_FACTORY2): the instance is made without a host;
// the host hands itself over afterwards (setHost).
class IMpFactory2 : public IMpUnknown
{
public:
    virtual int32_t createInstance2(const wchar_t* uniqueId, int32_t subType, void** returnInterface) = 0;

protected:
    ~IMpFactory2() = default;
};

// The entry point every module bundle exports under the C name
// "MP_GetFactory": fills *returnInterface with an object (one reference held by
// the caller) that answers MP_IID_FACTORY2 and/or MP_IID_FACTORY.
using MP_GetFactoryFunction = int32_t (*)(void** returnInterface);
inline constexpr const char* MP_GET_FACTORY_NAME = "MP_GetFactory";

// Older objects take their host through this face as well.
class IoldSchoolInitialisation
{
public:
    virtual int32_t setHost(IMpUnknown* host) = 0;

protected:
    ~IoldSchoolInitialisation() = default;
};

// Text handed back to a caller: the callee passes UTF-8 bytes and their count.
class IMpReturnString : public IMpUnknown
{
public:
    virtual int32_t setData(const char* data, int32_t size) = 0;

protected:
    ~IMpReturnString() = default;
};

using IString = IMpReturnString;

// A file opened on a module's behalf. Results are MP_OK or MP_FAIL.
class IProtectedFile2 : public IMpUnknown
{
public:
    virtual int32_t read(void* buffer, int64_t count, int64_t* bytesRead) = 0;
    virtual int32_t seek(int64_t offset, int32_t origin, int64_t* newPosition) = 0;
    virtual int32_t getSize(int64_t* size) = 0;

protected:
    ~IProtectedFile2() = default;
};

// The older file interface; close() releases the object.
class IProtectedFile
{
public:
    virtual int32_t close() = 0;
    virtual int32_t getSize(int32_t& size) = 0;
    virtual int32_t read(char* buffer, int32_t size) = 0;

protected:
    ~IProtectedFile() = default;
};

} // namespace gmpi
