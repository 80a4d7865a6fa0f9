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

} // namespace gmpi
