// Fuzzer: any bytes as a bundle's DSP document. The engine builds what it can
// or refuses the document; a graph it builds plays a chord and a pitch bend
// through host blocks of several sizes, and is torn down. Its seeds: the
// documents that once broke it, and (see scripts/fuzz.sh) every graph
// document of the tests and the instruments.

#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/runtime/KvAudioMaster.h"
#include "engine/runtime/SynthRuntime.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    constexpr int kMaxBlock = 256;
    const std::string text(reinterpret_cast<const char*>(data), size);
    SynthRuntime runtime;
    if (!runtime.initialize(44100, kMaxBlock, text.c_str()))
        return 0;
    KvAudioMaster* master = runtime.AudioMaster();
    if (master == nullptr)
        return 0;
    static float buffers[4][kMaxBlock];
    float* inputs[2] = {buffers[0], buffers[1]};
    float* outputs[2] = {buffers[2], buffers[3]};
    const unsigned char messages[][3] = {{0x90, 60, 100}, {0x90, 67, 1}, {0xE0, 0, 127}, {0x80, 60, 0}};
    const int blocks[] = {kMaxBlock, 1, 17, 64};
    for (int k = 0; k < 4; ++k)
    {
        master->MidiIn(k, messages[k], 3);
        master->DoProcess(blocks[k], inputs, outputs, 2, 2);
    }
    return 0;
}
