// Fuzzer: any text as a note list. It is read or refused with a line number,
// and every event read stays within its ranges.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "tools/kvhost/NoteList.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Performance performance;
    std::string error;
    if (!ParseNoteList(std::string(reinterpret_cast<const char*>(data), size), performance, error))
    {
        if (error.rfind("line ", 0) != 0)
            std::abort();
        return 0;
    }
    for (const auto& event : performance.events)
        if (!(event.seconds >= 0.0) || !(event.value >= 0.0 && event.value <= 1.0) || event.channel < 0 ||
            event.channel > 15)
            std::abort();
    return 0;
}
