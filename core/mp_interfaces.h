#pragma once
// The reference-counted interface objects of the module SDK: 16-byte interface
// ids, the unknown interface and result codes. Modules and hosts talk through these.

#include <cstdint>
#include <cstring>

namespace gmpi
{

struct MpGuid
{
    uint32_t data1;
    uint16_t data2;
    uint16_t data3;
    uint8_t data4[8];
};

inline bool operator==(const MpGuid& a, const MpGuid& b)
{
    return std::memcmp(&a, &b, sizeof(MpGuid)) == 0;
}

enum ReturnCode : int32_t
{
    MP_OK = 0,
    MP_FAIL = -1,
    MP_NOSUPPORT = -2,
};

// {00000000-0000-C000-0000-000000000046}
inline constexpr MpGuid MP_IID_UNKNOWN = {0x00000000, 0x0000, 0xC000, {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

class IMpUnknown
{
public:
    virtual int32_t queryInterface(const MpGuid& iid, void** returnInterface) = 0;
    virtual int32_t addRef() = 0;
    virtual int32_t release() = 0;

protected:
    ~IMpUnknown() = default;
};

// {AB8FFB21-44FF-42B7-8885-29431399E7E4}
inline constexpr MpGuid MP_IID_RETURNSTRING = {0xAB8FFB21, 0x44FF, 0x42B7, {0x88, 0x85, 0x29, 0x43, 0x13, 0x99, 0xE7, 0xE4}};
// {CEA854B2-E0B9-4858-9231-77F20EB01020}
inline constexpr MpGuid MP_IID_PROTECTED_FILE2 = {0xCEA854B2, 0xE0B9, 0x4858, {0x92, 0x31, 0x77, 0xF2, 0x0E, 0xB0, 0x10, 0x20}};

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
