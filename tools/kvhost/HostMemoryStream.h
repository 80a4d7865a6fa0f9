#pragma once
// A growable in-memory IBStream for plug-in state. Every read, write and seek
// is bounded by the stream, whatever counts the plug-in passes.

#include <atomic>
#include <cstddef>
#include <utility>
#include <vector>

#include "pluginterfaces/base/ibstream.h"

// SDK interfaces are COM-style: objects die through release(), never through
// a base pointer, so their bases have no virtual destructor.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
class HostMemoryStream : public Steinberg::IBStream
{
public:
    HostMemoryStream() = default;
    explicit HostMemoryStream(std::vector<char> bytes) : bytes_(std::move(bytes)) {}
    virtual ~HostMemoryStream() = default;

    const std::vector<char>& bytes() const { return bytes_; }
    void rewind() { cursor_ = 0; }

    Steinberg::tresult PLUGIN_API read(void* buffer, Steinberg::int32 numBytes,
                                       Steinberg::int32* numBytesRead) SMTG_OVERRIDE;
    Steinberg::tresult PLUGIN_API write(void* buffer, Steinberg::int32 numBytes,
                                        Steinberg::int32* numBytesWritten) SMTG_OVERRIDE;
    Steinberg::tresult PLUGIN_API seek(Steinberg::int64 pos, Steinberg::int32 mode,
                                       Steinberg::int64* result) SMTG_OVERRIDE;
    Steinberg::tresult PLUGIN_API tell(Steinberg::int64* pos) SMTG_OVERRIDE;

    Steinberg::tresult PLUGIN_API queryInterface(const Steinberg::TUID iid, void** obj) SMTG_OVERRIDE;
    Steinberg::uint32 PLUGIN_API addRef() SMTG_OVERRIDE;
    Steinberg::uint32 PLUGIN_API release() SMTG_OVERRIDE;

    // A state larger than this is refused.
    static constexpr std::size_t kMaxSize = std::size_t{256} << 20;

private:
    std::vector<char> bytes_;
    std::size_t cursor_ = 0;
    std::atomic<Steinberg::uint32> references_{1};
};
#pragma GCC diagnostic pop
