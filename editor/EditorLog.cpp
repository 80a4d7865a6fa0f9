#include "editor/EditorLog.h"

#include <cstdarg>
#include <cstdio>

void EditorLog(const char* format, ...)
{
    std::va_list args;
    va_start(args, format);
    std::fputs("Korvane editor: ", stderr);
    std::vfprintf(stderr, format, args);
    std::fputc('\n', stderr);
    va_end(args);
}
