#pragma once
// Every bundle the build makes, from the list the build gives as
// KV_ALL_BUNDLES (paths separated by '|').

#include <sstream>
#include <string>
#include <vector>

inline std::vector<std::string> AllBundles()
{
    std::vector<std::string> bundles;
    std::stringstream list(KV_ALL_BUNDLES);
    for (std::string bundle; std::getline(list, bundle, '|');)
        bundles.push_back(bundle);
    return bundles;
}
