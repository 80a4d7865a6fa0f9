#pragma once
// Typed byte streams. Values travel in the machine's byte order with no tags or
// padding: fixed-size values as their raw bytes, a wide string as an int32
// character count followed by 4 bytes per character, a blob as an int32 byte
// count followed by the bytes.

#include <cstdint>
#include <string>

class MpBlob;

class my_output_stream
{
public:
    virtual ~my_output_stream() = default;

    virtual void Write(const void* data, unsigned size) = 0;

    // A record is written field by field. Streams of bounded room roll a record
    // back whole when any of its fields did not fit; EndRecord reports whether
    // the record was kept. Streams that cannot run out of room keep everything.
    virtual void BeginRecord() { failed_ = false; }
    virtual bool EndRecord() { return !failed_; }

    // True when a write was dropped since the last BeginRecord.
    bool failed() const { return failed_; }

    my_output_stream& operator<<(int32_t value);
    my_output_stream& operator<<(uint32_t value);
    my_output_stream& operator<<(int64_t value);
    my_output_stream& operator<<(float value);
    my_output_stream& operator<<(double value);
    my_output_stream& operator<<(bool value);
    my_output_stream& operator<<(uint8_t value);
    my_output_stream& operator<<(const std::wstring& value);
    my_output_stream& operator<<(const wchar_t* value);
    my_output_stream& operator<<(const MpBlob& value);

    // Without this, a stray pointer (a narrow string literal, say) would
    // silently be written as a bool.
    template <typename T>
    my_output_stream& operator<<(const T*) = delete;

protected:
    void setFailed() { failed_ = true; }

    bool failed_ = false;
};

// Every read is bounded by the bytes the stream still holds. A read that asks
// for more fails: its destination is zero-filled, the stream is left at its
// end and every later read fails the same way, so a reader can check
// failed() once after reading a whole record.
class my_input_stream
{
public:
    virtual ~my_input_stream() = default;

    void Read(void* destination, unsigned size);
    // Drops size bytes, with the same bound and failure as Read.
    void Skip(unsigned size);

    virtual unsigned BytesRemaining() const = 0;
    bool failed() const { return failed_; }

    my_input_stream& operator>>(int32_t& value);
    my_input_stream& operator>>(uint32_t& value);
    my_input_stream& operator>>(int64_t& value);
    my_input_stream& operator>>(float& value);
    my_input_stream& operator>>(double& value);
    my_input_stream& operator>>(bool& value);
    my_input_stream& operator>>(uint8_t& value);
    // A count that is negative or larger than the bytes left fails the read
    // before anything is allocated; the string or blob is left empty.
    my_input_stream& operator>>(std::wstring& value);
    my_input_stream& operator>>(MpBlob& value);

protected:
    // Called only with size <= BytesRemaining().
    virtual void ReadRaw(void* destination, unsigned size) = 0;
    virtual void SkipRaw(unsigned size) = 0;

private:
    bool Admit(unsigned size);
    void Fail();

    bool failed_ = false;
};
