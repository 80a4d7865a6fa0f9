#include "editor/toolkit/ToolkitLog.h"

#include <cstdarg>
#include <cstdio>

namespace VSTGUI {

void toolkitLog(const char* format, ...)
{
    std::fputs("toolkit: ", stderr);
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
    std::fputc('\n', stderr);
}

} // namespace VSTGUI
