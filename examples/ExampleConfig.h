// Configuration check shared by the examples.
#pragma once

#include <cstdio>
#include <string>

#include <zid/ZidConfig.h>

namespace example {

// False, with a line on stderr, when the JSON configuration could not be loaded.
inline bool ConfigLoaded(const zuzezi_zid::ZidConfig& config, const std::string& file) {
    if (config.IsLoadedFromFile()) return true;
    std::fprintf(stderr, "cannot use configuration %s\n", file.c_str());
    return false;
}

}  // namespace example
