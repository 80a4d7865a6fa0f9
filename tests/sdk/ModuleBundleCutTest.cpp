// A plug-in bundle whose module bundle (Contents/PlugIns/KvTestModules.kvm)
// is cut short or is no shared object for this machine, played by the
// headless host in a process of its own: the module bundle is refused with
// one line on standard error naming it, and the instrument still plays.
#include <gtest/gtest.h>

#include <elf.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "tests/TempFolder.h"

namespace fs = std::filesystem;

namespace
{
// Runs kvhost on the bundle: its exit code (128 + the signal that ended it)
// and what it wrote on both streams.
int PlayWithKvhost(const fs::path& bundle, std::string& output)
{
    output.clear();
    FILE* pipe = popen(("'" KV_KVHOST "' '" + bundle.string() + "' --seconds 0.2 2>&1").c_str(), "r");
    if (!pipe)
        return -1;
    char piece[4096];
    for (std::size_t got; (got = std::fread(piece, 1, sizeof(piece), pipe)) > 0;)
        output.append(piece, got);
    const int status = pclose(pipe);
    return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
}

// The file range of the first loadable segment with the flag, from the
// module bundle's own program headers.
Elf64_Phdr Segment(std::ifstream& image, Elf64_Word flag)
{
    Elf64_Ehdr header{};
    image.seekg(0).read(reinterpret_cast<char*>(&header), sizeof(header));
    Elf64_Phdr segment{};
    for (int i = 0; i < header.e_phnum; ++i)
    {
        image.seekg(static_cast<std::streamoff>(header.e_phoff + i * sizeof(segment)));
        image.read(reinterpret_cast<char*>(&segment), sizeof(segment));
        if (segment.p_type == PT_LOAD && (segment.p_flags & flag) && segment.p_filesz > 0)
            return segment;
    }
    return Elf64_Phdr{};
}
} // namespace

TEST(ModuleBundleCut, ModuleBundlesCutShortOrForAnotherMachineAreRefusedAndTheInstrumentStillPlays)
{
    const kv_test::TempFolder temporary("cut-modules");
    const fs::path folder = temporary.path();
    const fs::path bundle = folder / "KvSdkSynth.vst3";
    fs::copy(KV_SDK_SYNTH_BUNDLE, bundle, fs::copy_options::recursive);
    const fs::path kvm = bundle / "Contents/PlugIns/KvTestModules.kvm";
    const fs::path whole = folder / "whole.kvm";
    fs::copy_file(kvm, whole);
    std::ifstream image(whole, std::ios::binary);
    const Elf64_Phdr text = Segment(image, PF_X);
    const Elf64_Phdr data = Segment(image, PF_W);
    ASSERT_GT(text.p_filesz, 0u);
    ASSERT_GT(data.p_filesz, 0u);

    struct Case
    {
        const char* name;
        std::uintmax_t size;  // cut to this size, or
        std::size_t at;       // these bytes written here
        std::string bytes;
    };
    const std::uintmax_t size = fs::file_size(whole);
    const Elf64_Half otherMachine = EM_AARCH64;
    const Case cases[] = {
        {"inside the header", 40, 0, ""},
        {"inside the text", text.p_offset + text.p_filesz / 2, 0, ""},
        {"inside the data", data.p_offset + data.p_filesz / 2, 0, ""},
        {"one byte short", size - 1, 0, ""},
        {"not ELF", size, 0, "#!/bin/sh\n"},
        {"32-bit", size, EI_CLASS, std::string(1, ELFCLASS32)},
        {"another machine", size, offsetof(Elf64_Ehdr, e_machine),
         std::string(reinterpret_cast<const char*>(&otherMachine), sizeof(otherMachine))},
    };
    for (const Case& c : cases)
    {
        fs::copy_file(whole, kvm, fs::copy_options::overwrite_existing);
        fs::resize_file(kvm, c.size);
        std::fstream(kvm, std::ios::in | std::ios::out | std::ios::binary)
            .seekp(static_cast<std::streamoff>(c.at))
            .write(c.bytes.data(), static_cast<std::streamsize>(c.bytes.size()));
        std::string output;
        EXPECT_EQ(PlayWithKvhost(bundle, output), 0) << c.name << ":\n" << output;
        // Named once, however many modules the instrument wanted from it.
        const std::string refusal = "Korvane: Couldn't create bundle reference (" + kvm.string() + "): the file ";
        const std::size_t first = output.find(refusal);
        EXPECT_TRUE(first != std::string::npos && output.find(refusal, first + 1) == std::string::npos)
            << c.name << ":\n" << output;
        EXPECT_NE(output.find("(no output file): 2 channels"), std::string::npos) << c.name << ":\n" << output;
    }

    // The whole file loads as before, without a word.
    fs::copy_file(whole, kvm, fs::copy_options::overwrite_existing);
    std::string output;
    EXPECT_EQ(PlayWithKvhost(bundle, output), 0) << output;
    EXPECT_EQ(output.find("Korvane:"), std::string::npos) << output;
    image.close();
}
