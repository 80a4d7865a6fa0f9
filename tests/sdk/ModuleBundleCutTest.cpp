// A plug-in bundle whose module bundle (Contents/PlugIns/KvTestModules.kvm)
// is cut short or is no shared object for this machine, played by the
// headless host in a process of its own: the module bundle is refused with
// one line on standard error naming it, and the instrument still loads and
// plays without its modules.
#include <gtest/gtest.h>

#include <elf.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace
{
std::vector<char> ReadBytes(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const fs::path& path, const std::vector<char>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Runs the command; its standard output and error, and its exit code (128 +
// the signal when a signal ended it).
int RunCommand(const std::string& command, std::string& output)
{
    output.clear();
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (!pipe)
        return -1;
    char piece[4096];
    std::size_t got = 0;
    while ((got = std::fread(piece, 1, sizeof(piece), pipe)) > 0)
        output.append(piece, got);
    const int status = pclose(pipe);
    if (WIFSIGNALED(status))
        return 128 + WTERMSIG(status);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::size_t Count(const std::string& text, const std::string& part)
{
    std::size_t n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

// Where the first loadable segment with the flag lies in the file, from its
// program headers.
std::pair<std::size_t, std::size_t> Segment(const std::vector<char>& image, Elf64_Word flag)
{
    Elf64_Ehdr header;
    std::memcpy(&header, image.data(), sizeof(header));
    for (int i = 0; i < header.e_phnum; ++i)
    {
        Elf64_Phdr segment;
        std::memcpy(&segment, image.data() + header.e_phoff + i * sizeof(Elf64_Phdr), sizeof(segment));
        if (segment.p_type == PT_LOAD && (segment.p_flags & flag) && segment.p_filesz > 0)
            return {segment.p_offset, segment.p_filesz};
    }
    return {0, 0};
}
} // namespace

TEST(ModuleBundleCut, ModuleBundlesCutShortOrForAnotherMachineAreRefusedAndTheInstrumentStillPlays)
{
    const fs::path original = fs::path(KV_SDK_SYNTH_BUNDLE);
    const std::vector<char> image = ReadBytes(original / "Contents/PlugIns/KvTestModules.kvm");
    ASSERT_GT(image.size(), sizeof(Elf64_Ehdr));
    const auto [textAt, textSize] = Segment(image, PF_X);
    const auto [dataAt, dataSize] = Segment(image, PF_W);
    ASSERT_GT(textSize, 0u);
    ASSERT_GT(dataSize, 0u);

    auto cut = [&](std::size_t size) { return std::vector<char>(image.begin(), image.begin() + size); };
    auto patched = [&](std::size_t at, const void* bytes, std::size_t size) {
        std::vector<char> copy = image;
        std::memcpy(copy.data() + at, bytes, size);
        return copy;
    };
    const unsigned char class32 = ELFCLASS32;
    const Elf64_Half otherMachine = EM_AARCH64;
    const std::string notElf = "#!/bin/sh\nthis is no module bundle\n";
    struct Case
    {
        const char* name;
        std::vector<char> bytes;
    };
    const std::vector<Case> cases = {
        {"inside the header", cut(40)},
        {"inside the text", cut(textAt + textSize / 2)},
        {"inside the data", cut(dataAt + dataSize / 2)},
        {"one byte short", cut(image.size() - 1)},
        {"not ELF", std::vector<char>(notElf.begin(), notElf.end())},
        {"32-bit", patched(EI_CLASS, &class32, 1)},
        {"another machine", patched(offsetof(Elf64_Ehdr, e_machine), &otherMachine, sizeof(otherMachine))},
    };

    const fs::path folder = fs::temp_directory_path() / ("kv-cut-modules-" + std::to_string(getpid()));
    fs::remove_all(folder);
    const fs::path bundle = folder / "KvSdkSynth.vst3";
    fs::create_directories(folder);
    fs::copy(original, bundle, fs::copy_options::recursive);
    const fs::path kvm = bundle / "Contents/PlugIns/KvTestModules.kvm";

    for (const Case& c : cases)
    {
        WriteBytes(kvm, c.bytes);
        std::string output;
        const int code = RunCommand("'" KV_KVHOST "' '" + bundle.string() + "' --seconds 0.2", output);
        EXPECT_EQ(code, 0) << c.name << ":\n" << output;
        // Named once, however many modules the instrument wanted from it.
        EXPECT_EQ(Count(output, "Korvane: Couldn't create bundle reference (" + kvm.string() + "): the file "), 1u)
            << c.name << ":\n" << output;
        EXPECT_NE(output.find("(no output file): 2 channels"), std::string::npos) << c.name << ":\n" << output;
    }

    // The whole file loads as before, without a word.
    WriteBytes(kvm, image);
    std::string output;
    EXPECT_EQ(RunCommand("'" KV_KVHOST "' '" + bundle.string() + "' --seconds 0.2", output), 0) << output;
    EXPECT_EQ(output.find("Korvane:"), std::string::npos) << output;
    fs::remove_all(folder);
}
