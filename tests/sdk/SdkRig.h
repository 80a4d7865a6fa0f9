#pragma once
// An engine in-process with modules from the external bundles built by
// tests/sdk/modules: a module folder of its own in a temporary directory,
// holding the built bundles and broken files made here, the test modules'
// XML registered, host blocks and MIDI in, the records to the editor out.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/TempFolder.h"
#include "core/CModuleFactory.h"
#include "core/Module_Info.h"
#include "core/QueMessage.h"
#include "core/conversion.h"
#include "engine/graph/EngineModules.h"
#include "engine/runtime/KvAudioMaster.h"
#include "engine/runtime/SynthRuntime.h"
#include "engine/sdkadapter/ug_plugin3Base.h"

namespace sdk_test
{

inline std::string ReadFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteFile(const std::filesystem::path& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

// The module folder, made once per process and removed at its exit: the
// built bundles, a text file, and copies of a good bundle marked 32-bit and
// marked for another machine.
inline const std::filesystem::path& ModuleFolder()
{
    static const kv_test::TempFolder temporary("sdk-modules");
    static const std::filesystem::path folder = [] {
        const std::filesystem::path made = temporary.path();
        for (const char* name : {"KvTestModules.kvm", "KvNoEntry.kvm", "KvNullFactory.kvm", "KvNotFactory.kvm"})
            std::filesystem::copy_file(std::filesystem::path(KV_SDK_MODULE_BUILD_DIR) / name, made / name);
        WriteFile(made / "KvNotElf.kvm", "this is no shared object\n");
        std::string elf = ReadFile(made / "KvTestModules.kvm");
        std::string wrongClass = elf;
        wrongClass[4] = 1; // ELFCLASS32
        WriteFile(made / "KvWrongClass.kvm", wrongClass);
        std::string wrongMachine = elf;
        wrongMachine[18] = 0x28; // EM_ARM
        wrongMachine[19] = 0;
        WriteFile(made / "KvWrongMachine.kvm", wrongMachine);

        Module_Info::SetKvmFolder(Utf8ToWstring(made.string()));
        RegisterEngineModules();
        CModuleFactory::Instance()->RegisterPluginsXml(ReadFile(KV_TEST_DATA_DIR "/patches/sdk_modules.xml").c_str());
        return made;
    }();
    return folder;
}

struct RecordingSender : IDspToGuiSender
{
    bool SendDspToGuiBatch(const unsigned char* data, int size) override
    {
        bytes.insert(bytes.end(), data, data + size);
        return true;
    }
    std::vector<unsigned char> bytes;
};

// One "sdk" record to the editor.
struct SdkMessage
{
    int32_t handle;
    int32_t id;
    std::vector<unsigned char> data;

    std::vector<int32_t> Ints() const
    {
        std::vector<int32_t> values(data.size() / 4);
        std::memcpy(values.data(), data.data(), values.size() * 4);
        return values;
    }
};

struct SdkRig
{
    static constexpr int kBlock = 64;

    explicit SdkRig(const char* document = KV_TEST_DATA_DIR "/patches/sdk_effect.dsp.kv.xml", int block = kBlock)
        : runtime(&sender)
    {
        ModuleFolder();
        built = runtime.initialize(48000, block, ReadFile(document).c_str());
        inputs.assign(2, std::vector<float>(static_cast<size_t>(block), 0.0f));
        outputs.assign(2, std::vector<float>(static_cast<size_t>(block), 0.0f));
    }

    KvAudioMaster* master() { return runtime.AudioMaster(); }

    ug_plugin3Base* Module(int handle)
    {
        return master() ? dynamic_cast<ug_plugin3Base*>(master()->HandleToObject(handle)) : nullptr;
    }

    // One host block of n samples; the batch to the editor is then sent.
    void Run(int n)
    {
        float* in[2] = {inputs[0].data(), inputs[1].data()};
        float* out[2] = {outputs[0].data(), outputs[1].data()};
        master()->DoProcess(n, in, out, 2, 2);
        runtime.ServiceDspRingBuffers();
    }

    // An "sdk" record as the controller sends one from a module's editor part.
    void SendToModule(int handle, int32_t id, const std::vector<unsigned char>& data)
    {
        std::vector<unsigned char> payload(8 + data.size());
        const int32_t size = static_cast<int32_t>(data.size());
        std::memcpy(payload.data(), &id, 4);
        std::memcpy(payload.data() + 4, &size, 4);
        if (!data.empty())
            std::memcpy(payload.data() + 8, data.data(), data.size());
        WriteQueMessage(runtime.QueueFromGui(), handle, QueMessageId::sdk, payload.data(),
                        static_cast<int32_t>(payload.size()));
        runtime.QueueFromGui().Send();
    }

    // The "sdk" records sent so far (and forgets them).
    std::vector<SdkMessage> TakeMessages()
    {
        std::vector<SdkMessage> found;
        size_t at = 0;
        while (at + 12 <= sender.bytes.size())
        {
            int32_t header[3];
            std::memcpy(header, sender.bytes.data() + at, 12);
            at += 12;
            if (header[2] < 0 || at + static_cast<size_t>(header[2]) > sender.bytes.size())
                break;
            if (header[1] == QueMessageId::sdk && header[2] >= 8)
            {
                SdkMessage message;
                message.handle = header[0];
                std::memcpy(&message.id, sender.bytes.data() + at, 4);
                message.data.assign(sender.bytes.begin() + static_cast<long>(at) + 8,
                                    sender.bytes.begin() + static_cast<long>(at) + header[2]);
                found.push_back(message);
            }
            at += static_cast<size_t>(header[2]);
        }
        sender.bytes.clear();
        return found;
    }

    std::vector<SdkMessage> MessagesWithId(int32_t id)
    {
        std::vector<SdkMessage> all = TakeMessages();
        std::vector<SdkMessage> found;
        for (auto& message : all)
            if (message.id == id)
                found.push_back(message);
        return found;
    }

    RecordingSender sender;
    SynthRuntime runtime;
    bool built = false;
    std::vector<std::vector<float>> inputs;
    std::vector<std::vector<float>> outputs;
};

inline bool AnyDiagnosticContains(const std::wstring& text)
{
    for (const auto& line : CModuleFactory::Instance()->Diagnostics())
        if (line.find(text) != std::wstring::npos)
            return true;
    return false;
}

} // namespace sdk_test
