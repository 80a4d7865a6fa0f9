// Fuzzer: any bytes as the "MyData" of a "BinaryMessage", read by the
// controller as the processor's batch and checked by a processor before it
// queues them. Every read stays inside the bytes; values stay in range.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/ParameterFieldType.h"
#include "shell/fuzz/FuzzShell.h"
#include "shell/ADelayProcessor.h"

using namespace Steinberg;
using namespace Steinberg::Vst;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // The SDK's host attribute leaks an empty binary; empty batches are unit-tested.
    if (size == 0)
        return 0;
    IMessage* raw = nullptr;
    TUID iid;
    std::memcpy(iid, IMessage::iid, sizeof(iid));
    fuzz_shell::Host().createInstance(iid, iid, reinterpret_cast<void**>(&raw));
    IPtr<IMessage> message = owned(raw);
    if (!message)
        std::abort();
    message->setMessageID("BinaryMessage");
    message->getAttributes()->setBinary("MyData", data, static_cast<uint32>(size));

    auto controller = fuzz_shell::NewController();
    if (controller->notify(message) != kResultOk)
        std::abort();
    for (ParamID id : {0u, 2u, 3u, 4u, 5u})
    {
        const double n = controller->getParamNormalized(id);
        if (!(n >= 0.0 && n <= 1.0))
            std::abort();
    }
    std::string value;
    for (int handle = 1; handle <= 10; ++handle)
        for (int field : {FT_VALUE, FT_NORMALIZED, FT_RANGE_LO, FT_ENUM_LIST})
            controller->getParameterValue(handle, field, value);
    controller->terminate();

    auto processor = owned(new ADelayProcessor(&fuzz_shell::Factory()));
    processor->notify(message);
    return 0;
}
