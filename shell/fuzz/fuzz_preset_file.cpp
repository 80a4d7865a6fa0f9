// Fuzzer: any bytes as a user preset file. Imported or refused; every value
// that lands in a parameter is one the parameter can hold.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "shell/fuzz/FuzzShell.h"

using namespace Steinberg;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string path = fuzz_shell::Folder() + "/input.preset.xml";
    std::ofstream(path, std::ios::binary | std::ios::trunc).write(reinterpret_cast<const char*>(data),
                                                                  static_cast<std::streamsize>(size));
    auto controller = fuzz_shell::NewController();
    controller->ImportPresetXml(path);
    for (Vst::ParamID id : {0u, 2u, 3u, 4u, 5u})
    {
        const double n = controller->getParamNormalized(id);
        if (!(n >= 0.0 && n <= 1.0))
            std::abort();
    }
    // The private double keeps a finite value inside its range.
    const std::string& raw = controller->Parameters().at(5).value;
    if (raw.size() == sizeof(double))
    {
        double v = 0.0;
        std::memcpy(&v, raw.data(), sizeof(v));
        if (!std::isfinite(v) || v < 0.0 || v > 10.0)
            std::abort();
    }
    controller->terminate();
    return 0;
}
