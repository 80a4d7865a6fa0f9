#include "core/ElfImage.h"

#include <elf.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

namespace
{
#if defined(__x86_64__)
constexpr uint16_t kMachine = EM_X86_64;
#elif defined(__aarch64__)
constexpr uint16_t kMachine = EM_AARCH64;
#else
#error "no ELF machine code for this processor"
#endif

// Reads exactly `size` bytes at `offset`; false on a short read or an error.
bool ReadAt(int fd, uint64_t offset, void* out, size_t size)
{
    auto* bytes = static_cast<char*>(out);
    size_t done = 0;
    while (done < size)
    {
        const ssize_t got = pread(fd, bytes + done, size - done, static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        done += static_cast<size_t>(got);
    }
    return true;
}

// True when [offset, offset + length) lies within a file of `size` bytes.
bool Within(uint64_t offset, uint64_t length, uint64_t size)
{
    return offset <= size && length <= size - offset;
}

struct File
{
    explicit File(const std::string& path) : fd(open(path.c_str(), O_RDONLY | O_CLOEXEC)) {}
    ~File()
    {
        if (fd >= 0)
            close(fd);
    }
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    int fd;
};

const char* SegmentName(uint32_t type)
{
    switch (type)
    {
    case PT_LOAD:
        return "loadable segment";
    case PT_DYNAMIC:
        return "dynamic segment";
    default:
        return "segment";
    }
}
} // namespace

bool ElfImage::Loadable(const std::string& path, std::string& why)
{
    why.clear();
    File file(path);
    if (file.fd < 0)
    {
        why = std::string("cannot be opened: ") + std::strerror(errno);
        return false;
    }
    struct stat info = {};
    if (fstat(file.fd, &info) != 0 || !S_ISREG(info.st_mode))
    {
        why = "is not a regular file";
        return false;
    }
    const auto size = static_cast<uint64_t>(info.st_size);

    unsigned char ident[EI_NIDENT] = {};
    if (!ReadAt(file.fd, 0, ident, sizeof(ident)) || std::memcmp(ident, ELFMAG, SELFMAG) != 0)
    {
        why = "is not an ELF file";
        return false;
    }
    if (ident[EI_CLASS] != ELFCLASS64)
    {
        why = ident[EI_CLASS] == ELFCLASS32 ? "is a 32-bit ELF file" : "is an ELF file of an unknown class";
        return false;
    }
    if (ident[EI_DATA] != ELFDATA2LSB)
    {
        why = "is not a little-endian ELF file";
        return false;
    }
    Elf64_Ehdr header = {};
    if (!ReadAt(file.fd, 0, &header, sizeof(header)))
    {
        why = "is cut short inside its ELF header";
        return false;
    }
    if (header.e_machine != kMachine)
    {
        why = "is built for another machine (ELF machine " + std::to_string(header.e_machine) + ")";
        return false;
    }
    if (header.e_type != ET_DYN)
    {
        why = "is not a shared object";
        return false;
    }
    if (header.e_phnum == 0 || header.e_phentsize != sizeof(Elf64_Phdr))
    {
        why = "has no program headers of the expected size";
        return false;
    }
    const uint64_t tableSize = uint64_t{header.e_phnum} * sizeof(Elf64_Phdr);
    if (!Within(header.e_phoff, tableSize, size))
    {
        why = "is cut short: its program headers lie beyond its " + std::to_string(size) + " bytes";
        return false;
    }
    // The section headers close the file: one missing marks a file cut short
    // even where nothing mapped is lost.
    if (header.e_shoff != 0 &&
        (header.e_shentsize != sizeof(Elf64_Shdr) ||
         !Within(header.e_shoff, uint64_t{header.e_shnum} * sizeof(Elf64_Shdr), size)))
    {
        why = "is cut short: its section headers lie beyond its " + std::to_string(size) + " bytes";
        return false;
    }
    bool anyLoad = false;
    for (uint16_t i = 0; i < header.e_phnum; ++i)
    {
        Elf64_Phdr segment = {};
        if (!ReadAt(file.fd, header.e_phoff + uint64_t{i} * sizeof(Elf64_Phdr), &segment, sizeof(segment)))
        {
            why = "cannot be read";
            return false;
        }
        anyLoad = anyLoad || segment.p_type == PT_LOAD;
        // Every part of the file the loader maps or reads must be there.
        if (segment.p_filesz > 0 && !Within(segment.p_offset, segment.p_filesz, size))
        {
            why = std::string("is cut short: its ") + SegmentName(segment.p_type) + " " + std::to_string(i) +
                  " needs " + std::to_string(segment.p_offset) + " + " + std::to_string(segment.p_filesz) +
                  " bytes, the file has " + std::to_string(size);
            return false;
        }
        if (segment.p_type == PT_LOAD && segment.p_filesz > segment.p_memsz)
        {
            why = "has a loadable segment larger in the file than in memory";
            return false;
        }
    }
    if (!anyLoad)
    {
        why = "has no loadable segment";
        return false;
    }
    return true;
}
