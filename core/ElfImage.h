#pragma once
// A look at a shared object's ELF header and program headers before it is
// loaded. The loader maps every segment the headers name; a segment that
// reaches past the end of the file (a copy cut short, a download half
// unpacked) makes the process fault with SIGBUS when its pages are touched,
// which no guard can catch. So a file is loaded only when it is a 64-bit
// little-endian shared object for this machine whose headers and segments
// all lie within it,
// up to its section headers at the end.

#include <string>

class ElfImage
{
public:
    // True when the file at `path` may be given to the loader; otherwise
    // false with the reason in `why`. Any thread.
    static bool Loadable(const std::string& path, std::string& why);
};
