// kvhost: a headless VST3 host for Korvane bundles (see CommandLine.h).

#include <iostream>
#include <string>
#include <vector>

#include "tools/kvhost/CommandLine.h"

int main(int argc, char** argv)
{
    std::vector<std::string> arguments(argv + 1, argv + argc);
    return RunHostCommand(arguments, std::cout, std::cerr);
}
