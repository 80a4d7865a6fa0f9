// Fuzzer: any bytes as a processor state chunk, given to the controller and
// to a processor playing the fuzz bundle's graph. Refused or read, nothing
// crashes, a refused chunk leaves the host parameters as they were, and what
// the processor saves back holds only values inside their ranges.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "shell/fuzz/FuzzShell.h"
#include "shell/ADelayProcessor.h"
#include "shell/StateChunk.h"
#include "tools/kvhost/HostMemoryStream.h"

using namespace Steinberg;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::vector<char> bytes(reinterpret_cast<const char*>(data), reinterpret_cast<const char*>(data) + size);
    auto controller = fuzz_shell::NewController();
    const double before = controller->getParamNormalized(0);
    IPtr<HostMemoryStream> stream = owned(new HostMemoryStream(bytes));
    const tresult result = controller->setComponentState(stream);
    if (result != kResultOk && controller->getParamNormalized(0) != before)
        std::abort();
    for (Vst::ParamID id : {0u, 2u, 3u, 4u, 5u})
    {
        const double n = controller->getParamNormalized(id);
        if (!(n >= 0.0 && n <= 1.0))
            std::abort();
    }
    controller->terminate();

    auto processor = owned(new ADelayProcessor(&fuzz_shell::Factory()));
    processor->initialize(&fuzz_shell::Host());
    stream->rewind();
    processor->setState(stream);
    IPtr<HostMemoryStream> out = owned(new HostMemoryStream());
    if (processor->getState(out) != kResultOk)
        std::abort();
    std::string saved(out->bytes().begin(), out->bytes().end());
    if (saved.size() >= 4)
        saved.erase(0, 4);
    if (!fuzz_shell::StateValuesInRange(saved))
        std::abort();
    processor->terminate();
    return 0;
}
