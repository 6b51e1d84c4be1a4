// The command line the benchmarks share.
#pragma once

#include <cstdlib>
#include <string>

#include "sim_device_builder.h"

namespace nimbara::bench {

// Reads "--files N" (N from 0 to kMaxLargeTreeFiles) into `files`, the only option there is;
// false for anything else, `files` keeping its default when the option is not given.
inline bool parseFilesOption(int argc, char** argv, int& files) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg != "--files" || i + 1 >= argc) {
            return false;
        }
        char* end = nullptr;
        const long n = std::strtol(argv[++i], &end, 10);
        if (*end != '\0' || n < 0 || n > simdev::kMaxLargeTreeFiles) {
            return false;
        }
        files = static_cast<int>(n);
    }
    return true;
}

}  // namespace nimbara::bench
