#pragma once
// A patch document read whole from disk, for the benchmarks that build an
// engine from one.

#include <fstream>
#include <sstream>
#include <string>

inline std::string ReadPatch(const char* path)
{
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}
