// Fuzzer: any bytes as a Standard MIDI File. The reader must refuse or read
// them without reading outside the buffer, and what it reads must be ordered.

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "tools/kvhost/MidiFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Performance performance;
    std::string error;
    if (!ParseMidiFile(data, size, performance, error))
        return 0;
    for (std::size_t i = 1; i < performance.events.size(); ++i)
        if (performance.events[i].seconds < performance.events[i - 1].seconds)
            std::abort();
    return 0;
}
