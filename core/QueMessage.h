#pragma once
// Message records exchanged between the editor side and the engine: a header
// of handle, four-character id and payload length (each an int32 in the
// machine's byte order), then the payload.

#include <cstdint>

class my_input_stream;
class my_output_stream;

// Four-character ids, first character in the top byte; shorter ids end in a
// zero byte. Written little-endian, an id stands in the bytes reversed.
namespace QueMessageId
{
inline constexpr int32_t ppc = 0x70706300;
// A bit of a "ppc" record's flag byte: the engine moved the values on its
// own (not the host, a program it chose or a state), and the host hears of them.
inline constexpr uint8_t kOwnMove = 2;
inline constexpr int32_t CCID = 0x43434944;
inline constexpr int32_t CCSX = 0x43435358;
inline constexpr int32_t meta = 0x6D657461;
inline constexpr int32_t setc = 0x73657463;
inline constexpr int32_t setp = 0x73657470;
inline constexpr int32_t hppc = 0x68707063;
inline constexpr int32_t noti = 0x6E6F7469;
inline constexpr int32_t sdk = 0x73646B00;
inline constexpr int32_t lern = 0x6C65726E;
inline constexpr int32_t pat2 = 0x70617432;
inline constexpr int32_t prnt = 0x70726E74;
inline constexpr int32_t mbox = 0x6D626F78;
inline constexpr int32_t fade = 0x66616465;
inline constexpr int32_t rest = 0x72657374;
inline constexpr int32_t refr = 0x72656672;
// The processor's stamp before each batch: the moment (int64) of the block
// that wrote it.
inline constexpr int32_t time = 0x74696D65;
// The processor's record of the values a host's block carried ({uint32 id,
// float64 normalised value} each), for the controller.
inline constexpr int32_t hval = 0x6876616C;
} // namespace QueMessageId

struct QueMessageHeader
{
    static constexpr int kSize = 12;

    void Write(my_output_stream& out) const;
    // False, with the header zeroed, when the stream does not hold 12 bytes.
    bool Read(my_input_stream& in);

    int32_t handle_ = 0;
    int32_t id_ = 0;
    int32_t length_ = 0;
};

// Writes one whole record, or nothing when the stream has no room for all of it.
bool WriteQueMessage(my_output_stream& out, int32_t handle, int32_t id, const void* payload, int32_t length);

// True when bytes are a run of whole records: every length is non-negative and
// the last record ends exactly at size. Bytes from outside can be checked with
// this before they are queued, since a bad length desynchronises a reader.
bool QueMessagesAreWellFormed(const void* bytes, int size);
